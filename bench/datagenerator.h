#pragma once

#include <QByteArray>
#include <QList>

/// The drive paths that binaryLikeBytes() spreads through its bytes, in order: the only
/// backslashes there.
const QList<QByteArray> &plantedDrivePaths();

/// `size` bytes (at least 1 KiB) that look like a program binary, the same for the same size:
/// runs of zero bytes up to 1 MiB long, NUL-terminated ASCII strings and random bytes, with the
/// paths of plantedDrivePaths() spread evenly through them.
QByteArray binaryLikeBytes(qint64 size);

/// `size` printable ASCII characters without a line end, as a minified script or a base64 dump
/// has them.
QByteArray printableBytes(qint64 size);

/// `size` bytes of runs of 'a' from 512 KiB to 1 MiB long, each ended by a line feed: the worst
/// case for a search that compares a long text at every position.
QByteArray repetitiveBytes(qint64 size);
