#include "textsearch.h"
#include "textsearchreference.h"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <numeric>

using namespace Qt::StringLiterals;

char *toString(const SearchStep &step)
{
    const char *stops[] = {"Found", "EndOfText", "PumpPoint"};
    return QTest::toString(QStringLiteral("%1 at %2, progress %3")
                               .arg(QLatin1StringView(stops[int(step.stop)]))
                               .arg(step.position)
                               .arg(step.lastProgressPosition.value_or(-1)));
}

namespace {

auto fastSearch(QByteArrayView text, const QString &searchText)
{
    return [folded = foldedSnapshot(text), pattern = SearchPattern(searchText)](qint64 from,
                                                                                qint64 pumpAt) {
        return searchFolded(folded, pattern, from, pumpAt);
    };
}

auto slowSearch(QByteArrayView text, const QString &searchText)
{
    return [text = text.toByteArray(), searchText](qint64 from, qint64 pumpAt) {
        return referenceSearch(text, searchText, from, pumpAt);
    };
}

void compareWithReference(const QByteArray &text, const QString &searchText, qint64 from)
{
    for (qint64 hundredsPerPump : {qint64(1), qint64(7), noPump}) {
        QCOMPARE(successiveRuns(fastSearch(text, searchText), from, hundredsPerPump),
                 successiveRuns(slowSearch(text, searchText), from, hundredsPerPump));
    }
}

QList<qint64> foundPositions(const QList<SearchStep> &steps)
{
    QList<qint64> positions;
    for (const SearchStep &step : steps) {
        if (step.stop == SearchStep::Stop::Found)
            positions.append(step.position);
    }
    return positions;
}

QList<qint64> captions(const QList<SearchStep> &steps)
{
    QList<qint64> shown;
    for (const SearchStep &step : steps) {
        if (step.lastProgressPosition)
            shown.append(*step.lastProgressPosition);
    }
    return shown;
}

// Case-insensitive variations of a part of the text, or characters drawn from `characters`.
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

QByteArray repeated(const char *part, qsizetype times)
{
    return QByteArray(part).repeated(times);
}

QByteArray allBytes()
{
    QByteArray bytes(256, 0);
    std::iota(bytes.begin(), bytes.end(), 0);
    return bytes;
}

} // namespace

