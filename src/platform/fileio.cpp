#include "fileio.h"
#include "textbuilder.h"

#include <QFile>
#include <QLocale>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace {

// Owns a file descriptor, so that every path out of a function closes it.
class FileDescriptor
{
public:
    explicit FileDescriptor(int fd)
        : fd(fd)
    {
    }
    ~FileDescriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;

    int get() const { return fd; }

private:
    int fd;
};

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
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

QString outOfMemoryReason(qint64 size)
{
    return QStringLiteral("There is not enough memory to hold its %1 bytes.")
        .arg(QLocale::system().toString(size));
}

// One read(2), retried when a signal interrupts it.
ssize_t readSome(int fd, char *into, size_t count)
{
    ssize_t got;
    do {
        got = ::read(fd, into, count);
    } while (got < 0 && errno == EINTR);
    return got;
}

// Gives the new file the old one's owner, group and mode as far as this user may; QSaveFile
// copies only the read, write and execute bits.
void keepOwnerAndMode(int fd, const struct stat &old)
{
    // A user who may not give the file its owner keeps it, with the old group if they belong to it.
    if (::fchown(fd, old.st_uid, old.st_gid) != 0)
        std::ignore = ::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
    // A change of owner clears the set-user-ID and set-group-ID bits, and so does a write by an
    // ordinary user: the mode comes last.
    ::fchmod(fd, old.st_mode & 07777);
}

} // namespace

QString readWholeFile(const QString &path, TextBuilder &text)
{
    if (path.isEmpty())
        return QStringLiteral("No file was chosen.");

    // Non-blocking, so that opening a FIFO returns at once and the type check below refuses it.
    const QByteArray nativePath = QFile::encodeName(path);
    FileDescriptor file(
        ::open(nativePath.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.get() < 0)
        return errnoText(errno);

    struct stat status = {};
    if (::fstat(file.get(), &status) != 0)
        return errnoText(errno);
    if (!S_ISREG(status.st_mode))
        return notRegularReason(status.st_mode);
    ::fcntl(file.get(), F_SETFL, ::fcntl(file.get(), F_GETFL) & ~O_NONBLOCK);

    // The size is only a first guess: files that grow while being read, and files that report
    // no size (as many under /proc do), are read on to their real end. A megabyte at a time,
    // so that the bytes just read are still in the cache when their line ends are counted.
    if (!text.reserve(status.st_size))
        return outOfMemoryReason(status.st_size);
    constexpr size_t pieceSize = 1 << 20;
    qint64 total = 0;
    for (;;) {
        const std::span<char> space = text.space();
        if (space.empty())
            return outOfMemoryReason(qMax<qint64>(total, status.st_size));
        const ssize_t got = readSome(file.get(), space.data(), std::min(space.size(), pieceSize));
        if (got < 0)
            return errnoText(errno);
        if (got == 0)
            return {};
        text.commit(got);
        total += got;
    }
}

QString writeWholeFile(const QString &path, QByteArrayView bytes)
{
    if (path.isEmpty())
        return QStringLiteral("No file was chosen.");

    // stat() follows symbolic links: a loop of links, a folder or a device is refused here, since
    // QSaveFile would replace it with a regular file.
    const QByteArray nativePath = QFile::encodeName(path);
    struct stat old = {};
    const bool exists = ::stat(nativePath.constData(), &old) == 0;
    if (!exists && errno != ENOENT)
        return errnoText(errno);
    if (exists && !S_ISREG(old.st_mode))
        return notRegularReason(old.st_mode);

    // QSaveFile writes a temporary file and renames it over the target (the file at the end of
    // any chain of links) only once everything was written, so a failure at any point leaves the
    // old file as it was. Where the folder does not allow that but the file itself is writable,
    // it truncates and writes the file in place. Unbuffered: the bytes go from the view's buffer
    // straight to the file, and nothing is written after the mode is restored.
    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return file.errorString();
    qint64 written = 0;
    while (written < bytes.size()) {
        const qint64 chunk = file.write(bytes.data() + written, bytes.size() - written);
        if (chunk <= 0)
            return file.errorString();
        written += chunk;
    }
    if (exists)
        keepOwnerAndMode(file.handle(), old);
    if (!file.commit())
        return file.errorString();
    return {};
}
