#include "bytebuffer.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <sys/mman.h>
#include <sys/sysinfo.h>
#include <unistd.h>

namespace {

using Block = uchar __attribute__((vector_size(16)));
using BlockHalves = quint64 __attribute__((vector_size(16)));
constexpr qint64 vectorBytes = sizeof(Block);

bool isLineEnd(char byte)
{
    return byte == '\n' || byte == '\r';
}

// How many of the 16 bytes at `bytes` are CR or LF.
int lineEndsIn16(const char *bytes)
{
    Block block;
    std::memcpy(&block, bytes, vectorBytes);
    const auto matches = std::bit_cast<BlockHalves>((block == '\n') | (block == '\r'));
    // Each matching lane is 0xff: eight set bits.
    return (std::popcount(matches[0]) + std::popcount(matches[1])) / 8;
}

qint64 countLineEnds(const char *bytes, qint64 count)
{
    // Each lane counts its own line ends, and the lanes are summed before any could overflow.
    constexpr qint64 lanesFillAfter = 255;
    qint64 found = 0;
    qint64 index = 0;
    while (index + vectorBytes <= count) {
        Block perLane{};
        const qint64 stop =
            std::min(count - vectorBytes, index + (lanesFillAfter - 1) * vectorBytes);
        for (; index <= stop; index += vectorBytes) {
            Block block;
            std::memcpy(&block, bytes + index, vectorBytes);
            // A matching lane compares as all ones, which is -1.
            perLane -= std::bit_cast<Block>((block == '\n') | (block == '\r'));
        }
        for (int lane = 0; lane < vectorBytes; ++lane)
            found += perLane[lane];
    }
    for (; index < count; ++index)
        found += isLineEnd(bytes[index]);
    return found;
}

// The index of the line-end byte in `bytes` that has `rank` line-end bytes before it; there is one.
qint64 findLineEnd(const char *bytes, qint64 rank)
{
    qint64 index = 0;
    for (;; index += vectorBytes) {
        const int here = lineEndsIn16(bytes + index);
        if (here > rank)
            break;
        rank -= here;
    }
    for (;; ++index) {
        if (isLineEnd(bytes[index]) && rank-- == 0)
            return index;
    }
}

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
    // The search for a line end may read up to 15 bytes past the last one, so every buffer
    // has at least that much to spare.
    const qint64 page = capacity >= hugePage ? hugePage : qint64(::sysconf(_SC_PAGESIZE));
    const qint64 mapped = (capacity + vectorBytes + page - 1) / page * page;
    void *bytes =
        ::mmap(nullptr, size_t(mapped), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (bytes == MAP_FAILED)
        return nullptr;
    if (page == hugePage)
        ::madvise(bytes, size_t(mapped), MADV_HUGEPAGE);
    std::unique_ptr<qint64[]> counts(new (std::nothrow) qint64[capacity / blockSize + 1]);
    if (!counts) {
        ::munmap(bytes, size_t(mapped));
        return nullptr;
    }
    counts[0] = 0;
    std::shared_ptr<ByteBuffer> buffer(new (std::nothrow) ByteBuffer(
        static_cast<char *>(bytes), capacity, mapped, std::move(counts)));
    if (!buffer) {
        ::munmap(bytes, size_t(mapped));
        return nullptr;
    }
    return buffer;
}

ByteBuffer::ByteBuffer(char *bytes, qint64 capacity, qint64 mappedSize,
                       std::unique_ptr<qint64[]> lineEndsBeforeBlock)
    : bytes(bytes)
    , room(capacity)
    , mappedSize(mappedSize)
    , lineEndsBeforeBlock(std::move(lineEndsBeforeBlock))
{
}

ByteBuffer::~ByteBuffer()
{
    ::munmap(bytes, size_t(mappedSize));
}

void ByteBuffer::commit(qint64 count)
{
    Q_ASSERT(count >= 0 && count <= spaceLeft());
    const qint64 completeBefore = filled / blockSize;
    filled += count;
    for (qint64 block = completeBefore; block < filled / blockSize; ++block) {
        lineEndsBeforeBlock[block + 1] =
            lineEndsBeforeBlock[block] + countLineEnds(bytes + block * blockSize, blockSize);
    }
}

void ByteBuffer::append(QByteArrayView more)
{
    Q_ASSERT(more.size() <= spaceLeft());
    if (!more.isEmpty())
        std::memcpy(space(), more.data(), size_t(more.size()));
    commit(more.size());
}

qint64 ByteBuffer::lineEndsBefore(qint64 offset) const
{
    Q_ASSERT(offset >= 0 && offset <= filled);
    const qint64 block = offset / blockSize;
    return lineEndsBeforeBlock[block] +
           countLineEnds(bytes + block * blockSize, offset - block * blockSize);
}

qint64 ByteBuffer::lineEndAt(qint64 rank) const
{
    Q_ASSERT(rank >= 0 && rank < lineEndsBefore(filled));
    // The last block with at most `rank` line ends before it holds the one sought, unless that
    // block is the incomplete one at the end, which is searched all the same.
    qint64 low = 0;
    qint64 high = filled / blockSize;
    while (low < high) {
        const qint64 middle = (low + high + 1) / 2;
        if (lineEndsBeforeBlock[middle] <= rank)
            low = middle;
        else
            high = middle - 1;
    }
    return low * blockSize + findLineEnd(bytes + low * blockSize, rank - lineEndsBeforeBlock[low]);
}
