#include "benchfiles.h"
#include "datagenerator.h"

#include <QDir>
#include <QFile>

namespace {

QString writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size() || !file.flush()) {
        return QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    }
    return {};
}

} // namespace

BenchFiles::BenchFiles(const QString &folder, const BenchSize &size)
    : binaryLike(QDir(folder).filePath(QStringLiteral("binary-%1.bin").arg(size.label)))
    , repetitive(QDir(folder).filePath(QStringLiteral("repetitive-%1.bin").arg(size.label)))
    , saved(QDir(folder).filePath(QStringLiteral("saved-%1.bin").arg(size.label)))
{
}

QString BenchFiles::generate(const BenchSize &size) const
{
    const QString error = writeBytes(binaryLike, binaryLikeBytes(size.bytes));
    if (!error.isEmpty())
        return error;
    return writeBytes(repetitive, repetitiveBytes(size.bytes));
}

void BenchFiles::remove() const
{
    for (const QString &path : {binaryLike, repetitive, saved})
        QFile::remove(path);
}
