#include "pumpgaps.h"

#include <QTest>

class TestPumpGaps final : public QObject
{
    Q_OBJECT

private slots:
    void gaps_data();
    void gaps();
};

void TestPumpGaps::gaps_data()
{
    QTest::addColumn<QList<qint64>>("times"); // start and end of each pump, in turn
    QTest::addColumn<qint64>("from");
    QTest::addColumn<qint64>("to");
    QTest::addColumn<qint64>("betweenPumps");
    QTest::addColumn<qint64>("withoutPump");

    QTest::newRow("no pump") << QList<qint64>() << qint64(10) << qint64(70) << qint64(0)
                             << qint64(60);
    QTest::newRow("one pump, long wait before")
        << QList<qint64>{50, 52} << qint64(0) << qint64(60) << qint64(0) << qint64(50);
    QTest::newRow("one pump, long wait after")
        << QList<qint64>{5, 7} << qint64(0) << qint64(60) << qint64(0) << qint64(53);
    QTest::newRow("pump time is not a gap")
        << QList<qint64>{10, 40, 45, 80} << qint64(0) << qint64(90) << qint64(5) << qint64(10);
    QTest::newRow("longest gap in the middle")
        << QList<qint64>{10, 11, 21, 22, 52, 53, 60, 61} << qint64(5) << qint64(65) << qint64(30)
        << qint64(30);
}

void TestPumpGaps::gaps()
{
    QFETCH(QList<qint64>, times);
    QFETCH(qint64, from);
    QFETCH(qint64, to);
    QFETCH(qint64, betweenPumps);
    QFETCH(qint64, withoutPump);
    QList<PumpInterval> pumps;
    for (qsizetype i = 0; i < times.size(); i += 2)
        pumps.append({times[i], times[i + 1]});
    QCOMPARE(longestGapBetweenPumps(pumps), betweenPumps);
    QCOMPARE(longestTimeWithoutPump(pumps, from, to), withoutPump);
}

QTEST_GUILESS_MAIN(TestPumpGaps)
#include "tst_pumpgaps.moc"
