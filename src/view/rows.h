#pragma once

#include "text.h"

// How the view breaks a text into rows of cells, one byte to a cell: a row ends after LF, after
// a CR that no LF follows, after `columns` bytes, and at every offset that is a multiple of
// `breakEvery`. Every offset from 0 to the text's size, the end included, lies in one row; only
// the last row may be empty. The breaks at fixed offsets mean that no row start depends on a
// line end further back than one interval, so each question reads at most one interval of the
// text (and costs O(log pieces) per piece it reads), however long the line.
class Rows
{
public:
    /// Rows also break at every multiple of this many bytes.
    static constexpr qint64 defaultBreakEvery = qint64(1) << 20;

    Rows(const Text &text, qint64 columns, qint64 breakEvery = defaultBreakEvery);

    /// The start of the row that holds `offset` (from 0 to the text's size).
    qint64 startOf(qint64 offset) const;
    /// Just past the last byte of the row that starts at `start`.
    qint64 endOf(qint64 start) const;
    /// The start of the last row.
    qint64 lastStart() const { return startOf(text.size()); }
    /// The start of the row `count` rows below (above, when negative) the row at `start`,
    /// stopping at the first and the last row.
    qint64 moved(qint64 start, qint64 count) const;
    /// How many of `bytes`, the text's bytes from the row start `start` on, that row holds;
    /// `bytes` reaches one byte beyond a full row, or to the end of the text.
    qint64 lengthOf(qint64 start, QByteArrayView bytes) const;

private:
    /// The most bytes the row that starts at `start` may hold.
    qint64 cellsFrom(qint64 start) const;
    /// The start of the row above the row that starts at `start`, which is not 0.
    qint64 above(qint64 start) const;
    /// The start of the line that holds `offset`, where a fixed break also starts a line.
    qint64 lineStart(qint64 offset) const;
    /// Whether the line ends before `offset`: after LF, or after a CR that no LF follows.
    bool lineEndsBefore(qint64 offset) const;

    const Text &text;
    qint64 columns;
    qint64 breakEvery;
};
