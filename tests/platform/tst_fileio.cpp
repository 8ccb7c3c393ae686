#include "bytesamples.h"
#include "filebytes.h"
#include "fileio.h"
#include "textbuilder.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <filesystem>
#include <optional>
#include <sys/fsuid.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uid_t nobody = 65534;

struct ReadResult
{
    QByteArray bytes;
    QString error;
};

ReadResult readAll(const QString &path)
{
    TextBuilder text;
    const QString error = readWholeFile(path, text);
    return {text.text().toByteArray(), error};
}

std::filesystem::path nativePath(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

struct stat statusOf(const QString &path)
{
    struct stat status = {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
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

// While alive, files are accessed as an ordinary user also when the test runs as root, so that
// a folder's missing write permission counts. The files involved must be open to that user.
class OrdinaryUser
{
public:
    OrdinaryUser()
    {
        if (::geteuid() == 0)
            ::setfsuid(nobody);
    }
    ~OrdinaryUser()
    {
        if (::geteuid() == 0)
            ::setfsuid(0);
    }
    OrdinaryUser(const OrdinaryUser &) = delete;
    OrdinaryUser &operator=(const OrdinaryUser &) = delete;
};

// While alive, a write that makes a file larger than `size` bytes fails, as on a full disk.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t size)
        : previousHandler(std::signal(SIGXFSZ, SIG_IGN))
    {
        ::getrlimit(RLIMIT_FSIZE, &previous);
        const rlimit limit = {size, previous.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousHandler);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    void (*previousHandler)(int);
    rlimit previous = {};
};

// Writes `bytes` as the pieces of an edited text arrive, in several spans, one of them empty; as
// an ordinary user where asked.
QString writeInSpans(const QString &path, const QByteArray &bytes, bool asOrdinaryUser = false)
{
    const QByteArrayView whole(bytes);
    const qsizetype cut = whole.size() / 3;
    const QByteArrayView spans[] = {whole.first(cut), QByteArrayView(), whole.sliced(cut)};
    std::optional<OrdinaryUser> user;
    if (asOrdinaryUser)
        user.emplace();
    return writeWholeFile(path, spans);
}

} // namespace

class TestFileIo final : public QObject
{
    Q_OBJECT

private slots:
    void readsRegularFilesWhole_data();
    void readsRegularFilesWhole();
    void readsFilesThatReportNoSize();
    void refusesWhatIsNotARegularFile_data();
    void refusesWhatIsNotARegularFile();

    void writeLeavesExactlyTheBytes_data();
    void writeLeavesExactlyTheBytes();
    void writeKeepsOwnerGroupAndMode_data();
    void writeKeepsOwnerGroupAndMode();
    void writeGoesThroughSymbolicLinks_data();
    void writeGoesThroughSymbolicLinks();
    void writeFailuresLeaveEverythingAsItWas_data();
    void writeFailuresLeaveEverythingAsItWas();
};

void TestFileIo::readsRegularFilesWhole_data()
{
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("empty") << QByteArray();
    QTest::newRow("every byte value") << everyByteValue();
    QTest::newRow("larger than one read") << everyByteValue().repeated(12 * 1024);
}

void TestFileIo::readsRegularFilesWhole()
{
    QFETCH(QByteArray, bytes);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("file"));
    QCOMPARE(writeBytes(path, bytes), QString());

    const ReadResult result = readAll(path);
    QCOMPARE(result.error, QString());
    QCOMPARE(result.bytes, bytes);
}

void TestFileIo::readsFilesThatReportNoSize()
{
    const QString path = QStringLiteral("/proc/self/status");
    QCOMPARE(statusOf(path).st_size, off_t(0));

    const ReadResult result = readAll(path);
    QCOMPARE(result.error, QString());
    QVERIFY(result.bytes.startsWith("Name:"));
    QVERIFY(result.bytes.contains("\nPid:"));
    QVERIFY(result.bytes.endsWith('\n'));
}

void TestFileIo::refusesWhatIsNotARegularFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");

    QTest::newRow("no name") << "no name"
                             << "No file was chosen.";
    QTest::newRow("missing") << "missing"
                             << "No such file or directory.";
    QTest::newRow("folder") << "folder"
                            << "It is a folder, not a file.";
    QTest::newRow("pipe without a writer") << "pipe"
                                           << "It is a pipe, not a regular file.";
    QTest::newRow("device") << "device"
                            << "It is a device, not a regular file.";
    QTest::newRow("link loop") << "loop"
                               << "Too many levels of symbolic links.";
}

