#include "byteview.h"
#include "clipboardbytes.h"
#include "scriptedwindow.h"
#include "textpieces.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

class TestForm1 final : public QObject
{
    Q_OBJECT

private slots:
    void controlsFollowTheLayout();
    void captionsFitTheirControls_data();
    void captionsFitTheirControls();
    void windowStartsEmptyAndIdle();
    void keyboardAndScreenReadersReachTheControls();
    void theViewsRefusalsAreShown();
    void closingTheWindowEndsTheProgram();
};

// The controls sit in a fixed layout: the view under its caption, one row of
// buttons (open, find path, search, save) each overlapping its left neighbour by a pixel, the
// view overlapping the caption and the buttons by a pixel, and the status strip overlapping
// the buttons by a pixel, all as wide as the window. A resize moves nothing and only pumps.
void TestForm1::controlsFollowTheLayout()
{
    ScriptedWindow window;
    const qsizetype pumps = window.services->pumps.size();
    window.form->resize(800, 700);
    QResizeEvent resize(QSize(800, 700), window.form->size());
    QApplication::sendEvent(window.form.get(), &resize);
    QCOMPARE(window.services->pumps.size(), pumps + 1);
    QCOMPARE(window.form->objectName(), QStringLiteral("Form1"));
    QCOMPARE(window.form->windowTitle(), QStringLiteral("Korvane"));
    QCOMPARE(window.form->size(), QSize(609, 481));
    const auto rect = [&window](const char *name) {
        return window.form->findChild<QWidget *>(QLatin1String(name))->geometry();
    };
    const QRect text1 = rect("text1");
    QCOMPARE(text1.top(), rect("Label1").bottom());
    QCOMPARE(text1.width(), 609);
    const QList<QRect> buttons{rect("Command1"), rect("Command3"), rect("Command4"),
                               rect("Command2")};
    QCOMPARE(buttons.first().left(), 0);
    QCOMPARE(buttons.last().right(), 608);
    for (qsizetype i = 0; i < buttons.size(); ++i) {
        QCOMPARE(buttons[i].top(), text1.bottom());
        if (i > 0)
            QCOMPARE(buttons[i].left(), buttons[i - 1].right());
    }
    const QRect strip = rect("Picture1");
    QCOMPARE(strip, QRect(0, buttons.first().bottom(), 609, 481 - buttons.first().bottom()));
    const auto *lblStat = window.label("lblStat");
    const auto *lblPosition = window.label("lblPosition");
    QCOMPARE(lblStat->parentWidget()->objectName(), QStringLiteral("Picture1"));
    QCOMPARE(lblPosition->parentWidget()->objectName(), QStringLiteral("Picture1"));
    QVERIFY(lblStat->geometry().right() < lblPosition->geometry().left());
}

void TestForm1::captionsFitTheirControls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    const std::pair<const char *, const char *> captions[] = {
        {"Label1", "The Programs Binary As Text:"},
        {"Command1", "Open A File To Edit"},
        {"Command3", "Find Path Name"},
        {"Command3", "Find Next Path Name"},
        {"Command4", "Search For Legible Text"},
        {"Command2", "Save The File"},
        {"lblStat", "Searching For Path Name"},
        {"lblStat", "Search Finished"},
        {"lblPosition", "4294967296 Total Characters"},
        {"lblPosition", "Position 4294967296 of 4294967296"},
    };
    for (const auto &[name, caption] : captions)
        QTest::addRow("%s: %s", name, caption)
            << QString::fromLatin1(name) << QString::fromLatin1(caption);
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

// The window starts empty and idle, and of its captions only the scans' ever change.
void TestForm1::windowStartsEmptyAndIdle()
{
    QTemporaryDir dir;
    ScriptedWindow window;
    QCOMPARE(window.text1()->editor().length(), 0);
    QCOMPARE(window.caption("lblStat"), QStringLiteral("Idel"));
    QCOMPARE(window.caption("lblPosition"), QString());
    QCOMPARE(window.form->pathPos, 0);
    QCOMPARE(window.form->searchPos, 0);
    QCOMPARE(window.form->windowIcon().availableSizes().value(0), QSize(32, 32));
    const auto fixedCaptions = [&window] {
        return QStringList{window.caption("Label1"), window.caption("Command1"),
                           window.caption("Command2"), window.caption("Command4")};
    };
    const QStringList fixed = {
        QStringLiteral("The Programs Binary As Text:"), QStringLiteral("Open A File To Edit"),
        QStringLiteral("Save The File"), QStringLiteral("Search For Legible Text")};
    QCOMPARE(fixedCaptions(), fixed);
    window.load(dir, QByteArrayLiteral("C:\\x"));
    window.services->promptAnswers = {QStringLiteral("x")};
    window.click("Command3");
    window.click("Command4");
    QCOMPARE(fixedCaptions(), fixed);
}

