#include "byteviewaccessible.h"
#include "byteview.h"

#include <algorithm>
#include <limits>

namespace {

// Accessibility offsets are ints; a text beyond 2 GiB is seen up to there.
int clampToInt(qint64 value)
{
    return int(std::min<qint64>(value, std::numeric_limits<int>::max()));
}

// What screen readers get for `byte`: its ISO-8859-1 character, except for the controls that
// D-Bus cannot carry (NUL) or speech engines pass over in silence, which go out as their control
// pictures, one character each. Tab, LF and CR stay themselves: screen readers name them, and
// rows end after LF and CR as the lines of any text do.
QChar readableCharacter(uchar byte)
{
    if (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r')
        return QChar(char16_t(0x2400 + byte));
    if (byte == 0x7f)
        return QChar(char16_t(0x2421));
    return QChar(char16_t(byte));
}

QString readableText(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    std::transform(bytes.begin(), bytes.end(), text.begin(),
                   [](char byte) { return readableCharacter(uchar(byte)); });
    return text;
}

QAccessibleInterface *accessibleFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String(ByteView::staticMetaObject.className()))
        return new ByteViewAccessible(static_cast<ByteView *>(object));
    return nullptr;
}

} // namespace

void ByteViewAccessible::install()
{
    static const bool installed = [] {
        QAccessible::installFactory(accessibleFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

ByteViewAccessible::ByteViewAccessible(ByteView *view)
    : QAccessibleWidget(view, QAccessible::EditableText)
    , shown(view->editor().text())
    , reported(view->editor().selection())
{
    const ByteEditor *model = &view->editor();
    QObject::connect(model, &ByteEditor::textChanged, &listener,
                     [this](qint64 position, qint64 removed, qint64 added) {
                         announceEdit(position, removed, added);
                     });
    QObject::connect(model, &ByteEditor::textReset, &listener, [this] { announceNewText(); });
    QObject::connect(model, &ByteEditor::selectionChanged, &listener,
                     [this] { announceSelection(); });
}

void ByteViewAccessible::post(QAccessibleTextCursorEvent &&event) const
{
    event.setCursorPosition(cursorPosition());
    QAccessible::updateAccessibility(&event);
}

void ByteViewAccessible::announceEdit(qint64 position, qint64 removed, qint64 added)
{
    const Text before = std::exchange(shown, editor().text());
    const int at = clampToInt(position);
    // Beyond a page of text an event would cost what the edit did not: a paste of gigabytes
    // shares its bytes. Screen readers learn where the text changed and read what they need.
    if (removed > eventTextLimit || added > eventTextLimit) {
        post(QAccessibleTextUpdateEvent(view(), at, {}, {}));
        return;
    }
    const QString removedText = readableText(before.bytes(position, position + removed));
    const QString addedText = readableText(shown.bytes(position, position + added));
    if (removed == 0)
        post(QAccessibleTextInsertEvent(view(), at, addedText));
    else if (added == 0)
        post(QAccessibleTextRemoveEvent(view(), at, removedText));
    else
        post(QAccessibleTextUpdateEvent(view(), at, removedText, addedText));
}

void ByteViewAccessible::announceNewText()
{
    // A loaded text may be gigabytes long: the event says that all of it changed, not what to.
    shown = editor().text();
    reported = editor().selection();
    post(QAccessibleTextUpdateEvent(view(), 0, {}, {}));
    // Qt's AT-SPI bridge passes on no change without its text; the caret, wherever it was
    // before, tells screen readers where to start reading the new text.
    post(QAccessibleTextCursorEvent(view(), cursorPosition()));
}

void ByteViewAccessible::announceSelection()
{
    const Selection before = std::exchange(reported, editor().selection());
    if (reported.caret != before.caret)
        post(QAccessibleTextCursorEvent(view(), clampToInt(reported.caret)));
    const bool selectionChanged =
        reported.start() != before.start() || reported.end() != before.end();
    if (selectionChanged && !(reported.isEmpty() && before.isEmpty())) {
        post(QAccessibleTextSelectionEvent(view(), clampToInt(reported.start()),
                                           clampToInt(reported.end())));
    }
}

ByteView *ByteViewAccessible::view() const
{
    return static_cast<ByteView *>(widget());
}

ByteEditor &ByteViewAccessible::editor() const
{
    return view()->editor();
}

void *ByteViewAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface *>(this);
    return QAccessibleWidget::interface_cast(type);
}

int ByteViewAccessible::viewportIndex() const
{
    return QAccessibleWidget::indexOfChild(
        QAccessible::queryAccessibleInterface(view()->viewport()));
}

int ByteViewAccessible::childCount() const
{
    return QAccessibleWidget::childCount() - 1;
}

QAccessibleInterface *ByteViewAccessible::child(int index) const
{
    return QAccessibleWidget::child(index < viewportIndex() ? index : index + 1);
}

int ByteViewAccessible::indexOfChild(const QAccessibleInterface *child) const
{
    const int index = QAccessibleWidget::indexOfChild(child);
    const int viewport = viewportIndex();
    if (index == viewport)
        return -1;
    return index < viewport ? index : index - 1;
}

QAccessible::State ByteViewAccessible::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    state.editable = true;
    state.multiLine = true;
    state.selectableText = true;
    return state;
}

void ByteViewAccessible::selection(int selectionIndex, int *startOffset, int *endOffset) const
{
    *startOffset = *endOffset = 0;
    if (selectionIndex != 0 || selectionCount() == 0)
        return;
    *startOffset = clampToInt(editor().selection().start());
    *endOffset = clampToInt(editor().selection().end());
}

int ByteViewAccessible::selectionCount() const
{
    return editor().selection().isEmpty() ? 0 : 1;
}

void ByteViewAccessible::addSelection(int startOffset, int endOffset)
{
    setSelection(0, startOffset, endOffset);
}

void ByteViewAccessible::removeSelection(int selectionIndex)
{
    if (selectionIndex == 0)
        editor().select(editor().selection().caret, 0);
}

void ByteViewAccessible::setSelection(int selectionIndex, int startOffset, int endOffset)
{
    if (selectionIndex == 0)
        editor().setSelection({startOffset, endOffset});
}

int ByteViewAccessible::cursorPosition() const
{
    return clampToInt(editor().selection().caret);
}

void ByteViewAccessible::setCursorPosition(int position)
{
    editor().select(position, 0);
}

QString ByteViewAccessible::text(int startOffset, int endOffset) const
{
    const qint64 end = std::min<qint64>(endOffset, qint64(startOffset) + textLimit);
    return readableText(editor().text().bytes(startOffset, end));
}

std::pair<qint64, qint64>
ByteViewAccessible::unitAround(qint64 offset, QAccessible::TextBoundaryType boundary) const
{
    switch (boundary) {
    case QAccessible::CharBoundary:
        return {offset, std::min(offset + 1, editor().length())};
    case QAccessible::WordBoundary:
        return editor().wordAround(offset, wordReach);
    case QAccessible::NoBoundary:
        return {0, editor().length()};
    default:
        return editor().rowAround(offset);
    }
}

QString ByteViewAccessible::textOfUnit(std::pair<qint64, qint64> unit, int *startOffset,
                                       int *endOffset) const
{
    *startOffset = clampToInt(unit.first);
    *endOffset = clampToInt(unit.second);
    return text(*startOffset, *endOffset);
}

QString ByteViewAccessible::textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                                         int *startOffset, int *endOffset) const
{
    return textOfUnit(unitAround(offset, boundaryType), startOffset, endOffset);
}

