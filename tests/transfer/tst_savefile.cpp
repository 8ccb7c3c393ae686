#include "bytesamples.h"
#include "byteview.h"
#include "filebytes.h"
#include "scriptedwindow.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QStringList filesIn(const QTemporaryDir &dir)
{
    return QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
}

// Replaces the view's bytes from `start` to `end` with `bytes`, as an edit in the view does.
void replaceInView(ByteView *view, qint64 start, qint64 end, const QByteArray &bytes)
{
    view->select(start, end - start);
    view->deleteSelection();
    QKeyEvent typed(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString::fromLatin1(bytes));
    QApplication::sendEvent(view, &typed);
}

// Answers the next file dialog `cd1` once it is up: records the file it proposes, then accepts
// `path` once the dialog holds that choice and lists every file of its folder (it fills its folder
// view in the background and may apply a selection late), or the proposal itself when `path` is
// empty. A dialog that never gets there is cancelled after about five seconds, so the test fails
// instead of hanging.
void answerFileDialog(const QString &path, QString *proposed)
{
    auto *poll = new QTimer;
    auto ticks = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, poll, [=] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog || dialog->objectName() != QLatin1String("cd1"))
            return;
        if ((*ticks)++ == 0)
            *proposed = dialog->selectedFiles().value(0);
        const bool chosen = path.isEmpty() || dialog->selectedFiles() == QStringList{path};
        const QDir folder = dialog->directory();
        const auto *files = dialog->findChild<QFileSystemModel *>();
        const bool listed = files->rowCount(files->index(folder.path())) ==
                            folder.entryList(QDir::Files | QDir::NoDotAndDotDot).size();
        if (!(chosen && listed) && *ticks < 500) {
            if (!chosen)
                dialog->selectFile(path);
            return;
        }
        poll->stop();
        poll->deleteLater();
        if (chosen && listed)
            static_cast<QDialog *>(dialog)->accept();
        else
            static_cast<QDialog *>(dialog)->reject();
    });
    poll->start(10);
}

// While `owner` lives, answers the question whether to replace an existing file with Yes and
// closes any other modal box but the file dialog, so that a wrong turn fails the test instead
// of hanging it.
void answerOtherBoxes(QObject *owner)
{
    auto *guard = new QTimer(owner);
    QObject::connect(guard, &QTimer::timeout, guard, [] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || modal->objectName() == QLatin1String("cd1"))
            return;
        auto *question = qobject_cast<QMessageBox *>(modal);
        if (QAbstractButton *yes = question ? question->button(QMessageBox::Yes) : nullptr)
            yes->click();
        else
            modal->close();
    });
    guard->start(50);
}

// The width of the window's real message box showing `message`, which is closed once it is up.
int shownMessageBoxWidth(QtServices &services, const QString &message)
{
    int width = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (QWidget *box = QApplication::activeModalWidget()) {
            width = box->frameGeometry().width();
            box->close();
        }
    });
    poll.start(10);
    services.QtServices::showMessage(message);
    return width;
}

// While a lease watches a file, every open of it breaks the lease and so signals this process.
int watchedFile = -1;
volatile std::sig_atomic_t watchedFileOpened = 0;

// Records that the watched file was opened, and lets the open go on at once.
void onLeaseBroken(int)
{
    watchedFileOpened = 1;
    ::fcntl(watchedFile, F_SETLEASE, F_UNLCK);
}

} // namespace

class TestSaveFile final : public QObject
{
    Q_OBJECT

private slots:
    void savedUnderANewNameByteForByte_data();
    void savedUnderANewNameByteForByte();
    void editsAreSavedExactly_data();
    void editsAreSavedExactly();
    void cancelWritesAndShowsNothing();
    void savingChangesNoCaptionCursorOrSelection();
    void failuresKeepTheOldFileAndAreReported_data();
    void failuresKeepTheOldFileAndAreReported();
    void realDialogsSaveALoadedProgramOverItselfAndOpenNoOtherFile();
};

void TestSaveFile::savedUnderANewNameByteForByte_data()
{
    addRoundTripRows();
}

void TestSaveFile::savedUnderANewNameByteForByte()
{
    QFETCH(QByteArray, bytes);

    QTemporaryDir dir;
    ScriptedWindow window;
    window.load(dir, bytes);
    const QString path = dir.filePath(QStringLiteral("saved.bin"));
    window.services->dialogAnswers.push_back(path);
    window.click("Command2");

    QCOMPARE(readBytes(path), bytes);
    QVERIFY(window.services->messages.isEmpty());
    QVERIFY(window.services->unexpected.isEmpty());
}

