#include "byteview.h"
#include "byteglyphs.h"
#include "byteviewaccessible.h"
#include "rows.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>

#include <algorithm>
#include <array>
#include <limits>

namespace {

// The clipboard format that carries bytes exactly, whatever plain text makes of them.
const QString bytesMimeType = QStringLiteral("application/x-korvane-bytes");

// Letters, digits and the underscore make up the words a double click selects.
const std::array<bool, 256> &wordBytes()
{
    static const std::array<bool, 256> table = [] {
        std::array<bool, 256> isWord{};
        for (int byte = 0; byte < 256; ++byte)
            isWord[byte] = byte == '_' || QChar(char16_t(byte)).isLetterOrNumber();
        return isWord;
    }();
    return table;
}

bool isWordByte(char byte)
{
    return wordBytes()[uchar(byte)];
}

// The standard keys the view handles itself, which therefore no shortcut may take from it.
constexpr std::array editingKeys = {
    QKeySequence::Undo,
    QKeySequence::Redo,
    QKeySequence::Cut,
    QKeySequence::Copy,
    QKeySequence::Paste,
    QKeySequence::SelectAll,
    QKeySequence::Delete,
    QKeySequence::Backspace,
    QKeySequence::DeleteStartOfWord,
    QKeySequence::DeleteEndOfWord,
    QKeySequence::InsertParagraphSeparator,
    QKeySequence::InsertLineSeparator,
    QKeySequence::MoveToNextChar,
    QKeySequence::MoveToPreviousChar,
    QKeySequence::MoveToNextWord,
    QKeySequence::MoveToPreviousWord,
    QKeySequence::MoveToNextLine,
    QKeySequence::MoveToPreviousLine,
    QKeySequence::MoveToNextPage,
    QKeySequence::MoveToPreviousPage,
    QKeySequence::MoveToStartOfLine,
    QKeySequence::MoveToEndOfLine,
    QKeySequence::MoveToStartOfDocument,
    QKeySequence::MoveToEndOfDocument,
    QKeySequence::SelectNextChar,
    QKeySequence::SelectPreviousChar,
    QKeySequence::SelectNextWord,
    QKeySequence::SelectPreviousWord,
    QKeySequence::SelectNextLine,
    QKeySequence::SelectPreviousLine,
    QKeySequence::SelectNextPage,
    QKeySequence::SelectPreviousPage,
    QKeySequence::SelectStartOfLine,
    QKeySequence::SelectEndOfLine,
    QKeySequence::SelectStartOfDocument,
    QKeySequence::SelectEndOfDocument,
};

// The first character of `typed` that is not one of the 256 byte characters, if any.
std::optional<QChar> firstNonByte(const QString &typed)
{
    const auto found =
        std::find_if(typed.begin(), typed.end(), [](QChar c) { return c.unicode() > 0xff; });
    if (found == typed.end())
        return std::nullopt;
    return *found;
}

} // namespace

ByteView::ByteView(QWidget *parent)
    : QAbstractScrollArea(parent)
{
    ByteViewAccessible::install();
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // A scroll bar that came and went with the text would change the width rows wrap at.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setAutoFillBackground(false);
    connect(verticalScrollBar(), &QAbstractSlider::actionTriggered, this, [this](int action) {
        // Steps move by rows, which the scroll bar's byte offsets know nothing of.
        const qint64 rows = visibleRows();
        qint64 by = 0;
        switch (action) {
        case QAbstractSlider::SliderSingleStepAdd:
            by = 1;
            break;
        case QAbstractSlider::SliderSingleStepSub:
            by = -1;
            break;
        case QAbstractSlider::SliderPageStepAdd:
            by = std::max<qint64>(1, rows - 1);
            break;
        case QAbstractSlider::SliderPageStepSub:
            by = -std::max<qint64>(1, rows - 1);
            break;
        default:
            return;
        }
        scrollByRows(by);
        verticalScrollBar()->setSliderPosition(int(top / scrollScale));
    });
    updateScrollBar();
}

ByteView::~ByteView() = default;

const ByteGlyphs &ByteView::glyphs() const
{
    if (!glyphCache)
        glyphCache = std::make_unique<ByteGlyphs>(font(), palette(), devicePixelRatioF());
    return *glyphCache;
}