QString ByteViewAccessible::textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                                             int *startOffset, int *endOffset) const
{
    const qint64 start = unitAround(offset, boundaryType).first;
    if (start <= 0)
        return textOfUnit({0, 0}, startOffset, endOffset);
    // A run longer than a word lookup reaches is cut into units that meet end to end.
    const auto [before, end] = unitAround(start - 1, boundaryType);
    return textOfUnit({before, std::min(end, start)}, startOffset, endOffset);
}

QString ByteViewAccessible::textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                                            int *startOffset, int *endOffset) const
{
    const qint64 end = unitAround(offset, boundaryType).second;
    if (end >= editor().length())
        return textOfUnit({end, end}, startOffset, endOffset);
    const auto [start, after] = unitAround(end, boundaryType);
    return textOfUnit({std::max(start, end), after}, startOffset, endOffset);
}

int ByteViewAccessible::characterCount() const
{
    return clampToInt(editor().length());
}

QRect ByteViewAccessible::characterRect(int offset) const
{
    const QRect cell = view()->cellRect(offset);
    if (cell.isEmpty())
        return {};
    return QRect(view()->viewport()->mapToGlobal(cell.topLeft()), cell.size());
}

int ByteViewAccessible::offsetAtPoint(const QPoint &point) const
{
    return clampToInt(view()->byteAt(view()->viewport()->mapFromGlobal(point)));
}

void ByteViewAccessible::scrollToSubstring(int startIndex, int)
{
    view()->scrollTo(startIndex);
}

QString ByteViewAccessible::attributes(int offset, int *startOffset, int *endOffset) const
{
    *startOffset = *endOffset = offset;
    return {};
}
