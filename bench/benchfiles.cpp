#include "benchfiles.h"
#include "datagenerator.h"
#include "filebytes.h"
#include "sparsefile.h"

#include <QDir>
#include <QFile>

#include <unistd.h>

BenchFiles::BenchFiles(const QString &folder, const BenchSize &size)
    : binaryLike(QDir(folder).filePath(QStringLiteral("binary-%1.bin").arg(size.label)))
    , repetitive(QDir(folder).filePath(QStringLiteral("repetitive-%1.bin").arg(size.label)))
    , zeros(QDir(folder).filePath(QStringLiteral("zeros-%1.bin").arg(size.label)))
    , printable(QDir(folder).filePath(QStringLiteral("printable-%1.txt").arg(size.label)))
    , saved(QDir(folder).filePath(QStringLiteral("saved-%1.bin").arg(size.label)))
    , sparse(QDir(folder).filePath(QStringLiteral("sparse-%1.bin").arg(size.label)))
{
}

qint64 BenchFiles::spaceNeeded(const BenchSize &size)
{
    // The sparse file's few blocks of data, and the one the patch adds.
    if (size.sparse())
        return qint64(1) << 20;
    return 4 * size.bytes + size.bytes / 4;
}

QString BenchFiles::generate(const BenchSize &size) const
{
    if (size.sparse())
        return SparseLayout(size.bytes).create(sparse);
    const std::pair<QString, QByteArray (*)(qint64)> contents[] = {
        {binaryLike,
         [](qint64 bytes) {
             return binaryLikeBytes(bytes);
         }},
        {repetitive,
         [](qint64 bytes) {
             return repetitiveBytes(bytes);
         }},
        {zeros,
         [](qint64 bytes) {
             return QByteArray(bytes, '\0');
         }},
        {printable,
         [](qint64 bytes) {
             return printableBytes(bytes / 4);
         }},
    };
    for (const auto &[path, generate] : contents) {
        const QString error = writeBytes(path, generate(size.bytes));
        if (!error.isEmpty())
            return error;
    }
    // The files are put on the disk before anything is timed: gigabytes written back in the
    // background would slow the first measurements by a fifth, whichever they are.
    for (const auto &[path, generate] : contents) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly) || ::fsync(file.handle()) != 0)
            return QStringLiteral("cannot put %1 on the disk").arg(path);
    }
    return {};
}

void BenchFiles::remove() const
{
    for (const QString &path : {binaryLike, repetitive, zeros, printable, saved, sparse})
        QFile::remove(path);
}
