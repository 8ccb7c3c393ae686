#pragma once

#include "benchsize.h"
#include "report.h"

#include <QStringList>

class BenchWindow;

/// Texts of 6 and 64 characters that binaryLikeBytes() never holds.
QStringList binaryLikeSearchTexts();
/// A text that repetitiveBytes() never holds although, at nearly every position, all but its last
/// character match.
QString adversarialSearchText();

/// Clicks "Find Path Name" until "Search Finished" over the view, which holds `file` of `size`
/// with the planted drive paths, and compares the rate, the pumps and the time with the
/// baselines.
QList<Row> measureFindPath(BenchWindow &window, const QString &file, const BenchSize &size);

/// Searches the view, which holds `file` of `size`, for `searchText` from its start to its end,
/// and compares the rate, the pumps and the time with the baselines; `name` tells the rows of
/// one search text from those of another.
QList<Row> measureSearch(BenchWindow &window, const QString &file, const BenchSize &size,
                         const QString &name, const QString &searchText);

/// Clicks `button` once with both scan cursors at the start of the view, whose text reads `file`
/// on demand, until it shows `expectedMessage` after reading its first `bytes` bytes; then reads
/// as many with dd. The scan must keep at least half of dd's rate. `name` names the rows.
QList<Row> measureFirstFind(BenchWindow &window, const QString &file, const char *button,
                            const QString &name, qint64 bytes, const QString &expectedMessage,
                            const BenchSize &size);
