#include "pathscan.h"
#include "pathscanreference.h"

#include <QByteArrayList>
#include <QRandomGenerator>
#include <QtTest>

using Stop = PathScanStep::Stop;

class PathScanTest final : public QObject
{
    Q_OBJECT

private slots:
    void findsNextPath_data();
    void findsNextPath();
    void showsProgressEveryHundredPasses_data();
    void showsProgressEveryHundredPasses();
    void matchesLiteralLoop_data();
    void matchesLiteralLoop();
};

void PathScanTest::findsNextPath_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<qint64>("from");
    QTest::addColumn<Stop>("stop");
    QTest::addColumn<qint64>("position");
    QTest::addColumn<qint64>("passes");

    QTest::newRow("path at the start") << QByteArray("C:\\x") << 1LL << Stop::Found << 3LL << 0LL;
    QTest::newRow("run after it") << QByteArray("C:\\x") << 3LL << Stop::EndOfText << 0LL << 2LL;
    QTest::newRow("B is no drive") << QByteArray("b:\\ c:\\") << 1LL << Stop::Found << 7LL << 4LL;
    QTest::newRow("letter before") << QByteArray("AC:\\") << 1LL << Stop::Found << 4LL << 1LL;
    QTest::newRow("colon inside") << QByteArray("A:C:\\") << 1LL << Stop::Found << 5LL << 1LL;
    QTest::newRow("slash") << QByteArray("xE:/y") << 1LL << Stop::EndOfText << 0LL << 3LL;
    QTest::newRow("empty") << QByteArray() << 1LL << Stop::EndOfText << 0LL << 0LL;
    QTest::newRow("cursor past the end")
        << QByteArray(50, 'x') << 900LL << Stop::EndOfText << 0LL << 0LL;
    QTest::newRow("first of three")
        << QByteArray("a:\\ D:\\ f:\\") << 1LL << Stop::Found << 3LL << 0LL;
    QTest::newRow("second of three")
        << QByteArray("a:\\ D:\\ f:\\") << 3LL << Stop::Found << 7LL << 2LL;
    QTest::newRow("third of three")
        << QByteArray("a:\\ D:\\ f:\\") << 7LL << Stop::Found << 11LL << 2LL;
    QTest::newRow("after three") << QByteArray("a:\\ D:\\ f:\\") << 11LL << Stop::EndOfText << 0LL
                                 << 1LL;
}

void PathScanTest::findsNextPath()
{
    QFETCH(QByteArray, text);
    QFETCH(qint64, from);
    QFETCH(Stop, stop);
    QFETCH(qint64, position);
    QFETCH(qint64, passes);

    const PathScanStep step = scanForPath(text, from, 0, 1000);
    QCOMPARE(step.stop, stop);
    if (stop == Stop::Found)
        QCOMPARE(step.position, position);
    QCOMPARE(step.passes, passes);
}

void PathScanTest::showsProgressEveryHundredPasses_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QList<qint64>>("captions");
    QTest::addColumn<qint64>("passes");

    QTest::newRow("no candidates") << QByteArray(250, 'x') << QList<qint64>{100, 200} << 250LL;
    QTest::newRow("each pass over a colon")
        << QByteArray("A:").repeated(150) << QList<qint64>{200} << 150LL;
}

void PathScanTest::showsProgressEveryHundredPasses()
{
    QFETCH(QByteArray, text);
    QFETCH(QList<qint64>, captions);
    QFETCH(qint64, passes);

    QList<qint64> shown;
    PathScanStep step = scanForPath(text, 1, 0, 100);
    for (; step.stop == Stop::PumpPoint;
         step = scanForPath(text, step.position + 1, step.passes, step.passes + 100)) {
        QCOMPARE(step.lastProgressPosition, step.position);
        shown.append(step.position);
    }
    QCOMPARE(step.stop, Stop::EndOfText);
    QCOMPARE(step.passes, passes);
    QCOMPARE(step.lastProgressPosition, std::nullopt);
    QCOMPARE(shown, captions);
}

void PathScanTest::matchesLiteralLoop_data()
{
    QTest::addColumn<QByteArrayList>("pieces");
    QTest::addColumn<qsizetype>("size");

    const auto bytesOf = [](QByteArrayView bytes) {
        QByteArrayList pieces;
        for (char byte : bytes)
            pieces.append(QByteArray(1, byte));
        return pieces;
    };
    QByteArray everyByte;
    for (int byte = 0; byte < 256; ++byte)
        everyByte.append(static_cast<char>(byte));
    const QList<std::pair<const char *, QByteArrayList>> families = {
        {"drive letters and separators", bytesOf("AaCcDdEeFf:\\")},
        {"mixed letters", bytesOf("AaBbCcDdEeFfGgXx:\\/ ")},
        {"mostly separators", bytesOf("A:\\c::\\\\")},
        {"only candidates", bytesOf("ACDEFacdef")},
        {"no candidates", bytesOf("bBxX:\\0 ")},
        {"random bytes", bytesOf(everyByte)},
        {"program-like",
         {QByteArray(16, '\0'), "C:\\Windows\\system32\\", "kernel32.dll", "\xff\xfe",
          "D:", "AC:", "e:\\", "F", ":", "\\"}},
    };
    for (const auto &[family, pieces] : families) {
        for (qsizetype size : {0, 1, 2, 3, 61, 62, 63, 64, 65, 124, 125, 127, 300, 1000, 10000}) {
            QTest::addRow("%s, %lld bytes", family, static_cast<long long>(size)) << pieces << size;
        }
    }
}

void PathScanTest::matchesLiteralLoop()
{
    QFETCH(QByteArrayList, pieces);
    QFETCH(qsizetype, size);

    QRandomGenerator random(static_cast<quint32>(size) * 7919 + pieces.size());
    QByteArray text;
    while (text.size() < size)
        text += pieces.at(random.bounded(pieces.size()));
    text.truncate(size);

    // Every start over the first 130 bytes, so that the 64-byte windows of the fast scan cut the
    // text at every place, then a sample.
    QList<qint64> froms;
    for (qint64 from = 1; from <= std::min<qint64>(size + 3, 130); ++from)
        froms.append(from);
    for (int i = 0; i < 20 && size > 130; ++i)
        froms.append(1 + random.bounded(size));
    for (qint64 from : {size - 1, size, size + 1, size + 2, size + 100}) {
        if (from >= 1)
            froms.append(from);
    }

    const QList<std::pair<qint64, qint64>> chunkings = {
        {0, 1}, {0, 1'000'000'000'000}, {57, 1}, {199, 3}, {100, 40}};
    for (qint64 from : std::as_const(froms)) {
        for (const auto &[passes, hundredsPerStretch] : chunkings) {
            const QString difference =
                firstDifferenceFromReference(text, from, passes, hundredsPerStretch);
            QVERIFY2(difference.isEmpty(), qPrintable(difference));
        }
    }
}

QTEST_GUILESS_MAIN(PathScanTest)
#include "tst_pathscan.moc"
