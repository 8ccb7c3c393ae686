#include "byteview.h"
#include "scriptedwindow.h"

#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

class TestFindPathName final : public QObject
{
    Q_OBJECT

private slots:
    void runsReportEachPathThenStartOver_data();
    void runsReportEachPathThenStartOver();
    void runGoesOnFromItsSnapshotAfterAPump_data();
    void runGoesOnFromItsSnapshotAfterAPump();
    void closingDuringAScanEndsItQuietly();

private:
    QTemporaryDir dir;
};

namespace {

QString found(int position)
{
    return QStringLiteral("Path Name Found At Position %1.").arg(position);
}

QString progress(int position, int total)
{
    return QStringLiteral("Position %1 of %2").arg(position).arg(total);
}

// Paths at 153 and 306, each beyond a pump inside the scan loop.
const QByteArray twoPaths = QByteArray(150, 'x') + "C:\\" + QByteArray(150, 'x') + "D:\\";

} // namespace

void TestFindPathName::runsReportEachPathThenStartOver_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<qint64>("pathPos");
    QTest::addColumn<QList<int>>("finds");     // for each run, the path's position or 0 for none
    QTest::addColumn<QStringList>("progress"); // lblPosition at each pump of the first run
    QTest::addColumn<bool>("focused");         // whether the first run focuses the view
    QTest::addColumn<QStringList>("progressAfter"); // at each pump of the second run, if given

    QTest::newRow("path at the start") << QByteArray("C:\\x") << 0LL << QList{3, 0}
                                       << QStringList{progress(0, 4)} << true << QStringList();
    QTest::newRow("empty") << QByteArray() << 0LL << QList{0} << QStringList{progress(0, 0)}
                           << false << QStringList();
    QTest::newRow("three paths, then over again")
        << QByteArray("C:\\a d:\\b E:\\c") << 0LL << QList{3, 8, 13, 0, 3}
        << QStringList{progress(0, 14)} << true << QStringList();
    QTest::newRow("progress every hundred passes")
        << QByteArray(250, 'x') << 0LL << QList{0}
        << QStringList{progress(0, 250), progress(100, 250), progress(200, 250)} << false
        << QStringList();
    QTest::newRow("path after the progress")
        << QByteArray(250, 'x') + "D:\\" << 0LL << QList{253}
        << QStringList{progress(0, 253), progress(100, 253), progress(200, 253)} << true
        << QStringList();
    // The run after a find goes on from the path's backslash, counting its passes from there.
    QTest::newRow("progress after a find")
        << QByteArray("C:\\") + QByteArray(250, 'x') << 0LL << QList{3, 0}
        << QStringList{progress(0, 253)} << true
        << QStringList{progress(3, 253), progress(102, 253), progress(202, 253)};
    QTest::newRow("cursor beyond a shorter text")
        << QByteArray(50, 'y') << 900LL << QList{0} << QStringList{progress(900, 50)} << false
        << QStringList();
}