// The keyboard goes from the open button to the view, where Tab types a tab and Ctrl+Tab goes
// on, then to save, find path and search, and round to the open button.
void TestForm1::keyboardAndScreenReadersReachTheControls()
{
    ScriptedWindow window;
    QApplication::setActiveWindow(window.form.get());
    QVERIFY(QTest::qWaitForWindowActive(window.form.get()));
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Command1"));
    QStringList visited;
    for (const bool control : {false, false, true, false, false, false}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab,
                        control ? Qt::ControlModifier : Qt::NoModifier);
        visited << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(visited, QStringList({QStringLiteral("text1"), QStringLiteral("text1"),
                                   QStringLiteral("Command2"), QStringLiteral("Command3"),
                                   QStringLiteral("Command4"), QStringLiteral("Command1")}));
    QCOMPARE(window.text(), QByteArrayLiteral("\t"));

    // A screen reader finds the window as a frame titled "Korvane", the view named by the caption
    // above it, the strip as a status bar whose labels read their captions, and the focus on one
    // object alone.
    window.text1()->setFocus();
    const auto accessible = [&window](const char *name) {
        return QAccessible::queryAccessibleInterface(
            window.form->findChild<QWidget *>(QLatin1String(name)));
    };
    QAccessibleInterface *form = QAccessible::queryAccessibleInterface(window.form.get());
    QCOMPARE(form->role(), QAccessible::Window);
    QCOMPARE(form->text(QAccessible::Name), QStringLiteral("Korvane"));
    QCOMPARE(accessible("text1")->text(QAccessible::Name), window.caption("Label1"));
    QVERIFY(accessible("text1")->state().selectableText);
    QCOMPARE(accessible("Picture1")->role(), QAccessible::StatusBar);
    QCOMPARE(accessible("lblStat")->text(QAccessible::Name), QStringLiteral("Idel"));

    QStringList focused;
    const std::function<void(QAccessibleInterface *)> visit = [&](QAccessibleInterface *node) {
        if (node->state().focused)
            focused << node->object()->objectName();
        for (int i = 0; i < node->childCount(); ++i)
            visit(node->child(i));
    };
    visit(form);
    QCOMPARE(focused, QStringList(QStringLiteral("text1")));
}

// What the view refuses to paste or copy, and a copy that another program could not be given,
// reach the user in the window's message box.
void TestForm1::theViewsRefusalsAreShown()
{
    ScriptedWindow window;
    ByteView *view = window.text1();
    view->setFocus();
    QApplication::clipboard()->setText(QStringLiteral("\u4e2d"));
    QTest::keySequence(view, QKeySequence::Paste);
    view->editor().setText(repeatedText(QByteArray(1 << 20, 'x'), 65));
    QTest::keySequence(view, QKeySequence::SelectAll);
    QTest::keySequence(view, QKeySequence::Copy);
    view->editor().select(0, 1);
    QTest::keySequence(view, QKeySequence::Copy);
    emit qobject_cast<const ClipboardBytes *>(QApplication::clipboard()->mimeData())
        ->failed(QStringLiteral("Not handed over."));

    QTRY_COMPARE(window.services->messages.size(), 3);
    const QStringList &messages = window.services->messages;
    QCOMPARE(messages[0],
             QStringLiteral("Nothing was pasted: the clipboard holds \"\u4e2d\" (U+4E2D), which "
                            "is not one of the 256 characters that stand for bytes."));
    QCOMPARE(messages[1],
             QStringLiteral("Nothing was copied: the selection holds %1 bytes, and at most %2 "
                            "bytes (64 MiB) can be copied at once.")
                 .arg(QLocale::system().toString(65 << 20),
                      QLocale::system().toString(ByteEditor::copyLimit)));
    QCOMPARE(messages[2], QStringLiteral("Not handed over."));
    QVERIFY(window.services->unexpected.isEmpty());
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
