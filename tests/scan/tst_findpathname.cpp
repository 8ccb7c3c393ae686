#include "byteview.h"
#include "scriptedwindow.h"

#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

class TestFindPathName final : public QObject
{
    Q_OBJECT

private slots:
    void firstRunFindsTheLeftmostPath_data();
    void firstRunFindsTheLeftmostPath();
    void textWithoutPathEndsTheRun_data();
    void textWithoutPathEndsTheRun();
    void runsFindEachPathThenStartOver();
    void cursorBeyondANewShorterTextEndsAtOnce();
    void progressCaptionsFollowThePasses();
    void nestedClickDuringAPumpMovesTheCursor();
    void selectionIsClampedToAnEditedText();
    void closingDuringAScanEndsTheProgramQuietly();

private:
    QTemporaryDir dir;
};

void TestFindPathName::firstRunFindsTheLeftmostPath_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("position");

    QTest::newRow("C:\\x") << QByteArrayLiteral("C:\\x") << 3;
    QTest::newRow("B is no drive") << QByteArrayLiteral("b:\\ c:\\") << 7;
    QTest::newRow("letter before the drive") << QByteArrayLiteral("AC:\\") << 4;
    QTest::newRow("drive before the drive") << QByteArrayLiteral("A:C:\\") << 5;
    QTest::newRow("lower case") << QByteArrayLiteral("xx f:\\") << 6;
}

void TestFindPathName::firstRunFindsTheLeftmostPath()
{
    QFETCH(QByteArray, text);
    QFETCH(int, position);

    ScriptedWindow window;
    window.load(dir, text);
    window.button("Command1")->setFocus();
    window.click("Command3");

    QCOMPARE(window.services->messages,
             QStringList{QStringLiteral("Path Name Found At Position %1.").arg(position)});
    QCOMPARE(window.form->pathPos, position);
    QCOMPARE(window.text1()->selectionStart(), position - 3);
    QCOMPARE(window.text1()->selectionEnd(), position);
    QCOMPARE(window.form->focusWidget(), window.text1());
    QCOMPARE(window.caption("Command3"), QStringLiteral("Find Next Path Name"));
    QCOMPARE(window.caption("lblStat"), QStringLiteral("Searching For Path Name"));
    QCOMPARE(window.caption("lblPosition"), QStringLiteral("Position 0 of %1").arg(text.size()));
}

void TestFindPathName::textWithoutPathEndsTheRun_data()
{
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("slash is no backslash") << QByteArrayLiteral("xE:/y");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("drive at the very end") << QByteArrayLiteral("abc C:");
}

void TestFindPathName::textWithoutPathEndsTheRun()
{
    QFETCH(QByteArray, text);

    ScriptedWindow window;
    window.load(dir, text);
    QStringList positionCaptions;
    window.services->onPump = [&] {
        positionCaptions << window.caption("lblPosition");
    };
    window.click("Command3");

    QCOMPARE(positionCaptions.value(0), QStringLiteral("Position 0 of %1").arg(text.size()));
    QVERIFY(window.services->messages.isEmpty());
    QCOMPARE(window.caption("lblStat"), QStringLiteral("Search Finished"));
    QCOMPARE(window.caption("lblPosition"), QString());
    QCOMPARE(window.caption("Command3"), QStringLiteral("Find Path Name"));
    QCOMPARE(window.form->pathPos, 0);
}

void TestFindPathName::runsFindEachPathThenStartOver()
{
    ScriptedWindow window;
    window.load(dir, QByteArrayLiteral("C:\\a d:\\b E:\\c"));
    for (int run = 0; run < 5; ++run)
        window.click("Command3");

    QCOMPARE(window.services->messages,
             QStringList({QStringLiteral("Path Name Found At Position 3."),
                          QStringLiteral("Path Name Found At Position 8."),
                          QStringLiteral("Path Name Found At Position 13."),
                          QStringLiteral("Path Name Found At Position 3.")}));
    QCOMPARE(window.form->pathPos, 3);
    QCOMPARE(window.caption("lblStat"), QStringLiteral("Searching For Path Name"));
}

