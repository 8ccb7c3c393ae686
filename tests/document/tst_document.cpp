#include "document.h"
#include "filebytes.h"
#include "textpieces.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <bit>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Pages and a cache small enough that a few hundred bytes are read, given up and read again.
std::shared_ptr<PageCache> tinyCache()
{
    return std::make_shared<PageCache>(251, 4 * 251);
}

// The file at `path` opened for reading on demand through `cache`, opened with `flags`.
std::shared_ptr<FileSource> openSource(const QString &path, const std::shared_ptr<PageCache> &cache,
                                       int flags = O_RDONLY)
{
    const int fd = ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC);
    struct stat status = {};
    if (fd < 0 || ::fstat(fd, &status) != 0)
        qFatal("cannot open %s", qPrintable(path));
    return std::make_shared<FileSource>(fd, status, cache);
}

// A file of `bytes` in `dir`, whose times lie in the past, so that any change to it shows. Every
// 4 KiB block of zeros is a hole in it.
QString pastFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    if (!writeBytes(path, bytes).isEmpty())
        qFatal("cannot write %s", qPrintable(path));
    constexpr qsizetype block = 4096;
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CLOEXEC);
    for (qsizetype at = 0; at + block <= bytes.size(); at += block) {
        if (bytes.sliced(at, block).count('\0') == block)
            ::fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, at, block);
    }
    ::close(fd);
    const struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0);
    return path;
}

// Runs of one byte and stretches of a few, so that equal bytes meet at piece ends.
QByteArray randomBytes(QRandomGenerator &random, qint64 size)
{
    static const QByteArray alphabets[] = {QByteArrayLiteral("\r\n\r\nab\0\xff"),
                                           QByteArrayLiteral("\r\n\n")};
    const QByteArray &alphabet = alphabets[random.bounded(4) == 0];
    QByteArray bytes(size, 'x');
    const bool sparse = random.bounded(2) == 0;
    for (char &byte : bytes) {
        if (!sparse || random.bounded(2000) == 0)
            byte = alphabet[random.bounded(int(alphabet.size()))];
    }
    return bytes;
}

void compareWithModel(const Text &text, const QByteArray &model, QRandomGenerator &random)
{
    QCOMPARE(text.size(), model.size());
    QCOMPARE(text.toByteArray(), model);
    for (int probe = 0; probe < 8; ++probe) {
        const qint64 offset = random.bounded(model.size() + 1);
        const qint64 to = offset + random.bounded(model.size() - offset + 1);
        QByteArray spans;
        TextSpans::forEach(text, offset, to, [&spans](QByteArrayView span) {
            spans += span;
            return true;
        });
        QCOMPARE(spans, model.mid(offset, to - offset));
        if (offset < model.size())
            QCOMPARE(text.at(offset), model[offset]);
    }
}

} // namespace

class TestDocument final : public QObject
{
    Q_OBJECT

private slots:
    void followsAByteStringModel_data();
    void followsAByteStringModel();
    void typingAndDeletingRunsAreUndoneWhole();
    void staysBalancedUnderPatches();
    void fileTroubleKeepsWhatWasRead_data();
    void fileTroubleKeepsWhatWasRead();
    void ownPatchesKeepTheOriginals();
    void readsHolesAsZeros();
};

void TestDocument::followsAByteStringModel_data()
{
    QTest::addColumn<quint32>("seed");
    for (quint32 seed : {1u, 2u, 3u, 4u})
        QTest::addRow("seed %u", seed) << seed;
}

