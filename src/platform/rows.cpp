#include "rows.h"

#include <algorithm>

qint64 rowLength(QByteArrayView bytes, qint64 columns)
{
    const qint64 cells = std::min(columns, bytes.size());
    for (qint64 i = 0; i < cells; ++i) {
        // A CR ends the row unless an LF follows it; past the end of the text none does.
        if (bytes[i] == '\n' ||
            (bytes[i] == '\r' && (i + 1 == bytes.size() || bytes[i + 1] != '\n')))
            return i + 1;
    }
    return cells;
}

Rows::Rows(const Text &text, qint64 columns)
    : text(text)
    , columns(std::max<qint64>(columns, 1))
{
}

qint64 Rows::startOf(qint64 offset) const
{
    const qint64 line = text.lineStart(offset);
    return line + (offset - line) / columns * columns;
}

qint64 Rows::endOf(qint64 start) const
{
    return start + rowLength(text.bytes(start, start + columns + 1), columns);
}

qint64 Rows::moved(qint64 start, qint64 count) const
{
    for (; count < 0 && start > 0; ++count)
        start = startOf(start - 1);
    if (count > 0) {
        const qint64 last = lastStart();
        for (; count > 0 && start < last; --count)
            start = endOf(start);
    }
    return start;
}
