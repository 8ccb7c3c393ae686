#include "bytesamples.h"
#include "byteview.h"
#include "byteviewaccessible.h"
#include "clipboardbytes.h"
#include "editingrows.h"
#include "textpieces.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QScopeGuard>
#include <QScrollBar>
#include <QSet>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>
#include <private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

namespace {

// A shown view of exactly `columns` by `rows` cells, holding `bytes`, with the keyboard focus.
struct ShownView
{
    explicit ShownView(const QByteArray &bytes = {}, int columns = 10, int rows = 8)
    {
        view.resize(300, 200);
        view.show();
        const QRect cell = view.cellRect(0);
        view.resize(view.size() +
                    QSize(cell.left() + columns * cell.width(), rows * cell.height()) -
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

// The keys a user presses for one of runCommands()'s commands.
QKeySequence keysFor(const QString &command)
{
    static const QStringList keys =
        QStringLiteral("NextChar=Right PreviousChar=Left NextWord=Ctrl+Right "
                       "PreviousWord=Ctrl+Left NextRow=Down PreviousRow=Up NextPage=PgDown "
                       "PreviousPage=PgUp RowStart=Home RowEnd=End TextStart=Ctrl+Home "
                       "TextEnd=Ctrl+End -PreviousChar=Backspace -NextChar=Del "
                       "-PreviousWord=Ctrl+Backspace -NextWord=Ctrl+Del Ins=Ins Undo=Ctrl+Z "
                       "Redo=Ctrl+Y Cut=Ctrl+X Paste=Ctrl+V")
            .split(u' ');
    const bool extend = command.startsWith(u'+');
    const QString name = command.sliced(extend ? 1 : 0) + u'=';
    for (const QString &entry : keys) {
        if (entry.startsWith(name))
            return QKeySequence((extend ? QStringLiteral("Shift+") : QString()) +
                                entry.sliced(name.size()));
    }
    return {};
}

// Runs each of the space-separated `commands`: a text in quotes is typed, any other command is
// pressed as keysFor() says.
void runCommands(ByteView &view, const QString &commands)
{
    for (const QString &command : commands.split(u' ')) {
        if (command.startsWith(u'\''))
            typeText(&view, command.sliced(1, command.size() - 2));
        else
            QTest::keySequence(&view, keysFor(command));
    }
}

// What screen readers were told of the text, the caret and the selection, one entry per event:
// "+at inserted", "-at removed", "=at removed>inserted", "[start,end]", each with the caret
// after it as "^caret".
QStringList heard;

void hear(QAccessibleEvent *event)
{
    QString line;
    if (const auto *insert = dynamic_cast<QAccessibleTextInsertEvent *>(event))
        line = QStringLiteral("+%1 %2").arg(insert->changePosition()).arg(insert->textInserted());
    else if (const auto *remove = dynamic_cast<QAccessibleTextRemoveEvent *>(event))
        line = QStringLiteral("-%1 %2").arg(remove->changePosition()).arg(remove->textRemoved());
    else if (const auto *update = dynamic_cast<QAccessibleTextUpdateEvent *>(event))
        line = QStringLiteral("=%1 %2>%3")
                   .arg(update->changePosition())
                   .arg(update->textRemoved(), update->textInserted());
    else if (const auto *selection = dynamic_cast<QAccessibleTextSelectionEvent *>(event))
        line = QStringLiteral("[%1,%2]")
                   .arg(selection->selectionStart())
                   .arg(selection->selectionEnd());
    if (const auto *text = dynamic_cast<QAccessibleTextCursorEvent *>(event))
        heard << QStringLiteral("%1 ^%2").arg(line).arg(text->cursorPosition()).trimmed();
}

} // namespace

class TestByteView final : public QObject
{
    Q_OBJECT

private slots:
    void everyByteIsDrawnDistinguishably_data();
    void everyByteIsDrawnDistinguishably();
    void keysFollowTheEditingRules_data();
    void keysFollowTheEditingRules();
    void mouseSelects();
    void draggingBeyondAnEdgeScrollsOn();
    void clipboardFromBothSides_data();
    void clipboardFromBothSides();
    void scrollsTextsBeyond4GiB();
    void zoomScalesTheCells();
    void topRowStaysARowAfterAnEditAboveIt();
    void screenReadersSeeEachByteAsOneCharacter();
    void screenReadersHearEveryChange_data();
    void screenReadersHearEveryChange();
    void screenReaderLookupsStayBounded();
};

void TestByteView::everyByteIsDrawnDistinguishably_data()
{
    QTest::addColumn<int>("zoom");
    QTest::newRow("default size") << 0;
    QTest::newRow("zoomed out") << -3;
    QTest::newRow("zoomed in") << 7;
}

// Each of the 256 byte values is drawn as one cell unlike every other, at any size.
void TestByteView::everyByteIsDrawnDistinguishably()
{
    QFETCH(int, zoom);
    ShownView shown;
    shown.view.zoomBy(zoom);
    shown.view.resize(1400, 1000);
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

void TestByteView::keysFollowTheEditingRules_data()
{
    addEditingRows();
}

// Each step and edit of the editing rules is the key a user presses for it.
void TestByteView::keysFollowTheEditingRules()
{
    QFETCH(QByteArray, before);
    QFETCH(qint64, columns);
    QFETCH(Selection, selection);
    QFETCH(QString, commands);
    QFETCH(QByteArray, after);
    QFETCH(Selection, selectionAfter);

    ShownView shown(before, int(columns), 3);
    QCOMPARE(shown.view.editor().columns(), columns);
    shown.view.editor().setSelection(selection);
    runCommands(shown.view, commands);
    QCOMPARE(shown.bytes(), after);
    QCOMPARE(shown.view.editor().selection(), selectionAfter);
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

// Held still below the rows while selecting, the mouse scrolls the view on, a row each tick at
// the edge and faster further out, the caret following on the last row shown; and back up above.
void TestByteView::draggingBeyondAnEdgeScrollsOn()
{
    ShownView shown(QByteArray(100000, 'a'));
    ByteView &view = shown.view;
    QWidget *viewport = view.viewport();
    const int rowHeight = view.cellRect(0).height();
    // From the middle, so that however many ticks pass before each look, neither end is near.
    QScrollBar *bar = view.verticalScrollBar();
    bar->setValue(bar->maximum() / 2);
    QSignalSpy scrolled(bar, &QScrollBar::valueChanged);
    QTest::mousePress(viewport, Qt::LeftButton, {}, QPoint(8, 2));
    // Where the mouse is held, and how many rows of 10 bytes each tick scrolls.
    for (const auto &[y, rows] :
         {std::pair(8 * rowHeight, 1), {11 * rowHeight, 4}, {-1, -1}, {-3 * rowHeight, -4}}) {
        QTest::mouseMove(viewport, QPoint(8, y));
        scrolled.clear();
        QTRY_VERIFY(scrolled.size() >= 2);
        QCOMPARE(scrolled[1][0].toInt() - scrolled[0][0].toInt(), 10 * rows);
        QVERIFY(!view.cellRect(view.editor().selection().caret).isEmpty());
    }
}

void TestByteView::clipboardFromBothSides_data()
{
    addRoundTripRows();
}

// Ctrl+C gives other programs each byte as its ISO-8859-1 character, made while the busy cursor
// shows, and keeps the bytes as they were copied. Ctrl+V takes Korvane's own copy as it is,
// sharing its bytes, another Korvane's bytes and other programs' text, each byte for byte.
void TestByteView::clipboardFromBothSides()
{
    QFETCH(QByteArray, bytes);
    QApplication::clipboard()->clear();
    ShownView shown;
    ByteView &view = shown.view;
    view.editor().setText(textInPieces("<" + bytes + ">", 1000, 2));
    view.editor().select(1, bytes.size());
    QTest::keySequence(&view, QKeySequence::Copy);
    const auto *copied =
        qobject_cast<const ClipboardBytes *>(QApplication::clipboard()->mimeData());
    QCOMPARE(copied != nullptr, !bytes.isEmpty());
    if (!copied)
        return;
    typeText(&view, QStringLiteral("[]"));
    view.editor().select(2, 0);
    QList<Qt::CursorShape> cursors;
    connect(copied, &ClipboardBytes::producing, this, [&cursors] {
        const QCursor *cursor = QGuiApplication::overrideCursor();
        cursors << (cursor ? cursor->shape() : Qt::ArrowCursor);
    });
    QCOMPARE(QApplication::clipboard()->text(), QString::fromLatin1(bytes));
    QCOMPARE(copied->data(QStringLiteral("text/plain")), QString::fromLatin1(bytes).toUtf8());
    QCOMPARE(cursors, QList({Qt::WaitCursor, Qt::ArrowCursor, Qt::WaitCursor, Qt::ArrowCursor}));

    QTest::keySequence(&view, QKeySequence::Paste);
    QCOMPARE(TextSpans(view.editor().text(), 2).next().data(),
             TextSpans(copied->bytes()).next().data());
    auto *otherKorvane = new QMimeData;
    otherKorvane->setData(ClipboardBytes::bytesFormat(), bytes);
    QApplication::clipboard()->setMimeData(otherKorvane);
    QTest::keySequence(&view, QKeySequence::Paste);
    QApplication::clipboard()->setText(QString::fromLatin1(bytes));
    QTest::keySequence(&view, QKeySequence::Paste);
    QCOMPARE(shown.bytes(), "<[" + bytes.repeated(3) + "]>");
}

// The scroll bar, the wheel and the keys reach every row of a text beyond what an int counts.
void TestByteView::scrollsTextsBeyond4GiB()
{
    ShownView shown;
    ByteView &view = shown.view;
    const qint64 size = qint64(5) << 30;
    view.editor().setText(repeatedText(QByteArray(1 << 20, 'a'), size >> 20));
    QScrollBar *bar = view.verticalScrollBar();
    const auto isRowStart = [&view](qint64 offset) {
        return view.editor().rows().startOf(offset) == offset;
    };
    const auto barFollowsTop = [&] {
        return qAbs(double(bar->value()) / bar->maximum() - double(view.topOffset()) / size) < 1e-6;
    };

    bar->setValue(bar->maximum() / 2);
    QVERIFY(view.topOffset() > qint64(1) << 31);
    QVERIFY(barFollowsTop());
    QVERIFY(isRowStart(view.topOffset()));
    QWheelEvent down(QPointF(5, 5), view.viewport()->mapToGlobal(QPointF(5, 5)), {}, {0, -120},
                     Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    const qint64 top = view.topOffset();
    QApplication::sendEvent(view.viewport(), &down);
    QCOMPARE(view.topOffset(), view.editor().rows().moved(top, QApplication::wheelScrollLines()));
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    QCOMPARE(view.topOffset(),
             view.editor().rows().moved(top, QApplication::wheelScrollLines() + 8));
    // Page Down moves the caret a page less one row, and the view with it.
    const qint64 pageBelow = view.editor().rows().moved(view.topOffset(), 7);
    view.editor().select(view.topOffset(), 0);
    QTest::keyClick(&view, Qt::Key_PageDown);
    QCOMPARE(view.editor().selection().caret, pageBelow);
    QCOMPARE(view.topOffset(), pageBelow);

    // Cells map to offsets and back on every row shown, the first a few pixels clear of the
    // frame, and hovering a cell tells its offset and byte.
    const qint64 far = (qint64(9) << 29) + 5;
    view.editor().select(far, 0);
    QVERIFY(isRowStart(view.topOffset()));
    QVERIFY(barFollowsTop());
    QVERIFY(view.cellRect(view.topOffset()).left() >= 3);
    for (qint64 offset = view.topOffset(); !view.cellRect(offset).isEmpty(); ++offset)
        QCOMPARE(view.byteAt(view.cellRect(offset).center()), offset);
    const QPoint hovered = view.cellRect(far).center();
    QHelpEvent help(QEvent::ToolTip, hovered, view.viewport()->mapToGlobal(hovered));
    QApplication::sendEvent(view.viewport(), &help);
    QCOMPARE(QToolTip::text(), QStringLiteral("Offset 4831838213 (0x120000005): byte 97 (0x61)"));
    QTest::keyClick(&view, Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(view.editor().selection().caret, size);
    QVERIFY(!view.cellRect(size).isEmpty());
    QCOMPARE(bar->value(), bar->maximum());
}

// Ctrl+Plus, Ctrl+wheel and Ctrl+Minus scale the cells, and the rows and the scroll bar with
// them; Ctrl+0 brings them back.
void TestByteView::zoomScalesTheCells()
{
    ShownView shown(QByteArray(100000, 'a'));
    ByteView &view = shown.view;
    const auto layout = [&view] {
        return std::tuple(view.cellRect(0).size(), view.editor().columns(),
                          view.verticalScrollBar()->pageStep());
    };
    const auto before = layout();
    QTest::keyClick(&view, Qt::Key_Plus, Qt::ControlModifier);
    const auto larger = layout();
    QVERIFY(std::get<0>(larger).height() > std::get<0>(before).height());
    QVERIFY(std::get<1>(larger) < std::get<1>(before));
    QVERIFY(std::get<2>(larger) < std::get<2>(before));
    QWheelEvent up(QPointF(5, 5), view.viewport()->mapToGlobal(QPointF(5, 5)), {}, {0, 120},
                   Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view.viewport(), &up);
    QVERIFY(std::get<0>(layout()).height() > std::get<0>(larger).height());
    QCOMPARE(view.topOffset(), 0);
    QTest::keyClick(&view, Qt::Key_Minus, Qt::ControlModifier);
    QCOMPARE(layout(), larger);
    QTest::keyClick(&view, Qt::Key_0, Qt::ControlModifier);
    QCOMPARE(layout(), before);
}

// An edit that starts above the top row and ends on screen leaves the top at a row's start.
void TestByteView::topRowStaysARowAfterAnEditAboveIt()
{
    ShownView shown;
    ByteView &view = shown.view;
    view.editor().setText(repeatedText("line\n", 100));
    view.verticalScrollBar()->setValue(100);
    QCOMPARE(view.topOffset(), 100);
    view.editor().setSelection({97, 112});
    QCOMPARE(view.topOffset(), 100);
    typeText(&view, QStringLiteral("0123456789ab"));
    // "li", the typed bytes and "ne\n" make one line, in rows from 95 to 105 and 112.
    QCOMPARE(view.topOffset(), 95);
    QCOMPARE(view.byteAt(view.cellRect(110).center()), 110);
}

// Each byte is one character: the controls D-Bus or speech cannot take as their control
// pictures, tab and line ends as themselves, the rest as ISO-8859-1.
void TestByteView::screenReadersSeeEachByteAsOneCharacter()
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
    QCOMPARE(text->text(1, 4), QStringLiteral("Z\u2400\u00e9"));
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

    const QByteArray bytes = everyByteValue();
    view.editor().setText(Text::copyOf(bytes));
    const QString all = text->text(0, 256);
    QCOMPARE(all.first(32), QStringLiteral(u"␀␁␂␃␄␅␆␇␈\t\n␋␌\r␎␏␐␑␒␓␔␕␖␗␘␙␚␛␜␝␞␟"));
    QCOMPARE(all[127], u'␡');
    QCOMPARE(all.sliced(32).remove(95, 1), QString::fromLatin1(bytes.sliced(32)).remove(95, 1));
}

void TestByteView::screenReadersHearEveryChange_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<Selection>("selection");
    QTest::addColumn<QString>("commands");
    QTest::addColumn<QString>("events");

    const QByteArray page(ByteViewAccessible::eventTextLimit + 1, 'a');
    QTest::newRow("typing and deleting")
        << QByteArray("a\0bc", 4) << Selection{3, 2}
        << QStringLiteral("'x' -PreviousChar -PreviousChar")
        << QStringLiteral(u"=2 b>x ^3, ^3, [3,3] ^3, -2 x ^2, ^2, -1 ␀ ^1, ^1");
    QTest::newRow("cut, paste, undo, redo")
        << QByteArray("abcd") << Selection{1, 3} << QStringLiteral("Cut Paste Undo Redo")
        << QStringLiteral(u"-1 bc ^1, ^1, [1,1] ^1, +1 bc ^3, ^3, -1 bc ^1, ^1, +1 bc ^3, ^3");
    QTest::newRow("caret moves and selects")
        << QByteArray("abc") << Selection{0, 0} << QStringLiteral("TextEnd TextEnd +PreviousChar")
        << QStringLiteral(u"^3, ^2, [2,3] ^2");
    QTest::newRow("more than a page, without its text")
        << page << Selection{0, page.size()} << QStringLiteral("Cut Undo")
        << QStringLiteral(u"=0 > ^0, ^0, [0,0] ^0, =0 > ^4097, ^4097, [0,4097] ^4097");
}

// Every edit, undo and caret move is told with the bytes it changed and the caret after it;
// an edit of more than a page, and a new text, only where they start.
void TestByteView::screenReadersHearEveryChange()
{
    QFETCH(QByteArray, before);
    QFETCH(Selection, selection);
    QFETCH(QString, commands);
    QFETCH(QString, events);

    ShownView shown(before);
    shown.view.editor().setSelection(selection);
    QVERIFY(QAccessible::queryAccessibleInterface(&shown.view));
    heard.clear();
    // Qt hands events on only while a screen reader listens.
    QPlatformAccessibility *platform =
        QGuiApplicationPrivate::platformIntegration()->accessibility();
    platform->setActive(true);
    QAccessible::installUpdateHandler(hear);
    const auto restore = qScopeGuard([platform] { platform->setActive(false); });
    runCommands(shown.view, commands);
    QCOMPARE(heard.join(u", "), events);

    heard.clear();
    shown.view.editor().setText(repeatedText(QByteArray(1 << 20, '\0'), 1 << 15));
    QCOMPARE(heard.join(u", "), QStringLiteral(u"=0 > ^0, ^0"));
}

// A word or a row around an offset in 1 GiB of zero bytes is read in a few kilobytes, and the
// units before and after it meet it end to end.
void TestByteView::screenReaderLookupsStayBounded()
{
    ShownView shown;
    shown.view.editor().setText(repeatedText(QByteArray(1 << 20, '\0'), 1024));
    QAccessibleTextInterface *text =
        QAccessible::queryAccessibleInterface(&shown.view)->textInterface();
    const int middle = 1 << 29;
    for (const auto &[boundary, longest] :
         {std::pair(QAccessible::WordBoundary, 2 * ByteViewAccessible::wordReach + 1),
          std::pair(QAccessible::LineBoundary, qint64(10))}) {
        std::pair at(-1, -1);
        std::pair before(-1, -1);
        std::pair after(-1, -1);
        const QString unit = text->textAtOffset(middle, boundary, &at.first, &at.second);
        text->textBeforeOffset(middle, boundary, &before.first, &before.second);
        text->textAfterOffset(middle, boundary, &after.first, &after.second);
        QCOMPARE(unit, QString(at.second - at.first, u'␀'));
        QVERIFY(at.first <= middle && middle < at.second && at.second - at.first <= longest);
        QVERIFY(before.first < before.second && before.second == at.first);
        QVERIFY(at.second == after.first && after.first < after.second);
    }
    // Asked for the whole text, a screen reader gets its start.
    QCOMPARE(text->text(0, text->characterCount()).size(), ByteViewAccessible::textLimit);
}

QTEST_MAIN(TestByteView)
#include "tst_byteview.moc"
