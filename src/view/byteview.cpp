#include "byteview.h"
#include "byteglyphs.h"
#include "byteviewaccessible.h"
#include "clipboardbytes.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>

#include <cmath>
#include <functional>
#include <limits>

namespace {

// Cells of this font are large enough for the hex digits of control bytes to show sharp.
constexpr int defaultPixelSize = 15;
// Each zoom step scales the font by a tenth, from about 8 to about 70 pixels.
constexpr int smallestZoom = -6;
constexpr int largestZoom = 16;
// The rows start this far from the view's left edge, so that the caret before the first column
// stands clear of the frame.
constexpr int leftMargin = 4;

} // namespace

// What a key does: a standard key, or else a key with exactly the given modifiers, Shift and the
// keypad aside.
struct ByteView::KeyBinding
{
    QKeySequence::StandardKey standard = QKeySequence::UnknownKey;
    QKeyCombination key;
    std::function<void(ByteView &)> run;

    bool matches(const QKeyEvent *event) const
    {
        if (standard != QKeySequence::UnknownKey)
            return event->matches(standard);
        const Qt::KeyboardModifiers modifiers =
            event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier);
        return event->key() == key.key() && modifiers == key.keyboardModifiers();
    }
};

const std::vector<ByteView::KeyBinding> &ByteView::keyBindings()
{
    using Step = ByteEditor::Step;
    static const std::vector<KeyBinding> bindings = [] {
        const auto onModel = [](void (ByteEditor::*action)()) {
            return [action](ByteView &view) {
                (view.model.*action)();
            };
        };
        const auto erase = [](Step step) {
            return [step](ByteView &view) {
                view.model.erase(step);
            };
        };
        const auto zoom = [](int steps) {
            return [steps](ByteView &view) {
                view.zoomBy(steps);
            };
        };
        const auto newLine = [](ByteView &view) {
            view.typeText(QStringLiteral("\n"));
        };
        std::vector<KeyBinding> all = {
            {QKeySequence::Undo, {}, onModel(&ByteEditor::undo)},
            {QKeySequence::Redo, {}, onModel(&ByteEditor::redo)},
            {{}, Qt::CTRL | Qt::Key_Y, onModel(&ByteEditor::redo)},
            {QKeySequence::Cut, {}, &ByteView::cut},
            {QKeySequence::Copy, {}, &ByteView::copy},
            {QKeySequence::Paste, {}, &ByteView::paste},
            {QKeySequence::SelectAll, {}, onModel(&ByteEditor::selectAll)},
            {QKeySequence::InsertParagraphSeparator, {}, newLine},
            {QKeySequence::InsertLineSeparator, {}, newLine},
            {QKeySequence::DeleteStartOfWord, {}, erase(Step::PreviousWord)},
            {QKeySequence::DeleteEndOfWord, {}, erase(Step::NextWord)},
            {QKeySequence::Delete, {}, erase(Step::NextChar)},
            {{}, QKeyCombination(Qt::Key_Backspace), erase(Step::PreviousChar)},
            {{}, QKeyCombination(Qt::Key_Insert), &ByteView::toggleOverwriteMode},
            {{}, Qt::CTRL | Qt::Key_Plus, zoom(1)},
            {{}, Qt::CTRL | Qt::Key_Equal, zoom(1)},
            {{}, Qt::CTRL | Qt::Key_Minus, zoom(-1)},
            {{}, Qt::CTRL | Qt::Key_0, &ByteView::resetZoom},
        };
        const std::tuple<Step, QKeySequence::StandardKey, QKeySequence::StandardKey> steps[] = {
            {Step::NextChar, QKeySequence::MoveToNextChar, QKeySequence::SelectNextChar},
            {Step::PreviousChar, QKeySequence::MoveToPreviousChar,
             QKeySequence::SelectPreviousChar},
            {Step::NextWord, QKeySequence::MoveToNextWord, QKeySequence::SelectNextWord},
            {Step::PreviousWord, QKeySequence::MoveToPreviousWord,
             QKeySequence::SelectPreviousWord},
            {Step::NextRow, QKeySequence::MoveToNextLine, QKeySequence::SelectNextLine},
            {Step::PreviousRow, QKeySequence::MoveToPreviousLine, QKeySequence::SelectPreviousLine},
            {Step::NextPage, QKeySequence::MoveToNextPage, QKeySequence::SelectNextPage},
            {Step::PreviousPage, QKeySequence::MoveToPreviousPage,
             QKeySequence::SelectPreviousPage},
            {Step::RowStart, QKeySequence::MoveToStartOfLine, QKeySequence::SelectStartOfLine},
            {Step::RowEnd, QKeySequence::MoveToEndOfLine, QKeySequence::SelectEndOfLine},
            {Step::TextStart, QKeySequence::MoveToStartOfDocument,
             QKeySequence::SelectStartOfDocument},
            {Step::TextEnd, QKeySequence::MoveToEndOfDocument, QKeySequence::SelectEndOfDocument},
        };
        for (const auto &[step, move, select] : steps) {
            const auto moveBy = [step = step](bool extend) {
                return [step, extend](ByteView &view) {
                    view.moveCaret(step, extend);
                };
            };
            all.push_back({move, {}, moveBy(false)});
            all.push_back({select, {}, moveBy(true)});
        }
        return all;
    }();
    return bindings;
}

