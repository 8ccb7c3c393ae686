#pragma once

#include <QByteArray>

/// A figure of this process's /proc/self/status in KiB, such as its peak memory "VmHWM".
qint64 statusKiB(const QByteArray &field);
