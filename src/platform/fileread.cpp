#include "filecalls.h"
#include "fileio.h"
#include "posixfile.h"
#include "textbuilder.h"

#include <QFile>
#include <QLocale>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

// Why a read failed with `error`: a file that would make the window wait for its next bytes,
// or for another program to give it up, is refused rather than waited for.
QString readFailureReason(int error)
{
    if (error == EWOULDBLOCK)
        return QStringLiteral("It gives no bytes without waiting.");
    return errnoText(error);
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

} // namespace

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
    // A file that reports no size may be a stream that waits for its next bytes, as /proc/kmsg
    // does: it is read without blocking, so that such a wait is refused instead of freezing the
    // window. Files with a size never make a read wait, and some network file systems would
    // fail a read that has to wait for the server.
    if (status.st_size > 0)
        ::fcntl(file.get(), F_SETFL, ::fcntl(file.get(), F_GETFL) & ~O_NONBLOCK);
    if (status.st_size >= how.onDemandFrom) {
        auto source = std::make_shared<FileSource>(file.release(), status, how.cache);
        source->setTroubleHandler(how.onTrouble);
        text = Text::ofFile(std::move(source));
        return {};
    }

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
