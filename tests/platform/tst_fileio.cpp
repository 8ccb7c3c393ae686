#include "bytesamples.h"
#include "filebytes.h"
#include "filecalls.h"
#include "fileio.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <sys/fsuid.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uid_t nobody = 65534;
// A user who is no file's owner but belongs to the group of some.
constexpr uid_t groupMember = 4321;
constexpr gid_t sharedGroup = 4321;

// The bytes a read of `path` gives, and the reason it failed or empty.
std::pair<QByteArray, QString> readAll(const QString &path)
{
    Text text;
    const QString error = readFile(path, text);
    return {text.toByteArray(), error};
}

// Writes `bytes` as the pieces of an edited text arrive: its first third, then the rest.
QString writeInSpans(const QString &path, const QByteArray &bytes)
{
    const qsizetype cut = bytes.size() / 3;
    const Text first = Text::copyOf(bytes.first(cut));
    return writeWholeFile(path, first.inserted(cut, Text::copyOf(bytes.sliced(cut))));
}

std::filesystem::path nativePath(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

bool setMode(const QString &path, mode_t mode)
{
    return ::chmod(QFile::encodeName(path).constData(), mode) == 0;
}

struct stat statusOf(const QString &path)
{
    struct stat status = {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        qFatal("cannot stat %s", qPrintable(path));
    return status;
}

void makeLink(const QString &at, const QString &pointingTo)
{
    std::filesystem::create_symlink(nativePath(pointingTo), nativePath(at));
}

// Everything under `dir`, links not followed: each entry's path, kind and content or link text.
QStringList snapshot(const QString &dir)
{
    QStringList entries;
    for (const auto &entry : std::filesystem::recursive_directory_iterator(nativePath(dir))) {
        const QString path = QString::fromStdString(entry.path().string());
        QString description = path.mid(dir.size());
        if (entry.is_symlink())
            description += QStringLiteral(" -> ") +
                           QString::fromStdString(read_symlink(entry.path()).string());
        else if (entry.is_regular_file())
            description += QStringLiteral(" = ") + QString::fromLatin1(readBytes(path).toHex());
        else
            description += entry.is_directory() ? QStringLiteral("/") : QStringLiteral(" (other)");
        entries << description;
    }
    entries.sort();
    return entries;
}

// Until the returned guard goes, files are accessed as the user `uid` in the group `gid`, so that
// permissions count where the test runs as root; as anyone else, nothing changes. The files
// involved must be open to that user.
auto accessAs(uid_t uid, gid_t gid)
{
    ::setfsuid(uid);
    ::setfsgid(gid);
    return qScopeGuard([] {
        ::setfsuid(::geteuid());
        ::setfsgid(::getegid());
    });
}

// Until the returned guard goes, a write that makes a file larger than `size` bytes fails, as
// on a full disk.
auto fileSizeLimit(rlim_t size)
{
    keepRunningBeyondFileSizeLimit();
    rlimit previous = {};
    ::getrlimit(RLIMIT_FSIZE, &previous);
    const rlimit limit = {std::min(size, previous.rlim_max), previous.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    return qScopeGuard([previous] { ::setrlimit(RLIMIT_FSIZE, &previous); });
}

int callsBeforeFailure = 0;

// Whether the file I/O's call that is to fail comes now.
bool failsNow()
{
    return --callsBeforeFailure == 0;
}

// Until the returned guard goes, the `nth` call of `call` through the file I/O fails, as on a
// failing disk: a write, cut or sync with EIO; a reservation with ENOSPC once it has reserved
// half the room asked for; a read as a stream with no bytes ready, which without blocking fails
// with EAGAIN and else would wait for good (EDEADLK here).
auto failingCall(const QString &call, int nth)
{
    callsBeforeFailure = nth;
    const FileCalls real = fileCalls;
    if (call == u"read")
        fileCalls.read = [](int fd, void *into, size_t count) {
            if (!failsNow())
                return ::read(fd, into, count);
            errno = ::fcntl(fd, F_GETFL) & O_NONBLOCK ? EAGAIN : EDEADLK;
            return ssize_t(-1);
        };
    if (call == u"write")
        fileCalls.write = [](int fd, const void *from, size_t count) {
            return failsNow() ? (errno = EIO, ssize_t(-1)) : ::write(fd, from, count);
        };
    if (call == u"pwrite")
        fileCalls.pwrite = [](int fd, const void *from, size_t count, off_t offset) {
            return failsNow() ? (errno = EIO, ssize_t(-1)) : ::pwrite(fd, from, count, offset);
        };
    if (call == u"fallocate")
        fileCalls.fallocate = [](int fd, int mode, off_t offset, off_t length) {
            if (!failsNow())
                return ::fallocate(fd, mode, offset, length);
            ::fallocate(fd, mode, offset, length / 2);
            errno = ENOSPC;
            return -1;
        };
    if (call == u"ftruncate")
        fileCalls.ftruncate = [](int fd, off_t length) {
            return failsNow() ? (errno = EIO, -1) : ::ftruncate(fd, length);
        };
    if (call == u"fsync")
        fileCalls.fsync = [](int fd) {
            return failsNow() ? (errno = EIO, -1) : ::fsync(fd);
        };
    return qScopeGuard([real] { fileCalls = real; });
}

} // namespace

class TestFileIo final : public QObject
{
    Q_OBJECT

private slots:
    void readsWithoutWaiting_data();
    void readsWithoutWaiting();
    void opensFilesLargerThanMemoryAtOnce();
    void writesWholeOrNotAtAll_data();
    void writesWholeOrNotAtAll();
    void saysWhatAFailureLeft_data();
    void saysWhatAFailureLeft();
    void savesOverTheFileReadOnDemand_data();
    void savesOverTheFileReadOnDemand();
    void killedSaveLeavesNothingBehind();
};

void TestFileIo::readsWithoutWaiting_data()
{
    // A file that reports no size, or one under another program's lease, which makes every
    // opening wait until that program gives the file up; the read that would wait for bytes yet
    // to come, if any; the reason the read fails, or empty.
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("waitingRead");
    QTest::addColumn<QString>("reason");

    const QString status = QStringLiteral("/proc/self/status");
    const QString waits = QStringLiteral("It gives no bytes without waiting.");
    QTest::newRow("reports no size") << status << 0 << "";
    QTest::newRow("reports no size, nothing ready") << status << 1 << waits;
    QTest::newRow("reports no size, first bytes ready") << status << 2 << waits;
    QTest::newRow("under a lease") << "leased" << 0 << waits;
}

void TestFileIo::readsWithoutWaiting()
{
    QFETCH(QString, file);
    QFETCH(int, waitingRead);
    QFETCH(QString, reason);

    QTemporaryDir dir;
    const QString path = file.startsWith(u'/') ? file : dir.filePath(file);
    int holder = -1;
    if (file == QLatin1String("leased")) {
        QCOMPARE(writeBytes(path, "held"), QString());
        // The holder is told of each opening by SIGIO, which would end this process.
        std::signal(SIGIO, SIG_IGN);
        holder = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        QCOMPARE(::fcntl(holder, F_SETLEASE, F_WRLCK), 0);
    }
    const auto release = qScopeGuard([holder] { ::close(holder); });
    QCOMPARE(statusOf(path).st_size == 0, holder < 0);

    const auto waiting = failingCall(QStringLiteral("read"), waitingRead);
    const auto [bytes, error] = readAll(path);
    QCOMPARE(error, reason);
    if (reason.isEmpty())
        QVERIFY(bytes.startsWith("Name:") && bytes.contains("\nPid:") && bytes.endsWith('\n'));
}

void TestFileIo::opensFilesLargerThanMemoryAtOnce()
{
    // A sparse file far larger than this machine's memory and swap, with bytes at its very end.
    QTemporaryDir dir;
    QFile huge(dir.filePath(QStringLiteral("huge")));
    const qint64 size = qint64(1) << 43;
    QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(size - 3) && huge.seek(size - 3) &&
            huge.write("end") == 3);
    huge.close();
    Text text;
    QCOMPARE(readFile(huge.fileName(), text), QString());
    QCOMPARE(text.size(), size);
    QCOMPARE(text.bytes(size - 5, size), QByteArrayLiteral("\0\0end"));
    QCOMPARE(text.bytes(qint64(1) << 42, (qint64(1) << 42) + 2), QByteArrayLiteral("\0\0"));
}

void TestFileIo::writesWholeOrNotAtAll_data()
{
    // What the path names: a file alone, with a second name, with a name as long as names get,
    // behind symbolic links, or saved by root or by a member of its group rather than the
    // ordinary user who owns it and its folder; or else what the write fails on. Whether the folder
    // takes no new files, so that a file in it is written in place; the file's old content (none
    // for no file) and mode; the new bytes; the reason the write fails, or empty.
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("locked");
    QTest::addColumn<QByteArray>("old");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reason");
    const auto row = [](const char *name, const char *kind, bool locked, const QByteArray &old,
                        int mode, const QByteArray &bytes, const char *reason = "") {
        QTest::newRow(name) << QString::fromLatin1(kind) << locked << old << mode << bytes
                            << QString::fromLatin1(reason);
    };

    // Larger than one read.
    const QByteArray longFile = everyByteValue().repeated(12 * 1024);
    const QByteArray all = everyByteValue();
    const QByteArray program("old program");
    const QByteArray ab("ab");
    row("longer file, private", "file", false, longFile, 0600, "short");
    row("emptied, readable by all", "file", false, program, 0644, {});
    row("shorter file, executable", "file", false, ab, 0755, QByteArray(3, '\0') + "\xa0");
    row("set-user-ID program", "file", false, program, 04755, "new");
    row("set-user-ID program saved by root", "by root", false, program, 04750, "new");
    row("shared file saved by a member of its group", "group member", false, longFile, 0664, "new");
    row("255-byte name, executable by others only", "long name", false, ab, 0701, all);
    row("two names, set-user-ID, longer file", "two names", false, longFile, 04755, "s");
    row("two names, shorter file", "two names", false, ab, 0666, all);
    row("locked folder, set-group-ID, longer file", "file", true, longFile, 02711,
        QByteArray("short\0text", 10));
    row("locked folder, shorter file", "file", true, ab, 0640, QByteArray(70000, '\n'));
    row("new file", "file", false, {}, 0, "new\r\ncontent");
    row("relative links across folders, set-user-ID", "relative links", false, program, 04755, all);
    row("absolute link to a file yet to be made", "absolute link", false, {}, 0, all);
    row("locked folder, emptied", "file", true, longFile, 0600, {});

    const QByteArray big(2 << 20, 'n');
    row("no name", "no name", false, {}, 0, big, "No file was chosen.");
    row("missing folder", "missing folder", false, {}, 0, big, "No such file or directory.");
    row("folder", "folder", false, {}, 0, big, "It is a folder, not a file.");
    row("pipe without a writer", "pipe", false, {}, 0, big, "It is a pipe, not a regular file.");
    row("device", "device", false, {}, 0, big, "It is a device, not a regular file.");
    row("link loop", "link loop", false, {}, 0, big, "Too many levels of symbolic links.");
    row("no permission", "file", false, ab, 0, big, "Permission denied.");
    row("size limit", "size limit", false, ab, 0666, big, "File too large.");
    row("size limit, locked folder", "size limit", true, ab, 0666, big, "File too large.");
    row("full disk", "full disk", false, ab, 0666, big, "No space left on device.");
    row("full disk, locked folder", "full disk", true, ab, 0666, big, "No space left on device.");
    row("no reservations, locked folder", "no reservations", true, ab, 0666, big,
        "Its file system cannot reserve space in advance, so it cannot be saved safely there.");
}

void TestFileIo::writesWholeOrNotAtAll()
{
    QFETCH(QString, kind);
    QFETCH(bool, locked);
    QFETCH(QByteArray, old);
    QFETCH(int, mode);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);

    const bool root = ::geteuid() == 0;
    const bool byRoot = kind == QLatin1String("by root");
    const bool member = kind == QLatin1String("group member");
    if ((byRoot || member) && !root)
        QSKIP("only root can make files that another user saves");
    // Who saves the file, which belongs to the ordinary user: root, a member of the file's group,
    // or that user.
    const uid_t saver = byRoot ? 0 : member ? groupMember : nobody;
    const gid_t group = member ? sharedGroup : ::getegid();
    QTemporaryDir dir;
    QVERIFY(setMode(dir.path(), 0755));
    const QString folder = dir.filePath(QStringLiteral("folder"));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    // A one-megabyte file system, or one that cannot reserve space, over the folder.
    const QByteArray mountPoint = QFile::encodeName(folder);
    if (kind == QLatin1String("full disk") || kind == QLatin1String("no reservations")) {
        if (!root)
            QSKIP("only root can mount a file system");
        const bool full = kind == QLatin1String("full disk");
        const char *type = full ? "tmpfs" : "ramfs";
        if (::mount(type, mountPoint.constData(), type, 0, full ? "size=1m" : "") != 0)
            QSKIP("mounting a file system is not allowed here");
    }
    const auto unmount = qScopeGuard([&] { ::umount2(mountPoint.constData(), MNT_DETACH); });
    if (root)
        QCOMPARE(::chown(mountPoint.constData(), nobody, group), 0);
    const QString name =
        kind == QLatin1String("long name") ? QString(255, u'n') : QStringLiteral("target");
    QString path = folder + u'/' + name;
    if (kind == QLatin1String("no name")) {
        path.clear();
    } else if (kind == QLatin1String("missing folder")) {
        path = folder + QStringLiteral("/missing/target");
    } else if (kind == QLatin1String("folder")) {
        path = folder;
    } else if (kind == QLatin1String("pipe")) {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0644), 0);
    } else if (kind == QLatin1String("device")) {
        path = QStringLiteral("/dev/null");
    } else if (kind == QLatin1String("link loop")) {
        makeLink(path, QStringLiteral("back"));
        makeLink(folder + QStringLiteral("/back"), QStringLiteral("target"));
    } else if (kind == QLatin1String("relative links")) {
        QVERIFY(QDir(folder).mkdir(QStringLiteral("sub")));
        makeLink(folder + QStringLiteral("/sub/first"), QStringLiteral("../second"));
        makeLink(folder + QStringLiteral("/second"), QStringLiteral("target"));
        path = folder + QStringLiteral("/link");
        makeLink(path, QStringLiteral("sub/first"));
    } else if (kind == QLatin1String("absolute link")) {
        makeLink(folder + QStringLiteral("/link"), path);
        path = folder + QStringLiteral("/link");
    }
    struct stat before = {};
    if (!old.isNull()) {
        QCOMPARE(writeBytes(path, old), QString());
        if (root)
            QCOMPARE(::chown(QFile::encodeName(path).constData(), nobody, byRoot ? nobody : group),
                     0);
        QVERIFY(setMode(path, mode));
        before = statusOf(path);
    }
    if (kind == QLatin1String("two names"))
        std::filesystem::create_hard_link(nativePath(path),
                                          nativePath(folder + QStringLiteral("/second")));
    QVERIFY(setMode(folder, locked ? 0555 : member ? 0775 : 0755));
    QStringList expected = snapshot(dir.path());

    std::pair<QByteArray, QString> read;
    QString error;
    {
        const auto user = accessAs(saver, group);
        const auto limit =
            fileSizeLimit(kind == QLatin1String("size limit") ? 4096 : RLIM_INFINITY);
        read = readAll(path);
        error = writeInSpans(path, bytes);
    }
    QVERIFY(setMode(folder, 0755));

    // A read first gives the old bytes; where there are none, it fails for the same reason as the
    // write, or finds no file where the write makes one.
    const bool readable = !old.isNull() && (mode & 0400);
    const QString missing = QStringLiteral("No such file or directory.");
    QCOMPARE(read.second, readable ? QString() : reason.isEmpty() ? missing : reason);
    QCOMPARE(read.first, readable ? old : QByteArray());
    QCOMPARE(error, reason);
    // A write that fails changes nothing. One that succeeds shows the new bytes under every name
    // of the file, links left as they are, and leaves nothing else behind such as a temporary file.
    if (reason.isEmpty()) {
        const QString content = QStringLiteral(" = ") + QString::fromLatin1(bytes.toHex());
        expected.removeIf([](const QString &entry) { return entry.contains(u'='); });
        expected << QStringLiteral("/folder/") + name + content;
        if (kind == QLatin1String("two names"))
            expected << QStringLiteral("/folder/second") + content;
        expected.sort();
    }
    QCOMPARE(snapshot(dir.path()), expected);
    // A file is replaced by a new one wherever that keeps its owner, group, mode and names.
    if (!old.isNull()) {
        const struct stat status = statusOf(path);
        QCOMPARE(static_cast<int>(status.st_mode & 07777), mode);
        QCOMPARE(status.st_uid, before.st_uid);
        QCOMPARE(status.st_gid, before.st_gid);
        const bool inPlace = locked || member || kind == QLatin1String("two names");
        QCOMPARE(status.st_ino == before.st_ino, inPlace || !reason.isEmpty());
    }
}

