#include "bytesamples.h"
#include "byteview.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QScrollBar>
#include <QSet>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>

namespace {

constexpr int viewColumns = 10;
constexpr int viewRows = 8;

// A shown view of exactly `viewColumns` by `viewRows` cells.
struct ShownView
{
    explicit ShownView(const QByteArray &bytes = {})
    {
        view.resize(300, 200);
        view.show();
        const QSize cell = view.cellRect(0).size();
        view.resize(view.size() + QSize(viewColumns * cell.width(), viewRows * cell.height()) -
                    view.viewport()->size());
        view.editor().setText(Text::copyOf(bytes));
        view.setFocus();
        QApplication::setActiveWindow(&view);
    }

    QByteArray bytes() const { return view.editor().text().toByteArray(); }

    ByteView view;
};

// Types `text` as one key press, as an input method delivers what it composed.
void typeText(QWidget *widget, const QString &text)
{
    QKeyEvent key(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &key);
}

} // namespace

class TestByteView final : public QObject
{
    Q_OBJECT

private slots:
    void everyByteIsDrawnDistinguishably();
    void cellsAndOffsetsMapBothWays();
    void keysEditAndMove_data();
    void keysEditAndMove();
    void mouseSelects();
    void everyByteSurvivesTypingClipboardAndUndo_data();
    void everyByteSurvivesTypingClipboardAndUndo();
    void charactersBeyondLatin1ChangeNothing();
    void screenReadersSeeBytesAsCharacters();
};

// Each of the 256 byte values is drawn as one cell unlike every other.
void TestByteView::everyByteIsDrawnDistinguishably()
{
    ShownView shown;
    shown.view.resize(600, 400);
    // Line ends are drawn in the cell before the row ends; spaces keep other cells apart.
    QByteArray bytes;
    for (char byte : everyByteValue())
        bytes += QByteArray(1, byte) + ' ';
    shown.view.editor().setText(Text::copyOf(bytes));
    shown.view.clearFocus();
    const QImage screen = shown.view.viewport()->grab().toImage();
    QSet<QByteArray> looks;
    for (qint64 offset = 0; offset < bytes.size(); offset += 2) {
        const QRect cell = shown.view.cellRect(offset);
        QVERIFY2(!cell.isEmpty(), qPrintable(QString::number(offset)));
        QCOMPARE(shown.view.byteAt(cell.center()), offset);
        const QImage image = screen.copy(cell).convertToFormat(QImage::Format_RGB32);
        looks << QByteArray(reinterpret_cast<const char *>(image.constBits()), image.sizeInBytes());
    }
    QCOMPARE(looks.size(), 256);
}

