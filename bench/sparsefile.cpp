#include "sparsefile.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Whether the bytes of the open file `fd` from `from` to `to` are zeros but for `stretches`.
bool bytesAreZerosBut(int fd, qint64 from, qint64 to, const Stretches &stretches)
{
    constexpr qint64 chunk = qint64(1) << 20;
    QByteArray expected;
    QByteArray found;
    for (qint64 at = from; at < to; at += chunk) {
        const qint64 length = std::min(chunk, to - at);
        expected.fill('\0', length);
        for (const auto &[offset, bytes] : stretches) {
            const qint64 first = std::max(offset, at);
            const qint64 end = std::min(offset + bytes.size(), at + length);
            if (first < end)
                std::memcpy(expected.data() + (first - at), bytes.constData() + (first - offset),
                            size_t(end - first));
        }
        found.resize(length);
        if (::pread(fd, found.data(), size_t(length), at) != length || found != expected)
            return false;
    }
    return true;
}

} // namespace

SparseLayout::SparseLayout(qint64 size)
    : size(size)
    , pathOffset(size / 4)
    , wordOffset(size / 2)
    , patchOffset(size / 4 * 3)
{
}

QString SparseLayout::create(const QString &file) const
{
    QFile sparse(file);
    // Growing the empty file with ftruncate makes it one hole; the writes then take a block each.
    const bool written = sparse.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                         sparse.resize(size) && sparse.seek(pathOffset) &&
                         sparse.write(path) == path.size() && sparse.seek(wordOffset) &&
                         sparse.write(word) == word.size() && sparse.flush();
    if (!written)
        return QStringLiteral("%1: %2").arg(file, sparse.errorString());
    sparse.close();
    const qint64 allocated = allocatedBytes(file);
    if (allocated < 0 || allocated > (qint64(1) << 20)) {
        return QStringLiteral("%1 takes %2 bytes of disk: its file system keeps no sparse files")
            .arg(file)
            .arg(allocated);
    }
    return {};
}

qint64 allocatedBytes(const QString &file)
{
    struct stat status = {};
    if (::stat(QFile::encodeName(file).constData(), &status) != 0)
        return -1;
    // st_blocks counts units of 512 bytes, whatever the file system's block size.
    return qint64(status.st_blocks) * 512;
}

bool holdsZerosBut(const QString &file, qint64 size, const Stretches &stretches, qint64 context)
{
    QFile opened(file);
    if (!opened.open(QIODevice::ReadOnly) || opened.size() != size)
        return false;
    const int fd = opened.handle();
    qint64 data = ::lseek(fd, 0, SEEK_DATA);
    while (data >= 0) {
        const qint64 hole = ::lseek(fd, data, SEEK_HOLE);
        if (hole < 0 || !bytesAreZerosBut(fd, data, hole, stretches))
            return false;
        data = ::lseek(fd, hole, SEEK_DATA);
    }
    // No data is found beyond the last extent.
    if (errno != ENXIO)
        return false;
    // A stretch that lies in a hole reads as zeros, so each is compared where it should be too.
    return std::all_of(stretches.begin(), stretches.end(), [&](const auto &stretch) {
        const auto &[offset, bytes] = stretch;
        return bytesAreZerosBut(fd, std::max(qint64(0), offset - context),
                                std::min(size, offset + bytes.size() + context), stretches);
    });
}
