#pragma once

#include "benchsize.h"
#include "report.h"

class BenchWindow;

/// Measures the window over the sparse file at `file` of SparseLayout for `size`: opening it,
/// every step in it, both scans from its start to what it holds, a patch saved over it, and the
/// process's peak memory over all of it; adds each row to `rows` as soon as it is measured.
void measureSparseFile(BenchWindow &window, const QString &file, const BenchSize &size,
                       QList<Row> &rows);
