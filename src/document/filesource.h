#pragma once

#include "pagecache.h"

#include <QByteArray>
#include <QByteArrayView>

#include <functional>
#include <map>
#include <memory>
#include <sys/stat.h>

// What became of a file read on demand since it was opened.
enum class FileTrouble {
    None,       ///< Every read found the file as it was opened.
    Changed,    ///< The file changed on disk: its size, its times or its inode differ.
    Unreadable, ///< A read failed: an I/O error, or a file system that went away.
};

// A regular file whose bytes are read on demand, a page at a time through a page cache, and
// that stands for the bytes the file held when it was opened. Every read checks that the file
// is still as it was opened: same device, inode, size, modification time and change time. Once a
// check or a read fails, the file's bytes can no longer be trusted: the pages read until then stay
// as they were, every other byte reads as zero, and the trouble handler hears of it once. The size
// never changes, so neither does any text made of it.
class FileSource
{
public:
    /// Reads the regular file open at `fd`, which it takes over and closes, as `status` (its
    /// fstat when opened) describes it.
    FileSource(int fd, const struct stat &status,
               std::shared_ptr<PageCache> cache = PageCache::shared());
    ~FileSource();
    FileSource(const FileSource &) = delete;
    FileSource &operator=(const FileSource &) = delete;

    qint64 size() const { return opened.st_size; }
    /// Whether `status` describes this same file (device and inode).
    bool isFile(const struct stat &status) const;
    qint64 pageSize() const { return cache->pageSize(); }

    /// Page `index` of the file, through the cache.
    std::shared_ptr<const Page> page(qint64 index) const;
    /// Reads the `count` bytes from `offset` into `into` past the cache, for reads that go
    /// through much of the file once, as scans and saves do.
    void readPastCache(qint64 offset, char *into, qint64 count) const;

    FileTrouble trouble() const { return troubleFound; }
    /// Calls `handler` once, when trouble is first found; it may be called in the middle of any
    /// read, so it should only note the trouble, or arrange to show it later.
    void setTroubleHandler(std::function<void(FileTrouble)> handler);

    // The file is the program's own to change too, when it saves a patch over it. These keep the
    // source standing for the bytes the file held when opened; they change no byte it reads.

    /// Keeps `original`, the file's bytes from `offset` on, which the program is about to
    /// overwrite, to be read from here on instead of the file's.
    void keepOriginal(qint64 offset, QByteArrayView original) const;
    /// Takes the file's status as it is now for the one it had when opened, once the program
    /// itself has changed it; false when the file is no longer at hand.
    bool acceptOwnChange() const;

private:
    /// Reads from the file itself and checks it; false, with the trouble noted, when the bytes
    /// cannot be trusted.
    bool readChecked(qint64 offset, char *into, qint64 count) const;
    /// The bytes from `offset` once trouble was found: pages read before it, zeros elsewhere.
    void readAfterTrouble(qint64 offset, char *into, qint64 count) const;
    void read(qint64 offset, char *into, qint64 count) const;
    /// Puts back the originals of bytes the program overwrote in the file.
    void restoreOriginals(qint64 offset, char *into, qint64 count) const;
    bool stillAsOpened(const struct stat &now) const;
    /// Whether originals were kept for any of the `count` bytes from `offset`.
    bool holdsOriginals(qint64 offset, qint64 count) const;
    std::shared_ptr<const Page> zeroPage(qint64 length) const;
    void noteTrouble(FileTrouble found) const;
    /// The length of page `index`.
    qint64 pageLength(qint64 index) const;

    const int fd;
    const std::shared_ptr<PageCache> cache;
    mutable struct stat opened;
    // A stretch of the file, [from, to).
    struct Stretch
    {
        qint64 from = 0;
        qint64 to = 0;
        bool holds(qint64 offset) const { return offset >= from && offset < to; }
    };
    // Whether the file may have holes: it has fewer blocks than bytes. Where it may, the last
    // stretches the file system named as data and as a hole, so that it is asked again only
    // where one ends.
    const bool mayHaveHoles;
    mutable Stretch knownData;
    mutable Stretch knownHole;
    mutable FileTrouble troubleFound = FileTrouble::None;
    std::function<void(FileTrouble)> troubleHandler;
    // Once trouble was found: the pages read before it, and those made since that hold kept
    // originals, by index.
    mutable std::map<qint64, std::shared_ptr<const Page>> troubledPages;
    // Pages of zeros, for the rest once trouble was found: a whole one, and the last one.
    mutable std::shared_ptr<const Page> fullZeroPage;
    mutable std::shared_ptr<const Page> lastZeroPage;
    // The original bytes of stretches the program overwrote, by offset; they never overlap.
    mutable std::map<qint64, QByteArray> originals;
};