void TestFileIo::refusesWhatIsNotARegularFile()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);

    QTemporaryDir dir;
    QString path = dir.filePath(kind);
    if (kind == QLatin1String("no name")) {
        path.clear();
    } else if (kind == QLatin1String("missing")) {
        path = dir.filePath(QStringLiteral("missing/target"));
    } else if (kind == QLatin1String("folder")) {
        path = dir.path();
    } else if (kind == QLatin1String("pipe")) {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (kind == QLatin1String("device")) {
        path = QStringLiteral("/dev/null");
    } else if (kind == QLatin1String("loop")) {
        makeLink(path, QStringLiteral("back"));
        makeLink(dir.filePath(QStringLiteral("back")), QStringLiteral("loop"));
    }
    const QStringList before = snapshot(dir.path());

    const ReadResult result = readAll(path);
    QCOMPARE(result.error, reason);
    QVERIFY(result.bytes.isEmpty());
    QCOMPARE(writeInSpans(path, everyByteValue()), reason);
    QCOMPARE(snapshot(dir.path()), before);
}

void TestFileIo::writeLeavesExactlyTheBytes_data()
{
    // How the file is placed: alone, with a second name, with a name as long as names get, or in
    // a folder that takes no new files.
    QTest::addColumn<QString>("placement");
    QTest::addColumn<QByteArray>("old");
    QTest::addColumn<QByteArray>("bytes");

    const QByteArray longFile(100000, 'o');
    QTest::newRow("new file") << "alone" << QByteArray() << QByteArrayLiteral("new\r\ncontent");
    QTest::newRow("longer file") << "alone" << longFile << QByteArrayLiteral("short");
    QTest::newRow("emptied") << "alone" << QByteArrayLiteral("content") << QByteArrayLiteral("");
    QTest::newRow("shorter file") << "alone" << QByteArrayLiteral("ab")
                                  << QByteArray(3, '\0') + "\xa0";
    QTest::newRow("255-byte name") << "long name" << QByteArrayLiteral("ab") << everyByteValue();
    QTest::newRow("two names, longer file") << "two names" << longFile << QByteArrayLiteral("s");
    QTest::newRow("two names, shorter file")
        << "two names" << QByteArrayLiteral("ab") << everyByteValue();
    QTest::newRow("locked folder, longer file")
        << "locked folder" << longFile << QByteArrayLiteral("short\0text");
    QTest::newRow("locked folder, shorter file")
        << "locked folder" << QByteArrayLiteral("ab") << QByteArray(70000, '\n');
    QTest::newRow("locked folder, emptied") << "locked folder" << longFile << QByteArray();
}

