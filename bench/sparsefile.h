#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <utility>

// Bytes at their offsets in a file that holds zeros everywhere else.
using Stretches = QList<std::pair<qint64, QByteArray>>;

// A sparse file of a size that holds a drive path at a quarter of it and a word at half of it,
// and nothing else: every other byte lies in a hole, reads as zero and takes no disk.
struct SparseLayout
{
    explicit SparseLayout(qint64 size);

    qint64 size;
    qint64 pathOffset;
    QByteArray path = QByteArrayLiteral("C:\\Windows\\x");
    qint64 wordOffset;
    QByteArray word = QByteArrayLiteral("kernel");
    /// Where a patch lands in the hole between the word and the end.
    qint64 patchOffset;

    Stretches stretches() const { return {{pathOffset, path}, {wordOffset, word}}; }
    /// Makes the file at `file`; the reason in plain words, or empty.
    QString create(const QString &file) const;
};

/// The disk space `file` takes, in bytes; -1 when it cannot be told.
qint64 allocatedBytes(const QString &file);

/// Whether `file` is `size` bytes long and holds zeros but for `stretches`. The file system
/// tells where the file holds data at all, every other byte being a hole that reads as zero, so
/// only those extents are read and compared, with the `context` bytes either side of each
/// stretch: that compares every byte of a sparse file in a few reads.
bool holdsZerosBut(const QString &file, qint64 size, const Stretches &stretches, qint64 context);