const ByteView::KeyBinding *ByteView::bindingFor(const QKeyEvent *event)
{
    for (const KeyBinding &binding : keyBindings()) {
        if (binding.matches(event))
            return &binding;
    }
    return nullptr;
}

ByteView::ByteView(QWidget *parent)
    : QAbstractScrollArea(parent)
{
    ByteViewAccessible::install();
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPixelSize(defaultPixelSize);
    setFont(fixed);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // A scroll bar that came and went with the text would change the width rows wrap at.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setAutoFillBackground(false);
    connect(verticalScrollBar(), &QAbstractSlider::actionTriggered, this, [this](int action) {
        // Steps move by rows, which the scroll bar's byte offsets know nothing of.
        const qint64 page = std::max(1, visibleRows() - 1);
        qint64 by = 0;
        switch (action) {
        case QAbstractSlider::SliderSingleStepAdd:
            by = 1;
            break;
        case QAbstractSlider::SliderSingleStepSub:
            by = -1;
            break;
        case QAbstractSlider::SliderPageStepAdd:
            by = page;
            break;
        case QAbstractSlider::SliderPageStepSub:
            by = -page;
            break;
        default:
            return;
        }
        scrollByRows(by);
        verticalScrollBar()->setSliderPosition(int(top / scrollScale));
    });
    connect(&model, &ByteEditor::textChanged, this, [this] {
        // The text before the top row may have changed: the top moves to the start of its row.
        top = model.rows().startOf(std::min(top, model.length()));
        updateScrollBar();
    });
    connect(&model, &ByteEditor::textReset, this, [this] {
        top = 0;
        updateScrollBar();
    });
    connect(&model, &ByteEditor::selectionChanged, this, [this] {
        scrollTo(model.selection().caret);
        restartCaretBlink();
        viewport()->update();
    });
    connect(&model, &ByteEditor::refused, this, &ByteView::refused);
    layOutRows();
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
    return std::max(1, (viewport()->width() - leftMargin) / glyphs().cellSize().width());
}

int ByteView::visibleRows() const
{
    return std::max(1, viewport()->height() / glyphs().cellSize().height());
}

QRect ByteView::cellRect(qint64 offset) const
{
    if (offset < top || offset > model.length())
        return {};
    const Rows rows = model.rows();
    const qint64 rowStart = rows.startOf(offset);
    const QSize cell = glyphs().cellSize();
    qint64 row = 0;
    for (qint64 start = top; start < rowStart; ++row) {
        if (row > visibleRows())
            return {};
        start = rows.endOf(start);
    }
    return QRect(
        QPoint(leftMargin + int(offset - rowStart) * cell.width(), int(row) * cell.height()), cell);
}