void TestFileIo::saysWhatAFailureLeft_data()
{
    // Whether the file has a second name, so that it is written in place; the file I/O's call
    // that fails and which of its calls; the reason; what the file then holds.
    QTest::addColumn<bool>("twoNames");
    QTest::addColumn<QString>("call");
    QTest::addColumn<int>("nth");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QByteArray>("left");

    // Longer than the old text, which its first third, the first span written, covers.
    const QByteArray bytes = everyByteValue();
    const QByteArray old("old");
    const QString failed = QStringLiteral("Input/output error.");
    const QString partly = failed + QStringLiteral(" It now holds part of the new text. The text "
                                                   "is still here: save it under another name.");
    QTest::newRow("replacement, second write") << false << "write" << 2 << failed << old;
    QTest::newRow("replacement, its sync") << false << "fsync" << 1 << failed << old;
    QTest::newRow("replacement, its folder's sync")
        << false << "fsync" << 2
        << failed + QStringLiteral(" The file now holds the new text, but it may not be on the "
                                   "disk yet.")
        << bytes;
    QTest::newRow("in place, half a reservation")
        << true << "fallocate" << 1 << "No space left on device." << old;
    QTest::newRow("in place, first write") << true << "write" << 1 << failed << old;
    QTest::newRow("in place, second write")
        << true << "write" << 2 << partly
        << bytes.first(bytes.size() / 3).leftJustified(bytes.size(), '\0');
    QTest::newRow("in place, cut to length") << true << "ftruncate" << 1 << partly << bytes;
    QTest::newRow("in place, sync") << true << "fsync" << 1 << partly << bytes;
}