void TestFindPathName::runsReportEachPathThenStartOver()
{
    QFETCH(QByteArray, text);
    QFETCH(qint64, pathPos);
    QFETCH(QList<int>, finds);
    QFETCH(QStringList, progress);
    QFETCH(bool, focused);
    QFETCH(QStringList, progressAfter);

    // What a run leaves in the strip is the same whether or not it pumped inside its loop.
    QStringList left;
    for (qint64 stretch : {qint64(1), qint64(1000)}) {
        ScriptedWindow window;
        window.services->pacing.stretch = stretch;
        window.load(dir, text);
        window.form->pathPos = pathPos;
        QStringList shown;
        window.services->onPump = [&] {
            shown << window.caption("lblPosition");
        };
        bool foundBefore = false;
        for (qsizetype run = 0; run < finds.size(); ++run) {
            const int find = finds[run];
            window.button("Command1")->setFocus();
            window.services->messages.clear();
            shown.clear();
            window.click("Command3");
            if (run == 0) {
                QCOMPARE(shown, stretch == 1 ? progress : progress.first(1));
                QCOMPARE(window.form->focusWidget() == window.text1(), focused);
            }
            if (run == 1 && stretch == 1 && !progressAfter.isEmpty())
                QCOMPARE(shown, progressAfter);
            if (find == 0) {
                QVERIFY(window.services->messages.isEmpty());
                QCOMPARE(window.caption("lblStat"), QStringLiteral("Search Finished"));
                QCOMPARE(window.caption("lblPosition"), QString());
            } else {
                QCOMPARE(window.services->messages, QStringList{found(find)});
                QCOMPARE(window.text1()->editor().selection().start(), find - 3);
                QCOMPARE(window.text1()->editor().selection().end(), find);
                QCOMPARE(window.form->focusWidget(), window.text1());
                QCOMPARE(window.caption("lblStat"), QStringLiteral("Searching For Path Name"));
                if (stretch == 1)
                    QCOMPARE(window.caption("lblPosition"), shown.last());
                foundBefore = true;
            }
            if (stretch == 1)
                left << window.caption("lblPosition");
            QCOMPARE(window.caption("lblPosition"), left[run]);
            QCOMPARE(window.form->pathPos, find);
            QCOMPARE(window.caption("Command3"), foundBefore ? QStringLiteral("Find Next Path Name")
                                                             : QStringLiteral("Find Path Name"));
        }
    }
}

void TestFindPathName::runGoesOnFromItsSnapshotAfterAPump_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<qint64>("pathPos");
    QTest::addColumn<int>("atPump");
    QTest::addColumn<QByteArray>("loaded"); // loaded at that pump; else a nested run starts there
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<qint64>("pathPosAfter");

    QTest::newRow("nested run before the loop")
        << twoPaths << 0LL << 1 << QByteArray() << QStringList{found(153), found(306)} << 306LL;
    QTest::newRow("nested run inside the loop")
        << twoPaths << 0LL << 2 << QByteArray() << QStringList{found(153), found(306)} << 306LL;
    // The nested run ends the text and sets the cursor to 0: the run goes on from the start.
    QTest::newRow("nested run to the end")
        << twoPaths.first(303) << 153LL << 2 << QByteArray() << QStringList{found(153)} << 153LL;
    QTest::newRow("another text loaded")
        << twoPaths << 0LL << 2 << QByteArray("tiny") << QStringList{found(153)} << 153LL;
}

// What happens during a pump moves the cursor or changes the text, and the interrupted run goes
// on from the cursor over its own snapshot.
void TestFindPathName::runGoesOnFromItsSnapshotAfterAPump()
{
    QFETCH(QByteArray, text);
    QFETCH(qint64, pathPos);
    QFETCH(int, atPump);
    QFETCH(QByteArray, loaded);
    QFETCH(QStringList, messages);
    QFETCH(qint64, pathPosAfter);

    ScriptedWindow window;
    window.load(dir, text);
    window.form->pathPos = pathPos;
    int pumps = 0;
    window.services->onPump = [&] {
        if (++pumps != atPump)
            return;
        if (loaded.isEmpty())
            window.click("Command3");
        else
            window.load(dir, loaded, QStringLiteral("loaded.bin"));
    };
    window.click("Command3");

    QCOMPARE(window.services->messages, messages);
    QCOMPARE(window.form->pathPos, pathPosAfter);
    QCOMPARE(window.text(), loaded.isEmpty() ? text : loaded);
}

void TestFindPathName::closingDuringAScanEndsItQuietly()
{
    ScriptedWindow window;
    window.load(dir, twoPaths);
    QVERIFY(window.closesDuring("Command3"));
    QVERIFY(window.services->messages.isEmpty());
    QCOMPARE(window.caption("Command3"), QStringLiteral("Find Path Name"));
}

QTEST_MAIN(TestFindPathName)
#include "tst_findpathname.moc"
