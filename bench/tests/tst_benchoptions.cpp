#include "benchoptions.h"

#include <QCommandLineParser>
#include <QTest>

class TestBenchOptions final : public QObject
{
    Q_OBJECT

private slots:
    void parseSize_data();
    void parseSize();
    void transferTarget_data();
    void transferTarget();
    void options_data();
    void options();
    void childArgumentsReachTheChild();
};

namespace {

std::variant<BenchOptions, QString> parse(const QStringList &arguments)
{
    QCommandLineParser parser;
    describeOptions(parser);
    if (!parser.parse(QStringList{QStringLiteral("korvane-bench")} + arguments))
        return parser.errorText();
    return optionsFrom(parser);
}

// The words of `text`, split at blanks.
QStringList words(const char *text)
{
    return QString::fromLatin1(text).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

QStringList labels(const QList<BenchSize> &sizes)
{
    QStringList result;
    for (const BenchSize &size : sizes)
        result.append(size.label);
    return result;
}

} // namespace

void TestBenchOptions::parseSize_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("bytes"); // 0 when the text is refused

    QTest::newRow("1M") << "1M" << (qint64(1) << 20);
    QTest::newRow("1G") << "1G" << (qint64(1) << 30);
    QTest::newRow("1024K") << "1024K" << (qint64(1) << 20);
    QTest::newRow("below 1M") << "512K" << qint64(0);
    QTest::newRow("fraction") << "1.5G" << qint64(0);
    QTest::newRow("unknown unit") << "1T" << qint64(0);
    QTest::newRow("empty") << "" << qint64(0);
}

void TestBenchOptions::parseSize()
{
    QFETCH(QString, text);
    QFETCH(qint64, bytes);
    const std::optional<BenchSize> size = ::parseSize(text);
    QCOMPARE(size.has_value(), bytes != 0);
    if (size) {
        QCOMPARE(size->bytes, bytes);
        QCOMPARE(size->label, text);
    }
}

void TestBenchOptions::transferTarget_data()
{
    QTest::addColumn<QString>("size");
    QTest::addColumn<double>("seconds");

    QTest::newRow("1M") << "1M" << 0.5;
    QTest::newRow("100M") << "100M" << 0.5;
    QTest::newRow("1G") << "1G" << 5.0;
    QTest::newRow("2G") << "2G" << 10.0;
}

void TestBenchOptions::transferTarget()
{
    QFETCH(QString, size);
    QFETCH(double, seconds);
    QCOMPARE(transferTargetSeconds(*::parseSize(size)), seconds);
}

void TestBenchOptions::options_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("sizes"); // empty when the arguments are refused
    QTest::addColumn<QString>("json");

    const QString defaultJson = QStringLiteral("korvane-bench.json");
    const QStringList allSizes = words("1M 100M 1G");
    QTest::newRow("defaults") << QStringList() << allSizes << defaultJson;
    QTest::newRow("quick") << words("--quick") << words("1M") << defaultJson;
    QTest::newRow("sizes") << words("--sizes 1G,1M") << words("1G 1M") << defaultJson;
    QTest::newRow("json") << words("--json out/figures.json") << allSizes
                          << QStringLiteral("out/figures.json");
    QTest::newRow("bad size") << words("--sizes 1M,2X") << QStringList() << QString();
    QTest::newRow("quick and sizes") << words("--quick --sizes 1M") << QStringList() << QString();
    QTest::newRow("stray argument") << words("1G") << QStringList() << QString();
    QTest::newRow("unknown option") << words("--fast") << QStringList() << QString();
}

void TestBenchOptions::options()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, sizes);
    QFETCH(QString, json);
    const std::variant<BenchOptions, QString> parsed = parse(arguments);
    if (sizes.isEmpty()) {
        QVERIFY(std::holds_alternative<QString>(parsed));
        QVERIFY(!std::get<QString>(parsed).isEmpty());
        return;
    }
    QVERIFY(std::holds_alternative<BenchOptions>(parsed));
    const BenchOptions &options = std::get<BenchOptions>(parsed);
    QCOMPARE(labels(options.sizes), sizes);
    QCOMPARE(options.jsonPath, json);
    QVERIFY(!options.childSize);
}

void TestBenchOptions::childArgumentsReachTheChild()
{
    const BenchSize size = *::parseSize(QStringLiteral("100M"));
    const std::variant<BenchOptions, QString> parsed =
        parse(childArguments(size, QStringLiteral("/tmp/bench data")));
    QVERIFY(std::holds_alternative<BenchOptions>(parsed));
    const BenchOptions &options = std::get<BenchOptions>(parsed);
    QVERIFY(options.childSize);
    QCOMPARE(options.childSize->bytes, size.bytes);
    QCOMPARE(options.dataDir, QStringLiteral("/tmp/bench data"));
}

QTEST_GUILESS_MAIN(TestBenchOptions)
#include "tst_benchoptions.moc"
