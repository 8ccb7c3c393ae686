#include "pathscan.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#endif

// The scan never looks at passes one by one. Every candidate letter at or after the first start
// begins a pass, since the positions a pass steps over are never candidates, so which positions
// begin passes follows from the bytes around each position alone:
// - the position after a candidate starts no pass unless it is a candidate itself;
// - the position after "<candidate>:" starts no pass unless it is a candidate (a backslash there
//   completes a path, which ends the stretch before that position).
// The pass counter after a stretch is then the number of pass starts in it, and the cursor a pass
// leaves at its progress step follows from the two bytes after its start.

namespace {

// One bit per byte for the bytes that matter to the scan, bit i for the byte at offset i.
struct ByteClasses
{
    quint64 candidate = 0;
    quint64 colon = 0;
    quint64 backslash = 0;
};

constexpr qsizetype blockBytes = 64;

// Candidates are exactly the bytes whose ISO-8859-1 upper case is A, C, D, E or F; setting bit 5
// maps each of them, and nothing else, to a, c, d, e or f.
bool isCandidate(char byte)
{
    const char lower = char(byte | 0x20);
    return lower == 'a' || (lower >= 'c' && lower <= 'f');
}

// Each classifier classifies 64 bytes at a time with the instructions it is named after.

struct PortableClassifier
{
    ByteClasses operator()(const char *bytes) const
    {
        ByteClasses classes;
        for (int i = 0; i < blockBytes; ++i) {
            const quint64 bit = quint64(1) << i;
            classes.candidate |= isCandidate(bytes[i]) ? bit : 0;
            classes.colon |= bytes[i] == ':' ? bit : 0;
            classes.backslash |= bytes[i] == '\\' ? bit : 0;
        }
        return classes;
    }
};

#if defined(__SSE2__)
struct Sse2Classifier
{
    const __m128i caseBit = _mm_set1_epi8(0x20);
    const __m128i lowerA = _mm_set1_epi8('a');
    const __m128i lowerC = _mm_set1_epi8('c');
    const __m128i fromCToF = _mm_set1_epi8('f' - 'c');
    const __m128i colon = _mm_set1_epi8(':');
    const __m128i backslash = _mm_set1_epi8('\\');

    ByteClasses operator()(const char *bytes) const
    {
        const auto bitsOf = [](__m128i lanes) {
            return quint64(quint16(_mm_movemask_epi8(lanes)));
        };
        ByteClasses classes;
        for (int lane = 0; lane < blockBytes / 16; ++lane) {
            const __m128i chunk =
                _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes + 16 * lane));
            const __m128i lower = _mm_or_si128(chunk, caseBit);
            const __m128i aboveC = _mm_sub_epi8(lower, lowerC);
            const __m128i isCToF = _mm_cmpeq_epi8(_mm_min_epu8(aboveC, fromCToF), aboveC);
            const __m128i candidates = _mm_or_si128(_mm_cmpeq_epi8(lower, lowerA), isCToF);
            const int shift = 16 * lane;
            classes.candidate |= bitsOf(candidates) << shift;
            classes.colon |= bitsOf(_mm_cmpeq_epi8(chunk, colon)) << shift;
            classes.backslash |= bitsOf(_mm_cmpeq_epi8(chunk, backslash)) << shift;
        }
        return classes;
    }
};
#endif

#if defined(__x86_64__)
struct Avx2Classifier
{
    __m256i caseBit;
    __m256i lowerA;
    __m256i lowerC;
    __m256i fromCToF;
    __m256i colon;
    __m256i backslash;

    __attribute__((target("avx2"))) Avx2Classifier()
        : caseBit(_mm256_set1_epi8(0x20))
        , lowerA(_mm256_set1_epi8('a'))
        , lowerC(_mm256_set1_epi8('c'))
        , fromCToF(_mm256_set1_epi8('f' - 'c'))
        , colon(_mm256_set1_epi8(':'))
        , backslash(_mm256_set1_epi8('\\'))
    {
    }

    __attribute__((target("avx2"))) ByteClasses operator()(const char *bytes) const
    {
        const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(bytes));
        const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(bytes + 32));
        return {bitsOf(candidates(low)) | bitsOf(candidates(high)) << 32,
                bitsOf(_mm256_cmpeq_epi8(low, colon)) | bitsOf(_mm256_cmpeq_epi8(high, colon))
                                                            << 32,
                bitsOf(_mm256_cmpeq_epi8(low, backslash)) |
                    bitsOf(_mm256_cmpeq_epi8(high, backslash)) << 32};
    }

    __attribute__((target("avx2"))) __m256i candidates(__m256i chunk) const
    {
        const __m256i lower = _mm256_or_si256(chunk, caseBit);
        const __m256i aboveC = _mm256_sub_epi8(lower, lowerC);
        const __m256i isCToF = _mm256_cmpeq_epi8(_mm256_min_epu8(aboveC, fromCToF), aboveC);
        return _mm256_or_si256(_mm256_cmpeq_epi8(lower, lowerA), isCToF);
    }

    __attribute__((target("avx2"))) static quint64 bitsOf(__m256i lanes)
    {
        return quint32(_mm256_movemask_epi8(lanes));
    }
};
#endif

