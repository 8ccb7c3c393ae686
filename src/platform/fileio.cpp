#include "fileio.h"
#include "filecalls.h"
#include "textbuilder.h"

#include <QFile>
#include <QLocale>
#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>
#include <utility>

FileCalls fileCalls = {::read, ::write, ::fallocate, ::ftruncate, ::fsync};

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
    /// Gives the descriptor up to the caller, who closes it.
    int release() { return std::exchange(fd, -1); }

private:
    int fd;
};

// The system's sentence for an error number, which names every number it is given.
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

// Why a read failed with `error`: a file that would make the window wait for its next bytes,
// or for another program to give it up, is refused rather than waited for.
QString readFailureReason(int error)
{
    if (error == EWOULDBLOCK)
        return QStringLiteral("It gives no bytes without waiting.");
    return errnoText(error);
}

// Why writing in place failed with `error` once the file's first bytes were overwritten.
QString partlyWrittenReason(int error)
{
    return errnoText(error) + QStringLiteral(" It now holds part of the new text. The text is "
                                             "still here: save it under another name.");
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
        got = fileCalls.read(fd, into, count);
    } while (got < 0 && errno == EINTR);
    return got;
}

// The file that `path` names once the symbolic links at its end are followed, whether or not that
// file exists yet; std::nullopt with errno set when a link cannot be read or the links loop.
std::optional<QByteArray> followLinks(QByteArray path)
{
    // As many links as the kernel follows in one path before it gives up.
    for (int hops = 0; hops <= 40; ++hops) {
        char text[PATH_MAX];
        const ssize_t length = ::readlink(path.constData(), text, sizeof text);
        if (length < 0) {
            if (errno == EINVAL || errno == ENOENT)
                return path;
            return std::nullopt;
        }
        const QByteArray link(text, length);
        path = link.startsWith('/') ? link : path.left(path.lastIndexOf('/') + 1) + link;
    }
    errno = ELOOP;
    return std::nullopt;
}

// Writes every span in turn at the file's current offset; 0, or the error number.
int writeSpans(int fd, std::span<const QByteArrayView> spans)
{
    for (const QByteArrayView span : spans) {
        const char *next = span.data();
        qsizetype left = span.size();
        while (left > 0) {
            const ssize_t put = fileCalls.write(fd, next, static_cast<size_t>(left));
            if (put < 0 && errno == EINTR)
                continue;
            if (put < 0)
                return errno;
            // A write that takes nothing has no room left to write into.
            if (put == 0)
                return ENOSPC;
            next += put;
            left -= put;
        }
    }
    return 0;
}

// Gives a file that a failed save lengthened, but did not write into, its old `length` back; a
// file whose length did not change keeps its time of change too.
void restoreLength(int fd, off_t length)
{
    struct stat now = {};
    if (::fstat(fd, &now) == 0 && now.st_size != length)
        std::ignore = fileCalls.ftruncate(fd, length);
}