qint64 ByteView::columns() const
{
    return std::max(1, viewport()->width() / glyphs().cellSize().width());
}

int ByteView::visibleRows() const
{
    return std::max(1, viewport()->height() / glyphs().cellSize().height());
}

void ByteView::setText(Text text)
{
    document.reset(std::move(text));
    current = Selection{};
    top = 0;
    keptColumn = -1;
    updateScrollBar();
    viewport()->update();
    emit selectionChanged();
}

void ByteView::select(qint64 offset, qint64 count)
{
    const qint64 start = std::clamp<qint64>(offset, 0, length());
    const qint64 end = std::clamp<qint64>(start + std::max<qint64>(count, 0), start, length());
    setSelection({start, end});
}

void ByteView::setSelection(Selection selection)
{
    document.closeUndoStep();
    current = {std::clamp<qint64>(selection.anchor, 0, length()),
               std::clamp<qint64>(selection.caret, 0, length())};
    keptColumn = -1;
    scrollTo(current.caret);
    restartCaretBlink();
    viewport()->update();
    emit selectionChanged();
}

void ByteView::setOverwriteMode(bool on)
{
    overwrite = on;
    viewport()->update();
}

QRect ByteView::cellRect(qint64 offset) const
{
    if (offset < top || offset > length())
        return {};
    const Rows rows(text(), columns());
    const qint64 rowStart = rows.startOf(offset);
    const QSize cell = glyphs().cellSize();
    qint64 row = 0;
    for (qint64 start = top; start < rowStart; ++row) {
        if (row > visibleRows())
            return {};
        start = rows.endOf(start);
    }
    return QRect(QPoint(int(offset - rowStart) * cell.width(), int(row) * cell.height()), cell);
}

std::pair<qint64, qint64> ByteView::rowAround(qint64 offset) const
{
    const Rows rows(text(), columns());
    const qint64 start = rows.startOf(std::clamp<qint64>(offset, 0, length()));
    return {start, rows.endOf(start)};
}

qint64 ByteView::byteAt(QPoint point) const
{
    const QSize cell = glyphs().cellSize();
    if (point.x() < 0 || point.y() < 0 || point.x() >= columns() * cell.width())
        return -1;
    const Rows rows(text(), columns());
    const qint64 last = rows.lastStart();
    qint64 start = top;
    for (int row = point.y() / cell.height(); row > 0; --row) {
        if (start >= last)
            return -1;
        start = rows.endOf(start);
    }
    const qint64 offset = start + point.x() / cell.width();
    return offset < rows.endOf(start) ? offset : -1;
}

// Past the last cell of a row the caret goes before its line end; a full row that wraps keeps
// it before its last byte, since the offset after that shows on the next row.
qint64 ByteView::lastCaretOffsetIn(qint64 rowStart) const
{
    const Rows rows(text(), columns());
    const qint64 end = rows.endOf(rowStart);
    const QByteArray tail = text().bytes(std::max(rowStart, end - 2), end);
    if (tail.endsWith("\r\n"))
        return end - 2;
    if (tail.endsWith('\n') || tail.endsWith('\r') || rowStart < rows.lastStart())
        return end - 1;
    return end;
}

qint64 ByteView::caretOffsetAt(QPoint point) const
{
    const QSize cell = glyphs().cellSize();
    const qint64 row = point.y() < 0 ? -1 : point.y() / cell.height();
    const qint64 start = Rows(text(), columns()).moved(top, row);
    const qint64 column = std::max(0, (point.x() + cell.width() / 2) / cell.width());
    return std::min(start + column, lastCaretOffsetIn(start));
}

std::pair<qint64, qint64> ByteView::wordAround(qint64 offset) const
{
    if (offset < 0 || offset >= length())
        return {offset, offset};
    return {wordBoundary(offset + 1, -1), wordBoundary(offset, +1)};
}

