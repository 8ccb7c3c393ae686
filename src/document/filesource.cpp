#include "filesource.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

bool sameTime(const struct timespec &a, const struct timespec &b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

} // namespace

FileSource::FileSource(int fd, const struct stat &status, std::shared_ptr<PageCache> cache)
    : fd(fd)
    , cache(std::move(cache))
    , opened(status)
    , mayHaveHoles(qint64(status.st_blocks) * 512 < qint64(status.st_size))
{
}

FileSource::~FileSource()
{
    cache->takeAll(this);
    ::close(fd);
}

bool FileSource::isFile(const struct stat &status) const
{
    return status.st_dev == opened.st_dev && status.st_ino == opened.st_ino;
}

void FileSource::setTroubleHandler(std::function<void(FileTrouble)> handler)
{
    troubleHandler = std::move(handler);
}

qint64 FileSource::pageLength(qint64 index) const
{
    return std::min(pageSize(), size() - index * pageSize());
}

std::shared_ptr<const Page> FileSource::page(qint64 index) const
{
    if (troubleFound == FileTrouble::None) {
        if (std::shared_ptr<const Page> kept = cache->find(this, index))
            return kept;
    } else if (const auto kept = troubledPages.find(index); kept != troubledPages.end()) {
        return kept->second;
    } else if (!holdsOriginals(index * pageSize(), pageLength(index))) {
        return zeroPage(pageLength(index));
    }
    const std::shared_ptr<Page> page = cache->blank();
    page->size = pageLength(index);
    read(index * pageSize(), page->bytes.get(), page->size);
    if (troubleFound == FileTrouble::None)
        cache->keep(this, index, page);
    else
        troubledPages.emplace(index, page);
    return page;
}

std::shared_ptr<const Page> FileSource::zeroPage(qint64 length) const
{
    std::shared_ptr<const Page> &zeros = length == pageSize() ? fullZeroPage : lastZeroPage;
    if (!zeros) {
        auto page = std::make_shared<Page>(length);
        std::memset(page->bytes.get(), 0, size_t(length));
        page->size = length;
        zeros = std::move(page);
    }
    return zeros;
}

bool FileSource::holdsOriginals(qint64 offset, qint64 count) const
{
    auto stretch = originals.upper_bound(offset);
    if (stretch != originals.begin() &&
        std::prev(stretch)->first + std::prev(stretch)->second.size() > offset)
        return true;
    return stretch != originals.end() && stretch->first < offset + count;
}

void FileSource::readPastCache(qint64 offset, char *into, qint64 count) const
{
    read(offset, into, count);
}

void FileSource::read(qint64 offset, char *into, qint64 count) const
{
    Q_ASSERT(offset >= 0 && count >= 0 && offset + count <= size());
    if (troubleFound != FileTrouble::None || !readChecked(offset, into, count))
        readAfterTrouble(offset, into, count);
    restoreOriginals(offset, into, count);
}

bool FileSource::readChecked(qint64 offset, char *into, qint64 count) const
{
    for (qint64 done = 0; done < count;) {
        const qint64 at = offset + done;
        // A hole reads as zero bytes, which are filled in here: reading them would make the
        // system zero a page for every 4 KiB first, the whole cost of reading a sparse disk
        // image. Where the file system cannot tell, all of the file counts as data.
        qint64 wanted = count - done;
        if (mayHaveHoles && !knownData.holds(at) && !knownHole.holds(at)) {
            const off_t data = ::lseek(fd, at, SEEK_DATA);
            if (data > at)
                knownHole = {at, data};
            else if (data < 0 && errno == ENXIO)
                knownHole = {at, size()};
            else if (const off_t hole = data == at ? ::lseek(fd, at, SEEK_HOLE) : -1; hole > at)
                knownData = {at, hole};
        }
        if (knownHole.holds(at)) {
            const qint64 zeros = std::min(wanted, knownHole.to - at);
            std::memset(into + done, 0, size_t(zeros));
            done += zeros;
            continue;
        }
        if (knownData.holds(at))
            wanted = std::min(wanted, knownData.to - at);
        const ssize_t got = ::pread(fd, into + done, size_t(wanted), at);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            // No bytes where the file had some when opened: it was cut short meanwhile.
            noteTrouble(got == 0 ? FileTrouble::Changed : FileTrouble::Unreadable);
            return false;
        }
        done += got;
    }
    // One look after the read is enough: a change before or during it shows in the status
    // after it, since a file's change time only ever grows.
    struct stat now = {};
    if (::fstat(fd, &now) != 0) {
        noteTrouble(FileTrouble::Unreadable);
        return false;
    }
    if (!stillAsOpened(now)) {
        noteTrouble(FileTrouble::Changed);
        return false;
    }
    return true;
}

void FileSource::readAfterTrouble(qint64 offset, char *into, qint64 count) const
{
    std::memset(into, 0, size_t(count));
    const qint64 end = offset + count;
    for (auto page = troubledPages.lower_bound(offset / pageSize());
         page != troubledPages.end() && page->first * pageSize() < end; ++page) {
        const qint64 pageStart = page->first * pageSize();
        const qint64 from = std::max(offset, pageStart);
        const qint64 to = std::min(end, pageStart + page->second->size);
        if (to > from)
            std::memcpy(into + (from - offset), page->second->bytes.get() + (from - pageStart),
                        size_t(to - from));
    }
}

void FileSource::restoreOriginals(qint64 offset, char *into, qint64 count) const
{
    if (originals.empty())
        return;
    const qint64 end = offset + count;
    auto stretch = originals.upper_bound(offset);
    if (stretch != originals.begin())
        --stretch;
    for (; stretch != originals.end() && stretch->first < end; ++stretch) {
        const qint64 from = std::max(offset, stretch->first);
        const qint64 to = std::min(end, stretch->first + stretch->second.size());
        if (to > from)
            std::memcpy(into + (from - offset),
                        stretch->second.constData() + (from - stretch->first), size_t(to - from));
    }
}

void FileSource::keepOriginal(qint64 offset, QByteArrayView original) const
{
    // Bytes overwritten before keep the original kept then; only the rest is new.
    qint64 at = offset;
    const qint64 end = offset + original.size();
    auto next = originals.upper_bound(offset);
    if (next != originals.begin()) {
        const auto before = std::prev(next);
        at = std::max(at, before->first + qint64(before->second.size()));
    }
    while (at < end) {
        const qint64 gapEnd = next == originals.end() ? end : std::min(end, next->first);
        if (gapEnd > at)
            originals.emplace(at, original.sliced(at - offset, gapEnd - at).toByteArray());
        if (next == originals.end())
            break;
        at = std::max(at, next->first + qint64(next->second.size()));
        ++next;
    }
}

bool FileSource::acceptOwnChange() const
{
    struct stat now = {};
    if (::fstat(fd, &now) != 0 || now.st_size != opened.st_size)
        return false;
    opened = now;
    return true;
}

bool FileSource::stillAsOpened(const struct stat &now) const
{
    return isFile(now) && now.st_size == opened.st_size && sameTime(now.st_mtim, opened.st_mtim) &&
           sameTime(now.st_ctim, opened.st_ctim);
}

void FileSource::noteTrouble(FileTrouble found) const
{
    if (troubleFound != FileTrouble::None)
        return;
    troubleFound = found;
    for (auto &[index, page] : cache->takeAll(this))
        troubledPages.emplace(index, std::move(page));
    if (troubleHandler)
        troubleHandler(found);
}
