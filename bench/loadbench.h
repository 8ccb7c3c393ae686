#pragma once

#include "benchsize.h"
#include "report.h"

class BenchWindow;

/// Loads the file at `path` of `bytes` bytes through the window: how long it took, and the peak
/// memory it added when `measureMemory` is set (only a first load in a process shows that).
QList<Row> measureLoad(BenchWindow &window, const QString &path, qint64 bytes,
                       const QString &fileName, const BenchSize &size, bool measureMemory);

/// Times each step a user takes in the loaded view, with the repaint that shows it: a scroll
/// step, a page down, Ctrl+End, the scroll bar dragged from the top to its middle, a keystroke
/// and a backspace at the end, a paste of 4 KiB there and its undo. The view holds the file
/// unchanged afterwards.
QList<Row> measureSteps(BenchWindow &window, const QString &fileName, const BenchSize &size);