// The end (direction +1) or start (-1) of the run of word bytes or of other bytes that
// `offset` begins (or, going back, ends), read a few kilobytes at a time.
qint64 ByteView::wordBoundary(qint64 offset, int direction) const
{
    constexpr qint64 chunk = 4096;
    const Text &bytes = text();
    if (direction > 0) {
        if (offset >= bytes.size())
            return bytes.size();
        const bool word = isWordByte(bytes.at(offset));
        qint64 at = offset;
        TextSpans::forEach(bytes, offset, bytes.size(), [&](QByteArrayView span) {
            for (char byte : span) {
                if (isWordByte(byte) != word)
                    return false;
                ++at;
            }
            return true;
        });
        return at;
    }
    if (offset <= 0)
        return 0;
    const bool word = isWordByte(bytes.at(offset - 1));
    for (qint64 end = offset; end > 0;) {
        const qint64 start = std::max<qint64>(0, end - chunk);
        const QByteArray piece = bytes.bytes(start, end);
        for (qint64 i = piece.size(); i > 0; --i) {
            if (isWordByte(piece[i - 1]) != word)
                return start + i;
        }
        end = start;
    }
    return 0;
}

void ByteView::paintEvent(QPaintEvent *event)
{
    QPainter painter(viewport());
    painter.fillRect(event->rect(), palette().base());
    const ByteGlyphs &cells = glyphs();
    const QSize cell = cells.cellSize();
    const qint64 width = columns();
    const int rowsShown = viewport()->height() / cell.height() + 1;
    // What the screen shows, in one small copy: no row holds more than `width` bytes.
    const QByteArray screen = text().bytes(top, top + rowsShown * width + 1);
    const QBrush highlight = palette().brush(QPalette::Highlight);
    const Rows rows(text(), width);

    qint64 index = 0;
    for (int row = 0; row < rowsShown && index < screen.size(); ++row) {
        const qint64 rowOffset = top + index;
        const qint64 length = rows.lengthOf(rowOffset, QByteArrayView(screen).sliced(index));
        const int y = row * cell.height();
        const qint64 selectedFrom = std::clamp(current.start() - rowOffset, qint64(0), length);
        const qint64 selectedTo = std::clamp(current.end() - rowOffset, selectedFrom, length);
        if (selectedTo > selectedFrom) {
            painter.fillRect(int(selectedFrom) * cell.width(), y,
                             int(selectedTo - selectedFrom) * cell.width(), cell.height(),
                             highlight);
        }
        for (qint64 i = 0; i < length; ++i) {
            cells.draw(painter, QPoint(int(i) * cell.width(), y), uchar(screen[index + i]),
                       i >= selectedFrom && i < selectedTo);
        }
        index += length;
    }

    if (hasFocus() && caretShown) {
        const QRect caret = cellRect(current.caret);
        if (!caret.isEmpty()) {
            const QColor ink = palette().color(QPalette::Text);
            if (overwrite) {
                // A block over the byte that typing replaces.
                QColor fill = ink;
                fill.setAlpha(90);
                painter.fillRect(caret, fill);
                painter.setPen(ink);
                painter.drawRect(caret.adjusted(0, 0, -1, -1));
            } else {
                painter.fillRect(QRect(caret.topLeft(), QSize(2, caret.height())), ink);
            }
        }
    }
}

void ByteView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    // Rows are as wide as the view: the top row's start moves to the start of the new row that
    // holds it.
    top = Rows(text(), columns()).startOf(top);
    updateScrollBar();
}

void ByteView::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange ||
        event->type() == QEvent::StyleChange) {
        glyphCache.reset();
        top = Rows(text(), columns()).startOf(top);
        updateScrollBar();
        viewport()->update();
    }
}

bool ByteView::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::ShortcutOverride: {
        auto *key = static_cast<QKeyEvent *>(event);
        const bool typing = !key->text().isEmpty() &&
                            !(key->modifiers() & (Qt::ControlModifier | Qt::MetaModifier));
        const bool editing = std::any_of(
            editingKeys.begin(), editingKeys.end(),
            [key](QKeySequence::StandardKey standard) { return key->matches(standard); });
        if (typing || editing)
            event->accept();
        return true;
    }
    case QEvent::KeyPress: {
        // Tab is typed rather than moving the focus; Ctrl+Tab moves it.
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
            keyPressEvent(key);
            return true;
        }
        break;
    }
    default:
        break;
    }
    return QAbstractScrollArea::event(event);
}