qint64 ByteView::byteAt(QPoint point) const
{
    const QSize cell = glyphs().cellSize();
    const int x = point.x() - leftMargin;
    if (x < 0 || point.y() < 0 || x >= model.columns() * cell.width())
        return -1;
    const Rows rows = model.rows();
    const qint64 last = rows.lastStart();
    qint64 start = top;
    for (int row = point.y() / cell.height(); row > 0; --row) {
        if (start >= last)
            return -1;
        start = rows.endOf(start);
    }
    const qint64 offset = start + x / cell.width();
    return offset < rows.endOf(start) ? offset : -1;
}

qint64 ByteView::caretOffsetAt(QPoint point) const
{
    const QSize cell = glyphs().cellSize();
    const qint64 row = std::max(0, point.y()) / cell.height();
    const qint64 column = std::max(0, (point.x() - leftMargin + cell.width() / 2) / cell.width());
    return model.caretOffsetIn(model.rows().moved(top, row), column);
}

void ByteView::paintEvent(QPaintEvent *event)
{
    QPainter painter(viewport());
    painter.fillRect(event->rect(), palette().base());
    const ByteGlyphs &cells = glyphs();
    const QSize cell = cells.cellSize();
    const qint64 width = model.columns();
    const int rowsShown = viewport()->height() / cell.height() + 1;
    // What the screen shows, in one small copy: no row holds more than `width` bytes.
    const QByteArray screen = model.text().bytes(top, top + rowsShown * width + 1);
    const QBrush highlight = palette().brush(QPalette::Highlight);
    const Rows rows = model.rows();
    const Selection selection = model.selection();

    qint64 index = 0;
    for (int row = 0; row < rowsShown && index < screen.size(); ++row) {
        const qint64 rowOffset = top + index;
        const qint64 length = rows.lengthOf(rowOffset, QByteArrayView(screen).sliced(index));
        const int y = row * cell.height();
        const qint64 selectedFrom = std::clamp(selection.start() - rowOffset, qint64(0), length);
        const qint64 selectedTo = std::clamp(selection.end() - rowOffset, selectedFrom, length);
        if (selectedTo > selectedFrom) {
            painter.fillRect(leftMargin + int(selectedFrom) * cell.width(), y,
                             int(selectedTo - selectedFrom) * cell.width(), cell.height(),
                             highlight);
        }
        for (qint64 i = 0; i < length; ++i) {
            cells.draw(painter, QPoint(leftMargin + int(i) * cell.width(), y),
                       uchar(screen[index + i]), i >= selectedFrom && i < selectedTo);
        }
        index += length;
    }

    if (hasFocus() && caretShown) {
        const QRect caret = cellRect(selection.caret);
        if (!caret.isEmpty()) {
            const QColor ink = palette().color(QPalette::Text);
            if (model.overwriteMode()) {
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

void ByteView::layOutRows()
{
    model.setLayout(columns(), visibleRows());
    // Rows are as wide as the view: the top row's start moves to the start of the new row that
    // holds it.
    top = model.rows().startOf(std::min(top, model.length()));
    updateScrollBar();
    viewport()->update();
}

void ByteView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    layOutRows();
}

void ByteView::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange ||
        event->type() == QEvent::StyleChange) {
        glyphCache.reset();
        layOutRows();
    }
}

bool ByteView::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::ShortcutOverride: {
        // The keys the view handles are its own, whatever shortcuts the window has.
        auto *key = static_cast<QKeyEvent *>(event);
        const bool typing = !key->text().isEmpty() &&
                            !(key->modifiers() & (Qt::ControlModifier | Qt::MetaModifier));
        if (typing || bindingFor(key))
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
        const uchar byte = uchar(model.text().at(offset));
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

void ByteView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab) {
        const bool backwards =
            event->key() == Qt::Key_Backtab || (event->modifiers() & Qt::ShiftModifier);
        if (event->modifiers() & Qt::ControlModifier)
            focusNextPrevChild(!backwards);
        else if (!backwards)
            typeText(QStringLiteral("\t"));
        return;
    }
    if (const KeyBinding *binding = bindingFor(event)) {
        binding->run(*this);
        return;
    }
    if (event->key() != Qt::Key_Escape && !event->text().isEmpty() &&
        !(event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier))) {
        typeText(event->text());
        return;
    }
    event->ignore();
}