// Cells map to offsets and back on every row shown, also after scrolling to a far offset in a
// text that is one long line; the scroll bar follows the top row's offset.
void TestByteView::cellsAndOffsetsMapBothWays()
{
    ShownView shown(QByteArray(100000, 'a'));
    ByteView &view = shown.view;
    QCOMPARE(view.editor().columns(), viewColumns);
    view.editor().select(77777, 3);
    QCOMPARE(view.topOffset() % viewColumns, 0);
    QVERIFY(!view.cellRect(77777).isEmpty());
    QCOMPARE(view.verticalScrollBar()->value(), view.topOffset());
    for (qint64 offset = view.topOffset(); !view.cellRect(offset).isEmpty(); ++offset)
        QCOMPARE(view.byteAt(view.cellRect(offset).center()), offset);
    // Hovering a cell tells its offset and byte.
    const QPoint hovered = view.cellRect(77778).center();
    QHelpEvent help(QEvent::ToolTip, hovered, view.viewport()->mapToGlobal(hovered));
    QApplication::sendEvent(view.viewport(), &help);
    QCOMPARE(QToolTip::text(), QStringLiteral("Offset 77778 (0x12FD2): byte 97 (0x61)"));
    view.verticalScrollBar()->setValue(12345);
    QCOMPARE(view.topOffset(), 12340);
    view.verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(view.topOffset(), 12350);
    QTest::keyClick(&view, Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(view.editor().selection().caret, 100000);
    QVERIFY(!view.cellRect(100000).isEmpty());
}

void TestByteView::keysEditAndMove_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<qint64>("caret");
    // Key names as QKeySequence reads them, between blanks; a quoted entry is typed as text.
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<Selection>("selection");

    const QByteArray lines = QByteArrayLiteral("one\ntwo\r\nthree\n");
    QTest::newRow("type, Enter and Tab")
        << QByteArray("ab") << qint64(1) << QStringLiteral("\"x\" Return Tab")
        << QByteArray("ax\n\tb") << Selection{4, 4};
    QTest::newRow("Backspace and Delete")
        << QByteArray("abcd") << qint64(2) << QStringLiteral("Backspace Del") << QByteArray("ad")
        << Selection{1, 1};
    QTest::newRow("typing replaces a selection")
        << QByteArray("abcd") << qint64(1) << QStringLiteral("Shift+Right Shift+Right \"X\"")
        << QByteArray("aXd") << Selection{2, 2};
    QTest::newRow("Insert toggles overwrite")
        << QByteArray("abcd") << qint64(1) << QStringLiteral("Ins \"XYZW\" Ins \"!\"")
        << QByteArray("aXYZW!") << Selection{6, 6};
    const QByteArray shortMiddle = QByteArrayLiteral("abcdef\nab\nabcdef");
    QTest::newRow("Down keeps the column over a short line")
        << shortMiddle << qint64(4) << QStringLiteral("Down Down Shift+Up") << shortMiddle
        << Selection{14, 9};
    QTest::newRow("End stops before CR LF")
        << lines << qint64(5) << QStringLiteral("End") << lines << Selection{7, 7};
    QTest::newRow("Home and End of a wrapped row")
        << QByteArray(25, 'z') << qint64(13) << QStringLiteral("Home Shift+End")
        << QByteArray(25, 'z') << Selection{10, 19};
    QTest::newRow("document start and end")
        << lines << qint64(5) << QStringLiteral("Ctrl+Shift+End Ctrl+Home") << lines
        << Selection{0, 0};
    QTest::newRow("words") << QByteArray("ab cd_e.f") << qint64(0)
                           << QStringLiteral("Ctrl+Right Ctrl+Shift+Right")
                           << QByteArray("ab cd_e.f") << Selection{3, 7};
    QTest::newRow("select all and cut")
        << QByteArray("abc") << qint64(1) << QStringLiteral("Ctrl+A Ctrl+X") << QByteArray()
        << Selection{0, 0};
    QTest::newRow("undo and redo") << QByteArray("abc") << qint64(3)
                                   << QStringLiteral("\"de\" Left \"f\" Ctrl+Z Ctrl+Z Ctrl+Shift+Z")
                                   << QByteArray("abcde") << Selection{5, 5};
    QTest::newRow("page down") << QByteArray(5000, '\n') << qint64(0)
                               << QStringLiteral("PgDown PgDown") << QByteArray(5000, '\n')
                               << Selection{2 * (viewRows - 1), 2 * (viewRows - 1)};
}

void TestByteView::keysEditAndMove()
{
    QFETCH(QByteArray, before);
    QFETCH(qint64, caret);
    QFETCH(QString, keys);
    QFETCH(QByteArray, after);
    QFETCH(Selection, selection);

    ShownView shown(before);
    shown.view.editor().select(caret, 0);
    for (const QString &key : keys.split(u' ')) {
        if (key.startsWith(u'"'))
            typeText(&shown.view, key.sliced(1, key.size() - 2));
        else
            QTest::keySequence(&shown.view, QKeySequence(key));
    }
    QCOMPARE(shown.bytes(), after);
    QCOMPARE(shown.view.editor().selection(), selection);
}

void TestByteView::mouseSelects()
{
    ShownView shown(QByteArrayLiteral("alpha bet\ngamma"));
    ByteView &view = shown.view;
    QWidget *viewport = view.viewport();
    const auto leftOf = [&view](qint64 offset) {
        return view.cellRect(offset).topLeft() + QPoint(1, 2);
    };
    QTest::mousePress(viewport, Qt::LeftButton, {}, leftOf(1));
    QTest::mouseMove(viewport, leftOf(13));
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, leftOf(13));
    QCOMPARE(view.editor().selection(), (Selection{1, 13}));
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::ShiftModifier, leftOf(3));
    QCOMPARE(view.editor().selection(), (Selection{1, 3}));
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, view.cellRect(7).center());
    QCOMPARE(view.editor().selection(), (Selection{6, 9}));
    // A click right of a line's last byte puts the caret before its line end.
    QTest::mouseClick(viewport, Qt::LeftButton, {}, QPoint(viewport->width() - 2, leftOf(0).y()));
    QCOMPARE(view.editor().selection(), (Selection{9, 9}));
}

