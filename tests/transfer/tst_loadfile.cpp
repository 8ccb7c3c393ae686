#include "bytesamples.h"
#include "byteview.h"
#include "filebytes.h"
#include "scriptedwindow.h"

#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

class TestLoadFile final : public QObject
{
    Q_OBJECT

private slots:
    void viewHoldsTheFileByteForByte_data();
    void viewHoldsTheFileByteForByte();
    void loadingKeepsCursorsStatusAndButtonCaption();
    void loadReplacesTheWholeTextAndCannotBeUndone();
    void cancelChangesNothing();
    void failuresAreReportedAndChangeNothing_data();
    void failuresAreReportedAndChangeNothing();
};

void TestLoadFile::viewHoldsTheFileByteForByte_data()
{
    addRoundTripRows();
}

void TestLoadFile::viewHoldsTheFileByteForByte()
{
    QFETCH(QByteArray, bytes);

    QTemporaryDir dir;
    ScriptedWindow window;
    window.load(dir, bytes);

    QCOMPARE(window.text(), bytes);
    QCOMPARE(window.caption("lblPosition"),
             QString::number(bytes.size()) + QStringLiteral(" Total Characters"));
    QVERIFY(window.services->messages.isEmpty());
}

void TestLoadFile::loadingKeepsCursorsStatusAndButtonCaption()
{
    QTemporaryDir dir;
    ScriptedWindow window;
    window.load(dir, QByteArrayLiteral("xx C:\\windows"));
    window.click("Command3");
    QCOMPARE(window.caption("Command3"), QStringLiteral("Find Next Path Name"));
    window.form->searchPos = 42;
    const qint64 pathPos = window.form->pathPos;

    window.load(dir, QByteArrayLiteral("a second file"), QStringLiteral("second.bin"));

    QCOMPARE(window.text(), QByteArrayLiteral("a second file"));
    QCOMPARE(window.form->pathPos, pathPos);
    QCOMPARE(window.form->searchPos, 42);
    QCOMPARE(window.caption("Command3"), QStringLiteral("Find Next Path Name"));
    QCOMPARE(window.caption("lblStat"), QStringLiteral("Searching For Path Name"));
    QCOMPARE(window.caption("lblPosition"), QStringLiteral("13 Total Characters"));
}

void TestLoadFile::loadReplacesTheWholeTextAndCannotBeUndone()
{
    QTemporaryDir dir;
    ScriptedWindow window;
    window.load(dir, QByteArrayLiteral("first"));
    window.load(dir, QByteArrayLiteral("2nd"), QStringLiteral("second.bin"));
    window.text1()->undo();
    QCOMPARE(window.text(), QByteArrayLiteral("2nd"));
}

void TestLoadFile::cancelChangesNothing()
{
    QTemporaryDir dir;
    ScriptedWindow window;
    window.load(dir, QByteArrayLiteral("kept"));
    window.text1()->select(1, 2);
    window.services->dialogAnswers.push_back(std::nullopt);
    window.click("Command1");

    QCOMPARE(window.text(), QByteArrayLiteral("kept"));
    QCOMPARE(window.text1()->selectionStart(), 1);
    QCOMPARE(window.caption("lblPosition"), QStringLiteral("4 Total Characters"));
    QVERIFY(window.services->messages.isEmpty());
    QVERIFY(window.services->unexpected.isEmpty());
}

void TestLoadFile::failuresAreReportedAndChangeNothing_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");

    QTest::newRow("missing") << "missing"
                             << "No such file or directory.";
    QTest::newRow("folder") << "folder"
                            << "It is a folder, not a file.";
    QTest::newRow("pipe") << "pipe"
                          << "It is a pipe, not a regular file.";
    QTest::newRow("device") << "device"
                            << "It is a device, not a regular file.";
    QTest::newRow("no permission") << "no permission"
                                   << "Permission denied.";
    QTest::newRow("read error") << "read error"
                                << "Input/output error.";
    QTest::newRow("larger than memory")
        << "larger than memory"
        << QStringLiteral("There is not enough memory to hold its %1 bytes.")
               .arg(QLocale::system().toString(qint64(1) << 43));
}

void TestLoadFile::failuresAreReportedAndChangeNothing()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);

    QTemporaryDir dir;
    ScriptedWindow window;
    window.load(dir, QByteArrayLiteral("previous text"));
    window.form->pathPos = 7;
    window.form->searchPos = 9;

    QString path = dir.filePath(QStringLiteral("target"));
    if (kind == QLatin1String("folder")) {
        path = dir.path();
    } else if (kind == QLatin1String("pipe")) {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (kind == QLatin1String("device")) {
        path = QStringLiteral("/dev/null");
    } else if (kind == QLatin1String("no permission")) {
        if (::geteuid() == 0)
            QSKIP("root may read any file");
        QCOMPARE(writeBytes(path, "secret"), QString());
        QFile::setPermissions(path, QFileDevice::WriteOwner);
    } else if (kind == QLatin1String("read error")) {
        QCOMPARE(writeBytes(path, "unreadable"), QString());
        window.services->loadFailure = reason;
    } else if (kind == QLatin1String("larger than memory")) {
        // A sparse file far larger than this machine's memory and swap.
        QFile huge(path);
        QVERIFY(huge.open(QIODevice::WriteOnly));
        QVERIFY(huge.resize(qint64(1) << 43));
    }

    window.services->dialogAnswers.push_back(path);
    window.click("Command1");

    QCOMPARE(window.services->messages,
             QStringList(path + QStringLiteral(" could not be opened.\n\n") + reason));
    QCOMPARE(window.text(), QByteArrayLiteral("previous text"));
    QCOMPARE(window.caption("lblPosition"), QStringLiteral("13 Total Characters"));
    QCOMPARE(window.caption("lblStat"), QStringLiteral("Idel"));
    QCOMPARE(window.form->pathPos, 7);
    QCOMPARE(window.form->searchPos, 9);
}

QTEST_MAIN(TestLoadFile)
#include "tst_loadfile.moc"
