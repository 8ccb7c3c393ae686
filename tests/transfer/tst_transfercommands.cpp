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
#include <sys/resource.h>
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
    view->editor().select(start, end - start);
    view->editor().deleteSelection();
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
    QObject::connect(poll, &QTimer::timeout, poll, [=, ticks = 0]() mutable {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog || dialog->objectName() != QLatin1String("cd1"))
            return;
        if (ticks++ == 0)
            *proposed = dialog->selectedFiles().value(0);
        const bool chosen = path.isEmpty() || dialog->selectedFiles() == QStringList{path};
        const QDir folder = dialog->directory();
        const auto *files = dialog->findChild<QFileSystemModel *>();
        const bool listed = files->rowCount(files->index(folder.path())) ==
                            folder.entryList(QDir::Files | QDir::NoDotAndDotDot).size();
        if (!(chosen && listed) && ticks < 500) {
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

// Everything the commands may change but for the files: the text, the selection, the cursors
// and every caption.
QStringList stateOf(const ScriptedWindow &window)
{
    QStringList state = {QString::fromLatin1(window.text()),
                         QString::number(window.text1()->editor().selection().start()),
                         QString::number(window.text1()->editor().selection().end()),
                         QString::number(window.form->pathPos),
                         QString::number(window.form->searchPos)};
    for (const char *name :
         {"Label1", "lblStat", "lblPosition", "Command1", "Command2", "Command3", "Command4"})
        state << window.caption(name);
    return state;
}

} // namespace

class TestTransferCommands final : public QObject
{
    Q_OBJECT

private slots:
    void loadedEditedAndSavedByteForByte_data();
    void loadedEditedAndSavedByteForByte();
    void cancelsFailuresAndSavesChangeNothingElse_data();
    void cancelsFailuresAndSavesChangeNothingElse();
    void realDialogsSaveALoadedProgramOverItselfAndOpenNoOtherFile();
    void aFileReadOnDemandThatChangesIsToldOfOnce();
};

void TestTransferCommands::loadedEditedAndSavedByteForByte_data()
{
    addRoundTripRows();
}

void TestTransferCommands::loadedEditedAndSavedByteForByte()
{
    QFETCH(QByteArray, bytes);

    // A path found in a first file, so that the scan's captions and cursor have moved.
    QTemporaryDir dir;
    ScriptedWindow window;
    window.load(dir, QByteArrayLiteral("xx C:\\windows"), QStringLiteral("first.bin"));
    window.click("Command3");
    window.services->messages.clear();
    window.form->searchPos = 42;
    const qint64 pathPos = window.form->pathPos;

    // The new text replaces the old for good, and of the rest only the count changes.
    window.load(dir, bytes);
    window.text1()->editor().undo();
    QCOMPARE(window.text(), bytes);
    QCOMPARE(window.caption("lblPosition"),
             QString::number(bytes.size()) + QStringLiteral(" Total Characters"));
    QCOMPARE(window.form->pathPos, pathPos);
    QCOMPARE(window.form->searchPos, 42);
    QCOMPARE(window.caption("Command3"), QStringLiteral("Find Next Path Name"));
    QCOMPARE(window.caption("lblStat"), QStringLiteral("Searching For Path Name"));
    const auto saved = [&](const QString &name) {
        window.services->dialogAnswers.push_back(dir.filePath(name));
        window.click("Command2");
        return readBytes(dir.filePath(name));
    };
    QCOMPARE(saved(QStringLiteral("saved.bin")), bytes);

    // An edit over the text's middle sixth leaves it in pieces over the file's bytes and typed
    // ones.
    const qsizetype start = bytes.size() / 3;
    const qsizetype end = bytes.size() / 2;
    const QByteArray typed("\0D:\\\xa0", 5);
    replaceInView(window.text1(), start, end, typed);
    QCOMPARE(saved(QStringLiteral("edited.bin")), bytes.left(start) + typed + bytes.mid(end));
    QCOMPARE(filesIn(dir),
             QStringList({QStringLiteral("edited.bin"), QStringLiteral("first.bin"),
                          QStringLiteral("loaded.bin"), QStringLiteral("saved.bin")}));
    QVERIFY(window.services->messages.isEmpty());
    QVERIFY(window.services->unexpected.isEmpty());
}

void TestTransferCommands::cancelsFailuresAndSavesChangeNothingElse_data()
{
    // The button clicked; the file chosen in its dialog, relative to the test's folder, or empty
    // for Cancel; the failure message after the path, if any; the folder's files afterwards.
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QStringList>("files");

    const QString longPath = QStringList(8, QString(200, u'd')).join(u'/');
    const QStringList loaded = {QStringLiteral("loaded.bin")};
    QTest::newRow("open cancelled") << "Command1" << QString() << QString() << loaded;
    QTest::newRow("save cancelled") << "Command2" << QString() << QString() << loaded;
    QTest::newRow("saved") << "Command2"
                           << "saved.bin" << QString()
                           << loaded + QStringList(QStringLiteral("saved.bin"));
    QTest::newRow("open a device")
        << "Command1"
        << "/dev/null"
        << " could not be opened.\n\nIt is a device, not a regular file." << loaded;
    QTest::newRow("save under a long path")
        << "Command2" << longPath << " could not be saved.\n\nNo such file or directory." << loaded;
    QTest::newRow("save beyond the file size limit")
        << "Command2"
        << "loaded.bin"
        << " could not be saved.\n\nFile too large." << loaded;
}

void TestTransferCommands::cancelsFailuresAndSavesChangeNothingElse()
{
    QFETCH(QString, command);
    QFETCH(QString, chosen);
    QFETCH(QString, failure);
    QFETCH(QStringList, files);

    QTemporaryDir dir;
    ScriptedWindow window;
    window.load(dir, QByteArrayLiteral("xx C:\\windows"));
    // An edit that a load would undo, and a path found, so that the scan's captions and cursor
    // have moved from where they start.
    replaceInView(window.text1(), 0, 2, QByteArrayLiteral("edited"));
    window.click("Command3");
    window.form->searchPos = 5;
    window.services->messages.clear();
    // The dialogs still hold the loaded file's name: a cancelled open that went on would show
    // the file's new content, and a cancelled save that went on would overwrite it.
    const QString loaded = dir.filePath(QStringLiteral("loaded.bin"));
    QCOMPARE(writeBytes(loaded, "changed on disk"), QString());
    const QStringList before = stateOf(window);

    const QString path = chosen.isEmpty() ? QString() : QDir(dir.path()).filePath(chosen);
    window.services->dialogAnswers.push_back(chosen.isEmpty() ? std::nullopt : std::optional(path));
    // A file may grow to 8 bytes here, fewer than the text's: SIGXFSZ would end the test unless
    // the window ignores it.
    rlimit limit = {};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    const rlimit unlimited = limit;
    if (failure.endsWith(u"File too large."))
        limit.rlim_cur = 8;
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    window.click(qPrintable(command));
    ::setrlimit(RLIMIT_FSIZE, &unlimited);

    if (failure.isEmpty()) {
        QCOMPARE(window.services->messages, QStringList());
    } else {
        // The path shows once, shortened in the middle where the box would not fit the screen.
        const QString shown = window.services->shortenedPath(path);
        QVERIFY(shown.size() < 200);
        QVERIFY2(shown.startsWith(path.left(10)) && shown.endsWith(path.right(10)),
                 qPrintable(shown));
        QCOMPARE(window.services->messages, QStringList(shown + failure));
        QVERIFY(shownMessageBoxWidth(*window.services, shown + failure) <=
                window.form->screen()->availableGeometry().width());
    }
    QCOMPARE(stateOf(window), before);
    QCOMPARE(filesIn(dir), files);
    QCOMPARE(readBytes(loaded), QByteArrayLiteral("changed on disk"));
    QVERIFY(window.services->unexpected.isEmpty());
}

void TestTransferCommands::realDialogsSaveALoadedProgramOverItselfAndOpenNoOtherFile()
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
    QCOMPARE(form.findChild<ByteView *>(QStringLiteral("text1"))->editor().text().toByteArray(),
             bytes);

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

// A large file opens at once and is read on demand. Once it changes on disk, the window says so
// once; the text keeps its size and the bytes read before, it is not saved over the changed
// file, and saved elsewhere it holds exactly what the view shows.
void TestTransferCommands::aFileReadOnDemandThatChangesIsToldOfOnce()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("disk.img"));
    const qint64 size = qint64(40) << 20;
    const qint64 pathAt = size - (qint64(1) << 20);
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(size));
        QVERIFY(file.seek(pathAt) && file.write("C:\\") == 3);
    }
    ScriptedWindow window;
    // Pumps as the program does, not at every hundredth step of a 40 MiB scan.
    window.services->pacing = PumpPacing();
    window.services->dialogAnswers.push_back(path);
    window.click("Command1");
    QCOMPARE(window.caption("lblPosition"), QStringLiteral("41943040 Total Characters"));
    window.click("Command3");
    QCOMPARE(window.services->messages,
             QStringList(QStringLiteral("Path Name Found At Position %1.").arg(pathAt + 3)));
    window.text1()->viewport()->grab();

    QVERIFY(writeBytes(path, "changed").isEmpty());
    window.text1()->editor().select(size / 2, 1);
    window.text1()->viewport()->grab();
    window.text1()->editor().select(size / 4, 1);
    window.text1()->viewport()->grab();
    QCoreApplication::processEvents();
    const QString shortened = window.services->shortenedPath(path);
    QCOMPARE(window.services->messages.mid(1),
             QStringList(shortened +
                         QStringLiteral(" changed on disk while it was open.\n\nThe parts read "
                                        "before show as they were, and the rest shows as zero "
                                        "bytes. Save the text under another name to keep what it "
                                        "shows.")));
    QCOMPARE(window.text1()->editor().length(), size);

    window.services->messages.clear();
    window.services->dialogAnswers.push_back(path);
    window.click("Command2");
    QCOMPARE(window.services->messages,
             QStringList(shortened + QStringLiteral(" could not be saved.\n\nIt changed on disk "
                                                    "while it was open, so the text no longer "
                                                    "knows all of its bytes. Save the text under "
                                                    "another name.")));
    QCOMPARE(readBytes(path), QByteArrayLiteral("changed"));
    const QString elsewhere = dir.filePath(QStringLiteral("kept.img"));
    window.services->dialogAnswers.push_back(elsewhere);
    window.click("Command2");
    const QByteArray kept = readBytes(elsewhere);
    QCOMPARE(kept, window.text());
    QCOMPARE(kept.mid(pathAt, 3), QByteArrayLiteral("C:\\"));
}

QTEST_MAIN(TestTransferCommands)
#include "tst_transfercommands.moc"
