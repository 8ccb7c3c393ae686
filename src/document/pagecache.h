#pragma once

#include <QtGlobal>

#include <list>
#include <memory>
#include <unordered_map>
#include <vector>

// A page of a file: its bytes from an offset that is a multiple of the page size, up to the page
// size or the file's end. Held pages stay valid whatever the cache does.
struct Page
{
    explicit Page(qint64 capacity);
    Page(const Page &) = delete;
    Page &operator=(const Page &) = delete;

    std::unique_ptr<char[]> bytes;
    qint64 size = 0;
};

// The pages of files read on demand, kept up to a bound of bytes and given up least recently
// used first. Pages are keyed by their owner (a file source) and their index in it.
class PageCache
{
public:
    static constexpr qint64 defaultPageSize = qint64(1) << 20;
    static constexpr qint64 defaultCapacity = qint64(256) << 20;

    explicit PageCache(qint64 pageSize = defaultPageSize, qint64 capacity = defaultCapacity);
    PageCache(const PageCache &) = delete;
    PageCache &operator=(const PageCache &) = delete;

    /// The cache every file the program opens shares.
    static const std::shared_ptr<PageCache> &shared();

    qint64 pageSize() const { return size; }

    /// The page `index` of `owner`, made the most recently used; nullptr when it is not kept.
    std::shared_ptr<const Page> find(const void *owner, qint64 index);
    /// A page to fill: one given up earlier that nobody holds any more when there is one, since
    /// memory the program has used before costs nothing to touch again.
    std::shared_ptr<Page> blank();
    /// Keeps `page` as page `index` of `owner`, giving up the least recently used pages beyond
    /// the bound.
    void keep(const void *owner, qint64 index, std::shared_ptr<const Page> page);
    /// Gives up every page of `owner` and returns them with their indexes.
    std::vector<std::pair<qint64, std::shared_ptr<const Page>>> takeAll(const void *owner);
    /// How many bytes the kept pages hold.
    qint64 keptBytes() const { return kept.size() * size; }

private:
    struct Key
    {
        const void *owner;
        qint64 index;
        friend bool operator==(const Key &, const Key &) = default;
    };
    struct KeyHash
    {
        size_t operator()(const Key &key) const;
    };
    struct Entry
    {
        Key key;
        std::shared_ptr<const Page> page;
    };

    const qint64 size;
    const qint64 capacity;
    // The most recently used first.
    std::list<Entry> kept;
    std::unordered_map<Key, std::list<Entry>::iterator, KeyHash> where;
    // Pages given up while nobody held them, ready to be filled again.
    std::vector<std::shared_ptr<const Page>> spare;
};