// Random edits, undos, redos, loads (of bytes in memory and of files read on demand through a
// cache of a few tiny pages) and snapshots, each checked against a plain byte string; every
// snapshot keeps its bytes whatever happens later.
void TestDocument::followsAByteStringModel()
{
    QFETCH(quint32, seed);
    QRandomGenerator random(seed);
    Document document;
    QByteArray model;
    std::vector<QByteArray> undoModels;
    std::vector<QByteArray> redoModels;
    std::vector<std::pair<Text, QByteArray>> snapshots;
    const QTemporaryDir dir;
    const std::shared_ptr<PageCache> cache = tinyCache();

    for (int round = 0; round < 1500; ++round) {
        const qint64 size = model.size();
        const qint64 from = random.bounded(size + 1);
        const qint64 to = from + random.bounded(std::min<qint64>(size - from, 3000) + 1);
        const QByteArray bytes =
            randomBytes(random, random.bounded(3) == 0 ? 0 : random.bounded(300));
        const auto recordEdit = [&](const QByteArray &inserted) {
            if (from != to || !inserted.isEmpty()) {
                undoModels.push_back(model);
                redoModels.clear();
                model.replace(from, to - from, inserted);
            }
        };
        switch (random.bounded(11)) {
        case 0:
        case 1:
        case 2:
        case 3: {
            const Selection before{from, to};
            const Selection after{from + bytes.size(), from + bytes.size()};
            QVERIFY(document.replace(from, to, bytes, Document::Edit::Other, before, after));
            recordEdit(bytes);
            break;
        }
        case 10: {
            // A stretch of this text or of an earlier snapshot pasted without a copy.
            const auto &[source, sourceBytes] =
                snapshots.empty() || random.bounded(2) == 0
                    ? std::pair<Text, QByteArray>(document.text(), model)
                    : snapshots[random.bounded(qsizetype(snapshots.size()))];
            const qint64 sliceFrom = random.bounded(sourceBytes.size() + 1);
            const qint64 sliceTo = sliceFrom + random.bounded(sourceBytes.size() - sliceFrom + 1);
            const QByteArray pasted = sourceBytes.mid(sliceFrom, sliceTo - sliceFrom);
            document.replace(from, to, source.sliced(sliceFrom, sliceTo), {from, to},
                             {from + pasted.size(), from + pasted.size()});
            recordEdit(pasted);
            break;
        }
        case 4:
        case 5:
        case 6: {
            // The change an undo or a redo reports turns the text before it into the one after.
            const bool undoing = random.bounded(3) != 2;
            std::vector<QByteArray> &from = undoing ? undoModels : redoModels;
            std::vector<QByteArray> &to = undoing ? redoModels : undoModels;
            const std::optional<StepChange> change = undoing ? document.undo() : document.redo();
            QCOMPARE(change.has_value(), !from.empty());
            if (!change)
                break;
            const QByteArray restored = from.back();
            QCOMPARE(QByteArray(model).replace(change->position, change->removed,
                                               restored.mid(change->position, change->added)),
                     restored);
            to.push_back(model);
            model = restored;
            from.pop_back();
            break;
        }
        case 7:
        case 8:
            snapshots.emplace_back(document.text(), model);
            break;
        case 9:
            if (random.bounded(8) == 0) {
                model = randomBytes(random, random.bounded(40000));
                if (random.bounded(2) == 0) {
                    const QString path = pastFile(dir, QString::number(round), model);
                    document.reset(Text::ofFile(openSource(path, cache)));
                } else {
                    document.reset(textInPieces(model, 9000, seed + round));
                }
                undoModels.clear();
                redoModels.clear();
                QVERIFY(!document.canUndo());
            }
            break;
        }
        compareWithModel(document.text(), model, random);
    }
    for (const auto &[snapshot, bytes] : snapshots)
        QCOMPARE(snapshot.toByteArray(), bytes);
}

