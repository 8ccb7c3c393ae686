#include "report.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTest>

class TestReport final : public QObject
{
    Q_OBJECT

private slots:
    void targetMet_data();
    void targetMet();
    void tableShowsEveryRowAndWhetherItMetItsTarget();
    void reportSurvivesJson();
    void malformedReportsAreRefused_data();
    void malformedReportsAreRefused();
    void checksIgnoreSpeed_data();
    void checksIgnoreSpeed();
};

namespace {

const QString met = QStringLiteral("met");
const QString missed = QStringLiteral("missed");
const QString none = QStringLiteral("none");

QString outcome(std::optional<bool> met)
{
    if (!met)
        return none;
    return *met ? ::met : missed;
}

QList<Row> sampleRows()
{
    return {
        {QStringLiteral("load: click to caption set"), QStringLiteral("100M"), 0.2134,
         QStringLiteral("s"), Target::atMost(0.5)},
        {QStringLiteral("load: peak memory (VmHWM)"), QStringLiteral("100M"), 2601.4,
         QStringLiteral("MiB"), Target()},
        {QStringLiteral("find path: found"), QStringLiteral("1G"), 2.0, QString(),
         Target::equals(3.0)},
        {QStringLiteral("save: identical to the source (cmp)"), QStringLiteral("1G"), true,
         QString(), Target::equals(true)},
    };
}

} // namespace

void TestReport::targetMet_data()
{
    QTest::addColumn<Target>("target");
    QTest::addColumn<QJsonValue>("value");
    QTest::addColumn<QString>("expected");

    QTest::newRow("at most, below") << Target::atMost(16) << QJsonValue(3.5) << met;
    QTest::newRow("at most, on the bound") << Target::atMost(16) << QJsonValue(16) << met;
    QTest::newRow("at most, above") << Target::atMost(16) << QJsonValue(16.01) << missed;
    QTest::newRow("at least, on the bound") << Target::atLeast(2) << QJsonValue(2) << met;
    QTest::newRow("at least, below") << Target::atLeast(2) << QJsonValue(1.99) << missed;
    QTest::newRow("equals a number") << Target::equals(3) << QJsonValue(3) << met;
    QTest::newRow("differs from a number") << Target::equals(3) << QJsonValue(2) << missed;
    QTest::newRow("differs from yes") << Target::equals(true) << QJsonValue(false) << missed;
    QTest::newRow("a yes is no number") << Target::atLeast(0) << QJsonValue(true) << missed;
    QTest::newRow("no target") << Target() << QJsonValue(1e9) << none;
}

void TestReport::targetMet()
{
    QFETCH(Target, target);
    QFETCH(QJsonValue, value);
    QFETCH(QString, expected);
    QCOMPARE(outcome(target.metBy(value)), expected);
}

void TestReport::tableShowsEveryRowAndWhetherItMetItsTarget()
{
    Report report;
    report.rows = sampleRows();
    report.skipped = {QStringLiteral("1G: no room")};
    const QStringList lines = report.table().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 6);
    QVERIFY(lines[0].startsWith(QStringLiteral("row")));

    const QStringList expected[] = {
        {QStringLiteral("100M"), QStringLiteral("0.213"), QStringLiteral("s"), QStringLiteral("<="),
         QStringLiteral("0.5"), QStringLiteral("yes")},
        {QStringLiteral("100M"), QStringLiteral("2601"), QStringLiteral("MiB"), QStringLiteral("-"),
         QStringLiteral("-")},
        {QStringLiteral("1G"), QStringLiteral("2"), QStringLiteral("="), QStringLiteral("3"),
         QStringLiteral("no")},
        {QStringLiteral("1G"), QStringLiteral("yes"), QStringLiteral("="), QStringLiteral("yes"),
         QStringLiteral("yes")},
    };
    for (int i = 0; i < 4; ++i) {
        const QString line = lines[i + 1];
        QVERIFY(line.startsWith(report.rows[i].name));
        const QStringList columns =
            line.mid(report.rows[i].name.size()).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        QCOMPARE(columns, expected[i]);
    }
    QCOMPARE(lines[5], QStringLiteral("skipped 1G: no room"));

    // Every column starts at the same place on every line.
    const qsizetype unitColumn = lines[0].indexOf(QStringLiteral("unit"));
    QCOMPARE(lines[1].indexOf(QStringLiteral(" s ")) + 1, unitColumn);
    QCOMPARE(lines[2].indexOf(QStringLiteral("MiB")), unitColumn);
}