void TestSaveFile::editsAreSavedExactly_data()
{
    QTest::addColumn<QByteArray>("original");
    QTest::addColumn<qint64>("start");
    QTest::addColumn<qint64>("end");
    QTest::addColumn<QByteArray>("replacement");

    const QByteArray program = everyByteValue() + "C:\\WINDOWS\\x.dll" + QByteArray(300, '\0');
    QTest::newRow("path patched") << program << qint64(256) << qint64(259)
                                  << QByteArrayLiteral("D:\\");
    QTest::newRow("NULs inserted") << program << qint64(10) << qint64(10) << QByteArray(5, '\0');
    QTest::newRow("CR of a CRLF deleted")
        << QByteArrayLiteral("a\r\nb") << qint64(1) << qint64(2) << QByteArray();
    QTest::newRow("no-break space over a blank")
        << QByteArrayLiteral("a b") << qint64(1) << qint64(2) << QByteArrayLiteral("\xa0");
    QTest::newRow("all replaced") << program << qint64(0) << qint64(program.size())
                                  << QByteArrayLiteral("\n");
}

void TestSaveFile::editsAreSavedExactly()
{
    QFETCH(QByteArray, original);
    QFETCH(qint64, start);
    QFETCH(qint64, end);
    QFETCH(QByteArray, replacement);

    QTemporaryDir dir;
    ScriptedWindow window;
    window.load(dir, original);
    replaceInView(window.text1(), start, end, replacement);
    const QString path = dir.filePath(QStringLiteral("edited.bin"));
    window.services->dialogAnswers.push_back(path);
    window.click("Command2");

    QCOMPARE(readBytes(path), original.left(start) + replacement + original.mid(end));
}

void TestSaveFile::cancelWritesAndShowsNothing()
{
    QTemporaryDir dir;
    ScriptedWindow window;
    window.load(dir, QByteArrayLiteral("loaded"));
    replaceInView(window.text1(), 0, 6, QByteArrayLiteral("edited, not to be saved"));
    // The cancelled dialog still holds the loaded file's name, which must not be written.
    window.services->dialogAnswers.push_back(std::nullopt);
    window.click("Command2");

    QCOMPARE(filesIn(dir), QStringList(QStringLiteral("loaded.bin")));
    QCOMPARE(readBytes(dir.filePath(QStringLiteral("loaded.bin"))), QByteArrayLiteral("loaded"));
    QVERIFY(window.services->messages.isEmpty());
    QVERIFY(window.services->unexpected.isEmpty());
}

void TestSaveFile::savingChangesNoCaptionCursorOrSelection()
{
    QTemporaryDir dir;
    ScriptedWindow window;
    window.load(dir, QByteArrayLiteral("xx C:\\windows C:\\"));
    window.click("Command3");
    window.form->searchPos = 5;
    window.text1()->select(4, 3);
    const auto captions = [&] {
        QStringList all;
        for (const char *name :
             {"Label1", "lblStat", "lblPosition", "Command1", "Command2", "Command3", "Command4"})
            all << window.caption(name);
        return all;
    };
    const QStringList before = captions();
    const qint64 pathPos = window.form->pathPos;

    window.services->dialogAnswers.push_back(dir.filePath(QStringLiteral("saved")));
    window.click("Command2");

    QCOMPARE(captions(), before);
    QCOMPARE(window.form->pathPos, pathPos);
    QCOMPARE(window.form->searchPos, 5);
    QCOMPARE(window.text1()->selectionStart(), 4);
    QCOMPARE(window.text1()->selectionEnd(), 7);
    QCOMPARE(window.text(), QByteArrayLiteral("xx C:\\windows C:\\"));
}

void TestSaveFile::failuresKeepTheOldFileAndAreReported_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");

    QTest::newRow("write error") << "write error"
                                 << "No space left on device.";
    QTest::newRow("missing folder") << "missing folder"
                                    << "No such file or directory.";
    QTest::newRow("folder") << "folder"
                            << "It is a folder, not a file.";
    QTest::newRow("long path") << "long path"
                               << "No such file or directory.";
}

