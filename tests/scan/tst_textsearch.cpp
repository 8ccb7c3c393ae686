#include "scanreference.h"
#include "textpieces.h"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <numeric>

using namespace Qt::StringLiterals;

namespace {

QByteArray allBytes()
{
    QByteArray bytes(256, 0);
    std::iota(bytes.begin(), bytes.end(), 0);
    return bytes;
}

QByteArray repeated(const char *part, qsizetype times)
{
    return QByteArray(part).repeated(times);
}

// Case variations of a part of the text, or characters drawn from `characters`.
QString randomSearchText(QRandomGenerator &random, const QByteArray &text,
                         const QString &characters)
{
    const int length = random.bounded(int(text.size()) / 4 + 2);
    if (characters.isEmpty()) {
        QString part = QString::fromLatin1(text.mid(random.bounded(int(text.size()) + 1), length));
        for (QChar &character : part)
            character = random.bounded(2) ? character.toUpper() : character.toLower();
        return part;
    }
    QString drawn;
    for (int i = 0; i < length % 8; ++i)
        drawn += characters[random.bounded(int(characters.size()))];
    return drawn;
}

// The text whole and in pieces, so that the spans of the snapshot end at every offset around the
// matches: one byte long, about as long as the search text, and longer.
void compareWithTheLiteralLoop(const QByteArray &bytes, const QString &searchText, qint64 from)
{
    for (qsizetype longestPiece :
         {qsizetype(0), qsizetype(1), searchText.size() + 2, qsizetype(64)}) {
        const Text text = textInPieces(bytes, longestPiece, quint32(from));
        for (qint64 hundreds : {qint64(1), qint64(7), noPump}) {
            const QString difference = searchDifference(text, searchText, from, hundreds);
            QVERIFY2(difference.isEmpty(), qPrintable(difference));
        }
    }
}

} // namespace

class TestTextSearch final : public QObject
{
    Q_OBJECT

private slots:
    void matchesTheLiteralLoop_data();
    void matchesTheLiteralLoop();
    void matchesTheLiteralLoopOnRandomTexts_data();
    void matchesTheLiteralLoopOnRandomTexts();
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
    QTest::newRow("case beyond ASCII")
        << allBytes() + allBytes() << QStringList{u"\u0178"_s,       u"\u039c"_s,
                                                  u"\u00e0"_s,       u"\u00df"_s,
                                                  u"\u0131"_s,       u"\u017f"_s,
                                                  u"\u1e9e"_s,       u"\u212a"_s,
                                                  u"\u20ac"_s,       QString(QChar(0xd800)),
                                                  u"\u00ff\u0000"_s, u"Z["_s}
        << false;
    QTest::newRow("repeating matches")
        << repeated("aB\xff", 70) + "abc" + repeated("\xb5", 30)
        << QStringList{{}, u"ab"_s, u"\u0178AB"_s, u"\u039c"_s} << true;
    QTest::newRow("lone match on a pump point")
        << QByteArray(199, 'x') + 'a' + QByteArray(150, 'b') + QByteArray(20, 'x')
        << QStringList{u"a"_s, u"AB"_s, u"a"_s + u"B"_s.repeated(149)} << true;
    QTest::newRow("repeating stretch, then a match on a pump point")
        << 'b' + repeated("ab", 139) + "bbab" << QStringList{u"AB"_s.repeated(40) + u"bbab"_s}
        << true;
    // Texts that make comparisons at nearly every position run long before they fail.
    QTest::newRow("a..ab in a run of a")
        << QByteArray(3000, 'a') << QStringList{u"A"_s.repeated(700) + u"b"_s} << false;
    QTest::newRow("a..ab found at the end")
        << QByteArray(3000, 'a') + 'b' << QStringList{u"a"_s.repeated(999) + u"B"_s} << false;
    QTest::newRow("ba..a in a run of a")
        << QByteArray(3000, 'a') << QStringList{u"b"_s + u"a"_s.repeated(300)} << false;
    QTest::newRow("abab..bbab found at the end")
        << repeated("ab", 2000) + "bbab"
        << QStringList{QString::fromLatin1(repeated("AB", 40) + "bbab")} << false;
    QTest::newRow("repeating stretch with a flaw")
        << repeated("bbba", 11) + "bbaa" + repeated("bbba", 3) + "bbb"
        << QStringList{u"BB"_s + u"ABBB"_s.repeated(5) + u"ABBAABBBAB"_s} << false;
    QTest::newRow("zero runs") << QByteArray(2000, 0) + "x" + QByteArray(99, 0)
                               << QStringList{QString(QChar(0)).repeated(20) + u"X"_s} << false;
}

void TestTextSearch::matchesTheLiteralLoop()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, searchTexts);
    QFETCH(bool, fromEveryStart);
    for (const QString &searchText : searchTexts) {
        for (qint64 from = 1; from <= (fromEveryStart ? text.size() + 2 : 1); ++from) {
            compareWithTheLiteralLoop(text, searchText, from);
            if (QTest::currentTestFailed())
                return;
        }
    }
}

void TestTextSearch::matchesTheLiteralLoopOnRandomTexts_data()
{
    QTest::addColumn<QByteArray>("alphabet");
    QTest::addColumn<int>("period");
    QTest::addColumn<QString>("characters");
    QTest::newRow("all bytes, parts") << allBytes() << 0 << QString();
    QTest::newRow("case pairs, parts") << QByteArray("aAbB\xff\xb5\xdf\xe0\xc0") << 0 << QString();
    QTest::newRow("case pairs, drawn") << QByteArray("aAbB\xff\xb5\xdf\x00", 8) << 0
                                       << u"aAbB\u00ff\u0178\u00b5\u039c\u00df\u0131\u20ac"_s;
    QTest::newRow("periodic with flaws, parts") << QByteArray("abAB") << 3 << QString();
}

void TestTextSearch::matchesTheLiteralLoopOnRandomTexts()
{
    QFETCH(QByteArray, alphabet);
    QFETCH(int, period);
    QFETCH(QString, characters);
    QRandomGenerator random(quint32(qHash(QByteArrayView(QTest::currentDataTag()))));
    const auto randomByte = [&] {
        return alphabet[random.bounded(int(alphabet.size()))];
    };
    for (int round = 0; round < 150; ++round) {
        QByteArray text(random.bounded(700), Qt::Uninitialized);
        QByteArray unit(period, Qt::Uninitialized);
        std::generate(unit.begin(), unit.end(), randomByte);
        // A periodic text with a few flaws makes long comparisons that fail late.
        for (qsizetype i = 0; i < text.size(); ++i)
            text[i] = period > 0 && random.bounded(200) > 0 ? unit[i % period] : randomByte();
        const QString searchText = randomSearchText(random, text, characters);
        compareWithTheLiteralLoop(text, searchText, 1 + random.bounded(int(text.size()) + 3));
        if (QTest::currentTestFailed())
            return;
    }
}

QTEST_GUILESS_MAIN(TestTextSearch)
#include "tst_textsearch.moc"
