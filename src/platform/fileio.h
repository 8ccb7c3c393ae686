#pragma once

#include "services.h"

#include <QByteArrayView>
#include <QString>

// Reads the whole regular file at `path`. Anything else (a folder, a FIFO, a device) is refused
// before a byte is read, so that nothing can block waiting for a writer.
ReadResult readWholeFile(const QString &path);

// Makes `bytes` the whole content of `path`, atomically where the folder allows it, keeping the
// file's permissions and writing through symbolic links; the reason in plain words, or empty.
QString writeWholeFile(const QString &path, QByteArrayView bytes);
