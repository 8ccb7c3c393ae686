#include "bytesamples.h"
#include "scanreference.h"
#include "textpieces.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestTextSearch final : public QObject
{
    Q_OBJECT

private slots:
    void matchesTheLiteralLoop_data();
    void matchesTheLiteralLoop();
};

void TestTextSearch::matchesTheLiteralLoop_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("searchTexts");
    QTest::addColumn<bool>("fromEveryStart");

    QTest::newRow("mixed case") << QByteArray("abcABC") << QStringList{u"bc"_s} << true;
    QTest::newRow("overlapping") << QByteArray("aaaa") << QStringList{u"aa"_s} << true;
    QTest::newRow("empty search text") << QByteArray("xyz") << QStringList{QString()} << true;
    QTest::newRow("empty view") << QByteArray() << QStringList{u"a"_s, QString()} << true;
    QTest::newRow("longer than the text") << QByteArray("ab") << QStringList{u"abc"_s} << true;
    // Characters whose upper case is that of one or two bytes, or of none.
    QStringList beyondAscii{QString(QChar(0xd800)), u"\u00ff\u0000"_s, u"Z["_s};
    for (QChar character : u"\u0178\u039c\u00e0\u00df\u0131\u017f\u1e9e\u212a\u20ac"_s)
        beyondAscii << character;
    QTest::newRow("case beyond ASCII") << everyByteValue().repeated(2) << beyondAscii << false;
    QTest::newRow("repeating matches")
        << QByteArray("aB\xff").repeated(70) + "abc" + QByteArray("\xb5").repeated(30)
        << QStringList{{}, u"ab"_s, u"\u0178AB"_s, u"\u039c"_s} << true;
    QTest::newRow("lone match on a pump point")
        << QByteArray(199, 'x') + 'a' + QByteArray(150, 'b') + QByteArray(20, 'x')
        << QStringList{u"a"_s, u"AB"_s, u"a"_s + u"B"_s.repeated(149)} << true;
    QTest::newRow("repeating stretch, then a match on a pump point")
        << 'b' + QByteArray("ab").repeated(139) + "bbab"
        << QStringList{u"AB"_s.repeated(40) + u"bbab"_s} << true;
    // Texts that make comparisons at nearly every position run long before they fail.
    QTest::newRow("a..ab in a run of a")
        << QByteArray(3000, 'a') << QStringList{u"A"_s.repeated(700) + u"b"_s} << false;
    QTest::newRow("a..ab found at the end")
        << QByteArray(3000, 'a') + 'b' << QStringList{u"a"_s.repeated(999) + u"B"_s} << false;
    QTest::newRow("ba..a in a run of a")
        << QByteArray(3000, 'a') << QStringList{u"b"_s + u"a"_s.repeated(300)} << false;
    QTest::newRow("abab..bbab found at the end")
        << QByteArray("ab").repeated(2000) + "bbab"
        << QStringList{QString::fromLatin1(QByteArray("AB").repeated(40) + "bbab")} << false;
    QTest::newRow("repeating stretch with a flaw")
        << QByteArray("bbba").repeated(11) + "bbaa" + QByteArray("bbba").repeated(3) + "bbb"
        << QStringList{u"BB"_s + u"ABBB"_s.repeated(5) + u"ABBAABBBAB"_s} << false;
    QTest::newRow("zero runs") << QByteArray(2000, 0) + "x" + QByteArray(99, 0)
                               << QStringList{QString(QChar(0)).repeated(20) + u"X"_s} << false;
}

// Each search text from the first start, or from every one, by every implementation the machine
// runs, over the text whole, in pieces, so that the snapshot's spans end at every offset around
// the matches (pieces of one byte, of about the search text's length, and longer), and read on
// demand from a file, where spans end at page ends.
void TestTextSearch::matchesTheLiteralLoop()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, searchTexts);
    QFETCH(bool, fromEveryStart);
    const QTemporaryDir dir;
    const Text onDemand = textOnDemand(dir, text);
    for (const QString &searchText : searchTexts) {
        for (qsizetype longestPiece :
             {qsizetype(-1), qsizetype(0), qsizetype(1), searchText.size() + 2, qsizetype(64)}) {
            for (qint64 from = 1; from <= (fromEveryStart ? text.size() + 2 : 1); ++from) {
                const Text snapshot =
                    longestPiece < 0 ? onDemand : textInPieces(text, longestPiece, quint32(from));
                for (const SearchImplementation &implementation : searchImplementations()) {
                    for (qint64 hundreds : {qint64(1), qint64(7), noPump}) {
                        const QString difference =
                            searchDifference(implementation, snapshot, searchText, from, hundreds);
                        QVERIFY2(difference.isEmpty(), qPrintable(difference));
                    }
                }
            }
        }
    }
}

QTEST_GUILESS_MAIN(TestTextSearch)
#include "tst_textsearch.moc"