void TestByteView::everyByteSurvivesTypingClipboardAndUndo_data()
{
    addRoundTripRows();
}

// Bytes typed, copied and pasted, overwritten, undone and redone come back exactly.
void TestByteView::everyByteSurvivesTypingClipboardAndUndo()
{
    QFETCH(QByteArray, bytes);
    QApplication::clipboard()->clear();
    ShownView shown(QByteArrayLiteral("<>"));
    ByteView &view = shown.view;
    QList<QByteArray> states{shown.bytes()};
    const auto changedTo = [&](const QByteArray &expected) {
        QCOMPARE(shown.bytes(), expected);
        if (states.last() != expected)
            states << expected;
    };
    view.editor().select(1, 0);
    typeText(&view, QString::fromLatin1(bytes));
    changedTo("<" + bytes + ">");

    view.editor().select(1, bytes.size());
    view.copy();
    view.editor().select(2 + bytes.size(), 0);
    view.paste();
    changedTo("<" + bytes + ">" + bytes);
    // Foreign plain text reaches the view as ISO-8859-1 characters.
    auto *plain = new QMimeData;
    plain->setText(QString::fromLatin1(bytes));
    QApplication::clipboard()->setMimeData(plain);
    view.paste();
    changedTo("<" + bytes + ">" + bytes + bytes);

    view.editor().select(0, 0);
    view.editor().setOverwriteMode(true);
    typeText(&view, QString::fromLatin1(bytes));
    view.editor().setOverwriteMode(false);
    changedTo(bytes + states.last().sliced(bytes.size()));

    for (qsizetype state = states.size() - 2; state >= 0; --state) {
        view.editor().undo();
        QCOMPARE(shown.bytes(), states[state]);
    }
    for (qsizetype state = 1; state < states.size(); ++state) {
        view.editor().redo();
        QCOMPARE(shown.bytes(), states[state]);
    }
}

void TestByteView::charactersBeyondLatin1ChangeNothing()
{
    ShownView shown(QByteArrayLiteral("abc"));
    ByteView &view = shown.view;
    view.editor().select(1, 1);
    typeText(&view, QStringLiteral("\u20ac"));
    QCOMPARE(shown.bytes(), QByteArrayLiteral("abc"));
    QCOMPARE(view.editor().selection(), (Selection{1, 2}));

    QSignalSpy refused(&view, &ByteView::refused);
    QApplication::clipboard()->setText(QStringLiteral("x\u4e2dy"));
    view.paste();
    QCOMPARE(shown.bytes(), QByteArrayLiteral("abc"));
    QCOMPARE(refused.size(), 1);
    QVERIFY(refused.first().first().toString().contains(QStringLiteral("U+4E2D")));
}

void TestByteView::screenReadersSeeBytesAsCharacters()
{
    ShownView shown(QByteArray("MZ\0\xe9t one\ntwo", 13));
    ByteView &view = shown.view;
    view.editor().select(1, 3);
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(&view);
    QVERIFY(accessible);
    QCOMPARE(accessible->role(), QAccessible::EditableText);
    QAccessibleTextInterface *text = accessible->textInterface();
    QVERIFY(text);
    QCOMPARE(text->characterCount(), 13);
    QCOMPARE(text->text(1, 4), QStringLiteral("Z\u0000\u00e9"));
    QCOMPARE(text->cursorPosition(), 4);
    int start = -1;
    int end = -1;
    text->selection(0, &start, &end);
    QCOMPARE(std::pair(start, end), std::pair(1, 4));
    QCOMPARE(text->textAtOffset(7, QAccessible::WordBoundary, &start, &end), QStringLiteral("one"));
    QCOMPARE(text->textAfterOffset(7, QAccessible::LineBoundary, &start, &end),
             QStringLiteral("two"));
    QCOMPARE(text->textBeforeOffset(10, QAccessible::CharBoundary, &start, &end),
             QStringLiteral("\n"));
    QCOMPARE(text->offsetAtPoint(text->characterRect(12).center()), 12);
    text->setSelection(0, 0, 2);
    QCOMPARE(view.editor().selection(), (Selection{0, 2}));
}

QTEST_MAIN(TestByteView)
#include "tst_byteview.moc"