// Reads a text from an offset on as consecutive blocks of 64 bytes. A block that lies in one
// span is read where it lies; one that straddles spans or the end of the text is gathered into
// a buffer, filled up with zero bytes past the end, which like the empty string are neither a
// candidate, a colon nor a backslash.
class Blocks
{
public:
    Blocks(const Text &text, qint64 from)
        : spans(text, from)
    {
    }

    /// The next block if it lies in one span, where it lies; nullptr otherwise.
    const char *nextInPlace()
    {
        if (end - at < blockBytes)
            return nullptr;
        const char *block = at;
        at += blockBytes;
        return block;
    }

    /// The next block; `count` of its bytes lie in the text, all but in the last one.
    const char *next(qsizetype &count)
    {
        if (const char *block = nextInPlace()) {
            count = blockBytes;
            return block;
        }
        return gather(count);
    }

private:
    // Out of line: it runs at most twice a span, and the scan's loop stays small without it.
    __attribute__((noinline)) const char *gather(qsizetype &count)
    {
        count = 0;
        for (;;) {
            if (at == end) {
                const QByteArrayView span = spans.next();
                if (span.isEmpty())
                    break;
                at = span.data();
                end = at + span.size();
                // A block at the start of a long enough span is read where it lies.
                if (count == 0 && end - at >= blockBytes)
                    return next(count);
            }
            const qsizetype taken = std::min<qsizetype>(end - at, blockBytes - count);
            std::memcpy(gathered + count, at, size_t(taken));
            count += taken;
            at += taken;
            if (count == blockBytes)
                return gathered;
        }
        std::memset(gathered + count, 0, size_t(blockBytes - count));
        return gathered;
    }

    TextSpans spans;
    const char *at = nullptr;
    const char *end = nullptr;
    char gathered[blockBytes];
};

// The 0-based index of the `rank`-th (0-based) set bit.
int nthSetBit(quint64 bits, qint64 rank)
{
    for (; rank > 0; --rank)
        bits &= bits - 1;
    return std::countr_zero(bits);
}

// The pass starts of one block, remembered with the bytes' classes so that a pass in it can be
// found later and the cursor it leaves told without reading the text again.
struct BlockStarts
{
    qint64 offset = 0;
    qint64 passesBefore = 0;
    quint64 starts = 0;
    quint64 candidate = 0;
    quint64 colon = 0;
    // The first two bits of the next block's candidates and colons.
    quint64 candidateAfter = 0;
    quint64 colonAfter = 0;

    /// The 0-based index in this block of the pass numbered `pass`, which starts in it.
    int indexOf(qint64 pass) const { return nthSetBit(starts, pass - passesBefore - 1); }

    /// The 1-based cursor that the pass starting at `index` leaves at its progress step.
    qint64 cursorAfterPass(int index) const
    {
        const auto candidateAt = [this](int at) {
            return (at < 64 ? candidate >> at : candidateAfter >> (at - 64)) & 1;
        };
        const auto colonAt = [this](int at) {
            return (at < 64 ? colon >> at : colonAfter >> (at - 64)) & 1;
        };
        const qint64 start = offset + index;
        if (!candidateAt(index) || candidateAt(index + 1))
            return start + 1;
        if (!colonAt(index + 1) || candidateAt(index + 2))
            return start + 2;
        return start + 3;
    }
};

// A pass steps over at most two positions, so every block but the last of a stretch holds at
// least 21 passes, and the last 100 passes of a stretch lie in its last six blocks.
constexpr quint64 recentBlocks = 8;

