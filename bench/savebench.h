#pragma once

#include "benchsize.h"
#include "report.h"
#include "sparsefile.h"

class BenchWindow;

/// Saves the view, which holds `source` of `size` unchanged, to `target` through "Save The File",
/// and compares the two files with cmp.
QList<Row> measureSave(BenchWindow &window, const QString &source, const QString &target,
                       const BenchSize &size);

/// Overwrites 4 bytes at the patch offset of the view, which holds the sparse `file` of `layout`
/// unchanged, in overwrite mode, and saves the view over the same file through "Save The File";
/// then checks that the file holds the patched text and stayed sparse. `name` names the rows.
QList<Row> measurePatchSave(BenchWindow &window, const QString &file, const SparseLayout &layout,
                            const QString &name, const BenchSize &size);
