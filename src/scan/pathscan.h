#pragma once

#include "text.h"

#include <QList>
#include <QtGlobal>

#include <optional>

// Where a stretch of the drive-path scan stopped.
struct PathScanStep
{
    enum class Stop {
        Found,     ///< A drive path starts two characters before `position`.
        EndOfText, ///< Every pass up to the end of the text is done; `position` is unused.
        PumpPoint, ///< The pass numbered `pumpAt` is done.
    };
    Stop stop;
    /// Found: the 1-based position of the path's backslash (the cursor after a find).
    /// PumpPoint: the cursor as that pass leaves it before stepping on (the next pass starts
    /// one further).
    qint64 position = 0;
    /// The pass counter after this stretch.
    qint64 passes = 0;
    /// The cursor at the last pass of this stretch whose number is a multiple of 100, if any:
    /// the value the progress caption shows.
    std::optional<qint64> lastProgressPosition;
    /// Whether a drive-letter candidate was read in this stretch (that moves the focus to the
    /// view).
    bool sawCandidate = false;

    friend bool operator==(const PathScanStep &, const PathScanStep &) = default;
};

// Runs passes of the drive-path scan over `text` (the snapshot, positions 1-based), the first
// pass starting at position `from` with the pass counter at `passes`, until a path is found,
// the text ends, or the pass numbered `pumpAt` (a multiple of 100 above `passes`) is done. The
// text is read where its spans lie.
PathScanStep scanForPath(const Text &text, qint64 from, qint64 passes, qint64 pumpAt);

/// The window's cursor once a stretch stopped at `step`: the backslash's position after a find,
/// so that the next run begins there and moves straight on past the path; the cursor the pass
/// left at a pump point; 0 at the end of the text, so that the next run starts over.
qint64 pathPosAfter(const PathScanStep &step);
/// The 1-based position where the scan's next pass starts, from the window's cursor `pathPos`:
/// the cursor itself at the start of a run (1 for 0), and one past it after a pump point, where
/// the interrupted pass still steps on by one.
qint64 nextPathPass(qint64 pathPos, bool afterPump);

// One way of running scanForPath, for the machines whose instructions it uses.
struct PathScanImplementation
{
    const char *name;
    PathScanStep (*scan)(const Text &text, qint64 from, qint64 passes, qint64 pumpAt);
};

/// The implementations this machine can run, the fastest first; scanForPath runs that one.
QList<PathScanImplementation> pathScanImplementations();
