#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

#include <optional>

// The snapshot of a text search: each byte replaced by one canonical byte of those with the same
// upper-case form (bytes are ISO-8859-1 characters), so that comparing folded bytes compares
// upper-cased characters.
QByteArray foldedSnapshot(QByteArrayView text);

// A search text in the folded byte alphabet, or unmatchable when one of its upper-cased
// characters is not the upper-case form of any byte.
struct SearchPattern
{
    explicit SearchPattern(const QString &searchText);
    std::optional<QByteArray> folded;
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

// Tries `pattern` at 1-based positions of the folded snapshot from `from` on, stepping one
// position at a time, until it matches, the text ends, or the cursor reaches `pumpAt` (a
// multiple of 100 above `from`).
SearchStep searchFolded(QByteArrayView folded, const SearchPattern &pattern, qint64 from,
                        qint64 pumpAt);
