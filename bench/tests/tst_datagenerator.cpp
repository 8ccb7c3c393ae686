#include "datagenerator.h"
#include "scanbench.h"

#include <QTest>

#include <algorithm>

class TestDataGenerator final : public QObject
{
    Q_OBJECT

private slots:
    void binaryLikeHoldsExactlyThePlantedPaths_data();
    void binaryLikeHoldsExactlyThePlantedPaths();
    void binaryLikeLooksLikeAProgram();
    void binaryLikeHoldsNoSearchText();
    void repetitiveIsLongRunsOfA_data();
    void repetitiveIsLongRunsOfA();
};

namespace {

constexpr qint64 mib = qint64(1) << 20;

// ASCII case folding is exact here: no other ISO-8859-1 byte upper-cases to an ASCII letter.
QByteArray asciiLowerCase(QByteArray bytes)
{
    std::transform(bytes.begin(), bytes.end(), bytes.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c; });
    return bytes;
}

qint64 longestRunOf(char byte, const QByteArray &bytes)
{
    qint64 longest = 0;
    qint64 run = 0;
    for (const char c : bytes) {
        run = c == byte ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return longest;
}

} // namespace

void TestDataGenerator::binaryLikeHoldsExactlyThePlantedPaths_data()
{
    QTest::addColumn<qint64>("size");

    QTest::newRow("1 KiB") << qint64(1024);
    QTest::newRow("1 MiB and 7 bytes") << mib + 7;
    QTest::newRow("5 MiB") << 5 * mib;
}

void TestDataGenerator::binaryLikeHoldsExactlyThePlantedPaths()
{
    QFETCH(qint64, size);
    const QByteArray bytes = binaryLikeBytes(size);
    QCOMPARE(bytes.size(), size);
    QCOMPARE(binaryLikeBytes(size), bytes);

    // Every ":\" must be the one of a planted path, each path in its order.
    const QList<QByteArray> &paths = plantedDrivePaths();
    qsizetype path = 0;
    for (qsizetype at = bytes.indexOf(":\\"); at >= 0; at = bytes.indexOf(":\\", at + 1)) {
        QVERIFY2(path < paths.size(), "a drive path that was not planted");
        QCOMPARE(bytes.mid(at - 1, paths[path].size()), paths[path]);
        ++path;
    }
    QCOMPARE(path, paths.size());
}

void TestDataGenerator::binaryLikeLooksLikeAProgram()
{
    const QByteArray bytes = binaryLikeBytes(32 * mib);
    const auto share = [&bytes](auto predicate) {
        return double(std::count_if(bytes.begin(), bytes.end(), predicate)) / double(bytes.size());
    };
    const double zeros = share([](char c) { return c == 0; });
    QVERIFY2(zeros > 0.1 && zeros < 0.5, qPrintable(QString::number(zeros)));
    QVERIFY(share([](char c) { return uchar(c) >= 0x80; }) > 0.1);
    QVERIFY(bytes.count("GLIBC_2.2.5") > 100);

    const qint64 longestZeroRun = longestRunOf(0, bytes);
    QVERIFY(longestZeroRun <= mib);
    QVERIFY(longestZeroRun >= mib / 2);
}

void TestDataGenerator::binaryLikeHoldsNoSearchText()
{
    const QByteArray lowerCase = asciiLowerCase(binaryLikeBytes(32 * mib));
    const QStringList texts = binaryLikeSearchTexts();
    QCOMPARE(texts.size(), 2);
    QCOMPARE(texts[0].size(), 6);
    QCOMPARE(texts[1].size(), 64);
    for (const QString &text : texts)
        QCOMPARE(lowerCase.indexOf(asciiLowerCase(text.toLatin1())), -1);
}

void TestDataGenerator::repetitiveIsLongRunsOfA_data()
{
    QTest::addColumn<qint64>("size");

    QTest::newRow("1 MiB") << mib;
    QTest::newRow("3 MiB and 1 byte") << 3 * mib + 1;
}

void TestDataGenerator::repetitiveIsLongRunsOfA()
{
    QFETCH(qint64, size);
    const QByteArray bytes = repetitiveBytes(size);
    QCOMPARE(bytes.size(), size);
    QCOMPARE(bytes.count('a') + bytes.count('\n'), size);
    const QList<QByteArray> runs = bytes.split('\n');
    for (qsizetype i = 0; i < runs.size(); ++i) {
        QVERIFY(runs[i].size() <= mib);
        if (i + 1 < runs.size())
            QVERIFY(runs[i].size() >= mib / 2);
    }

    const QString adversarial = adversarialSearchText();
    QCOMPARE(adversarial.size(), 64);
    QCOMPARE(bytes.indexOf(adversarial.toLatin1()), -1);
    QVERIFY(bytes.contains(adversarial.chopped(1).toLatin1()));
}

QTEST_GUILESS_MAIN(TestDataGenerator)
#include "tst_datagenerator.moc"
