#include "byteview.h"
#include "scriptedwindow.h"

#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestSearchForText final : public QObject
{
    Q_OBJECT

private slots:
    void runsFindEachOccurrenceThenStartOver_data();
    void runsFindEachOccurrenceThenStartOver();
    void cancelChangesNothing();
    void runGoesOnFromItsSnapshotAfterAPump_data();
    void runGoesOnFromItsSnapshotAfterAPump();
    void closingDuringASearchEndsItQuietly();

private:
    QTemporaryDir dir;
};

namespace {

QString found(const QString &searchText, int position)
{
    return searchText + QStringLiteral(" Was found at position %1").arg(position);
}

// Occurrences at 151 and 303, each beyond a pump inside the search loop.
const QByteArray twoNeedles = QByteArray(150, 'x') + "needle" + QByteArray(146, 'x') + "NEEDLE";

} // namespace

void TestSearchForText::runsFindEachOccurrenceThenStartOver_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("searchText");
    QTest::addColumn<QList<int>>("positions"); // for each run, the match or 0 when it ends silently
    QTest::addColumn<QString>("lblPosition");  // after the last run

    QTest::newRow("abcABC") << QByteArrayLiteral("abcABC") << "bc" << QList{2, 5, 0, 2}
                            << QString();
    QTest::newRow("overlapping") << QByteArrayLiteral("aaaa") << "aa" << QList{1, 2, 3, 0}
                                 << QString();
    QTest::newRow("reported as typed")
        << QByteArrayLiteral("load KERNEL32.DLL") << "kernel" << QList{6} << QString();
    QTest::newRow("empty search text")
        << QByteArrayLiteral("abc") << "" << QList{1, 2, 3, 0} << QString();
    QTest::newRow("empty view") << QByteArray() << "anything" << QList{0} << QString();
    QTest::newRow("progress stays after the run")
        << QByteArray(250, 'x') << "y" << QList{0} << QStringLiteral("200");
    QTest::newRow("progress until the match") << QByteArray(250, 'x') + "Y"
                                              << "y" << QList{251} << QStringLiteral("200");
    QTest::newRow("match where a run pumps") << QByteArray(99, 'x') + "Y" + QByteArray(50, 'x')
                                             << "y" << QList{100, 0} << QStringLiteral("100");
}

void TestSearchForText::runsFindEachOccurrenceThenStartOver()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, searchText);
    QFETCH(QList<int>, positions);
    QFETCH(QString, lblPosition);

    // What a run leaves is the same whether or not it pumped inside its loop.
    for (qint64 stretch : {qint64(1), qint64(1000)}) {
        ScriptedWindow window;
        window.services->pacing.stretch = stretch;
        window.load(dir, text);
        window.label("lblPosition")->clear();
        for (int position : positions) {
            window.button("Command1")->setFocus();
            window.services->messages.clear();
            window.services->promptAnswers = {searchText};
            window.click("Command4");
            if (position == 0) {
                QVERIFY(window.services->messages.isEmpty());
                QCOMPARE(window.form->searchPos, 0);
                continue;
            }
            QCOMPARE(window.services->messages, QStringList{found(searchText, position)});
            QCOMPARE(window.form->searchPos, position + 1);
            QCOMPARE(window.text1()->editor().selection().start(), position - 1);
            QCOMPARE(window.text1()->editor().selection().end(), position - 1 + searchText.size());
            QCOMPARE(window.form->focusWidget(), window.text1());
        }
        QCOMPARE(window.services->prompts.value(0),
                 QStringLiteral("search: Enter What You Want To Search For"));
        QVERIFY(window.services->unexpected.isEmpty());
        QCOMPARE(window.caption("lblPosition"), lblPosition);
        QCOMPARE(window.caption("lblStat"), QStringLiteral("Idel"));
        QCOMPARE(window.caption("Command3"), QStringLiteral("Find Path Name"));
    }
}

void TestSearchForText::cancelChangesNothing()
{
    ScriptedWindow window;
    window.load(dir, QByteArrayLiteral("abcabc"));
    window.text1()->editor().select(1, 2);
    for (qint64 before : {0, 3}) {
        window.form->searchPos = before;
        window.services->promptAnswers = {std::nullopt};
        window.click("Command4");
        QCOMPARE(window.form->searchPos, before);
    }
    QVERIFY(window.services->messages.isEmpty());
    QCOMPARE(window.text1()->editor().selection().start(), 1);
    QCOMPARE(window.text1()->editor().selection().end(), 3);
}

void TestSearchForText::runGoesOnFromItsSnapshotAfterAPump_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<qint64>("searchPos");
    QTest::addColumn<QByteArray>("loaded"); // loaded at the first pump; else a nested run starts
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<qint64>("searchPosAfter");

    QTest::newRow("nested run") << twoNeedles << 0LL << QByteArray()
                                << QStringList{found(u"NEEDLE"_s, 151), found(u"needle"_s, 303)}
                                << 304LL;
    // The nested run ends the text and sets the cursor to 0: the run goes on from the first
    // position, where the text matches.
    QTest::newRow("nested run to the end")
        << QByteArray("needle") + QByteArray(294, 'x') << 2LL << QByteArray()
        << QStringList{found(u"needle"_s, 1)} << 2LL;
    QTest::newRow("another text loaded")
        << twoNeedles << 0LL << QByteArray("tiny") << QStringList{found(u"needle"_s, 151)} << 152LL;
}

// What happens during a pump moves the cursor or changes the text, and the interrupted run goes
// on from the cursor over its own snapshot.
void TestSearchForText::runGoesOnFromItsSnapshotAfterAPump()
{
    QFETCH(QByteArray, text);
    QFETCH(qint64, searchPos);
    QFETCH(QByteArray, loaded);
    QFETCH(QStringList, messages);
    QFETCH(qint64, searchPosAfter);

    ScriptedWindow window;
    window.load(dir, text);
    window.form->searchPos = searchPos;
    int pumps = 0;
    window.services->onPump = [&] {
        if (++pumps != 1)
            return;
        if (!loaded.isEmpty()) {
            window.load(dir, loaded, QStringLiteral("loaded.bin"));
            return;
        }
        window.services->promptAnswers.push_back(QStringLiteral("NEEDLE"));
        window.click("Command4");
    };
    window.services->promptAnswers = {QStringLiteral("needle")};
    window.click("Command4");

    QCOMPARE(window.services->messages, messages);
    QCOMPARE(window.form->searchPos, searchPosAfter);
    QCOMPARE(window.text(), loaded.isEmpty() ? text : loaded);
}

void TestSearchForText::closingDuringASearchEndsItQuietly()
{
    ScriptedWindow window;
    window.load(dir, twoNeedles);
    window.form->searchPos = 152;
    window.services->promptAnswers = {QStringLiteral("needle")};
    QVERIFY(window.closesDuring("Command4"));
    QVERIFY(window.services->messages.isEmpty());
}

QTEST_MAIN(TestSearchForText)
#include "tst_searchfortext.moc"
