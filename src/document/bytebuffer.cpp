#include "bytebuffer.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <sys/mman.h>
#include <sys/sysinfo.h>
#include <unistd.h>

namespace {

// Whether `size` more bytes could be held at all; asking for more than memory and swap together
// would only drive the machine into swapping before failing.
bool couldEverHold(qint64 size)
{
    struct sysinfo memory = {};
    if (::sysinfo(&memory) != 0)
        return true;
    return quint64(size) <= (quint64(memory.totalram) + memory.totalswap) * memory.mem_unit;
}

constexpr qint64 hugePage = qint64(2) << 20;

} // namespace

std::shared_ptr<ByteBuffer> ByteBuffer::allocate(qint64 capacity)
{
    if (capacity < 0 || !couldEverHold(capacity))
        return nullptr;
    // Whole pages from the system rather than the heap: a large buffer asks for huge pages,
    // since touching a gigabyte four kilobytes at a time costs seconds on a virtual machine.
    const qint64 page = capacity >= hugePage ? hugePage : qint64(::sysconf(_SC_PAGESIZE));
    const qint64 mapped = std::max<qint64>(page, (capacity + page - 1) / page * page);
    void *bytes =
        ::mmap(nullptr, size_t(mapped), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (bytes == MAP_FAILED)
        return nullptr;
    if (page == hugePage)
        ::madvise(bytes, size_t(mapped), MADV_HUGEPAGE);
    std::shared_ptr<ByteBuffer> buffer(
        new (std::nothrow) ByteBuffer(static_cast<char *>(bytes), capacity, mapped));
    if (!buffer) {
        ::munmap(bytes, size_t(mapped));
        return nullptr;
    }
    return buffer;
}

ByteBuffer::ByteBuffer(char *bytes, qint64 capacity, qint64 mappedSize)
    : bytes(bytes)
    , room(capacity)
    , mappedSize(mappedSize)
{
}

ByteBuffer::~ByteBuffer()
{
    ::munmap(bytes, size_t(mappedSize));
}

void ByteBuffer::commit(qint64 count)
{
    Q_ASSERT(count >= 0 && count <= spaceLeft());
    filled += count;
}

void ByteBuffer::append(QByteArrayView more)
{
    Q_ASSERT(more.size() <= spaceLeft());
    if (!more.isEmpty())
        std::memcpy(space(), more.data(), size_t(more.size()));
    commit(more.size());
}
