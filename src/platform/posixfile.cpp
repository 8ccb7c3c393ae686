#include "posixfile.h"
#include "filecalls.h"

#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

FileCalls fileCalls = {::read, ::write, ::pwrite, ::fallocate, ::ftruncate, ::fsync};

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error)) + u'.';
}

QString notRegularReason(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("It is a folder, not a file.");
    if (S_ISFIFO(mode))
        return QStringLiteral("It is a pipe, not a regular file.");
    if (S_ISSOCK(mode))
        return QStringLiteral("It is a socket, not a regular file.");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("It is a device, not a regular file.");
    return QStringLiteral("It is not a regular file.");
}
