#include "pagecache.h"

#include <algorithm>

namespace {

// Pages given up are kept this many at most for reuse, beyond the cache's bound.
constexpr size_t spareLimit = 2;

} // namespace

Page::Page(qint64 capacity)
    : bytes(new char[size_t(capacity)])
{
}

PageCache::PageCache(qint64 pageSize, qint64 capacity)
    : size(std::max<qint64>(pageSize, 1))
    , capacity(std::max(capacity, size))
{
}

const std::shared_ptr<PageCache> &PageCache::shared()
{
    static const std::shared_ptr<PageCache> cache = std::make_shared<PageCache>();
    return cache;
}

size_t PageCache::KeyHash::operator()(const Key &key) const
{
    return std::hash<const void *>()(key.owner) ^
           (std::hash<qint64>()(key.index) * 0x9e3779b97f4a7c15);
}

std::shared_ptr<const Page> PageCache::find(const void *owner, qint64 index)
{
    const auto found = where.find(Key{owner, index});
    if (found == where.end())
        return nullptr;
    kept.splice(kept.begin(), kept, found->second);
    return found->second->page;
}

std::shared_ptr<Page> PageCache::blank()
{
    if (spare.empty())
        return std::make_shared<Page>(size);
    // Spare pages were given up while nobody held them, and nobody can find them since.
    auto reused = std::const_pointer_cast<Page>(std::move(spare.back()));
    spare.pop_back();
    reused->size = 0;
    return reused;
}

void PageCache::keep(const void *owner, qint64 index, std::shared_ptr<const Page> page)
{
    const Key key{owner, index};
    if (const auto found = where.find(key); found != where.end()) {
        found->second->page = std::move(page);
        kept.splice(kept.begin(), kept, found->second);
        return;
    }
    kept.push_front({key, std::move(page)});
    where.emplace(key, kept.begin());
    while (keptBytes() > capacity) {
        Entry &oldest = kept.back();
        where.erase(oldest.key);
        if (oldest.page.use_count() == 1 && spare.size() < spareLimit)
            spare.push_back(std::move(oldest.page));
        kept.pop_back();
    }
}

std::vector<std::pair<qint64, std::shared_ptr<const Page>>> PageCache::takeAll(const void *owner)
{
    std::vector<std::pair<qint64, std::shared_ptr<const Page>>> taken;
    for (auto entry = kept.begin(); entry != kept.end();) {
        if (entry->key.owner != owner) {
            ++entry;
            continue;
        }
        taken.emplace_back(entry->key.index, std::move(entry->page));
        where.erase(entry->key);
        entry = kept.erase(entry);
    }
    return taken;
}
