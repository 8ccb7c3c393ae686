#pragma once

#include "pathscan.h"
#include "textsearch.h"

#include <QByteArrayView>
#include <QString>
#include <QTemporaryDir>

#include <functional>

// The loops of the two scans written plainly, one pass at a time over a string of bytes: what
// the tests and fuzzers compare the scans with, and the benchmark's baseline. At each hundredth
// step, where the window sets the progress caption and pumps events, a run calls `atHundredth` with
// the cursor; when that returns false, the run stops there as at a pump point.

/// The drive-path scan from `from` with the pass counter at `passes`; `atHundredth` also gets
/// the pass's number.
PathScanStep literalPathScan(QByteArrayView text, qint64 from, qint64 passes,
                             const std::function<bool(qint64 cursor, qint64 pass)> &atHundredth);

/// The text search for `searchText` from `from`.
SearchStep literalSearch(QByteArrayView text, const QString &searchText, qint64 from,
                         const std::function<bool(qint64 cursor)> &atHundredth);

/// `bytes` as a text read on demand from a new file in `dir` through a cache of two pages of 251
/// bytes, so that its spans end at page ends and a scan gives up pages and reads them again.
Text textOnDemand(const QTemporaryDir &dir, QByteArrayView bytes);

/// As hundreds of steps between pumps: beyond any text.
inline constexpr qint64 noPump = 1'000'000'000'000;

// The differential tests. Each runs a scan over `text` as the command does, comparing every
// stretch with the literal loop's: successive runs from `from` until one reaches the end of the
// text, each run a chain of stretches that end every `hundreds` hundred steps, the next going on
// where the last stopped. Each returns the first difference, or an empty string.

/// The drive-path scan as `implementation` runs it, the first run with the pass counter at
/// `passes`; a run after a find starts on its backslash.
QString pathScanDifference(const PathScanImplementation &implementation, const Text &text,
                           qint64 from, qint64 passes, qint64 hundreds);
/// The text search for `searchText` as `implementation` runs it; a run after a find starts one
/// past it.
QString searchDifference(const SearchImplementation &implementation, const Text &text,
                         const QString &searchText, qint64 from, qint64 hundreds);