void TestFileIo::saysWhatAFailureLeft()
{
    QFETCH(bool, twoNames);
    QFETCH(QString, call);
    QFETCH(int, nth);
    QFETCH(QString, reason);
    QFETCH(QByteArray, left);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("target"));
    QCOMPARE(writeBytes(path, "old"), QString());
    QStringList expected = {QStringLiteral("/target = ") + QString::fromLatin1(left.toHex())};
    if (twoNames) {
        std::filesystem::create_hard_link(nativePath(path),
                                          nativePath(dir.filePath(QStringLiteral("second"))));
        expected.prepend(QStringLiteral("/second = ") + QString::fromLatin1(left.toHex()));
    }
    {
        const auto failing = failingCall(call, nth);
        QCOMPARE(writeInSpans(path, everyByteValue()), reason);
    }
    QCOMPARE(snapshot(dir.path()), expected);
}

void TestFileIo::savesOverTheFileReadOnDemand_data()
{
    // How the text differs from the file: by bytes overwritten at their own offsets, by bytes
    // inserted, or by its bytes moved one place, the length kept; what else the file is: with a
    // second name, in a folder that takes no new files, changed on disk after it was opened;
    // whether the save writes over the old file, and the reason it fails, or empty.
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("inPlace");
    QTest::addColumn<QString>("reason");

    const QString overwrite =
        QStringLiteral("The text is read from this file, which can only be written in place "
                       "here, and that would overwrite its bytes before they are read. Save the "
                       "text under another name.");
    const QString changed =
        QStringLiteral("It changed on disk while it was open, so the text no longer knows all of "
                       "its bytes. Save the text under another name.");
    QTest::newRow("patch") << "patch"
                           << "file" << true << "";
    QTest::newRow("patch, two names") << "patch"
                                      << "two names" << true << "";
    QTest::newRow("patch, locked folder") << "patch"
                                          << "locked folder" << true << "";
    QTest::newRow("patch, changed on disk") << "patch"
                                            << "changed" << true << changed;
    QTest::newRow("patch, failing disk")
        << "patch"
        << "failing disk" << true
        << QStringLiteral("Input/output error. It now holds part of the new text. The text is "
                          "still here: save it under another name.");
    QTest::newRow("rewrite") << "insert"
                             << "file" << false << "";
    QTest::newRow("rewrite, same length") << "move"
                                          << "file" << false << "";
    QTest::newRow("rewrite, two names") << "insert"
                                        << "two names" << true << overwrite;
    QTest::newRow("rewrite, locked folder") << "insert"
                                            << "locked folder" << true << overwrite;
    QTest::newRow("rewrite, changed on disk") << "insert"
                                              << "changed" << true << changed;
}

