#include "filecalls.h"
#include "fileio.h"
#include "posixfile.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <tuple>
#include <vector>

namespace {

// While a file is written, the system is asked to start putting it on the disk every this many
// bytes, so that the sync at the end finds little left to do.
constexpr qint64 writeBackEvery = qint64(8) << 20;

// Why writing in place failed with `error` once the file's first bytes were overwritten.
QString partlyWrittenReason(int error)
{
    return errnoText(error) + QStringLiteral(" It now holds part of the new text. The text is "
                                             "still here: save it under another name.");
}

// Why the file the text is read from cannot be saved over.
QString troubledSourceReason(FileTrouble trouble)
{
    return trouble == FileTrouble::Changed
               ? QStringLiteral("It changed on disk while it was open, so the text no longer "
                                "knows all of its bytes. Save the text under another name.")
               : QStringLiteral("It could no longer be read, so the text no longer knows all of "
                                "its bytes. Save the text under another name.");
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

// Writes all of `bytes` at `offset`, or at the file's current offset when there is none; 0, or
// the error number.
int writeAll(int fd, QByteArrayView bytes, std::optional<qint64> offset = std::nullopt)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const char *from = bytes.data() + done;
        const auto count = static_cast<size_t>(bytes.size() - done);
        const ssize_t put = offset ? fileCalls.pwrite(fd, from, count, *offset + done)
                                   : fileCalls.write(fd, from, count);
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0)
            return errno;
        // A write that takes nothing has no room left to write into.
        if (put == 0)
            return ENOSPC;
        done += put;
    }
    return 0;
}

