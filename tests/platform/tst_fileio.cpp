#include "bytesamples.h"
#include "fileio.h"
#include "textbuilder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <filesystem>
#include <optional>
#include <sys/fsuid.h>
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

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write the test file %s", qPrintable(path));
}

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
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
            description += QStringLiteral(" = ") + QString::fromLatin1(contentOf(path).toHex());
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

} // namespace

class TestFileIo final : public QObject
{
    Q_OBJECT

private slots:
    void readsRegularFilesWhole_data();
    void readsRegularFilesWhole();
    void readsFilesThatReportNoSize();
    void readRefusesWhatIsNotARegularFile_data();
    void readRefusesWhatIsNotARegularFile();

    void writeLeavesExactlyTheBytes_data();
    void writeLeavesExactlyTheBytes();
    void writeKeepsTheMode_data();
    void writeKeepsTheMode();
    void writeKeepsOwnerAndGroup();
    void writeGoesThroughSymbolicLinks_data();
    void writeGoesThroughSymbolicLinks();
    void writeFallsBackToInPlaceInAFolderThatCannotTakeNewFiles_data();
    void writeFallsBackToInPlaceInAFolderThatCannotTakeNewFiles();
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
    writeBytes(path, bytes);

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

void TestFileIo::readRefusesWhatIsNotARegularFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");

    QTest::newRow("no name") << "no name"
                             << "No file was chosen.";
    QTest::newRow("missing") << "missing"
                             << "No such file or directory";
    QTest::newRow("folder") << "folder"
                            << "It is a folder, not a file.";
    QTest::newRow("pipe without a writer") << "pipe"
                                           << "It is a pipe, not a regular file.";
    QTest::newRow("device") << "device"
                            << "It is a device, not a regular file.";
}

void TestFileIo::readRefusesWhatIsNotARegularFile()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);

    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("missing"));
    if (kind == QLatin1String("no name"))
        path.clear();
    else if (kind == QLatin1String("folder"))
        path = dir.path();
    else if (kind == QLatin1String("pipe"))
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else if (kind == QLatin1String("device"))
        path = QStringLiteral("/dev/null");

    const ReadResult result = readAll(path);
    QCOMPARE(result.error, reason);
    QVERIFY(result.bytes.isEmpty());
}

void TestFileIo::writeLeavesExactlyTheBytes_data()
{
    QTest::addColumn<QByteArray>("old");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("new file") << QByteArray() << QByteArrayLiteral("new\r\ncontent");
    QTest::newRow("new empty file") << QByteArray() << QByteArrayLiteral("");
    QTest::newRow("every byte value") << QByteArray() << everyByteValue();
    QTest::newRow("longer file") << QByteArray(100000, 'o') << QByteArrayLiteral("short");
    QTest::newRow("emptied") << QByteArrayLiteral("content") << QByteArrayLiteral("");
    QTest::newRow("shorter file") << QByteArrayLiteral("ab") << QByteArray(3, '\0') + "\xa0";
}

void TestFileIo::writeLeavesExactlyTheBytes()
{
    QFETCH(QByteArray, old);
    QFETCH(QByteArray, bytes);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("target"));
    if (!old.isNull())
        writeBytes(path, old);

    QCOMPARE(writeWholeFile(path, bytes), QString());
    // Nothing else is left behind in the folder, such as a temporary file.
    QCOMPARE(snapshot(dir.path()),
             QStringList(QStringLiteral("/target = ") + QString::fromLatin1(bytes.toHex())));
}

void TestFileIo::writeKeepsTheMode_data()
{
    QTest::addColumn<int>("mode");

    QTest::newRow("private") << 0600;
    QTest::newRow("readable by all") << 0644;
    QTest::newRow("executable") << 0755;
    QTest::newRow("executable by others only") << 0701;
    QTest::newRow("set-user-ID program") << 04755;
    QTest::newRow("set-group-ID program") << 02711;
}

void TestFileIo::writeKeepsTheMode()
{
    QFETCH(int, mode);

    // The folder and file belong to the ordinary user who saves: writes by such a user clear
    // the set-user-ID and set-group-ID bits, which root's writes do not.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("program"));
    writeBytes(path, QByteArrayLiteral("old program"));
    if (::geteuid() == 0) {
        QCOMPARE(::chown(QFile::encodeName(dir.path()).constData(), nobody, gid_t(-1)), 0);
        QCOMPARE(::chown(QFile::encodeName(path).constData(), nobody, gid_t(-1)), 0);
    }
    QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode), 0);

    QString error;
    {
        OrdinaryUser user;
        error = writeWholeFile(path, QByteArrayLiteral("new"));
    }
    QCOMPARE(error, QString());
    QCOMPARE(contentOf(path), QByteArrayLiteral("new"));
    QCOMPARE(static_cast<int>(statusOf(path).st_mode & 07777), mode);
}