void TestSaveFile::failuresKeepTheOldFileAndAreReported()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);

    QTemporaryDir dir;
    ScriptedWindow window;
    window.load(dir, QByteArrayLiteral("new text"));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    QString path = dir.filePath(QStringLiteral("old"));
    QCOMPARE(writeBytes(path, QByteArrayLiteral("old content")), QString());
    if (kind == QLatin1String("write error"))
        window.services->writeFailure = reason;
    else if (kind == QLatin1String("missing folder"))
        path = dir.filePath(QStringLiteral("missing/old"));
    else if (kind == QLatin1String("folder"))
        path = dir.filePath(QStringLiteral("folder"));
    else if (kind == QLatin1String("long path"))
        path = dir.filePath(QStringList(8, QString(200, u'd')).join(u'/'));
    const QString lblPosition = window.caption("lblPosition");

    window.services->dialogAnswers.push_back(path);
    window.click("Command2");

    // The path shows once, shortened in the middle where the box would not fit the screen.
    QCOMPARE(window.services->messages.size(), 1);
    const QString message = window.services->messages.constFirst();
    const QString shown = window.services->shortenedPath(path);
    QVERIFY2(shown.startsWith(path.left(10)) && shown.endsWith(path.right(10)), qPrintable(shown));
    QCOMPARE(message, shown + QStringLiteral(" could not be saved.\n\n") + reason);
    QVERIFY(shownMessageBoxWidth(*window.services, message) <=
            window.form->screen()->availableGeometry().width());
    QCOMPARE(filesIn(dir), QStringList({QStringLiteral("folder"), QStringLiteral("loaded.bin"),
                                        QStringLiteral("old")}));
    QCOMPARE(readBytes(dir.filePath(QStringLiteral("old"))), QByteArrayLiteral("old content"));
    QVERIFY(QDir(dir.filePath(QStringLiteral("folder"))).isEmpty());
    QCOMPARE(window.caption("lblPosition"), lblPosition);
    QCOMPARE(window.text(), QByteArrayLiteral("new text"));
}

void TestSaveFile::realDialogsSaveALoadedProgramOverItselfAndOpenNoOtherFile()
{
    QTemporaryDir dir;
    const QByteArray bytes = everyByteValue() + QByteArrayLiteral("\r\n\xa0");
    const QString loaded = dir.filePath(QStringLiteral("loaded.bin"));
    QCOMPARE(writeBytes(loaded, bytes), QString());
    QCOMPARE(::chmod(QFile::encodeName(loaded).constData(), 0751), 0);
    // A second file in the folder: while the lease on it holds, opening it blocks, as reading
    // /proc/kmsg does, until the lease is given up; neither dialog may open it.
    const QString watched = dir.filePath(QStringLiteral("watched.bin"));
    QCOMPARE(writeBytes(watched, "not to be read"), QString());
    watchedFile = ::open(QFile::encodeName(watched).constData(), O_RDONLY | O_CLOEXEC);
    QVERIFY(std::signal(SIGIO, onLeaseBroken) != SIG_ERR);
    QCOMPARE(::fcntl(watchedFile, F_SETLEASE, F_WRLCK), 0);
    Form1 form;
    form.show();
    answerOtherBoxes(&form);
    QString proposed;

    answerFileDialog(loaded, &proposed);
    QTest::mouseClick(form.findChild<QPushButton *>(QStringLiteral("Command1")), Qt::LeftButton);
    QCOMPARE(form.findChild<ByteView *>(QStringLiteral("text1"))->text().toByteArray(), bytes);

    // Patch the loaded file in the view and save it over itself, as the dialog proposes.
    replaceInView(form.findChild<ByteView *>(QStringLiteral("text1")), 0, 2, "C:");
    answerFileDialog(QString(), &proposed);
    QTest::mouseClick(form.findChild<QPushButton *>(QStringLiteral("Command2")), Qt::LeftButton);

    QCOMPARE(proposed, loaded);
    QCOMPARE(readBytes(loaded), QByteArrayLiteral("C:") + bytes.mid(2));
    QVERIFY(
        QFile::permissions(loaded).testFlags(QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther));
    QCOMPARE(filesIn(dir),
             QStringList({QStringLiteral("loaded.bin"), QStringLiteral("watched.bin")}));
    QVERIFY(!watchedFileOpened);
    ::close(watchedFile);
}

QTEST_MAIN(TestSaveFile)
#include "tst_savefile.moc"