void TestFileIo::writeLeavesExactlyTheBytes()
{
    QFETCH(QString, placement);
    QFETCH(QByteArray, old);
    QFETCH(QByteArray, bytes);

    QTemporaryDir dir;
    QCOMPARE(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    const QString folder = dir.filePath(QStringLiteral("folder"));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    const QString name =
        placement == QLatin1String("long name") ? QString(255, u'n') : QStringLiteral("target");
    const QString path = folder + u'/' + name;
    if (!old.isNull()) {
        QCOMPARE(writeBytes(path, old), QString());
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0666), 0);
    }
    if (placement == QLatin1String("two names"))
        std::filesystem::create_hard_link(nativePath(path),
                                          nativePath(folder + QStringLiteral("/second")));
    const bool locked = placement == QLatin1String("locked folder");
    if (locked)
        QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0555), 0);

    const QString error = writeInSpans(path, bytes, locked);
    QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0755), 0);

    QCOMPARE(error, QString());
    // Every name shows the new bytes, and nothing else is left behind, such as a temporary file.
    const QString content = QStringLiteral(" = ") + QString::fromLatin1(bytes.toHex());
    QStringList expected = {QStringLiteral("/folder/"),
                            QStringLiteral("/folder/") + name + content};
    if (placement == QLatin1String("two names"))
        expected << QStringLiteral("/folder/second") + content;
    expected.sort();
    QCOMPARE(snapshot(dir.path()), expected);
    if (!old.isNull())
        QCOMPARE(statusOf(path).st_mode & 07777, 0666u);
}

void TestFileIo::writeKeepsOwnerGroupAndMode_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("secondName");
    QTest::addColumn<bool>("savedByRoot");

    QTest::newRow("private") << 0600 << false << false;
    QTest::newRow("readable by all") << 0644 << false << false;
    QTest::newRow("executable") << 0755 << false << false;
    QTest::newRow("executable by others only") << 0701 << false << false;
    QTest::newRow("set-user-ID program") << 04755 << false << false;
    QTest::newRow("set-group-ID program") << 02711 << false << false;
    QTest::newRow("set-user-ID program with two names") << 04755 << true << false;
    QTest::newRow("set-user-ID program saved by root") << 04750 << false << true;
}

void TestFileIo::writeKeepsOwnerGroupAndMode()
{
    QFETCH(int, mode);
    QFETCH(bool, secondName);
    QFETCH(bool, savedByRoot);

    if (savedByRoot && ::geteuid() != 0)
        QSKIP("only root can save another user's file");
    // The folder and file belong to an ordinary user, who saves it unless root does: writes by
    // such a user clear the set-user-ID and set-group-ID bits, which root's writes do not.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("program"));
    QCOMPARE(writeBytes(path, QByteArrayLiteral("old program")), QString());
    if (secondName)
        std::filesystem::create_hard_link(nativePath(path), nativePath(path + u'2'));
    if (::geteuid() == 0) {
        QCOMPARE(::chown(QFile::encodeName(dir.path()).constData(), nobody, gid_t(-1)), 0);
        QCOMPARE(
            ::chown(QFile::encodeName(path).constData(), nobody, savedByRoot ? nobody : gid_t(-1)),
            0);
    }
    QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode), 0);
    const struct stat old = statusOf(path);

    QCOMPARE(writeInSpans(path, QByteArrayLiteral("new"), !savedByRoot), QString());
    QCOMPARE(readBytes(path), QByteArrayLiteral("new"));
    const struct stat status = statusOf(path);
    QCOMPARE(static_cast<int>(status.st_mode & 07777), mode);
    QCOMPARE(status.st_uid, old.st_uid);
    QCOMPARE(status.st_gid, old.st_gid);
}

void TestFileIo::writeGoesThroughSymbolicLinks_data()
{
    // Links as "path:text" pairs; `{dir}` in a text stands for the test's folder.
    QTest::addColumn<QString>("links");
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("targetExists");

    QTest::newRow("relative") << "link:target"
                              << "target" << true;
    QTest::newRow("absolute") << "link:{dir}/target"
                              << "target" << true;
    QTest::newRow("chain across folders")
        << "link:a/b/first a/b/first:../second a/second:../c/target"
        << "c/target" << true;
    QTest::newRow("to a file yet to be made") << "link:new"
                                              << "new" << false;
}

