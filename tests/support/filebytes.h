#pragma once

#include <QByteArray>
#include <QString>

/// Makes `bytes` the whole content of the file at `path`, creating it where it is missing; the
/// reason in plain words, or empty.
QString writeBytes(const QString &path, const QByteArray &bytes);

/// The whole content of the file at `path`, or a null array when it cannot be read.
QByteArray readBytes(const QString &path);
