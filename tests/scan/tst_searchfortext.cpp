#include "byteview.h"
#include "scriptedwindow.h"

#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

class TestSearchForText final : public QObject
{
    Q_OBJECT

private slots:
    void runsFindEachOccurrenceThenStartOver_data();
    void runsFindEachOccurrenceThenStartOver();
    void matchIsReportedAsTypedAndSelected();
    void emptyTextConfirmedMatchesAtOnce();
    void cancelChangesNothing();
    void progressCaptionStaysAfterTheRun();
    void emptyViewEndsSilently();
    void nestedClickDuringAPumpMovesTheCursor();
    void closingDuringASearchEndsTheProgramQuietly();

private:
    QTemporaryDir dir;
    // Lines of text over 256 MiB, which no search gets through without pumping at least once.
    const QByteArray longText = QByteArray(63, 'x').append('\n').repeated(4 << 20);
};

void TestSearchForText::runsFindEachOccurrenceThenStartOver_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("searchText");
    QTest::addColumn<QList<int>>("positions"); // 0: the run ends silently

    QTest::newRow("abcABC") << QByteArrayLiteral("abcABC") << "bc" << QList<int>{2, 5, 0, 2};
    QTest::newRow("overlapping") << QByteArrayLiteral("aaaa") << "aa" << QList<int>{1, 2, 3, 0};
    QTest::newRow("longer than the rest") << QByteArrayLiteral("xyz") << "yzz" << QList<int>{0, 0};
    QTest::newRow("y with diaeresis")
        << QByteArrayLiteral("-\xff-") << QStringLiteral("\u0178") << QList<int>{2, 0};
    QTest::newRow("no byte has that capital")
        << QByteArrayLiteral("euro") << QStringLiteral("\u20ac") << QList<int>{0};
}

void TestSearchForText::runsFindEachOccurrenceThenStartOver()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, searchText);
    QFETCH(QList<int>, positions);

    ScriptedWindow window;
    window.load(dir, text);
    for (int position : positions) {
        window.services->messages.clear();
        window.services->promptAnswers = {searchText};
        window.click("Command4");
        if (position == 0) {
            QVERIFY(window.services->messages.isEmpty());
            QCOMPARE(window.form->searchPos, 0);
        } else {
            QCOMPARE(window.services->messages,
                     QStringList{searchText +
                                 QStringLiteral(" Was found at position %1").arg(position)});
            QCOMPARE(window.form->searchPos, position + 1);
        }
    }
    QCOMPARE(window.services->prompts.value(0),
             QStringLiteral("search: Enter What You Want To Search For"));
    QVERIFY(window.services->unexpected.isEmpty());
}

void TestSearchForText::matchIsReportedAsTypedAndSelected()
{
    ScriptedWindow window;
    window.load(dir, QByteArrayLiteral("load KERNEL32.DLL"));
    window.button("Command1")->setFocus();
    window.services->promptAnswers = {QStringLiteral("kernel")};
    window.click("Command4");

    QCOMPARE(window.services->messages,
             QStringList{QStringLiteral("kernel Was found at position 6")});
    QCOMPARE(window.text1()->selectionStart(), 5);
    QCOMPARE(window.text1()->selectionEnd(), 11);
    QCOMPARE(window.form->focusWidget(), window.text1());
    QCOMPARE(window.caption("lblStat"), QStringLiteral("Idel"));
    QCOMPARE(window.caption("Command3"), QStringLiteral("Find Path Name"));
}

void TestSearchForText::emptyTextConfirmedMatchesAtOnce()
{
    ScriptedWindow window;
    window.load(dir, QByteArrayLiteral("abc"));
    window.services->promptAnswers = {QString()};
    window.click("Command4");

    QCOMPARE(window.services->messages, QStringList{QStringLiteral(" Was found at position 1")});
    QCOMPARE(window.text1()->selectionStart(), 0);
    QCOMPARE(window.text1()->selectionEnd(), 0);
    QCOMPARE(window.form->searchPos, 2);
}

void TestSearchForText::cancelChangesNothing()
{
    ScriptedWindow window;
    window.load(dir, QByteArrayLiteral("abcabc"));
    window.text1()->select(1, 2);
    for (qint64 before : {0, 3}) {
        window.form->searchPos = before;
        window.services->promptAnswers = {std::nullopt};
        window.click("Command4");
        QCOMPARE(window.form->searchPos, before);
    }
    QVERIFY(window.services->messages.isEmpty());
    QCOMPARE(window.text1()->selectionStart(), 1);
    QCOMPARE(window.text1()->selectionEnd(), 3);
}

void TestSearchForText::progressCaptionStaysAfterTheRun()
{
    ScriptedWindow window;
    window.load(dir, QByteArray(250, 'x'));
    window.services->promptAnswers = {QStringLiteral("y")};
    window.click("Command4");

    QVERIFY(window.services->messages.isEmpty());
    QCOMPARE(window.caption("lblPosition"), QStringLiteral("200"));
    QCOMPARE(window.form->searchPos, 0);
}

void TestSearchForText::emptyViewEndsSilently()
{
    ScriptedWindow window;
    window.services->promptAnswers = {QStringLiteral("anything")};
    window.click("Command4");

    QCOMPARE(window.services->prompts.size(), 1);
    QVERIFY(window.services->messages.isEmpty());
    QCOMPARE(window.form->searchPos, 0);
}

void TestSearchForText::nestedClickDuringAPumpMovesTheCursor()
{
    // A text long enough that the outer run pumps before it reaches the match.
    ScriptedWindow window;
    window.load(dir, longText + "needle" + QByteArray(10, 'x') + "needle");
    bool nested = false;
    window.services->onPump = [&] {
        if (nested)
            return;
        nested = true;
        window.services->promptAnswers.push_back(QStringLiteral("NEEDLE"));
        window.click("Command4");
    };
    window.services->promptAnswers = {QStringLiteral("needle")};
    window.click("Command4");

    const int first = longText.size() + 1;
    QVERIFY(nested);
    QCOMPARE(window.services->messages,
             QStringList({QStringLiteral("NEEDLE Was found at position %1").arg(first),
                          QStringLiteral("needle Was found at position %1").arg(first + 16)}));
    QCOMPARE(window.form->searchPos, first + 17);
}

void TestSearchForText::closingDuringASearchEndsTheProgramQuietly()
{
    ScriptedWindow window;
    window.load(dir, longText + "needle");
    window.services->promptAnswers = {QStringLiteral("needle")};
    window.services->onPump = [&] {
        window.form->close();
    };
    QTimer::singleShot(0, window.form.get(), [&window] { window.click("Command4"); });
    QTimer::singleShot(20000, qApp, [] { QCoreApplication::exit(1); });

    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(window.services->pumps > 0);
    QVERIFY(window.services->messages.isEmpty());
}

QTEST_MAIN(TestSearchForText)
#include "tst_searchfortext.moc"