void TestFileIo::writeGoesThroughSymbolicLinks()
{
    QFETCH(QString, links);
    QFETCH(QString, target);
    QFETCH(bool, targetExists);

    QTemporaryDir dir;
    for (const QString &folder : {QStringLiteral("a/b"), QStringLiteral("c")})
        QVERIFY(QDir(dir.path()).mkpath(folder));
    const QString targetPath = dir.filePath(target);
    if (targetExists) {
        QCOMPARE(writeBytes(targetPath, QByteArray(1000, 'o')), QString());
        QCOMPARE(::chmod(QFile::encodeName(targetPath).constData(), 0750), 0);
    }
    const QStringList pairs = links.replace(QStringLiteral("{dir}"), dir.path()).split(u' ');
    for (const QString &pair : pairs)
        makeLink(dir.filePath(pair.section(u':', 0, 0)), pair.section(u':', 1));
    const qsizetype entries = snapshot(dir.path()).size();

    const QByteArray bytes = everyByteValue();
    QCOMPARE(writeInSpans(dir.filePath(QStringLiteral("link")), bytes), QString());

    QCOMPARE(readBytes(targetPath), bytes);
    if (targetExists)
        QCOMPARE(statusOf(targetPath).st_mode & 07777, 0750u);
    for (const QString &pair : pairs) {
        const auto link = nativePath(dir.filePath(pair.section(u':', 0, 0)));
        QVERIFY(std::filesystem::is_symlink(link));
        QCOMPARE(QString::fromStdString(std::filesystem::read_symlink(link).string()),
                 pair.section(u':', 1));
    }
    QCOMPARE(snapshot(dir.path()).size(), entries + (targetExists ? 0 : 1));
}

void TestFileIo::writeFailuresLeaveEverythingAsItWas_data()
{
    // A locked folder takes no new files, so that the file is written in place.
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("locked");
    QTest::addColumn<QString>("reason");

    QTest::newRow("no permission") << "no permission" << true << "Permission denied.";
    QTest::newRow("size limit") << "size limit" << false << "File too large.";
    QTest::newRow("size limit, locked folder") << "size limit" << true << "File too large.";
    QTest::newRow("full disk") << "full disk" << false << "No space left on device.";
    QTest::newRow("full disk, locked folder") << "full disk" << true << "No space left on device.";
    QTest::newRow("no reservations, locked folder")
        << "no reservations" << true
        << "Its file system cannot reserve space in advance, so it cannot be saved safely there.";
}

void TestFileIo::writeFailuresLeaveEverythingAsItWas()
{
    QFETCH(QString, kind);
    QFETCH(bool, locked);
    QFETCH(QString, reason);

    QTemporaryDir dir;
    QCOMPARE(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    const QString folder = dir.filePath(QStringLiteral("folder"));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    // A one-megabyte file system, or one that cannot reserve space, over the folder.
    const QByteArray mountPoint = QFile::encodeName(folder);
    if (kind == QLatin1String("full disk") || kind == QLatin1String("no reservations")) {
        if (::geteuid() != 0)
            QSKIP("only root can mount a file system");
        const bool full = kind == QLatin1String("full disk");
        const char *type = full ? "tmpfs" : "ramfs";
        if (::mount(type, mountPoint.constData(), type, 0, full ? "size=1m" : "") != 0)
            QSKIP("mounting a file system is not allowed here");
    }
    const auto unmount = qScopeGuard([&] { ::umount2(mountPoint.constData(), MNT_DETACH); });
    const QString path = folder + QStringLiteral("/target");
    QCOMPARE(writeBytes(path, everyByteValue()), QString());
    const bool writable = kind != QLatin1String("no permission");
    QCOMPARE(::chmod(QFile::encodeName(path).constData(), writable ? 0666 : 0444), 0);
    if (locked)
        QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0555), 0);
    const QStringList before = snapshot(dir.path());

    QString error;
    {
        std::optional<FileSizeLimit> limit;
        if (kind == QLatin1String("size limit"))
            limit.emplace(4096);
        error = writeInSpans(path, QByteArray(2 << 20, 'n'), locked);
    }
    QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0755), 0);

    QCOMPARE(error, reason);
    QCOMPARE(snapshot(dir.path()), before);
}

QTEST_GUILESS_MAIN(TestFileIo)
#include "tst_fileio.moc"