void TestFileIo::writeKeepsOwnerAndGroup()
{
    if (::geteuid() != 0)
        QSKIP("only root can give a file to another user");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("theirs"));
    writeBytes(path, QByteArrayLiteral("old"));
    QCOMPARE(::chown(QFile::encodeName(path).constData(), nobody, nobody), 0);
    QCOMPARE(::chmod(QFile::encodeName(path).constData(), 04750), 0);

    QCOMPARE(writeWholeFile(path, QByteArrayLiteral("new")), QString());
    const struct stat status = statusOf(path);
    QCOMPARE(status.st_uid, nobody);
    QCOMPARE(status.st_gid, nobody);
    QCOMPARE(status.st_mode & 07777, 04750u);
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
        writeBytes(targetPath, QByteArray(1000, 'o'));
        QCOMPARE(::chmod(QFile::encodeName(targetPath).constData(), 0750), 0);
    }
    const QStringList pairs = links.replace(QStringLiteral("{dir}"), dir.path()).split(u' ');
    for (const QString &pair : pairs)
        makeLink(dir.filePath(pair.section(u':', 0, 0)), pair.section(u':', 1));
    const qsizetype entries = snapshot(dir.path()).size();

    const QByteArray bytes = everyByteValue();
    QCOMPARE(writeWholeFile(dir.filePath(QStringLiteral("link")), bytes), QString());

    QCOMPARE(contentOf(targetPath), bytes);
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

void TestFileIo::writeFallsBackToInPlaceInAFolderThatCannotTakeNewFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<rlim_t>("sizeLimit");
    QTest::addColumn<QString>("reason");

    QTest::newRow("shorter text") << QByteArrayLiteral("short\0text") << rlim_t(0) << QString();
    QTest::newRow("longer text") << QByteArray(70000, '\n') << rlim_t(0) << QString();
    QTest::newRow("write error") << QByteArray(70000, 'x') << rlim_t(20000)
                                 << QStringLiteral("File too large");
}

void TestFileIo::writeFallsBackToInPlaceInAFolderThatCannotTakeNewFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(rlim_t, sizeLimit);
    QFETCH(QString, reason);

    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("locked"));
    const QString path = folder + QStringLiteral("/target");
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("locked")));
    writeBytes(path, QByteArray(10000, 'o'));
    QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0666), 0);
    QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0555), 0);
    QCOMPARE(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    const ino_t inode = statusOf(path).st_ino;

    QString error;
    {
        OrdinaryUser user;
        std::optional<FileSizeLimit> limit;
        if (sizeLimit != 0)
            limit.emplace(sizeLimit);
        error = writeWholeFile(path, bytes);
    }
    QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0755), 0);

    QVERIFY2(error.contains(reason), qPrintable(error));
    QCOMPARE(error.isEmpty(), reason.isEmpty());
    QCOMPARE(statusOf(path).st_ino, inode);
    QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
             QStringList(QStringLiteral("target")));
    if (reason.isEmpty())
        QCOMPARE(contentOf(path), bytes);
}

void TestFileIo::writeFailuresLeaveEverythingAsItWas_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");

    QTest::newRow("no name") << "no name"
                             << "No file was chosen.";
    QTest::newRow("missing folder") << "missing folder"
                                    << "No such file or directory";
    QTest::newRow("folder") << "folder"
                            << "It is a folder, not a file.";
    QTest::newRow("pipe") << "pipe"
                          << "It is a pipe, not a regular file.";
    QTest::newRow("link loop") << "link loop"
                               << "Too many levels of symbolic links";
    QTest::newRow("write error") << "write error"
                                 << "File too large";
    QTest::newRow("no permission") << "no permission"
                                   << "Permission denied";
}

void TestFileIo::writeFailuresLeaveEverythingAsItWas()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);

    QTemporaryDir dir;
    QCOMPARE(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    const QString folder = dir.filePath(QStringLiteral("folder"));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    QString path = folder + QStringLiteral("/target");
    writeBytes(path, QByteArrayLiteral("old content"));
    QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0644), 0);

    if (kind == QLatin1String("no name")) {
        path.clear();
    } else if (kind == QLatin1String("missing folder")) {
        path = dir.filePath(QStringLiteral("missing/target"));
    } else if (kind == QLatin1String("folder")) {
        path = folder;
    } else if (kind == QLatin1String("pipe")) {
        path = folder + QStringLiteral("/pipe");
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (kind == QLatin1String("link loop")) {
        path = folder + QStringLiteral("/loop");
        makeLink(path, QStringLiteral("back"));
        makeLink(folder + QStringLiteral("/back"), QStringLiteral("loop"));
    } else if (kind == QLatin1String("no permission")) {
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0444), 0);
        QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0555), 0);
        // QSaveFile first asks whether the real user may write the file: root may, and only then
        // is the borrowed ordinary identity refused by the folder and the file.
        if (::geteuid() != 0)
            reason = QStringLiteral("is not writable");
    }
    const QStringList before = snapshot(dir.path());

    QString error;
    {
        std::optional<OrdinaryUser> user;
        if (kind == QLatin1String("no permission"))
            user.emplace();
        std::optional<FileSizeLimit> limit;
        if (kind == QLatin1String("write error"))
            limit.emplace(4096);
        error = writeWholeFile(path, QByteArray(70000, 'n'));
    }
    QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0755), 0);

    QVERIFY2(error.contains(reason), qPrintable(error));
    QCOMPARE(snapshot(dir.path()), before);
}

QTEST_GUILESS_MAIN(TestFileIo)
#include "tst_fileio.moc"