bool ByteView::viewportEvent(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const qint64 offset = byteAt(help->pos());
        if (offset < 0) {
            QToolTip::hideText();
            event->ignore();
            return true;
        }
        const uchar byte = uchar(text().at(offset));
        QToolTip::showText(help->globalPos(),
                           QStringLiteral("Offset %1 (0x%2): byte %3 (0x%4)")
                               .arg(offset)
                               .arg(QString::number(offset, 16).toUpper())
                               .arg(byte)
                               .arg(QString::number(byte, 16).toUpper().rightJustified(2, u'0')),
                           viewport(), cellRect(offset));
        return true;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

bool ByteView::handleStandardKey(QKeyEvent *event)
{
    const auto is = [event](QKeySequence::StandardKey key) {
        return event->matches(key);
    };
    const Rows rows(text(), columns());
    const qint64 caret = current.caret;

    if (is(QKeySequence::Undo))
        undo();
    else if (is(QKeySequence::Redo))
        redo();
    else if (is(QKeySequence::Cut))
        cut();
    else if (is(QKeySequence::Copy))
        copy();
    else if (is(QKeySequence::Paste))
        paste();
    else if (is(QKeySequence::SelectAll))
        selectAll();
    else if (is(QKeySequence::InsertParagraphSeparator) || is(QKeySequence::InsertLineSeparator))
        type(QStringLiteral("\n"));
    else if (is(QKeySequence::Delete))
        current.isEmpty() ? removeRange(caret, caret + 1, Document::Edit::Deleting)
                          : deleteSelection();
    else if (is(QKeySequence::Backspace) || event->key() == Qt::Key_Backspace)
        current.isEmpty() ? removeRange(caret - 1, caret, Document::Edit::Deleting)
                          : deleteSelection();
    else if (is(QKeySequence::DeleteEndOfWord))
        removeRange(caret, wordBoundary(caret, +1), Document::Edit::Other);
    else if (is(QKeySequence::DeleteStartOfWord))
        removeRange(wordBoundary(caret, -1), caret, Document::Edit::Other);
    else if (is(QKeySequence::MoveToNextChar))
        moveCaret(current.isEmpty() ? caret + 1 : current.end(), false);
    else if (is(QKeySequence::MoveToPreviousChar))
        moveCaret(current.isEmpty() ? caret - 1 : current.start(), false);
    else if (is(QKeySequence::SelectNextChar))
        moveCaret(caret + 1, true);
    else if (is(QKeySequence::SelectPreviousChar))
        moveCaret(caret - 1, true);
    else if (is(QKeySequence::MoveToNextWord) || is(QKeySequence::SelectNextWord))
        moveCaret(wordBoundary(wordBoundary(caret, +1), +1), is(QKeySequence::SelectNextWord));
    else if (is(QKeySequence::MoveToPreviousWord) || is(QKeySequence::SelectPreviousWord))
        moveCaret(wordBoundary(wordBoundary(caret, -1), -1), is(QKeySequence::SelectPreviousWord));
    else if (is(QKeySequence::MoveToNextLine) || is(QKeySequence::SelectNextLine))
        moveCaretByRows(1, is(QKeySequence::SelectNextLine));
    else if (is(QKeySequence::MoveToPreviousLine) || is(QKeySequence::SelectPreviousLine))
        moveCaretByRows(-1, is(QKeySequence::SelectPreviousLine));
    else if (is(QKeySequence::MoveToNextPage) || is(QKeySequence::SelectNextPage)) {
        scrollByRows(visibleRows() - 1);
        moveCaretByRows(visibleRows() - 1, is(QKeySequence::SelectNextPage));
    } else if (is(QKeySequence::MoveToPreviousPage) || is(QKeySequence::SelectPreviousPage)) {
        scrollByRows(1 - visibleRows());
        moveCaretByRows(1 - visibleRows(), is(QKeySequence::SelectPreviousPage));
    } else if (is(QKeySequence::MoveToStartOfLine) || is(QKeySequence::SelectStartOfLine))
        moveCaret(rows.startOf(caret), is(QKeySequence::SelectStartOfLine));
    else if (is(QKeySequence::MoveToEndOfLine) || is(QKeySequence::SelectEndOfLine)) {
        moveCaret(lastCaretOffsetIn(rows.startOf(caret)), is(QKeySequence::SelectEndOfLine));
    } else if (is(QKeySequence::MoveToStartOfDocument) || is(QKeySequence::SelectStartOfDocument))
        moveCaret(0, is(QKeySequence::SelectStartOfDocument));
    else if (is(QKeySequence::MoveToEndOfDocument) || is(QKeySequence::SelectEndOfDocument))
        moveCaret(length(), is(QKeySequence::SelectEndOfDocument));
    else
        return false;
    return true;
}

void ByteView::keyPressEvent(QKeyEvent *event)
{
    const bool control = event->modifiers() & Qt::ControlModifier;
    if (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab) {
        const bool backwards =
            event->key() == Qt::Key_Backtab || (event->modifiers() & Qt::ShiftModifier);
        if (control)
            focusNextPrevChild(!backwards);
        else if (!backwards)
            type(QStringLiteral("\t"));
        return;
    }
    if (handleStandardKey(event))
        return;
    if (event->key() == Qt::Key_Insert && event->modifiers() == Qt::NoModifier) {
        setOverwriteMode(!overwrite);
        return;
    }
    if (event->key() != Qt::Key_Escape && !event->text().isEmpty() &&
        !(event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier))) {
        type(event->text());
        return;
    }
    event->ignore();
}

