#include "byteeditor.h"
#include "clipboardbytes.h"

#include <QLocale>

#include <array>
#include <new>

namespace {

// Words are runs of letters, digits and underscores; blanks separate them; the other bytes
// (punctuation, controls) make runs of their own, as punctuation does in Qt's text widgets.
enum class Kind { Word, Blank, Other };

Kind kindOf(char byte)
{
    static const std::array<Kind, 256> kinds = [] {
        std::array<Kind, 256> table{};
        for (int value = 0; value < 256; ++value) {
            const QChar character{char16_t(value)};
            table[value] = value == '_' || character.isLetterOrNumber() ? Kind::Word
                           : character.isSpace()                        ? Kind::Blank
                                                                        : Kind::Other;
        }
        return table;
    }();
    return kinds[uchar(byte)];
}

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

ByteEditor::ByteEditor(QObject *parent)
    : QObject(parent)
{
}

void ByteEditor::setText(Text text)
{
    document.reset(std::move(text));
    current = Selection{};
    keptColumn = -1;
    emit textReset();
    emit selectionChanged();
}

void ByteEditor::setSelection(Selection selection)
{
    document.closeUndoStep();
    current = {std::clamp<qint64>(selection.anchor, 0, length()),
               std::clamp<qint64>(selection.caret, 0, length())};
    keptColumn = -1;
    emit selectionChanged();
}

void ByteEditor::select(qint64 offset, qint64 count)
{
    const qint64 start = std::clamp<qint64>(offset, 0, length());
    setSelection({start, std::clamp<qint64>(start + std::max<qint64>(count, 0), start, length())});
}

void ByteEditor::selectAll()
{
    setSelection({0, length()});
}

void ByteEditor::setOverwriteMode(bool on)
{
    overwrite = on;
}

void ByteEditor::setLayout(qint64 columns, qint64 rowsPerPage)
{
    rowColumns = std::max<qint64>(columns, 1);
    pageRows = std::max<qint64>(rowsPerPage, 1);
}

std::pair<qint64, qint64> ByteEditor::rowAround(qint64 offset) const
{
    const Rows layout = rows();
    const qint64 start = layout.startOf(std::clamp<qint64>(offset, 0, length()));
    return {start, layout.endOf(start)};
}

std::pair<qint64, qint64> ByteEditor::wordAround(qint64 offset, qint64 reach) const
{
    if (offset < 0 || offset >= length())
        return {offset, offset};
    const qint64 from = std::max<qint64>(0, offset - reach);
    const QByteArray around = text().bytes(from, offset + reach + 1);
    const Kind kind = kindOf(around[offset - from]);
    qsizetype start = offset - from;
    qsizetype end = start + 1;
    while (start > 0 && kindOf(around[start - 1]) == kind)
        --start;
    while (end < around.size() && kindOf(around[end]) == kind)
        ++end;
    return {from + start, from + end};
}

qint64 ByteEditor::caretOffsetIn(qint64 rowStart, qint64 column) const
{
    // Past the last cell of a row the caret goes before its line end; a full row that wraps
    // keeps it before its last byte, since the offset after that shows on the next row.
    const Rows layout = rows();
    const qint64 end = layout.endOf(rowStart);
    const QByteArray tail = text().bytes(std::max(rowStart, end - 2), end);
    qint64 last = end;
    if (tail.endsWith("\r\n"))
        last = end - 2;
    else if (tail.endsWith('\n') || tail.endsWith('\r') || rowStart < layout.lastStart())
        last = end - 1;
    return std::min(rowStart + std::max<qint64>(column, 0), last);
}

// Words are stepped over as Qt's text widgets do: forwards past the rest of the run at the
// caret and the blanks after it, backwards past blanks and then one run.
qint64 ByteEditor::nextWordStart(qint64 offset) const
{
    const QByteArray ahead = text().bytes(offset, offset + wordStepLimit);
    qsizetype end = 0;
    if (!ahead.isEmpty() && kindOf(ahead[0]) != Kind::Blank) {
        const Kind kind = kindOf(ahead[0]);
        while (end < ahead.size() && kindOf(ahead[end]) == kind)
            ++end;
    }
    while (end < ahead.size() && kindOf(ahead[end]) == Kind::Blank)
        ++end;
    return offset + end;
}

qint64 ByteEditor::previousWordStart(qint64 offset) const
{
    const qint64 from = std::max<qint64>(0, offset - wordStepLimit);
    const QByteArray behind = text().bytes(from, offset);
    qsizetype start = behind.size();
    while (start > 0 && kindOf(behind[start - 1]) == Kind::Blank)
        --start;
    if (start > 0) {
        const Kind kind = kindOf(behind[start - 1]);
        while (start > 0 && kindOf(behind[start - 1]) == kind)
            --start;
    }
    return from + start;
}

std::pair<qint64, qint64> ByteEditor::target(Step step) const
{
    const qint64 caret = current.caret;
    const Rows layout = rows();
    qint64 rowsAway = 0;
    switch (step) {
    case Step::NextChar:
        return {caret + 1, -1};
    case Step::PreviousChar:
        return {caret - 1, -1};
    case Step::NextWord:
        return {nextWordStart(caret), -1};
    case Step::PreviousWord:
        return {previousWordStart(caret), -1};
    case Step::RowStart:
        return {layout.startOf(caret), -1};
    case Step::RowEnd:
        return {caretOffsetIn(layout.startOf(caret), rowColumns), -1};
    case Step::TextStart:
        return {0, -1};
    case Step::TextEnd:
        return {length(), -1};
    case Step::NextRow:
        rowsAway = 1;
        break;
    case Step::PreviousRow:
        rowsAway = -1;
        break;
    case Step::NextPage:
        rowsAway = std::max<qint64>(1, pageRows - 1);
        break;
    case Step::PreviousPage:
        rowsAway = -std::max<qint64>(1, pageRows - 1);
        break;
    }
    const qint64 rowStart = layout.startOf(caret);
    const qint64 column = keptColumn >= 0 ? keptColumn : caret - rowStart;
    const qint64 targetRow = layout.moved(rowStart, rowsAway);
    // From the first or the last row, the caret goes on to the text's start or end.
    if (targetRow == rowStart)
        return {rowsAway > 0 ? length() : 0, column};
    return {caretOffsetIn(targetRow, column), column};
}

void ByteEditor::move(Step step, bool extend)
{
    // Without Shift, a sideways step from a selection lands on the side it points to.
    if (!extend && !current.isEmpty() && (step == Step::NextChar || step == Step::PreviousChar)) {
        moveTo(step == Step::NextChar ? current.end() : current.start(), false);
        return;
    }
    const auto [offset, column] = target(step);
    moveTo(offset, extend);
    keptColumn = column;
}

void ByteEditor::moveTo(qint64 offset, bool extend)
{
    document.closeUndoStep();
    current.caret = std::clamp<qint64>(offset, 0, length());
    if (!extend)
        current.anchor = current.caret;
    keptColumn = -1;
    emit selectionChanged();
}

bool ByteEditor::type(const QString &typed)
{
    if (typed.isEmpty())
        return true;
    if (firstNonByte(typed))
        return false;
    const QByteArray bytes = typed.toLatin1();
    const qint64 from = current.start();
    qint64 to = current.end();
    if (overwrite && current.isEmpty())
        to = std::min(from + bytes.size(), length());
    return replace(from, to, bytes, Document::Edit::Typing);
}

void ByteEditor::erase(Step step)
{
    if (!current.isEmpty()) {
        deleteSelection();
        return;
    }
    const qint64 to = std::clamp<qint64>(target(step).first, 0, length());
    const qint64 caret = current.caret;
    if (to != caret)
        replace(std::min(caret, to), std::max(caret, to), {}, Document::Edit::Deleting);
}

void ByteEditor::deleteSelection()
{
    if (!current.isEmpty())
        replace(current.start(), current.end(), {}, Document::Edit::Other);
}

bool ByteEditor::replace(qint64 from, qint64 to, QByteArrayView bytes, Document::Edit kind)
{
    const Selection after{from + bytes.size(), from + bytes.size()};
    try {
        if (!document.replace(from, to, bytes, kind, current, after))
            return false;
    } catch (const std::bad_alloc &) {
        return false;
    }
    edited(from, to - from, bytes.size(), after);
    return true;
}

bool ByteEditor::replace(qint64 from, qint64 to, const Text &bytes)
{
    const Selection after{from + bytes.size(), from + bytes.size()};
    try {
        document.replace(from, to, bytes, current, after);
    } catch (const std::bad_alloc &) {
        return false;
    }
    edited(from, to - from, bytes.size(), after);
    return true;
}

void ByteEditor::edited(qint64 position, qint64 removed, qint64 added, Selection after)
{
    current = after;
    keptColumn = -1;
    emit textChanged(position, removed, added);
    emit selectionChanged();
}

void ByteEditor::undo()
{
    if (const std::optional<StepChange> change = document.undo())
        edited(change->position, change->removed, change->added, change->selection);
}

void ByteEditor::redo()
{
    if (const std::optional<StepChange> change = document.redo())
        edited(change->position, change->removed, change->added, change->selection);
}

std::unique_ptr<ClipboardBytes> ByteEditor::copy()
{
    const qint64 size = current.end() - current.start();
    if (size == 0)
        return nullptr;
    const QLocale locale = QLocale::system();
    if (size > copyLimit) {
        emit refused(QStringLiteral("Nothing was copied: the selection holds %1 bytes, and at most "
                                    "%2 bytes (%3) can be copied at once.")
                         .arg(locale.toString(size), locale.toString(copyLimit),
                              locale.formattedDataSize(copyLimit, 0)));
        return nullptr;
    }
    try {
        return std::make_unique<ClipboardBytes>(text().sliced(current.start(), current.end()));
    } catch (const std::bad_alloc &) {
        emit refused(QStringLiteral("Nothing was copied: there is not enough memory."));
        return nullptr;
    }
}

std::unique_ptr<ClipboardBytes> ByteEditor::cut()
{
    std::unique_ptr<ClipboardBytes> copied = copy();
    if (copied)
        deleteSelection();
    return copied;
}

bool ByteEditor::canPaste(const QMimeData *data)
{
    return data && (data->hasFormat(ClipboardBytes::bytesFormat()) || data->hasText());
}

void ByteEditor::paste(const QMimeData &data)
{
    const QString noMemory =
        QStringLiteral("Nothing was pasted: there is not enough memory for what the clipboard "
                       "holds.");
    try {
        // Korvane's own copy, made in this process: its bytes are shared, never copied.
        if (const auto *own = qobject_cast<const ClipboardBytes *>(&data)) {
            if (!own->bytes().isEmpty() && !replace(current.start(), current.end(), own->bytes()))
                emit refused(noMemory);
            return;
        }
        QByteArray bytes;
        if (data.hasFormat(ClipboardBytes::bytesFormat())) {
            bytes = data.data(ClipboardBytes::bytesFormat());
        } else if (data.hasText()) {
            const QString pasted = data.text();
            if (const std::optional<QChar> foreign = firstNonByte(pasted)) {
                emit refused(
                    QStringLiteral("Nothing was pasted: the clipboard holds \"%1\" (U+%2), which "
                                   "is not one of the 256 characters that stand for bytes.")
                        .arg(*foreign)
                        .arg(QString::number(foreign->unicode(), 16)
                                 .toUpper()
                                 .rightJustified(4, u'0')));
                return;
            }
            bytes = pasted.toLatin1();
        }
        if (!bytes.isEmpty() &&
            !replace(current.start(), current.end(), bytes, Document::Edit::Other))
            emit refused(noMemory);
    } catch (const std::bad_alloc &) {
        emit refused(noMemory);
    }
}
