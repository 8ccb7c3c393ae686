#include "byteview.h"
#include "scriptedwindow.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

class TestForm1 final : public QObject
{
    Q_OBJECT

private slots:
    void controlsSitWhereTheLayoutPutsThem_data();
    void controlsSitWhereTheLayoutPutsThem();
    void captionsFitTheirControls_data();
    void captionsFitTheirControls();
    void windowStartsEmptyAndIdle();
    void tabOrderFollowsTheLayout();
    void resizingMovesNothingAndPumpsOnce();
    void captionsOtherThanTheScansNeverChange();
    void closingTheWindowEndsTheProgram();
};

void TestForm1::controlsSitWhereTheLayoutPutsThem_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("caption");

    const QString window = QStringLiteral("Form1");
    QTest::newRow("Label1") << "Label1" << window << QRect(0, 0, 145, 17)
                            << "The Programs Binary As Text:";
    QTest::newRow("text1") << "text1" << window << QRect(0, 16, 609, 417) << QString();
    QTest::newRow("Command1") << "Command1" << window << QRect(0, 432, 161, 25)
                              << "Open A File To Edit";
    QTest::newRow("Command3") << "Command3" << window << QRect(160, 432, 137, 25)
                              << "Find Path Name";
    QTest::newRow("Command4") << "Command4" << window << QRect(296, 432, 145, 25)
                              << "Search For Legible Text";
    QTest::newRow("Command2") << "Command2" << window << QRect(440, 432, 169, 25)
                              << "Save The File";
    QTest::newRow("Picture1") << "Picture1" << window << QRect(0, 456, 609, 25) << QString();
    QTest::newRow("lblStat") << "lblStat"
                             << "Picture1" << QRect(0, 0, 145, 17) << "Idel";
    QTest::newRow("lblPosition") << "lblPosition"
                                 << "Picture1" << QRect(176, 0, 177, 17) << QString();
}

void TestForm1::controlsSitWhereTheLayoutPutsThem()
{
    QFETCH(QString, name);
    QFETCH(QString, container);
    QFETCH(QRect, geometry);
    QFETCH(QString, caption);

    ScriptedWindow window;
    QCOMPARE(window.form->objectName(), QStringLiteral("Form1"));
    QCOMPARE(window.form->windowTitle(), QStringLiteral("Korvane"));
    QCOMPARE(window.form->size(), QSize(609, 481));

    const auto *control = window.form->findChild<QWidget *>(name);
    QVERIFY(control);
    QCOMPARE(control->parentWidget()->objectName(), container);
    QCOMPARE(control->geometry(), geometry);
    if (const auto *label = qobject_cast<const QLabel *>(control))
        QCOMPARE(label->text(), caption);
    if (const auto *button = qobject_cast<const QPushButton *>(control))
        QCOMPARE(button->text(), caption);
}

void TestForm1::captionsFitTheirControls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");

    QTest::newRow("Label1") << "Label1"
                            << "The Programs Binary As Text:";
    QTest::newRow("Command1") << "Command1"
                              << "Open A File To Edit";
    QTest::newRow("Command3 first") << "Command3"
                                    << "Find Path Name";
    QTest::newRow("Command3 next") << "Command3"
                                   << "Find Next Path Name";
    QTest::newRow("Command4") << "Command4"
                              << "Search For Legible Text";
    QTest::newRow("Command2") << "Command2"
                              << "Save The File";
    QTest::newRow("lblStat searching") << "lblStat"
                                       << "Searching For Path Name";
    QTest::newRow("lblStat finished") << "lblStat"
                                      << "Search Finished";
    QTest::newRow("lblPosition count") << "lblPosition"
                                       << "4294967296 Total Characters";
    QTest::newRow("lblPosition progress") << "lblPosition"
                                          << "Position 4294967296 of 4294967296";
}