void TestReport::reportSurvivesJson()
{
    Report report;
    report.rows = sampleRows();
    report.skipped = {QStringLiteral("1G: no room")};
    report.failures = {QStringLiteral("100M: crashed")};
    const QJsonDocument json = report.toJson();
    const QJsonArray rows = json.object().value(QStringLiteral("rows")).toArray();
    QCOMPARE(rows[2].toObject().value(QStringLiteral("met")), QJsonValue(false));
    QVERIFY(!rows[1].toObject().contains(QStringLiteral("met")));

    const std::optional<Report> read = Report::fromJson(json.toJson());
    QVERIFY(read);
    QCOMPARE(read->skipped, report.skipped);
    QCOMPARE(read->failures, report.failures);
    QCOMPARE(read->rows.size(), report.rows.size());
    for (qsizetype i = 0; i < report.rows.size(); ++i) {
        const Row &expected = report.rows[i];
        const Row &actual = read->rows[i];
        QCOMPARE(actual.name, expected.name);
        QCOMPARE(actual.size, expected.size);
        QCOMPARE(actual.value, expected.value);
        QCOMPARE(actual.unit, expected.unit);
        QCOMPARE(actual.target.text(), expected.target.text());
        QCOMPARE(actual.met(), expected.met());
    }
}

void TestReport::malformedReportsAreRefused_data()
{
    QTest::addColumn<QByteArray>("json");

    const QByteArray lists = R"("skipped": [], "failures": [])";
    QTest::newRow("not JSON") << QByteArray("rows");
    QTest::newRow("rows not a list") << R"({"rows": {}, )" + lists + "}";
    QTest::newRow("unknown target")
        << R"({"rows": [{"value": 1, "target": "sideways"}], )" + lists + "}";
    QTest::newRow("text value") << R"({"rows": [{"value": "fast", "target": "none"}], )" + lists +
                                       "}";
}

void TestReport::malformedReportsAreRefused()
{
    QFETCH(QByteArray, json);
    QVERIFY(!Report::fromJson(json));
}

void TestReport::checksIgnoreSpeed_data()
{
    QTest::addColumn<Row>("row");
    QTest::addColumn<QStringList>("failures");
    QTest::addColumn<bool>("passed");

    const Row slow{QStringLiteral("load"), QStringLiteral("1G"), 9.0, QStringLiteral("s"),
                   Target::atMost(5)};
    const Row wrong{QStringLiteral("found"), QStringLiteral("1G"), 2.0, QString(),
                    Target::equals(3.0)};
    const Row right{QStringLiteral("found"), QStringLiteral("1G"), 3.0, QString(),
                    Target::equals(3.0)};
    QTest::newRow("a missed speed target") << slow << QStringList() << true;
    QTest::newRow("a failed check") << wrong << QStringList() << false;
    QTest::newRow("a passed check") << right << QStringList() << true;
    QTest::newRow("a failed size") << right << QStringList{QStringLiteral("1G: crashed")} << false;
}

void TestReport::checksIgnoreSpeed()
{
    QFETCH(Row, row);
    QFETCH(QStringList, failures);
    QFETCH(bool, passed);
    Report report;
    report.rows = {row};
    report.failures = failures;
    QCOMPARE(report.checksPassed(), passed);
}

QTEST_GUILESS_MAIN(TestReport)
#include "tst_report.moc"