void TestFindPathName::cursorBeyondANewShorterTextEndsAtOnce()
{
    ScriptedWindow window;
    window.load(dir, QByteArray(897, 'x') + "C:\\" + QByteArray(100, 'x'));
    window.click("Command3");
    QCOMPARE(window.form->pathPos, 900);

    window.load(dir, QByteArray(50, 'y'), QStringLiteral("short.bin"));
    QStringList positionCaptions;
    window.services->onPump = [&] {
        positionCaptions << window.caption("lblPosition");
    };
    window.click("Command3");

    QCOMPARE(positionCaptions, QStringList{QStringLiteral("Position 900 of 50")});
    QCOMPARE(window.caption("lblStat"), QStringLiteral("Search Finished"));
    QCOMPARE(window.form->pathPos, 0);
    QCOMPARE(window.services->messages.size(), 1);
}

// Each pump that happens shows the progress of the last hundredth pass, and the run ends with
// the caption the last such pass set.
void TestFindPathName::progressCaptionsFollowThePasses()
{
    ScriptedWindow window;
    window.load(dir, QByteArray(250, 'x') + "D:\\");
    window.click("Command3");
    QCOMPARE(window.services->messages,
             QStringList{QStringLiteral("Path Name Found At Position 253.")});
    QCOMPARE(window.caption("lblPosition"), QStringLiteral("Position 200 of 253"));

    window.load(dir, QByteArray(250, 'x'), QStringLiteral("plain.bin"));
    window.form->pathPos = 0;
    window.click("Command3");
    QCOMPARE(window.caption("lblPosition"), QString());
    QCOMPARE(window.caption("lblStat"), QStringLiteral("Search Finished"));
}

void TestFindPathName::nestedClickDuringAPumpMovesTheCursor()
{
    ScriptedWindow window;
    window.load(dir, QByteArrayLiteral("C:\\ D:\\ E:\\"));
    // The first pump of the outer run starts a nested run, which finds the first path; the
    // outer run then goes on from there and finds the second.
    bool nested = false;
    window.services->onPump = [&] {
        if (nested)
            return;
        nested = true;
        window.click("Command3");
    };
    window.click("Command3");

    QCOMPARE(window.services->messages,
             QStringList({QStringLiteral("Path Name Found At Position 3."),
                          QStringLiteral("Path Name Found At Position 7.")}));
    QCOMPARE(window.form->pathPos, 7);
}

void TestFindPathName::selectionIsClampedToAnEditedText()
{
    ScriptedWindow window;
    window.load(dir, QByteArray(10, 'x') + "C:\\");
    bool reloaded = false;
    window.services->onPump = [&] {
        if (reloaded)
            return;
        reloaded = true;
        window.load(dir, QByteArrayLiteral("tiny"), QStringLiteral("tiny.bin"));
    };
    window.click("Command3");

    QCOMPARE(window.services->messages,
             QStringList{QStringLiteral("Path Name Found At Position 13.")});
    QCOMPARE(window.text1()->selectionStart(), 4);
    QCOMPARE(window.text1()->selectionEnd(), 4);
}

void TestFindPathName::closingDuringAScanEndsTheProgramQuietly()
{
    ScriptedWindow window;
    window.load(dir, QByteArray(3 << 20, 'x') + "C:\\");
    window.services->onPump = [&] {
        window.form->close();
    };
    QTimer::singleShot(0, window.form.get(), [&window] { window.click("Command3"); });
    QTimer::singleShot(10000, qApp, [] { QCoreApplication::exit(1); });

    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(window.services->messages.isEmpty());
    QCOMPARE(window.caption("Command3"), QStringLiteral("Find Path Name"));
}

QTEST_MAIN(TestFindPathName)
#include "tst_findpathname.moc"
