#pragma once

#include "text.h"

#include <optional>

// How the view breaks a text into rows of cells, one byte to a cell: a row ends after LF, after
// a CR that no LF follows, and after `columns` bytes. Every offset from 0 to the text's size,
// the end included, lies in one row; only the last row may be empty. Each question costs
// O(log pieces) plus one row's bytes, however long the line.
class Rows
{
public:
    Rows(const Text &text, qint64 columns);

    /// The start of the row that holds `offset` (from 0 to the text's size).
    qint64 startOf(qint64 offset) const;
    /// Just past the last byte of the row that starts at `start`.
    qint64 endOf(qint64 start) const;
    /// The start of the last row.
    qint64 lastStart() const { return startOf(text.size()); }
    /// The start of the row `count` rows below (above, when negative) the row at `start`,
    /// stopping at the first and the last row.
    qint64 moved(qint64 start, qint64 count) const;

private:
    const Text &text;
    qint64 columns;
};

/// How many of `bytes` the row that they begin holds, for rows of `columns` cells; `bytes`
/// reaches one byte beyond a full row, or to the end of the text.
qint64 rowLength(QByteArrayView bytes, qint64 columns);