// Writes `text` at the file's current offset, straight from where its bytes lie, asking the
// system to put what is written on the disk as it goes; 0, or the error number.
int writeText(int fd, const Text &text)
{
    qint64 written = 0;
    qint64 handedToDisk = 0;
    TextSpans spans(text);
    for (QByteArrayView span = spans.next(); !span.isEmpty(); span = spans.next()) {
        if (const int error = writeAll(fd, span); error != 0)
            return error;
        written += span.size();
        if (written - handedToDisk >= writeBackEvery) {
            ::sync_file_range(fd, handedToDisk, written - handedToDisk, SYNC_FILE_RANGE_WRITE);
            handedToDisk = written;
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

// Opens the regular file `name` in `folder` for writing where it is; non-blocking, so that a FIFO
// put in the file's place since it was looked at cannot block.
int openForWritingInPlace(int folder, const QByteArray &name)
{
    return ::openat(folder, name.constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
}

// The file source, among those `text` reads from, that is the file `status` describes.
std::shared_ptr<const FileSource> sourceOf(const Text &text, const struct stat &status)
{
    for (const Piece &piece : text.pieces()) {
        if (piece.file && piece.file->isFile(status))
            return piece.file;
    }
    return nullptr;
}

// The stretches of `text` that differ from `source` when the text is that file with some bytes
// overwritten at their own offsets, as patching a program does: every piece is either the
// file's own bytes at their own offset, or bytes in memory, which are returned with their
// offsets. std::nullopt when the text is anything else.
std::optional<std::vector<std::pair<qint64, Piece>>> patchOf(const Text &text,
                                                             const FileSource &source)
{
    if (text.size() != source.size())
        return std::nullopt;
    std::vector<std::pair<qint64, Piece>> patch;
    qint64 offset = 0;
    for (const Piece &piece : text.pieces()) {
        if (piece.buffer)
            patch.emplace_back(offset, piece);
        else if (piece.file.get() != &source || piece.start != offset)
            return std::nullopt;
        offset += piece.length;
    }
    return patch;
}

// Writes the bytes of `patch` over the file `name` in `folder`, which `source` reads on demand,
// each at its offset, and nothing else: a few bytes patched in a file of any size take a few
// writes, and a sparse file stays sparse.
QString writePatch(int folder, const QByteArray &name, const struct stat &old,
                   const FileSource &source, const std::vector<std::pair<qint64, Piece>> &patch)
{
    const FileDescriptor file(openForWritingInPlace(folder, name));
    if (file.get() < 0)
        return errnoText(errno);
    struct stat opened = {};
    if (::fstat(file.get(), &opened) != 0)
        return errnoText(errno);
    if (!source.isFile(opened))
        return troubledSourceReason(FileTrouble::Changed);
    // The source keeps every byte about to be overwritten before the first write, since it reads
    // the file itself and the file no longer passes its checks once written.
    std::vector<QByteArray> originals;
    for (const auto &[offset, piece] : patch) {
        QByteArray original(piece.length, Qt::Uninitialized);
        source.readPastCache(offset, original.data(), piece.length);
        originals.push_back(std::move(original));
    }
    if (source.trouble() != FileTrouble::None)
        return troubledSourceReason(source.trouble());
    for (size_t i = 0; i < patch.size(); ++i)
        source.keepOriginal(patch[i].first, originals[i]);

    int error = 0;
    bool wroteAny = false;
    for (const auto &[offset, piece] : patch) {
        error = writeAll(file.get(),
                         QByteArrayView(piece.buffer->data() + piece.start, piece.length), offset);
        if (error != 0)
            break;
        wroteAny = true;
    }
    // A write by anyone but root clears the set-user-ID and set-group-ID bits, which only the
    // owner may then set again.
    if (wroteAny)
        ::fchmod(file.get(), old.st_mode & 07777);
    if (error == 0 && fileCalls.fsync(file.get()) != 0)
        error = errno;
    source.acceptOwnChange();
    if (error != 0)
        return wroteAny ? partlyWrittenReason(error) : errnoText(error);
    return {};
}

// Writes `text` over the regular file `name` in `folder` from its start and cuts the file to
// the text's length, keeping the file and so every name it has.
QString writeInPlace(int folder, const QByteArray &name, const struct stat &old, const Text &text,
                     const FileSource *source)
{
    // Writing over the file the text is read from would overwrite bytes before they are read.
    if (source)
        return QStringLiteral("The text is read from this file, which can only be written in "
                              "place here, and that would overwrite its bytes before they are "
                              "read. Save the text under another name.");
    const FileDescriptor file(openForWritingInPlace(folder, name));
    if (file.get() < 0)
        return errnoText(errno);

    // The whole new length is reserved before the first old byte is overwritten, so that a full
    // disk fails the save while the old file is still whole. fallocate(2) rather than
    // posix_fallocate(3), which would fall back to writing into the file where the file system
    // cannot reserve space.
    const qint64 length = text.size();
    if (length > 0 && fileCalls.fallocate(file.get(), 0, 0, length) != 0) {
        const int error = errno;
        // A reservation that fails part way may have lengthened the file.
        restoreLength(file.get(), old.st_size);
        if (error == EOPNOTSUPP)
            return QStringLiteral("Its file system cannot reserve space in advance, so it cannot "
                                  "be saved safely there.");
        return errnoText(error);
    }
    if (const int error = writeText(file.get(), text); error != 0) {
        // Until its first byte is overwritten, the file needs only its old length back.
        if (::lseek(file.get(), 0, SEEK_CUR) > 0)
            return partlyWrittenReason(error);
        restoreLength(file.get(), old.st_size);
        return errnoText(error);
    }
    if (fileCalls.ftruncate(file.get(), length) != 0)
        return partlyWrittenReason(errno);
    ::fchmod(file.get(), old.st_mode & 07777);
    if (fileCalls.fsync(file.get()) != 0)
        return partlyWrittenReason(errno);
    return {};
}

// A new file in `folder` to be given its name once it is whole: one without a name where the
// file system allows it, so that a crash or a kill while it is written leaves nothing behind,
// or else one under a short random name, so that the name fits wherever the target's does.
class Replacement
{
public:
    Replacement(int folder, mode_t mode)
        : folder(folder)
        , file(create(folder, mode, name))
    {
    }
    ~Replacement()
    {
        if (!name.isEmpty())
            ::unlinkat(folder, name.constData(), 0);
    }
    Replacement(const Replacement &) = delete;
    Replacement &operator=(const Replacement &) = delete;

    /// The new file's descriptor, or -1 with errno set when none could be made.
    int get() const { return file.get(); }

    /// Gives the file the name `target`, in place of any file of that name; 0, or the error
    /// number.
    int replace(const QByteArray &target)
    {
        // A file without a name gets a random one first: a name can only be given to it where
        // no file has that name yet, and the rename that follows replaces the old file at once.
        if (name.isEmpty()) {
            const QByteArray self = "/proc/self/fd/" + QByteArray::number(file.get());
            for (int attempt = 0; name.isEmpty(); ++attempt) {
                const QByteArray candidate = randomName();
                if (::linkat(AT_FDCWD, self.constData(), folder, candidate.constData(),
                             AT_SYMLINK_FOLLOW) == 0 ||
                    ::linkat(file.get(), "", folder, candidate.constData(), AT_EMPTY_PATH) == 0)
                    name = candidate;
                else if (errno != EEXIST || attempt == 100)
                    return errno;
            }
        }
        if (::renameat(folder, name.constData(), folder, target.constData()) != 0)
            return errno;
        name.clear();
        return 0;
    }

private:
    // The new file's descriptor, with `name` set when it has one; -1 with errno set on failure.
    static int create(int folder, mode_t mode, QByteArray &name)
    {
        const int unnamed = ::openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
        if (unnamed >= 0)
            return unnamed;
        for (int attempt = 0; attempt < 100; ++attempt) {
            name = randomName();
            const int fd = ::openat(folder, name.constData(),
                                    O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, mode);
            if (fd >= 0 || errno != EEXIST) {
                if (fd < 0)
                    name.clear();
                return fd;
            }
        }
        name.clear();
        return -1;
    }

    static QByteArray randomName()
    {
        return ".korvane-" + QByteArray::number(QRandomGenerator::global()->generate64(), 36);
    }

    // `name` comes before `file`, whose initialisation fills it in.
    int folder;
    QByteArray name;
    FileDescriptor file;
};

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

QString writeWholeFile(const QString &path, const Text &text)
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

    // The file the text is read from on demand is saved over only while it is as it was opened,
    // and a patch of it only by writing what changed.
    const std::shared_ptr<const FileSource> source = exists ? sourceOf(text, old) : nullptr;
    if (source && source->trouble() != FileTrouble::None)
        return troubledSourceReason(source->trouble());
    if (source) {
        if (const auto patch = patchOf(text, *source))
            return writePatch(folder.get(), name, old, *source, *patch);
    }
    // Only the old file itself can show the new bytes under each of its names.
    if (exists && old.st_nlink > 1)
        return writeInPlace(folder.get(), name, old, text, source.get());

    // Everything is written to a new file that takes the old one's place only once it is whole
    // and on the disk, so that a failure at any point leaves the old file as it was.
    Replacement replacement(folder.get(), exists ? 0600 : 0666);
    if (replacement.get() < 0) {
        // A folder that takes no new files still lets the user change the files in it.
        if (exists && errno == EACCES)
            return writeInPlace(folder.get(), name, old, text, source.get());
        return errnoText(errno);
    }
    // Only root, or the owner while a member of the file's group, can give the new file the old
    // one's owner and group; anyone else, such as another member of that group, changes the old
    // file in place.
    if (exists && ::fchown(replacement.get(), old.st_uid, old.st_gid) != 0)
        return writeInPlace(folder.get(), name, old, text, source.get());
    // The whole length is reserved first, so that a disk without room fails at once. A file
    // system that cannot reserve space is written all the same: the old file stays whole
    // whatever happens to the new one.
    if (text.size() > 0 && fileCalls.fallocate(replacement.get(), 0, 0, text.size()) != 0 &&
        errno != EOPNOTSUPP)
        return errnoText(errno);
    if (const int error = writeText(replacement.get(), text); error != 0)
        return errnoText(error);
    // Bytes read from the old file itself while it changed on disk are not put in its place.
    if (source && source->trouble() != FileTrouble::None)
        return troubledSourceReason(source->trouble());
    // A change of owner clears the set-user-ID and set-group-ID bits: the mode comes after.
    if (exists)
        ::fchmod(replacement.get(), old.st_mode & 07777);
    if (fileCalls.fsync(replacement.get()) != 0)
        return errnoText(errno);
    if (const int error = replacement.replace(name); error != 0)
        return errnoText(error);
    // The text goes on reading the old file, which lost its name but not its bytes.
    if (source)
        source->acceptOwnChange();
    // Until the folder is on the disk too, a crash could bring the old file back.
    if (const int error = syncFolder(folder.get(), replacement.get()); error != 0)
        return errnoText(error) + QStringLiteral(" The file now holds the new text, but it may not "
                                                 "be on the disk yet.");
    return {};
}