// The scan with the given classifier. Each block is classified before the one before it is
// done, since whether a pass there finds a path depends on the two bytes after it.
template <typename Classifier>
inline PathScanStep scanWith(const Text &text, qint64 from, qint64 passes, qint64 pumpAt)
{
    Q_ASSERT(from >= 1);
    const Classifier classify;
    const qint64 pumpPass = pumpAt > passes ? pumpAt : std::numeric_limits<qint64>::max();
    BlockStarts recent[recentBlocks];
    quint64 blocks = 0;
    quint64 candidatesRead = 0;
    qint64 counted = passes;
    PathScanStep step{PathScanStep::Stop::EndOfText, 0, passes, std::nullopt, false};
    Blocks reader(text, from - 1);
    qint64 offset = from - 1;
    qsizetype count = 0;
    ByteClasses previous;
    ByteClasses current = classify(reader.next(count));

    // Does the current block, which `next` follows with `nextCount` bytes, and moves on to
    // that; true when the stretch stops in the current block.
    const auto stopsInBlock = [&](const ByteClasses &next, qsizetype nextCount) {
        const quint64 owned = count == blockBytes ? ~quint64(0) : (quint64(1) << count) - 1;
        const quint64 candidate = current.candidate;
        const quint64 candidateBefore = candidate << 1 | previous.candidate >> 63;
        const quint64 candidateColonBefore = (candidate << 2 | previous.candidate >> 62) &
                                             (current.colon << 1 | previous.colon >> 63);
        const quint64 colonAfter = current.colon >> 1 | next.colon << 63;
        const quint64 backslashTwoAfter = current.backslash >> 2 | next.backslash << 62;
        const quint64 skipped = ~candidate & (candidateBefore | candidateColonBefore);
        const quint64 pathStarts = candidate & colonAfter & backslashTwoAfter & owned;
        // Only the passes before the one that finds a path are counted.
        quint64 starts = ~skipped & owned & ((pathStarts & -pathStarts) - 1);
        const qint64 passesBefore = counted;
        counted += std::popcount(starts);
        recent[blocks++ % recentBlocks] = {.offset = offset,
                                           .passesBefore = passesBefore,
                                           .starts = starts,
                                           .candidate = candidate,
                                           .colon = current.colon,
                                           .candidateAfter = next.candidate & 3,
                                           .colonAfter = next.colon & 1};
        if (counted >= pumpPass) [[unlikely]] {
            const int pumpBit = nthSetBit(starts, pumpPass - passesBefore - 1);
            starts &= ~quint64(0) >> (63 - pumpBit);
            candidatesRead |= candidate & starts;
            counted = pumpPass;
            step.stop = PathScanStep::Stop::PumpPoint;
            step.position = recent[(blocks - 1) % recentBlocks].cursorAfterPass(pumpBit);
            return true;
        }
        if (pathStarts != 0) [[unlikely]] {
            step.stop = PathScanStep::Stop::Found;
            step.position = offset + std::countr_zero(pathStarts) + 3;
            // The pass that finds the path reads its letter too.
            candidatesRead = 1;
            return true;
        }
        candidatesRead |= candidate & starts;
        previous = current;
        current = next;
        count = nextCount;
        offset += blockBytes;
        return false;
    };

    bool stopped = false;
    while (!stopped && count > 0) {
        // Blocks that lie in one span are classified where they lie, in a loop that calls
        // nothing, so that the classifier's constants stay in registers.
        while (!stopped && count == blockBytes) {
            const char *block = reader.nextInPlace();
            if (!block)
                break;
            stopped = stopsInBlock(classify(block), blockBytes);
        }
        if (!stopped && count > 0) {
            qsizetype nextCount = 0;
            const ByteClasses next = classify(reader.next(nextCount));
            stopped = stopsInBlock(next, nextCount);
        }
    }
    step.passes = counted;
    step.sawCandidate = candidatesRead != 0;
    const qint64 lastHundred = counted / 100 * 100;
    if (lastHundred > passes) {
        quint64 block = blocks - 1;
        while (recent[block % recentBlocks].passesBefore >= lastHundred)
            --block;
        const BlockStarts &last = recent[block % recentBlocks];
        step.lastProgressPosition = last.cursorAfterPass(last.indexOf(lastHundred));
    }
    return step;
}

// Each implementation is flattened, so that its whole loop is compiled with the classifier
// inlined into it, for the instructions it is named after.
__attribute__((flatten)) PathScanStep scanPortable(const Text &text, qint64 from, qint64 passes,
                                                   qint64 pumpAt)
{
    return scanWith<PortableClassifier>(text, from, passes, pumpAt);
}

#if defined(__SSE2__)
__attribute__((flatten)) PathScanStep scanSse2(const Text &text, qint64 from, qint64 passes,
                                               qint64 pumpAt)
{
    return scanWith<Sse2Classifier>(text, from, passes, pumpAt);
}
#endif

#if defined(__x86_64__)
__attribute__((target("avx2"), flatten)) PathScanStep scanAvx2(const Text &text, qint64 from,
                                                               qint64 passes, qint64 pumpAt)
{
    return scanWith<Avx2Classifier>(text, from, passes, pumpAt);
}
#endif

} // namespace

QList<PathScanImplementation> pathScanImplementations()
{
    QList<PathScanImplementation> implementations;
#if defined(__x86_64__)
    if (__builtin_cpu_supports("avx2"))
        implementations.append({"AVX2", scanAvx2});
#endif
#if defined(__SSE2__)
    implementations.append({"SSE2", scanSse2});
#endif
    implementations.append({"portable", scanPortable});
    return implementations;
}

PathScanStep scanForPath(const Text &text, qint64 from, qint64 passes, qint64 pumpAt)
{
    static const auto fastest = pathScanImplementations().constFirst().scan;
    return fastest(text, from, passes, pumpAt);
}

qint64 pathPosAfter(const PathScanStep &step)
{
    return step.stop == PathScanStep::Stop::EndOfText ? 0 : step.position;
}

qint64 nextPathPass(qint64 pathPos, bool afterPump)
{
    return afterPump ? pathPos + 1 : std::max<qint64>(pathPos, 1);
}
