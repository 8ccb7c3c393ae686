#include "processstatus.h"
#include "benchfailure.h"

#include <QFile>

qint64 statusKiB(const QByteArray &field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith(field + ':'))
                return line.mid(field.size() + 1).trimmed().split(' ').first().toLongLong();
        }
    }
    throw BenchFailure("/proc/self/status shows no " + field.toStdString());
}