void ByteView::inputMethodEvent(QInputMethodEvent *event)
{
    if (!event->commitString().isEmpty())
        type(event->commitString());
    event->accept();
}

QVariant ByteView::inputMethodQuery(Qt::InputMethodQuery query) const
{
    switch (query) {
    case Qt::ImEnabled:
        return true;
    case Qt::ImCursorRectangle:
        return cellRect(current.caret).translated(viewport()->pos());
    case Qt::ImFont:
        return font();
    case Qt::ImHints:
        return int(Qt::ImhNoPredictiveText | Qt::ImhNoAutoUppercase);
    default:
        return QAbstractScrollArea::inputMethodQuery(query);
    }
}

void ByteView::type(const QString &typed)
{
    if (firstNonByte(typed)) {
        QApplication::beep();
        return;
    }
    if (!replaceSelection(typed.toLatin1(), Document::Edit::Typing))
        QApplication::beep();
}

bool ByteView::replaceSelection(QByteArrayView bytes, Document::Edit kind)
{
    const qint64 from = current.start();
    qint64 to = current.end();
    if (overwrite && kind == Document::Edit::Typing && current.isEmpty())
        to = std::min(from + bytes.size(), length());
    const Selection after{from + bytes.size(), from + bytes.size()};
    if (!document.replace(from, to, bytes, kind, current, after))
        return false;
    afterEdit(after);
    return true;
}

void ByteView::removeRange(qint64 from, qint64 to, Document::Edit kind)
{
    from = std::clamp<qint64>(from, 0, length());
    to = std::clamp<qint64>(to, from, length());
    if (from == to)
        return;
    const Selection after{from, from};
    if (document.replace(from, to, {}, kind, current, after))
        afterEdit(after);
}

void ByteView::deleteSelection()
{
    removeRange(current.start(), current.end(), Document::Edit::Other);
}

void ByteView::afterEdit(Selection selection)
{
    current = selection;
    keptColumn = -1;
    // The text before the top row may have changed: the top moves to the start of its row.
    top = Rows(text(), columns()).startOf(std::min(top, length()));
    updateScrollBar();
    scrollTo(current.caret);
    restartCaretBlink();
    viewport()->update();
    emit selectionChanged();
}

void ByteView::undo()
{
    if (const std::optional<Selection> selection = document.undo())
        afterEdit(*selection);
}

void ByteView::redo()
{
    if (const std::optional<Selection> selection = document.redo())
        afterEdit(*selection);
}

std::unique_ptr<QMimeData> ByteView::mimeDataFor(qint64 from, qint64 to) const
{
    const QByteArray bytes = text().bytes(from, to);
    auto data = std::make_unique<QMimeData>();
    data->setText(QString::fromLatin1(bytes));
    data->setData(bytesMimeType, bytes);
    return data;
}