// A text read on demand from a large sparse file is saved over that same file. A patch writes
// only its bytes, so the file stays sparse and keeps its inode; a rewrite replaces the file, or
// is refused where it could only overwrite bytes not yet read. Either way the text, and a
// snapshot taken before the edits, keep their bytes, and the file is not taken for changed.
void TestFileIo::savesOverTheFileReadOnDemand()
{
    QFETCH(QString, edit);
    QFETCH(QString, kind);
    const bool patch = edit == QLatin1String("patch");
    QFETCH(bool, inPlace);
    QFETCH(QString, reason);

    // The folder and the file belong to the user who saves, who may write both.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("disk.img"));
    const qint64 size = qint64(64) << 20;
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(size));
        QVERIFY(file.seek(size / 2) && file.write("middle") == 6);
    }
    if (::geteuid() == 0) {
        QCOMPARE(::chown(QFile::encodeName(dir.path()).constData(), nobody, ::getegid()), 0);
        QCOMPARE(::chown(QFile::encodeName(path).constData(), nobody, ::getegid()), 0);
    }
    QVERIFY(setMode(path, 0644));
    if (kind == QLatin1String("two names"))
        std::filesystem::create_hard_link(nativePath(path),
                                          nativePath(dir.filePath(QStringLiteral("second"))));
    const struct stat before = statusOf(path);
    // A file as long as the threshold is read on demand.
    FileReading onDemand;
    onDemand.onDemandFrom = size;
    Text opened;
    QCOMPARE(readFile(path, opened, onDemand), QString());
    // Four bytes overwritten in the middle, one at each end; or one byte inserted at each of
    // those places; or the first byte moved to the end.
    Text edited = opened;
    if (edit == QLatin1String("move")) {
        edited = opened.removed(0, 1).inserted(size - 1, opened.sliced(0, 1));
    } else {
        for (const qint64 at : {qint64(0), size / 2 + 1, size - 1}) {
            const QByteArray bytes = at == size / 2 + 1 ? QByteArrayLiteral("PATC") : "!";
            edited = edited.removed(at, patch ? at + bytes.size() : at)
                         .inserted(at, Text::copyOf(bytes));
        }
    }
    const QByteArray expected = edited.toByteArray();

    if (kind == QLatin1String("changed")) {
        QCOMPARE(::truncate(QFile::encodeName(path).constData(), size + 1), 0);
        QCOMPARE(opened.at(size / 3), '\0');
    }
    QString error;
    {
        QVERIFY(setMode(dir.path(), kind == QLatin1String("locked folder") ? 0555 : 0755));
        const auto user = accessAs(nobody, ::getegid());
        // The second of the three patches fails to be written.
        const auto failing = failingCall(
            kind == QLatin1String("failing disk") ? QStringLiteral("pwrite") : QString(), 2);
        error = writeWholeFile(path, edited);
    }
    QVERIFY(setMode(dir.path(), 0755));

    QCOMPARE(error, reason);
    const struct stat after = statusOf(path);
    QCOMPARE(after.st_ino == before.st_ino, inPlace);
    if (reason.isEmpty()) {
        QCOMPARE(readBytes(path), expected);
        // The few blocks written are all the file takes on the disk.
        if (patch)
            QVERIFY(after.st_blocks * 512 < qint64(1) << 20);
    } else if (kind == QLatin1String("failing disk")) {
        const QByteArray left = readBytes(path);
        QCOMPARE(left.first(1), QByteArrayLiteral("!"));
        QCOMPARE(left.mid(size / 2, 6), QByteArrayLiteral("middle"));
    } else {
        QCOMPARE(after.st_size, kind == QLatin1String("changed") ? size + 1 : size);
        QCOMPARE(readBytes(path).mid(size / 2, 6), QByteArrayLiteral("middle"));
    }
    if (kind != QLatin1String("changed")) {
        QCOMPARE(edited.toByteArray(), expected);
        QCOMPARE(opened.bytes(size / 2, size / 2 + 6), QByteArrayLiteral("middle"));
        QCOMPARE(opened.at(0), '\0');
        QCOMPARE(opened.pieces().front().file->trouble(), FileTrouble::None);
    }
}

