#pragma once

#include <QByteArrayView>
#include <QString>

class TextBuilder;

// Reads the whole regular file at `path` into `text`, straight into its buffers; the reason in
// plain words, or empty. Anything but a regular file (a folder, a FIFO, a device) is refused
// before a byte is read, so that nothing can block waiting for a writer.
QString readWholeFile(const QString &path, TextBuilder &text);

// Makes `bytes` the whole content of the regular file `path`, atomically where the folder allows
// it, keeping the file's permissions and writing through symbolic links; the reason in plain words,
// or empty.
QString writeWholeFile(const QString &path, QByteArrayView bytes);