class TestTextSearch final : public QObject
{
    Q_OBJECT

private slots:
    void findsSuccessiveMatches_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("searchText");
        QTest::addColumn<QList<qint64>>("found");
        QTest::newRow("mixed case") << QByteArray("abcABC") << u"bc"_s << QList<qint64>{2, 5};
        QTest::newRow("overlapping") << QByteArray("aaaa") << u"aa"_s << QList<qint64>{1, 2, 3};
        QTest::newRow("empty search text")
            << QByteArray("xyz") << QString() << QList<qint64>{1, 2, 3};
        QTest::newRow("empty view") << QByteArray() << u"a"_s << QList<qint64>{};
        QTest::newRow("longer than the text") << QByteArray("ab") << u"abc"_s << QList<qint64>{};
        // Among all 256 bytes, byte b is at position b + 1.
        QTest::newRow("y diaeresis") << allBytes() << u"\u0178"_s << QList<qint64>{256};
        QTest::newRow("micro sign") << allBytes() << u"\u039c"_s << QList<qint64>{182};
        QTest::newRow("a grave") << allBytes() << u"\u00e0"_s << QList<qint64>{193, 225};
        QTest::newRow("sharp s") << allBytes() << u"\u00df"_s << QList<qint64>{224};
        QTest::newRow("dotless i") << allBytes() << u"\u0131"_s << QList<qint64>{74, 106};
        QTest::newRow("long s") << allBytes() << u"\u017f"_s << QList<qint64>{84, 116};
        QTest::newRow("capital sharp s") << allBytes() << u"\u1e9e"_s << QList<qint64>{};
        QTest::newRow("Kelvin sign") << allBytes() << u"\u212a"_s << QList<qint64>{};
        QTest::newRow("euro sign") << allBytes() << u"\u20ac"_s << QList<qint64>{};
        QTest::newRow("lone surrogate") << allBytes() << QString(QChar(0xd800)) << QList<qint64>{};
    }

    void findsSuccessiveMatches()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, searchText);
        QFETCH(QList<qint64>, found);
        QCOMPARE(foundPositions(successiveRuns(fastSearch(text, searchText), 1, noPump)), found);
        QCOMPARE(foundPositions(successiveRuns(slowSearch(text, searchText), 1, noPump)), found);
    }

    void showsEveryHundredthPosition_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<qint64>("from");
        QTest::addColumn<QList<qint64>>("shown");
        QTest::newRow("250 without a match")
            << QByteArray(250, 'x') << qint64(1) << QList<qint64>{100, 200};
        QTest::newRow("from 57") << QByteArray(250, 'x') << qint64(57) << QList<qint64>{100, 200};
        QTest::newRow("one past the end")
            << QByteArray(299, 'x') << qint64(1) << QList<qint64>{100, 200, 300};
        QTest::newRow("found") << QByteArray(149, 'x') + 'Y' << qint64(1) << QList<qint64>{100};
    }

    void showsEveryHundredthPosition()
    {
        QFETCH(QByteArray, text);
        QFETCH(qint64, from);
        QFETCH(QList<qint64>, shown);
        const auto search = fastSearch(text, u"y"_s);
        QCOMPARE(captions(successiveRuns(search, from, 1)), shown);
        QCOMPARE(search(from, noPump).lastProgressPosition,
                 shown.isEmpty() ? std::nullopt : std::optional(shown.last()));
    }

    void agreesWithReferenceOnRandomTexts_data()
    {
        QTest::addColumn<QByteArray>("alphabet");
        QTest::addColumn<int>("period");
        QTest::addColumn<QString>("characters");
        QTest::newRow("all bytes, parts") << allBytes() << 0 << QString();
        QTest::newRow("case pairs, parts")
            << QByteArray("aAbB\xff\xb5\xdf\xe0\xc0") << 0 << QString();
        QTest::newRow("case pairs, drawn") << QByteArray("aAbB\xff\xb5\xdf\x00", 8) << 0
                                           << u"aAbB\u00ff\u0178\u00b5\u039c\u00df\u0131\u20ac"_s;
        QTest::newRow("periodic with flaws, parts") << QByteArray("abAB") << 3 << QString();
    }

    void agreesWithReferenceOnRandomTexts()
    {
        QFETCH(QByteArray, alphabet);
        QFETCH(int, period);
        QFETCH(QString, characters);
        const auto seed = quint32(qHash(QByteArrayView(QTest::currentDataTag())));
        QRandomGenerator random(seed);
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
            compareWithReference(text, searchText, 1 + random.bounded(int(text.size()) + 3));
            if (QTest::currentTestFailed())
                return;
        }
    }

    void agreesWithReferenceFromEveryStart_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QStringList>("searchTexts");
        QTest::newRow("repeating matches") << repeated("aB\xff", 70) + "abc" + repeated("\xb5", 30)
                                           << QStringList{{}, u"ab"_s, u"\u0178AB"_s, u"\u039c"_s};
        QTest::newRow("lone match on a pump point")
            << QByteArray(199, 'x') + 'a' + QByteArray(150, 'b') + QByteArray(20, 'x')
            << QStringList{u"a"_s, u"AB"_s, u"a"_s + u"B"_s.repeated(149)};
        QTest::newRow("repeating stretch, then a match on a pump point")
            << 'b' + repeated("ab", 139) + "bbab" << QStringList{u"AB"_s.repeated(40) + u"bbab"_s};
    }

    void agreesWithReferenceFromEveryStart()
    {
        QFETCH(QByteArray, text);
        QFETCH(QStringList, searchTexts);
        for (const QString &searchText : searchTexts) {
            const auto search = fastSearch(text, searchText);
            for (qint64 from = 1; from <= text.size() + 2; ++from) {
                for (qint64 pumpAt : {(from / 100 + 1) * 100, noPump}) {
                    QCOMPARE(search(from, pumpAt), referenceSearch(text, searchText, from, pumpAt));
                }
            }
        }
    }

    void agreesWithReferenceOnRepetitiveTexts_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("searchText");
        QTest::newRow("a..ab in a run of a")
            << QByteArray(3000, 'a') << u"A"_s.repeated(700) + u"b"_s;
        QTest::newRow("a..ab found at the end")
            << QByteArray(3000, 'a') + 'b' << u"a"_s.repeated(999) + u"B"_s;
        QTest::newRow("ba..a in a run of a")
            << QByteArray(3000, 'a') << u"b"_s + u"a"_s.repeated(300);
        QTest::newRow("abab..bbab found at the end")
            << repeated("ab", 2000) + "bbab" << QString::fromLatin1(repeated("AB", 40) + "bbab");
        QTest::newRow("repeating stretch with a flaw")
            << repeated("bbba", 11) + "bbaa" + repeated("bbba", 3) + "bbb"
            << u"BB"_s + u"ABBB"_s.repeated(5) + u"ABBAABBBAB"_s;
        QTest::newRow("zero runs") << QByteArray(2000, 0) + "x" + QByteArray(99, 0)
                                   << QString(QChar(0)).repeated(20) + u"X"_s;
    }

    void agreesWithReferenceOnRepetitiveTexts()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, searchText);
        compareWithReference(text, searchText, 1);
    }
};

QTEST_GUILESS_MAIN(TestTextSearch)
#include "tst_textsearch.moc"
