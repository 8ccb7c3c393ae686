#pragma once

#include "benchsize.h"
#include "report.h"

class BenchWindow;

/// Saves the view, which holds `source` of `size` unchanged, to `target` through "Save The File",
/// and compares the two files with cmp.
QList<Row> measureSave(BenchWindow &window, const QString &source, const QString &target,
                       const BenchSize &size);