void ByteView::typeText(const QString &typed)
{
    if (!model.type(typed))
        QApplication::beep();
}

void ByteView::moveCaret(ByteEditor::Step step, bool extend)
{
    // A page step moves the view as far as the caret, so that the caret keeps its place on screen.
    if (step == ByteEditor::Step::NextPage || step == ByteEditor::Step::PreviousPage) {
        const qint64 page = std::max(1, visibleRows() - 1);
        scrollByRows(step == ByteEditor::Step::NextPage ? page : -page);
    }
    model.move(step, extend);
}

void ByteView::toggleOverwriteMode()
{
    model.setOverwriteMode(!model.overwriteMode());
    viewport()->update();
}

void ByteView::inputMethodEvent(QInputMethodEvent *event)
{
    if (!event->commitString().isEmpty())
        typeText(event->commitString());
    event->accept();
}

QVariant ByteView::inputMethodQuery(Qt::InputMethodQuery query) const
{
    switch (query) {
    case Qt::ImEnabled:
        return true;
    case Qt::ImCursorRectangle:
        return cellRect(model.selection().caret).translated(viewport()->pos());
    case Qt::ImFont:
        return font();
    case Qt::ImHints:
        return int(Qt::ImhNoPredictiveText | Qt::ImhNoAutoUppercase);
    default:
        return QAbstractScrollArea::inputMethodQuery(query);
    }
}

void ByteView::handOver(std::unique_ptr<ClipboardBytes> copied)
{
    // Another program that pastes makes the payload produce its bytes, which may take a moment.
    connect(copied.get(), &ClipboardBytes::producing, this, [](bool busy) {
        if (busy)
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QGuiApplication::restoreOverrideCursor();
    });
    // The platform asks for formats while it handles its own events: the message waits.
    connect(copied.get(), &ClipboardBytes::failed, this, &ByteView::refused, Qt::QueuedConnection);
    QGuiApplication::clipboard()->setMimeData(copied.release());
}

void ByteView::copy()
{
    if (std::unique_ptr<ClipboardBytes> copied = model.copy())
        handOver(std::move(copied));
}

void ByteView::cut()
{
    if (std::unique_ptr<ClipboardBytes> copied = model.cut())
        handOver(std::move(copied));
}

void ByteView::paste()
{
    if (const QMimeData *data = QGuiApplication::clipboard()->mimeData())
        model.paste(*data);
}

void ByteView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    model.moveTo(caretOffsetAt(event->position().toPoint()),
                 event->modifiers() & Qt::ShiftModifier);
    selectingWithMouse = true;
}

void ByteView::mouseMoveEvent(QMouseEvent *event)
{
    if (!selectingWithMouse)
        return;
    lastMousePosition = event->position().toPoint();
    extendSelectionToMouse();
    // Held beyond the top or the bottom row, the mouse scrolls the view on, still or not.
    if (autoScrollRows() == 0)
        autoScroll.stop();
    else if (!autoScroll.isActive())
        autoScroll.start(50, this);
}

qint64 ByteView::autoScrollRows() const
{
    const int y = lastMousePosition.y();
    const int height = glyphs().cellSize().height();
    const int bottom = visibleRows() * height;
    if (y < 0)
        return -(1 + -y / height);
    return y < bottom ? 0 : 1 + (y - bottom) / height;
}

void ByteView::extendSelectionToMouse()
{
    // Beyond the rows shown, the caret goes to the nearest of them: only the timer scrolls.
    const int lastY = visibleRows() * glyphs().cellSize().height() - 1;
    model.moveTo(
        caretOffsetAt({lastMousePosition.x(), std::clamp(lastMousePosition.y(), 0, lastY)}), true);
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
    const auto [start, end] = model.wordAround(byteAt(event->position().toPoint()));
    if (end > start)
        model.setSelection({start, end});
}