void TestDocument::typingAndDeletingRunsAreUndoneWhole()
{
    Document document;
    document.reset(Text::copyOf("0123"));
    const auto type = [&document](qint64 at, char byte) {
        return document.replace(at, at, QByteArrayView(&byte, 1), Document::Edit::Typing, {at, at},
                                {at + 1, at + 1});
    };
    const auto backspace = [&document](qint64 at) {
        return document.replace(at - 1, at, {}, Document::Edit::Deleting, {at, at},
                                {at - 1, at - 1});
    };
    // "ab" typed at the end, "c" typed after moving the caret, then two bytes deleted.
    QVERIFY(type(4, 'a') && type(5, 'b'));
    QVERIFY(type(2, 'c'));
    QVERIFY(backspace(7) && backspace(6));
    QCOMPARE(document.text().toByteArray(), QByteArrayLiteral("01c23"));

    // Each undo and redo tells which bytes gave way to which.
    QCOMPARE(document.undo(), (StepChange{5, 0, 2, {7, 7}}));
    QCOMPARE(document.text().toByteArray(), QByteArrayLiteral("01c23ab"));
    QCOMPARE(document.undo(), (StepChange{2, 1, 0, {2, 2}}));
    QCOMPARE(document.text().toByteArray(), QByteArrayLiteral("0123ab"));
    QCOMPARE(document.undo(), (StepChange{4, 2, 0, {4, 4}}));
    QCOMPARE(document.text().toByteArray(), QByteArrayLiteral("0123"));
    QVERIFY(!document.undo());
    QCOMPARE(document.redo(), (StepChange{4, 0, 2, {6, 6}}));
    QCOMPARE(document.text().toByteArray(), QByteArrayLiteral("0123ab"));

    // A step closed by the caller, as a caret move does, is not merged into.
    document.closeUndoStep();
    QVERIFY(type(6, 'x'));
    document.closeUndoStep();
    QVERIFY(type(7, 'y'));
    QVERIFY(document.undo());
    QCOMPARE(document.text().toByteArray(), QByteArrayLiteral("0123abx"));
}

// Bytes overwritten one at a time all over one long piece, as patching a program file does,
// split that piece again and again; the tree stays shallow, so every edit stays cheap. Each
// round starts from a new piece, whose place in the tree's order differs.
void TestDocument::staysBalancedUnderPatches()
{
    QRandomGenerator random(5);
    for (int round = 0; round < 16; ++round) {
        Document document;
        document.reset(Text::copyOf(QByteArray(1 << 16, 'x')));
        for (int patch = 0; patch < 1000; ++patch) {
            const qint64 at = random.bounded(document.size());
            document.closeUndoStep();
            QVERIFY(document.replace(at, at + 1, "y", Document::Edit::Typing, {at, at},
                                     {at + 1, at + 1}));
        }
        const Text &text = document.text();
        QVERIFY2(
            text.depth() <= 4 * int(std::bit_width(quint64(text.pieceCount()))),
            qPrintable(
                QStringLiteral("depth %1 for %2 pieces").arg(text.depth()).arg(text.pieceCount())));
    }
}

void TestDocument::fileTroubleKeepsWhatWasRead_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<FileTrouble>("trouble");
    QTest::newRow("a byte changed") << QStringLiteral("write") << FileTrouble::Changed;
    QTest::newRow("cut short") << QStringLiteral("truncate") << FileTrouble::Changed;
    QTest::newRow("grown") << QStringLiteral("append") << FileTrouble::Changed;
    QTest::newRow("removed") << QStringLiteral("remove") << FileTrouble::Changed;
    QTest::newRow("unreadable") << QStringLiteral("unreadable") << FileTrouble::Unreadable;
}