// A save killed while it writes leaves the old file as it was and nothing beside it.
void TestFileIo::killedSaveLeavesNothingBehind()
{
    const char *const folderMark = "KORVANE_KILLED_SAVE_FOLDER";
    if (qEnvironmentVariableIsSet(folderMark)) {
        // The child: killed at its second write, as by kill -9 in the middle of a save.
        fileCalls.write = [](int fd, const void *from, size_t count) {
            static int writes = 0;
            if (++writes == 2)
                ::raise(SIGKILL);
            return ::write(fd, from, count);
        };
        const QString path = qEnvironmentVariable(folderMark) + QStringLiteral("/target");
        const QByteArray bytes = everyByteValue().repeated(4096);
        writeWholeFile(path, Text::copyOf(bytes.first(100)).inserted(100, Text::copyOf(bytes)));
        QFAIL("the save was not killed");
    }
    QTemporaryDir dir;
    QCOMPARE(writeBytes(dir.filePath(QStringLiteral("target")), "old"), QString());
    qputenv(folderMark, QFile::encodeName(dir.path()));
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("-silent"), QString::fromLatin1(QTest::currentTestFunction())});
    QVERIFY(child.waitForFinished());
    qunsetenv(folderMark);
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);
    QCOMPARE(snapshot(dir.path()), QStringList(QStringLiteral("/target = 6f6c64")));
}

QTEST_GUILESS_MAIN(TestFileIo)
#include "tst_fileio.moc"
