#include "literalloops.h"
#include "pathscan.h"
#include "textsearch.h"

#include <QLabel>
#include <QRandomGenerator>
#include <QTest>

// The baselines must do the work the commands do, or comparing their times means nothing: each
// literal run is checked against the scan functions of the commands.
class TestLiteralLoops final : public QObject
{
    Q_OBJECT

private slots:
    void findPath_data();
    void findPath();
    void findPathOnRandomTexts();
    void searchForText_data();
    void searchForText();
    void searchForTextOnRandomTexts();

private:
    void checkFindPath(const QByteArray &text, qint64 from);
    void checkSearch(const QByteArray &text, const QString &searchText, qint64 from);

    QWidget text1;
    QLabel lblPosition;
    const LiteralControls controls{&text1, &lblPosition};
};

namespace {

// A multiple of 100 that no run over `text` from `from` reaches.
qint64 beyondTheRun(const QByteArray &text, qint64 from)
{
    return (std::max<qint64>(text.size(), from) / 100 + 2) * 100;
}

QByteArray randomText(QRandomGenerator &random, const QByteArray &alphabet, qint64 maxLength)
{
    QByteArray text(random.bounded(maxLength + 1), Qt::Uninitialized);
    for (char &c : text)
        c = alphabet[random.bounded(alphabet.size())];
    return text;
}

QString progressCaption(qint64 position, qint64 total)
{
    return QStringLiteral("Position %1 of %2").arg(position).arg(total);
}

} // namespace

void TestLiteralLoops::checkFindPath(const QByteArray &text, qint64 from)
{
    const PathScanStep expected =
        scanForPath(text, std::max<qint64>(from, 1), 0, beyondTheRun(text, from));
    qint64 pathPos = from;
    const bool found = literalFindPath(text, pathPos, controls);
    const QString context = QStringLiteral("\"%1\" from %2").arg(QLatin1String(text)).arg(from);
    QVERIFY2(found == (expected.stop == PathScanStep::Stop::Found), qPrintable(context));
    if (!found) {
        QCOMPARE(pathPos, 0);
        QCOMPARE(lblPosition.text(), QString());
        return;
    }
    QCOMPARE(pathPos, expected.position);
    const qint64 captioned = expected.lastProgressPosition.value_or(from);
    QCOMPARE(lblPosition.text(), progressCaption(captioned, text.size()));
}

void TestLiteralLoops::checkSearch(const QByteArray &text, const QString &searchText, qint64 from)
{
    const SearchStep expected = searchFolded(foldedSnapshot(text), SearchPattern(searchText),
                                             std::max<qint64>(from, 1), beyondTheRun(text, from));
    lblPosition.setText(QStringLiteral("before"));
    qint64 searchPos = from;
    const bool found = literalSearchForText(text, searchText, searchPos, controls);
    const QString context =
        QStringLiteral("\"%1\" in \"%2\" from %3").arg(searchText, QLatin1String(text)).arg(from);
    QVERIFY2(found == (expected.stop == SearchStep::Stop::Found), qPrintable(context));
    QCOMPARE(searchPos, found ? expected.position + 1 : 0);
    const QString caption = expected.lastProgressPosition
                                ? QString::number(*expected.lastProgressPosition)
                                : QStringLiteral("before");
    QCOMPARE(lblPosition.text(), caption);
}

void TestLiteralLoops::findPath_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<qint64>("from");

    QTest::newRow("path at the start") << QByteArray("C:\\x") << qint64(0);
    QTest::newRow("B is no drive") << QByteArray("b:\\ c:\\") << qint64(0);
    QTest::newRow("candidate before the drive") << QByteArray("AC:\\") << qint64(0);
    QTest::newRow("colon after the drive") << QByteArray("A:C:\\") << qint64(0);
    QTest::newRow("slash") << QByteArray("xE:/y") << qint64(0);
    QTest::newRow("empty") << QByteArray() << qint64(0);
    QTest::newRow("from the backslash") << QByteArray("C:\\x d:\\") << qint64(3);
    QTest::newRow("beyond the end") << QByteArray("C:\\x") << qint64(900);
    QTest::newRow("progress") << QByteArray(250, 'x') + "f:\\" << qint64(0);
}

void TestLiteralLoops::findPath()
{
    QFETCH(QByteArray, text);
    QFETCH(qint64, from);
    checkFindPath(text, from);
}

void TestLiteralLoops::findPathOnRandomTexts()
{
    QRandomGenerator random(31);
    for (int i = 0; i < 400; ++i) {
        const QByteArray text = randomText(random, "aAbcCdDeEfFgx:\\/", 700);
        checkFindPath(text, random.bounded(text.size() + 3));
    }
}

void TestLiteralLoops::searchForText_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("searchText");
    QTest::addColumn<qint64>("from");

    QTest::newRow("first") << QByteArray("abcABC") << "bc" << qint64(0);
    QTest::newRow("other case") << QByteArray("abcABC") << "bc" << qint64(3);
    QTest::newRow("after the last") << QByteArray("abcABC") << "bc" << qint64(6);
    QTest::newRow("overlapping") << QByteArray("aaaa") << "aa" << qint64(2);
    QTest::newRow("empty search text") << QByteArray("abc") << "" << qint64(0);
    QTest::newRow("longer than the rest") << QByteArray("abc") << "bcd" << qint64(0);
    QTest::newRow("no match, progress") << QByteArray(250, 'x') << "y" << qint64(0);
    QTest::newRow("Latin-1 upper case")
        << QByteArray("x\xff\xe9") << "\xc5\xb8\xc3\x89" << qint64(0);
    QTest::newRow("empty view") << QByteArray() << "a" << qint64(0);
}

void TestLiteralLoops::searchForText()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, searchText);
    QFETCH(qint64, from);
    checkSearch(text, searchText, from);
}

void TestLiteralLoops::searchForTextOnRandomTexts()
{
    QRandomGenerator random(37);
    for (int i = 0; i < 400; ++i) {
        const QByteArray text = randomText(random, "aAbB\xb5\xe0\xc0 ", 700);
        const QByteArray searchText = randomText(random, "aAbB\xb5\xe0", 4);
        checkSearch(text, QString::fromLatin1(searchText), random.bounded(text.size() + 3));
    }
}

QTEST_MAIN(TestLiteralLoops)
#include "tst_literalloops.moc"
