#include "rows.h"

#include <algorithm>
#include <cstring>

namespace {

// Backward searches read the text this many bytes at a time.
constexpr qint64 searchChunk = 16 * 1024;

bool isLineEnd(char byte, char next, bool hasNext)
{
    return byte == '\n' || (byte == '\r' && (!hasNext || next != '\n'));
}

} // namespace

Rows::Rows(const Text &text, qint64 columns, qint64 breakEvery)
    : text(text)
    , columns(std::max<qint64>(columns, 1))
    , breakEvery(std::max<qint64>(breakEvery, 1))
{
}

qint64 Rows::cellsFrom(qint64 start) const
{
    return std::min(columns, breakEvery - start % breakEvery);
}

qint64 Rows::lengthOf(qint64 start, QByteArrayView bytes) const
{
    const qint64 cells = std::min<qint64>(cellsFrom(start), bytes.size());
    for (qint64 i = 0; i < cells; ++i) {
        // Past the end of the text no LF follows a CR.
        const bool hasNext = i + 1 < bytes.size();
        if (isLineEnd(bytes[i], hasNext ? bytes[i + 1] : 0, hasNext))
            return i + 1;
    }
    return cells;
}

bool Rows::lineEndsBefore(qint64 offset) const
{
    if (offset <= 0)
        return false;
    const bool hasNext = offset < text.size();
    return isLineEnd(text.at(offset - 1), hasNext ? text.at(offset) : 0, hasNext);
}

qint64 Rows::lineStart(qint64 offset) const
{
    const qint64 lineBreak = offset - offset % breakEvery;
    if (offset == lineBreak || lineEndsBefore(offset))
        return offset;
    // The byte before `offset` ends no line, so it is no LF, and no CR before it is followed by
    // an LF unless that LF comes later still: the last CR or LF before it ends the line before.
    for (qint64 end = offset - 1; end > lineBreak;) {
        const qint64 from = std::max(lineBreak, end - searchChunk);
        const QByteArray bytes = text.bytes(from, end);
        const char *data = bytes.constData();
        const auto *lf = static_cast<const char *>(::memrchr(data, '\n', size_t(bytes.size())));
        const auto *cr = static_cast<const char *>(::memrchr(data, '\r', size_t(bytes.size())));
        if (lf || cr)
            return from + (std::max(lf ? lf : data, cr ? cr : data) - data) + 1;
        end = from;
    }
    return lineBreak;
}

qint64 Rows::startOf(qint64 offset) const
{
    const qint64 line = lineStart(offset);
    return line + (offset - line) / columns * columns;
}

qint64 Rows::endOf(qint64 start) const
{
    return start + lengthOf(start, text.bytes(start, start + cellsFrom(start) + 1));
}

qint64 Rows::above(qint64 start) const
{
    // A row that starts inside a line follows a full row of the same line.
    if (start % breakEvery == 0 || lineEndsBefore(start))
        return startOf(start - 1);
    return start - columns;
}

qint64 Rows::moved(qint64 start, qint64 count) const
{
    for (; count < 0 && start > 0; ++count)
        start = above(start);
    if (count > 0) {
        const qint64 last = lastStart();
        for (; count > 0 && start < last; --count)
            start = endOf(start);
    }
    return start;
}
