#pragma once

#include "benchsize.h"

#include <QString>

/// Measures `size` in this process on the files generated for it in `folder`, writing the report
/// to standard output as JSON: 0 when every measurement ran, 1 when one broke off (the report
/// then holds the rows measured until then, and the reason).
int measureSize(const BenchSize &size, const QString &folder);
