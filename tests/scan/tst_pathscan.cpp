#include "bytesamples.h"
#include "scanreference.h"
#include "textpieces.h"

#include <QByteArrayList>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

class TestPathScan final : public QObject
{
    Q_OBJECT

private slots:
    void matchesTheLiteralLoop_data();
    void matchesTheLiteralLoop();
    void stopsAtEveryOffsetOfABlock();
    void findsTheLastHundredthPassAfterTheDensestPasses();
};

void TestPathScan::matchesTheLiteralLoop_data()
{
    QTest::addColumn<QByteArrayList>("parts");
    QTest::addColumn<qsizetype>("size");

    const auto bytesOf = [](QByteArrayView bytes) {
        QByteArrayList parts;
        for (char byte : bytes)
            parts.append(QByteArray(1, byte));
        return parts;
    };
    const QList<std::pair<const char *, QByteArrayList>> families = {
        {"drive letters and separators", bytesOf("AaCcDdEeFf:\\")},
        {"mixed letters", bytesOf("AaBbCcDdEeFfGgXx:\\/ ")},
        {"mostly separators", bytesOf("A:\\c::\\\\")},
        {"only candidates", bytesOf("ACDEFacdef")},
        {"no candidates", bytesOf("bBxX:\\0 ")},
        {"every byte", bytesOf(everyByteValue())},
        {"program-like",
         {QByteArray(16, '\0'), "C:\\Windows\\system32\\", "kernel32.dll", "\xff\xfe",
          "D:", "AC:", "e:\\", "F", ":", "\\"}},
    };
    for (const auto &[family, parts] : families) {
        for (qsizetype size : {0, 1, 2, 3, 63, 64, 65, 127, 128, 129, 300, 1000, 10000})
            QTest::addRow("%s, %lld bytes", family, qlonglong(size)) << parts << size;
    }
}

// Random texts made of the parts, whole, in pieces, so that the spans of the snapshot end at
// every offset around the paths, and read on demand from a file, where they end at page ends; by
// every implementation the machine runs. Whole texts are
// scanned from every start near the beginning, so that the scan's blocks begin at every offset,
// and from a sample of the others; each in stretches of several lengths.
void TestPathScan::matchesTheLiteralLoop()
{
    QFETCH(QByteArrayList, parts);
    QFETCH(qsizetype, size);
    const auto seed = quint32(qHash(QByteArrayView(QTest::currentDataTag())));
    QRandomGenerator random(seed);
    QByteArray bytes;
    while (bytes.size() < size)
        bytes += parts.at(random.bounded(int(parts.size())));
    bytes.truncate(size);

    const std::pair<qint64, qint64> chunkings[] = {{0, 1}, {0, noPump}, {57, 1}, {199, 3}};
    const QTemporaryDir dir;
    for (qsizetype longestPiece : {-1, 0, 1, 5, 70}) {
        const Text text =
            longestPiece < 0 ? textOnDemand(dir, bytes) : textInPieces(bytes, longestPiece, seed);
        QList<qint64> froms;
        for (qint64 from = 1; from <= std::min<qint64>(size + 3, longestPiece == 0 ? 66 : 3);
             ++from)
            froms.append(from);
        for (int i = 0; i < 10; ++i)
            froms.append(1 + random.bounded(size + 3));
        for (const PathScanImplementation &implementation : pathScanImplementations()) {
            for (qint64 from : std::as_const(froms)) {
                for (const auto &[passes, hundreds] : chunkings) {
                    const QString difference =
                        pathScanDifference(implementation, text, from, passes, hundreds);
                    QVERIFY2(difference.isEmpty(), qPrintable(difference));
                }
            }
        }
    }
}

// Most blocks are counted without looking at their passes; the blocks where a stretch may stop
// are looked at pass by pass. Each pattern is placed at every offset of the first blocks, after
// passes of one position each, and the stretch stops at it: its first pass is due to pump, it
// starts a path, or it is the only candidate of the text. The text is whole, and split after the
// pattern's first byte, so that a path there straddles two spans.
void TestPathScan::stopsAtEveryOffsetOfABlock()
{
    for (const char *pattern : {"A:x", "A:A", "A:\\", "AAx", "Axx", "x:x", "xA:"}) {
        for (qint64 before = 0; before < 3 * 64; ++before) {
            const QByteArray bytes = QByteArray(before, 'x') + pattern + QByteArray(70, 'x');
            const Text head = Text::copyOf(bytes.first(before + 1));
            const Text tail = Text::copyOf(bytes.sliced(before + 1));
            // The pass at the pattern is the one numbered 300.
            const qint64 passes = 300 - before - 1;
            for (const Text &text : {Text::copyOf(bytes), head.inserted(head.size(), tail)}) {
                for (const PathScanImplementation &implementation : pathScanImplementations()) {
                    for (qint64 hundreds : {3 - passes / 100, noPump}) {
                        const QString difference =
                            pathScanDifference(implementation, text, 1, passes, hundreds);
                        QVERIFY2(difference.isEmpty(), qPrintable(difference));
                    }
                }
            }
        }
    }
}

// A pass spans at most three positions, so a stretch's last hundred passes lie in its last six
// blocks. Texts of three-position passes that end, or end in a path, put the last hundredth pass
// that far back from the stretch's last pass, or on it, for some pass counts a run starts with.
void TestPathScan::findsTheLastHundredthPassAfterTheDensestPasses()
{
    for (qsizetype size = 9 * 64; size <= 10 * 64; ++size) {
        const QByteArray passes = QByteArray("A:x").repeated(size / 3 + 1).first(size);
        for (const QByteArray &bytes : {passes, passes + "D:\\"}) {
            const Text text = Text::copyOf(bytes);
            for (qint64 from = 1; from <= 3; ++from) {
                const qint64 stretchPasses =
                    literalPathScan(bytes, from, 0, [](qint64, qint64) { return true; }).passes;
                for (qint64 afterLastHundredth : {0, 99}) {
                    const qint64 passesBefore =
                        (100 + afterLastHundredth - stretchPasses % 100) % 100;
                    for (const PathScanImplementation &implementation : pathScanImplementations()) {
                        const QString difference =
                            pathScanDifference(implementation, text, from, passesBefore, noPump);
                        QVERIFY2(difference.isEmpty(), qPrintable(difference));
                    }
                }
            }
        }
    }
}

QTEST_GUILESS_MAIN(TestPathScan)
#include "tst_pathscan.moc"