// Once the file is no longer as it was opened, the text keeps its size and the bytes read before,
// every other byte reads as zero, whether through the cache or past it, and the trouble is told
// once.
void TestDocument::fileTroubleKeepsWhatWasRead()
{
    QFETCH(QString, change);
    QFETCH(FileTrouble, trouble);
    const QTemporaryDir dir;
    const QByteArray bytes = QByteArray(1000, 'a') + QByteArray(1000, 'b');
    const QString path = pastFile(dir, QStringLiteral("file"), bytes);
    // A file open for writing only cannot be read: as a disk that fails, with the file unchanged.
    const std::shared_ptr<FileSource> source =
        openSource(path, tinyCache(), change == QLatin1String("unreadable") ? O_WRONLY : O_RDONLY);
    QList<FileTrouble> told;
    source->setTroubleHandler([&told](FileTrouble found) { told << found; });
    const Text text = Text::ofFile(source);
    if (change != QLatin1String("unreadable"))
        QCOMPARE(text.bytes(0, 100), bytes.first(100));

    const QByteArray native = QFile::encodeName(path);
    if (change == QLatin1String("write")) {
        const int fd = ::open(native.constData(), O_WRONLY);
        QCOMPARE(::pwrite(fd, "z", 1, 1500), 1);
        ::close(fd);
    } else if (change == QLatin1String("truncate")) {
        QCOMPARE(::truncate(native.constData(), 10), 0);
    } else if (change == QLatin1String("append")) {
        QVERIFY(writeBytes(path, bytes + "more").isEmpty());
    } else if (change == QLatin1String("remove")) {
        QVERIFY(QFile::remove(path));
    }

    // The first 100 bytes were read in one whole page of 251 bytes.
    QByteArray expected(bytes.size(), '\0');
    if (change != QLatin1String("unreadable"))
        expected.replace(0, 251, bytes.first(251));
    QCOMPARE(text.size(), bytes.size());
    QCOMPARE(text.toByteArray(), expected);
    QCOMPARE(text.at(1500), '\0');
    QCOMPARE(text.bytes(50, 150), expected.mid(50, 100));
    QCOMPARE(told, QList<FileTrouble>{trouble});
    QCOMPARE(source->trouble(), trouble);
}

// A patch the program itself writes over the file changes none of the bytes the source stands
// for, whether read before the patch or after, through the cache or past it.
void TestDocument::ownPatchesKeepTheOriginals()
{
    const QTemporaryDir dir;
    QByteArray bytes(3000, 'o');
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = char('a' + i % 26);
    const QString path = pastFile(dir, QStringLiteral("file"), bytes);
    const std::shared_ptr<FileSource> source = openSource(path, tinyCache());
    const Text text = Text::ofFile(source);
    QCOMPARE(text.bytes(0, 200), bytes.first(200));

    // Overlapping patches: each keeps the originals of the bytes it overwrites first.
    const qint64 patches[] = {10, 2000, 2002, 1998};
    for (const qint64 at : patches)
        source->keepOriginal(at, text.bytes(at, at + 4));
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY);
    for (const qint64 at : patches)
        QCOMPARE(::pwrite(fd, "PPPP", 4, at), 4);
    ::close(fd);
    QVERIFY(source->acceptOwnChange());

    QCOMPARE(text.toByteArray(), bytes);
    QCOMPARE(text.bytes(1990, 2010), bytes.mid(1990, 20));
    QCOMPARE(text.at(2003), bytes[2003]);
    QCOMPARE(source->trouble(), FileTrouble::None);
    QCOMPARE(readBytes(path).mid(1998, 8), QByteArrayLiteral("PPPPPPPP"));
}

// A sparse file, whose holes the system gives no bytes for, reads as its bytes through pages that
// begin and end inside holes and data, with a hole inside a page, and a hole at its end or not.
// A span held meanwhile keeps its bytes, though its page goes out of the cache and pages given up
// are reused.
void TestDocument::readsHolesAsZeros()
{
    const QTemporaryDir dir;
    QRandomGenerator random(7);
    QByteArray data(4096, Qt::Uninitialized);
    for (qsizetype i = 0; i < data.size(); ++i)
        data[i] = char('a' + i / 251);
    const QByteArray block(4096, '\0');
    for (const QByteArray &tail : {QByteArray(100, 'c'), QByteArray()}) {
        const QByteArray bytes =
            data + block + QByteArray(4096, 'b') + block + block + tail + block;
        const QString path = pastFile(dir, QString::number(tail.size()), bytes);
        const Text text = Text::ofFile(openSource(path, tinyCache()));
        TextSpans held(text, 0, 251);
        const QByteArrayView span = held.next();
        for (int round = 0; round < 20; ++round)
            compareWithModel(text, bytes, random);
        QCOMPARE(span, bytes.first(251));
    }
}

QTEST_GUILESS_MAIN(TestDocument)
#include "tst_document.moc"
