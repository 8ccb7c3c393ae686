#pragma once

#include "text.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <optional>
#include <vector>

// A search text as the search compares it with the bytes of a text (ISO-8859-1 characters).
// The bytes with the same upper case are one byte and its capital, which differ in bit 5 only,
// or one byte alone; so text byte b matches character i when (b | masks[i]) == values[i].
struct SearchPattern
{
    explicit SearchPattern(const QString &searchText);

    /// False when the upper case of one of its characters is that of no byte: it matches nowhere.
    bool matchable = true;
    QByteArray values;
    QByteArray masks;
    /// For the linear search: entry j is the length of the longest proper prefix of
    /// values[0..j] that is also its suffix.
    std::vector<qsizetype> borders;
};

// Where a stretch of the text search stopped.
struct SearchStep
{
    enum class Stop {
        Found,     ///< The text matches at `position`.
        EndOfText, ///< Every position was tried; `position` is unused.
        PumpPoint, ///< The cursor has just reached `pumpAt`; nothing was compared there yet.
    };
    Stop stop;
    qint64 position = 0; ///< 1-based.
    /// The last multiple of 100 the cursor reached in this stretch, if any: the progress caption.
    std::optional<qint64> lastProgressPosition;

    friend bool operator==(const SearchStep &, const SearchStep &) = default;
};

// Tries `pattern` at 1-based positions of `text` (the snapshot) from `from` on, stepping one
// position at a time, until it matches, the text ends, or the cursor reaches `pumpAt` (a
// multiple of 100 above `from`). The text is read where its spans lie, and the time taken is
// linear in the positions tried and the pattern's length, whatever they hold.
SearchStep searchForMatch(const Text &text, const SearchPattern &pattern, qint64 from,
                          qint64 pumpAt);

// One way of running searchForMatch, for the machines whose instructions it uses.
struct SearchImplementation
{
    const char *name;
    SearchStep (*search)(const Text &text, const SearchPattern &pattern, qint64 from,
                         qint64 pumpAt);
};

/// The implementations this machine can run, the fastest first; searchForMatch runs that one.
QList<SearchImplementation> searchImplementations();

/// The window's cursor once a stretch stopped at `step`: the match's position after a find, the
/// cursor at a pump point, 0 at the end of the text, so that the next run starts over.
qint64 searchPosAfter(const SearchStep &step);
/// The 1-based position the search goes on from, given the window's cursor `searchPos`: one past
/// the match once a find was reported, so that the next run finds overlapping matches too; else,
/// at the start of a run or after a pump point, the cursor, but never before the first position,
/// where a run started from the pump that reached the end of the text left it at 0.
qint64 nextSearchPosition(qint64 searchPos, bool afterFind);