void ByteView::wheelEvent(QWheelEvent *event)
{
    // Touchpads send fractions of a notch; they add up until a row or a zoom step is due.
    constexpr int notch = 120;
    if (event->modifiers() & Qt::ControlModifier) {
        zoomTurned += event->angleDelta().y();
        const int steps = zoomTurned / notch;
        zoomTurned -= steps * notch;
        if (steps != 0)
            zoomBy(steps);
    } else {
        wheelTurned += event->angleDelta().y() * QApplication::wheelScrollLines();
        const int rows = wheelTurned / notch;
        wheelTurned -= rows * notch;
        if (rows != 0)
            scrollByRows(-rows);
    }
    event->accept();
}

void ByteView::zoomBy(int steps)
{
    zoom = std::clamp(zoom + steps, smallestZoom, largestZoom);
    QFont zoomed = font();
    zoomed.setPixelSize(qRound(defaultPixelSize * std::pow(1.1, zoom)));
    setFont(zoomed);
}

void ByteView::resetZoom()
{
    zoomBy(-zoom);
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
    const bool selected = !model.selection().isEmpty();
    add(QStringLiteral("&Undo"), QKeySequence::Undo, model.canUndo(), [this] { model.undo(); });
    add(QStringLiteral("&Redo"), QKeySequence::Redo, model.canRedo(), [this] { model.redo(); });
    menu->addSeparator();
    add(QStringLiteral("Cu&t"), QKeySequence::Cut, selected, [this] { cut(); });
    add(QStringLiteral("&Copy"), QKeySequence::Copy, selected, [this] { copy(); });
    add(QStringLiteral("&Paste"), QKeySequence::Paste,
        ByteEditor::canPaste(QGuiApplication::clipboard()->mimeData()), [this] { paste(); });
    add(QStringLiteral("&Delete"), QKeySequence::Delete, selected,
        [this] { model.deleteSelection(); });
    menu->addSeparator();
    add(QStringLiteral("Select &All"), QKeySequence::SelectAll, model.length() > 0,
        [this] { model.selectAll(); });
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
    model.endEditRun();
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
        viewport()->update(cellRect(model.selection().caret));
    } else if (event->timerId() == autoScroll.timerId()) {
        scrollByRows(autoScrollRows());
        extendSelectionToMouse();
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
    scrollToRow(model.rows().moved(top, rows));
}

void ByteView::scrollContentsBy(int, int)
{
    // The scroll bar moved: by a drag, or to follow the top row. A drag puts the top at the
    // start of the row that holds the offset it points to.
    const qint64 value = verticalScrollBar()->value();
    if (settingScrollBar || value == top / scrollScale)
        return;
    top = std::min(model.rows().startOf(std::min(value * scrollScale, model.length())), lastTop);
    viewport()->update();
}

void ByteView::scrollTo(qint64 offset)
{
    const Rows rows = model.rows();
    const qint64 caretRow = rows.startOf(std::clamp<qint64>(offset, 0, model.length()));
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
    const Rows rows = model.rows();
    const qint64 shown = visibleRows();
    lastTop = rows.moved(rows.lastStart(), 1 - shown);
    // A slider position is an int: offsets of larger texts are scaled down to fit.
    constexpr qint64 largestValue = std::numeric_limits<int>::max() / 2;
    scrollScale = lastTop / largestValue + 1;
    QScrollBar *bar = verticalScrollBar();
    settingScrollBar = true;
    bar->setRange(0, int(lastTop / scrollScale));
    bar->setPageStep(int(std::max<qint64>(1, shown * model.columns() / scrollScale)));
    bar->setSingleStep(int(std::max<qint64>(1, model.columns() / scrollScale)));
    top = std::min(top, lastTop);
    bar->setValue(int(top / scrollScale));
    settingScrollBar = false;
}