// Writes `spans` over the regular file `name` in `folder` from its start and cuts the file to
// their `length`, keeping the file and so every name it has.
QString writeInPlace(int folder, const QByteArray &name, const struct stat &old,
                     std::span<const QByteArrayView> spans, qint64 length)
{
    // Non-blocking, so that a FIFO put in the file's place since it was looked at cannot block.
    const FileDescriptor file(
        ::openat(folder, name.constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.get() < 0)
        return errnoText(errno);

    // The whole new length is reserved before the first old byte is overwritten, so that a full
    // disk fails the save while the old file is still whole. fallocate(2) rather than
    // posix_fallocate(3), which would fall back to writing into the file where the file system
    // cannot reserve space.
    if (length > 0 && fileCalls.fallocate(file.get(), 0, 0, length) != 0) {
        const int error = errno;
        // A reservation that fails part way may have lengthened the file.
        restoreLength(file.get(), old.st_size);
        if (error == EOPNOTSUPP)
            return QStringLiteral("Its file system cannot reserve space in advance, so it cannot "
                                  "be saved safely there.");
        return errnoText(error);
    }
    if (const int error = writeSpans(file.get(), spans); error != 0) {
        // Until its first byte is overwritten, the file needs only its old length back.
        if (::lseek(file.get(), 0, SEEK_CUR) > 0)
            return partlyWrittenReason(error);
        restoreLength(file.get(), old.st_size);
        return errnoText(error);
    }
    if (fileCalls.ftruncate(file.get(), length) != 0)
        return partlyWrittenReason(errno);
    // A write by anyone but root clears the set-user-ID and set-group-ID bits, which only the
    // owner may then set again.
    ::fchmod(file.get(), old.st_mode & 07777);
    if (fileCalls.fsync(file.get()) != 0)
        return partlyWrittenReason(errno);
    return {};
}

// Creates a new file under a short random name in `folder`, so that the name fits wherever the
// target's own name does; its descriptor, or -1 with errno set.
int createTemporary(int folder, QByteArray &name, mode_t mode)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = ".korvane-" + QByteArray::number(QRandomGenerator::global()->generate64(), 36);
        const int fd = ::openat(folder, name.constData(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// Puts the renaming of a file in `folder` on the disk, with the renamed `file`; 0, or the error
// number.
int syncFolder(int folder, int file)
{
    const FileDescriptor readable(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (readable.get() < 0) {
        // A folder this user may not read cannot be synced alone, but its file system can.
        if (errno == EACCES)
            return ::syncfs(file) == 0 ? 0 : errno;
        return errno;
    }
    // Some file systems keep their folders on the disk by themselves and refuse to be asked.
    if (fileCalls.fsync(readable.get()) != 0 && errno != EINVAL)
        return errno;
    return 0;
}

} // namespace

void keepRunningBeyondFileSizeLimit()
{
    std::signal(SIGXFSZ, SIG_IGN);
}

QString readFile(const QString &path, Text &text, const FileReading &how)
{
    if (path.isEmpty())
        return QStringLiteral("No file was chosen.");

    // Non-blocking, so that opening a FIFO returns at once and the type check below refuses it,
    // and so that a file under another program's lease is refused instead of waited for.
    const QByteArray nativePath = QFile::encodeName(path);
    FileDescriptor file(
        ::open(nativePath.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.get() < 0)
        return readFailureReason(errno);

    struct stat status = {};
    if (::fstat(file.get(), &status) != 0)
        return errnoText(errno);
    if (!S_ISREG(status.st_mode))
        return notRegularReason(status.st_mode);
    if (status.st_size >= how.onDemandFrom) {
        auto source = std::make_shared<FileSource>(file.release(), status, how.cache);
        source->setTroubleHandler(how.onTrouble);
        text = Text::ofFile(std::move(source));
        return {};
    }
    // A file that reports no size may be a stream that waits for its next bytes, as /proc/kmsg
    // does: it is read without blocking, so that such a wait is refused instead of freezing the
    // window. Files with a size never make a read wait.
    if (status.st_size > 0)
        ::fcntl(file.get(), F_SETFL, ::fcntl(file.get(), F_GETFL) & ~O_NONBLOCK);

    // The size is only a first guess: files that grow while being read, and files that report
    // no size (as many under /proc do), are read on to their real end.
    TextBuilder whole;
    if (!whole.reserve(status.st_size))
        return outOfMemoryReason(status.st_size);
    constexpr size_t pieceSize = 1 << 20;
    qint64 total = 0;
    for (;;) {
        const std::span<char> space = whole.space();
        if (space.empty())
            return outOfMemoryReason(qMax<qint64>(total, status.st_size));
        const ssize_t got = readSome(file.get(), space.data(), std::min(space.size(), pieceSize));
        if (got < 0)
            return readFailureReason(errno);
        if (got == 0)
            break;
        whole.commit(got);
        total += got;
    }
    text = whole.text();
    return {};
}

QString writeWholeFile(const QString &path, std::span<const QByteArrayView> spans)
{
    if (path.isEmpty())
        return QStringLiteral("No file was chosen.");

    // The new file replaces the file at the end of any chain of links, never a link itself.
    const std::optional<QByteArray> target = followLinks(QFile::encodeName(path));
    if (!target)
        return errnoText(errno);
    const qsizetype slash = target->lastIndexOf('/');
    const QByteArray folderPath = slash < 0 ? QByteArray(".") : target->left(qMax(slash, 1));
    const QByteArray name = target->mid(slash + 1);
    const FileDescriptor folder(::open(folderPath.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0)
        return errnoText(errno);

    // A folder, a device or a FIFO is refused, since the save would replace it with a file.
    struct stat old = {};
    const bool exists = ::fstatat(folder.get(), name.constData(), &old, 0) == 0;
    if (!exists && errno != ENOENT)
        return errnoText(errno);
    if (exists && !S_ISREG(old.st_mode))
        return notRegularReason(old.st_mode);
    // A file this user may not change is not replaced either, though the folder may allow it.
    if (exists && ::faccessat(folder.get(), name.constData(), W_OK, AT_EACCESS) != 0)
        return errnoText(errno);
    qint64 length = 0;
    for (const QByteArrayView span : spans)
        length += span.size();
    // Only the old file itself can show the new bytes under each of its names.
    if (exists && old.st_nlink > 1)
        return writeInPlace(folder.get(), name, old, spans, length);

    // Everything is written to a new file that takes the old one's place only once it is whole
    // and on the disk, so that a failure at any point leaves the old file as it was.
    QByteArray temporaryName;
    const FileDescriptor temporary(
        createTemporary(folder.get(), temporaryName, exists ? 0600 : 0666));
    if (temporary.get() < 0) {
        // A folder that takes no new files still lets the user change the files in it.
        if (exists && errno == EACCES)
            return writeInPlace(folder.get(), name, old, spans, length);
        return errnoText(errno);
    }
    // Only root, or the owner while a member of the file's group, can give the new file the old
    // one's owner and group; anyone else, such as another member of that group, changes the old
    // file in place.
    if (exists && ::fchown(temporary.get(), old.st_uid, old.st_gid) != 0) {
        ::unlinkat(folder.get(), temporaryName.constData(), 0);
        return writeInPlace(folder.get(), name, old, spans, length);
    }
    int error = writeSpans(temporary.get(), spans);
    if (error == 0) {
        // A change of owner clears the set-user-ID and set-group-ID bits: the mode comes after.
        if (exists)
            ::fchmod(temporary.get(), old.st_mode & 07777);
        if (fileCalls.fsync(temporary.get()) != 0)
            error = errno;
        else if (::renameat(folder.get(), temporaryName.constData(), folder.get(),
                            name.constData()) != 0)
            error = errno;
    }
    if (error != 0) {
        ::unlinkat(folder.get(), temporaryName.constData(), 0);
        return errnoText(error);
    }
    // Until the folder is on the disk too, a crash could bring the old file back.
    if (const int syncError = syncFolder(folder.get(), temporary.get()); syncError != 0)
        return errnoText(syncError) + QStringLiteral(" The file now holds the new text, but it "
                                                     "may not be on the disk yet.");
    return {};
}