// Every caption must be readable whole inside its control at the fixed geometry.
void TestForm1::captionsFitTheirControls()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);

    ScriptedWindow window;
    const auto *control = window.form->findChild<QWidget *>(name);
    QVERIFY(control);
    const int margin = qobject_cast<const QPushButton *>(control) ? 8 : 0;
    const QFontMetrics metrics(control->font());
    QVERIFY2(metrics.horizontalAdvance(caption) + margin <= control->width(),
             qPrintable(QStringLiteral("%1 px wide").arg(metrics.horizontalAdvance(caption))));
    QVERIFY(metrics.height() <= control->height());
}

void TestForm1::windowStartsEmptyAndIdle()
{
    ScriptedWindow window;
    QCOMPARE(window.text1()->length(), 0);
    QCOMPARE(window.caption("lblStat"), QStringLiteral("Idel"));
    QCOMPARE(window.caption("lblPosition"), QString());
    QCOMPARE(window.form->pathPos, 0);
    QCOMPARE(window.form->searchPos, 0);
    QVERIFY(!window.form->windowIcon().isNull());
    QCOMPARE(window.form->windowIcon().availableSizes().value(0), QSize(32, 32));
}

void TestForm1::tabOrderFollowsTheLayout()
{
    ScriptedWindow window;
    QApplication::setActiveWindow(window.form.get());
    QVERIFY(QTest::qWaitForWindowActive(window.form.get()));
    QCOMPARE(QApplication::focusWidget(), window.button("Command1"));

    const QStringList expected = {QStringLiteral("text1"), QStringLiteral("Command2"),
                                  QStringLiteral("Command3"), QStringLiteral("Command4"),
                                  QStringLiteral("Command1")};
    QStringList visited;
    QWidget *widget = window.button("Command1");
    for (int i = 0; i < expected.size(); ++i) {
        widget = widget->nextInFocusChain();
        while (widget->focusPolicy() == Qt::NoFocus)
            widget = widget->nextInFocusChain();
        visited << widget->objectName();
    }
    QCOMPARE(visited, expected);
}

void TestForm1::resizingMovesNothingAndPumpsOnce()
{
    ScriptedWindow window;
    QList<QRect> before;
    const QList<QWidget *> controls = window.form->findChildren<QWidget *>();
    for (const QWidget *control : controls)
        before << control->geometry();

    const int pumps = window.services->pumps;
    window.form->resize(800, 700);
    QResizeEvent resize(QSize(800, 700), window.form->size());
    QApplication::sendEvent(window.form.get(), &resize);

    QCOMPARE(window.services->pumps, pumps + 1);
    QCOMPARE(window.form->size(), QSize(609, 481));
    for (int i = 0; i < controls.size(); ++i)
        QCOMPARE(controls[i]->geometry(), before[i]);
}

void TestForm1::captionsOtherThanTheScansNeverChange()
{
    QTemporaryDir dir;
    ScriptedWindow window;
    window.load(dir, QByteArrayLiteral("C:\\x"));
    window.services->promptAnswers = {QStringLiteral("x")};
    window.click("Command3");
    window.click("Command4");

    QCOMPARE(window.caption("Label1"), QStringLiteral("The Programs Binary As Text:"));
    QCOMPARE(window.caption("Command1"), QStringLiteral("Open A File To Edit"));
    QCOMPARE(window.caption("Command2"), QStringLiteral("Save The File"));
    QCOMPARE(window.caption("Command4"), QStringLiteral("Search For Legible Text"));
    QCOMPARE(window.caption("Command3"), QStringLiteral("Find Next Path Name"));
}

void TestForm1::closingTheWindowEndsTheProgram()
{
    ScriptedWindow window;
    QTimer::singleShot(0, window.form.get(), [&window] { window.form->close(); });
    QTimer::singleShot(10000, qApp, [] { QCoreApplication::exit(1); });
    QCOMPARE(QCoreApplication::exec(), 0);
}

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