void ByteView::copy() const
{
    if (!current.isEmpty())
        QGuiApplication::clipboard()->setMimeData(
            mimeDataFor(current.start(), current.end()).release());
}

void ByteView::cut()
{
    copy();
    deleteSelection();
}

void ByteView::paste()
{
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    if (!data)
        return;
    QByteArray bytes;
    if (data->hasFormat(bytesMimeType)) {
        bytes = data->data(bytesMimeType);
    } else if (data->hasText()) {
        const QString pasted = data->text();
        if (const std::optional<QChar> foreign = firstNonByte(pasted)) {
            emit pasteRefused(
                QStringLiteral("Nothing was pasted: the clipboard holds \"%1\" (U+%2), which is "
                               "not one of the 256 characters that stand for bytes.")
                    .arg(*foreign)
                    .arg(
                        QString::number(foreign->unicode(), 16).toUpper().rightJustified(4, u'0')));
            return;
        }
        bytes = pasted.toLatin1();
    }
    if (bytes.isEmpty())
        return;
    if (!replaceSelection(bytes, Document::Edit::Other)) {
        emit pasteRefused(QStringLiteral("Nothing was pasted: there is not enough memory for "
                                         "its %1 bytes.")
                              .arg(bytes.size()));
    }
}

void ByteView::selectAll()
{
    setSelection({0, length()});
}

void ByteView::moveCaret(qint64 offset, bool extend)
{
    document.closeUndoStep();
    current.caret = std::clamp<qint64>(offset, 0, length());
    if (!extend)
        current.anchor = current.caret;
    keptColumn = -1;
    scrollTo(current.caret);
    restartCaretBlink();
    viewport()->update();
    emit selectionChanged();
}

void ByteView::moveCaretByRows(qint64 count, bool extend)
{
    const Rows rows(text(), columns());
    const qint64 rowStart = rows.startOf(current.caret);
    const qint64 column = keptColumn >= 0 ? keptColumn : current.caret - rowStart;
    const qint64 target = rows.moved(rowStart, count);
    const qint64 offset = target == rowStart ? (count > 0 ? length() : 0)
                                             : std::min(target + column, lastCaretOffsetIn(target));
    moveCaret(offset, extend);
    keptColumn = column;
}

void ByteView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    moveCaret(caretOffsetAt(event->position().toPoint()), event->modifiers() & Qt::ShiftModifier);
    selectingWithMouse = true;
}

void ByteView::mouseMoveEvent(QMouseEvent *event)
{
    if (!selectingWithMouse)
        return;
    lastMousePosition = event->position().toPoint();
    moveCaret(caretOffsetAt(lastMousePosition), true);
    // Dragging above or below the rows scrolls on, a row at a time, until the mouse returns.
    const bool outside = lastMousePosition.y() < 0 || lastMousePosition.y() >= viewport()->height();
    if (outside && !autoScroll.isActive())
        autoScroll.start(50, this);
    else if (!outside)
        autoScroll.stop();
}

void ByteView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        selectingWithMouse = false;
        autoScroll.stop();
    }
}

void ByteView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const auto [start, end] = wordAround(byteAt(event->position().toPoint()));
    if (end > start)
        setSelection({start, end});
}

void ByteView::wheelEvent(QWheelEvent *event)
{
    // Touchpads send fractions of a notch; they add up until a row is due.
    constexpr int notch = 120;
    wheelTurned += event->angleDelta().y() * QApplication::wheelScrollLines();
    const int rows = wheelTurned / notch;
    wheelTurned -= rows * notch;
    if (rows != 0)
        scrollByRows(-rows);
    event->accept();
}

