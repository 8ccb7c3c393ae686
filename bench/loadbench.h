#pragma once

#include "benchsize.h"
#include "report.h"

class BenchWindow;

/// Loads the file at `path` through the window, then scrolls, moves the caret to the end and
/// types there: the load's time and peak memory, and the slowest of each step with its repaint.
/// The view holds the file unchanged afterwards.
QList<Row> measureLoad(BenchWindow &window, const QString &path, const BenchSize &size);