QMenu *ByteView::makeContextMenu()
{
    auto *menu = new QMenu(this);
    const auto add = [menu](const QString &name, QKeySequence::StandardKey key, bool enabled,
                            auto slot) {
        QAction *action = menu->addAction(name, slot);
        action->setShortcut(key);
        action->setShortcutVisibleInContextMenu(true);
        action->setEnabled(enabled);
    };
    const bool selected = !current.isEmpty();
    const QMimeData *clipboard = QGuiApplication::clipboard()->mimeData();
    add(QStringLiteral("&Undo"), QKeySequence::Undo, document.canUndo(), [this] { undo(); });
    add(QStringLiteral("&Redo"), QKeySequence::Redo, document.canRedo(), [this] { redo(); });
    menu->addSeparator();
    add(QStringLiteral("Cu&t"), QKeySequence::Cut, selected, [this] { cut(); });
    add(QStringLiteral("&Copy"), QKeySequence::Copy, selected, [this] { copy(); });
    add(QStringLiteral("&Paste"), QKeySequence::Paste,
        clipboard && (clipboard->hasText() || clipboard->hasFormat(bytesMimeType)),
        [this] { paste(); });
    add(QStringLiteral("&Delete"), QKeySequence::Delete, selected, [this] { deleteSelection(); });
    menu->addSeparator();
    add(QStringLiteral("Select &All"), QKeySequence::SelectAll, length() > 0,
        [this] { selectAll(); });
    return menu;
}

void ByteView::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu *menu = makeContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

void ByteView::focusInEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusInEvent(event);
    restartCaretBlink();
    viewport()->update();
}

void ByteView::focusOutEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusOutEvent(event);
    document.closeUndoStep();
    caretBlink.stop();
    viewport()->update();
}

void ByteView::restartCaretBlink()
{
    caretShown = true;
    const int interval = QApplication::cursorFlashTime() / 2;
    if (hasFocus() && interval > 0)
        caretBlink.start(interval, this);
    else
        caretBlink.stop();
}

void ByteView::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == caretBlink.timerId()) {
        caretShown = !caretShown;
        viewport()->update(cellRect(current.caret));
    } else if (event->timerId() == autoScroll.timerId()) {
        scrollByRows(lastMousePosition.y() < 0 ? -1 : 1);
        moveCaret(caretOffsetAt(lastMousePosition), true);
    } else {
        QAbstractScrollArea::timerEvent(event);
    }
}

void ByteView::scrollToRow(qint64 rowStart)
{
    top = std::clamp<qint64>(rowStart, 0, lastTop);
    settingScrollBar = true;
    verticalScrollBar()->setValue(int(top / scrollScale));
    settingScrollBar = false;
    viewport()->update();
}

void ByteView::scrollByRows(qint64 rows)
{
    scrollToRow(Rows(text(), columns()).moved(top, rows));
}

void ByteView::scrollContentsBy(int, int)
{
    // The scroll bar moved: by a drag, or to follow the top row. A drag puts the top at the
    // start of the row that holds the offset it points to.
    const qint64 value = verticalScrollBar()->value();
    if (settingScrollBar || value == top / scrollScale)
        return;
    top =
        std::min(Rows(text(), columns()).startOf(std::min(value * scrollScale, length())), lastTop);
    viewport()->update();
}

void ByteView::scrollTo(qint64 offset)
{
    const Rows rows(text(), columns());
    const qint64 caretRow = rows.startOf(std::clamp<qint64>(offset, 0, length()));
    if (caretRow < top) {
        scrollToRow(caretRow);
        return;
    }
    const qint64 shown = visibleRows();
    qint64 start = top;
    for (qint64 row = 0; row < shown; ++row) {
        if (start == caretRow)
            return;
        start = rows.endOf(start);
    }
    scrollToRow(rows.moved(caretRow, 1 - shown));
}

void ByteView::updateScrollBar()
{
    const Rows rows(text(), columns());
    const qint64 shown = visibleRows();
    lastTop = rows.moved(rows.lastStart(), 1 - shown);
    // A slider position is an int: offsets of larger texts are scaled down to fit.
    constexpr qint64 largestValue = std::numeric_limits<int>::max() / 2;
    scrollScale = lastTop / largestValue + 1;
    QScrollBar *bar = verticalScrollBar();
    settingScrollBar = true;
    bar->setRange(0, int(lastTop / scrollScale));
    bar->setPageStep(int(std::max<qint64>(1, shown * columns() / scrollScale)));
    bar->setSingleStep(int(std::max<qint64>(1, columns() / scrollScale)));
    top = std::min(top, lastTop);
    bar->setValue(int(top / scrollScale));
    settingScrollBar = false;
}
