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

constexpr qsizetype blockBytes = 64;
// Whether a path starts in the last two bytes of a block depends on the two bytes after it, so
// each block is read together with those.
constexpr qsizetype lookaheadBytes = 2;

// One bit per byte of a block for the bytes that matter to the scan, bit i for the byte at
// offset i.
struct BlockClasses
{
    quint64 candidate = 0;
    /// The candidates followed by a colon.
    quint64 candidateColon = 0;
    /// The candidates followed by a colon and a backslash: where the paths in the block start.
    quint64 pathStart = 0;
};

// Candidates are exactly the bytes whose ISO-8859-1 upper case is A, C, D, E or F; setting bit 5
// maps each of them, and nothing else, to a, c, d, e or f.
bool isCandidate(char byte)
{
    const char lower = char(byte | 0x20);
    return lower == 'a' || (lower >= 'c' && lower <= 'f');
}

// Each classifier classifies the 64 bytes at `bytes`, reading the two bytes after them too, with
// the instructions it is named after.

struct PortableClassifier
{
    BlockClasses operator()(const char *bytes) const
    {
        BlockClasses classes;
        for (int i = 0; i < blockBytes; ++i) {
            const quint64 bit = quint64(1) << i;
            const bool candidate = isCandidate(bytes[i]);
            const bool candidateColon = candidate && bytes[i + 1] == ':';
            classes.candidate |= candidate ? bit : 0;
            classes.candidateColon |= candidateColon ? bit : 0;
            classes.pathStart |= candidateColon && bytes[i + 2] == '\\' ? bit : 0;
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

    BlockClasses operator()(const char *bytes) const
    {
        const auto load = [bytes](int at) {
            return _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes + at));
        };
        const auto bitsOf = [](__m128i lanes) {
            return quint64(quint16(_mm_movemask_epi8(lanes)));
        };
        BlockClasses classes;
        for (int at = 0; at < blockBytes; at += 16) {
            const __m128i lower = _mm_or_si128(load(at), caseBit);
            const __m128i aboveC = _mm_sub_epi8(lower, lowerC);
            const __m128i isCToF = _mm_cmpeq_epi8(_mm_min_epu8(aboveC, fromCToF), aboveC);
            const __m128i candidates = _mm_or_si128(_mm_cmpeq_epi8(lower, lowerA), isCToF);
            const __m128i candidateColons =
                _mm_and_si128(candidates, _mm_cmpeq_epi8(load(at + 1), colon));
            const __m128i pathStarts =
                _mm_and_si128(candidateColons, _mm_cmpeq_epi8(load(at + 2), backslash));
            classes.candidate |= bitsOf(candidates) << at;
            classes.candidateColon |= bitsOf(candidateColons) << at;
            classes.pathStart |= bitsOf(pathStarts) << at;
        }
        return classes;
    }
};
#endif

#if defined(__x86_64__)
struct Avx2Classifier
{
    // Paths are rare: their starts are gathered into bits only when the block holds one.
    __attribute__((target("avx2"))) BlockClasses operator()(const char *bytes) const
    {
        const Part low = part(bytes);
        const Part high = part(bytes + 32);
        const __m256i pathStarts = _mm256_or_si256(low.pathStarts, high.pathStarts);
        return {bitsOf(low.candidates) | bitsOf(high.candidates) << 32,
                bitsOf(low.candidateColons) | bitsOf(high.candidateColons) << 32,
                _mm256_testz_si256(pathStarts, pathStarts)
                    ? 0
                    : bitsOf(low.pathStarts) | bitsOf(high.pathStarts) << 32};
    }

    struct Part
    {
        __m256i candidates;
        __m256i candidateColons;
        __m256i pathStarts;
    };

    // Adding 0x80 - 'a' moves a to f to the six lowest signed bytes.
    __attribute__((target("avx2"))) static Part part(const char *bytes)
    {
        const __m256i lower = _mm256_or_si256(load(bytes), _mm256_set1_epi8(0x20));
        const __m256i aToF =
            _mm256_cmpgt_epi8(_mm256_set1_epi8(char(0x80 + 'f' - 'a' + 1)),
                              _mm256_add_epi8(lower, _mm256_set1_epi8(char(0x80 - 'a'))));
        const __m256i candidates =
            _mm256_andnot_si256(_mm256_cmpeq_epi8(lower, _mm256_set1_epi8('b')), aToF);
        const __m256i candidateColons =
            _mm256_and_si256(candidates, _mm256_cmpeq_epi8(load(bytes + 1), _mm256_set1_epi8(':')));
        return {candidates, candidateColons,
                _mm256_and_si256(candidateColons,
                                 _mm256_cmpeq_epi8(load(bytes + 2), _mm256_set1_epi8('\\')))};
    }

    __attribute__((target("avx2"))) static __m256i load(const char *bytes)
    {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(bytes));
    }

    __attribute__((target("avx2"))) static quint64 bitsOf(__m256i lanes)
    {
        return quint32(_mm256_movemask_epi8(lanes));
    }
};

struct Avx512Classifier
{
    // Each class is a comparison under the mask of the one before.
    __attribute__((target("avx512bw"))) BlockClasses operator()(const char *bytes) const
    {
        const __m512i lower = _mm512_or_si512(_mm512_loadu_si512(bytes), _mm512_set1_epi8(0x20));
        const __mmask64 aToF = _mm512_cmple_epu8_mask(_mm512_sub_epi8(lower, _mm512_set1_epi8('a')),
                                                      _mm512_set1_epi8('f' - 'a'));
        const __mmask64 candidates =
            _mm512_mask_cmpneq_epi8_mask(aToF, lower, _mm512_set1_epi8('b'));
        const __mmask64 candidateColons = _mm512_mask_cmpeq_epi8_mask(
            candidates, _mm512_loadu_si512(bytes + 1), _mm512_set1_epi8(':'));
        const __mmask64 pathStarts = _mm512_mask_cmpeq_epi8_mask(
            candidateColons, _mm512_loadu_si512(bytes + 2), _mm512_set1_epi8('\\'));
        return {candidates, candidateColons, pathStarts};
    }
};
#endif

// Reads a text from an offset on as consecutive blocks of 64 bytes, each followed by the two
// bytes after it. Runs of blocks that lie in one span together with those two bytes are read
// where they lie; the others are gathered into a buffer, filled up with zero bytes past the end,
// which like the empty string are neither a candidate, a colon nor a backslash.
class Blocks
{
public:
    Blocks(const Text &text, qint64 from)
        : spans(text, from)
    {
    }

    /// The first of the next blocks that lie where they are, `count` of them, consecutive.
    const char *inPlace(qsizetype &count)
    {
        count = kept == 0 && end - at >= blockBytes + lookaheadBytes
                    ? (end - at - lookaheadBytes) / blockBytes
                    : 0;
        const char *first = at;
        at += count * blockBytes;
        return first;
    }

    /// The next block, gathered; `count` of its bytes lie in the text: all but in the last
    /// block, none past it.
    const char *gathered(qsizetype &count)
    {
        std::memcpy(buffer, keptBytes, size_t(kept));
        qsizetype filled = kept;
        qsizetype fromSpan = 0;
        for (;;) {
            const qsizetype taken = std::min<qsizetype>(end - at, sizeof buffer - filled);
            if (taken > 0)
                std::memcpy(buffer + filled, at, size_t(taken));
            filled += taken;
            fromSpan = taken;
            at += taken;
            if (filled == sizeof buffer)
                break;
            const QByteArrayView span = spans.next();
            if (span.isEmpty())
                break;
            at = span.data();
            end = at + span.size();
        }
        std::memset(buffer + filled, 0, sizeof buffer - size_t(filled));
        count = std::min(filled, blockBytes);
        // The bytes after the block begin the next one: those of the span being read are read
        // again from there, the others are kept.
        const qsizetype after = filled - count;
        const qsizetype again = std::min(after, fromSpan);
        at -= again;
        kept = after - again;
        std::memcpy(keptBytes, buffer + count, size_t(kept));
        return buffer;
    }

private:
    TextSpans spans;
    const char *at = nullptr;
    const char *end = nullptr;
    // The first bytes of the next block, where they came from spans already left.
    char keptBytes[lookaheadBytes];
    qsizetype kept = 0;
    char buffer[blockBytes + lookaheadBytes];
};

// The 0-based index of the `rank`-th (0-based) set bit.
int nthSetBit(quint64 bits, qint64 rank)
{
    for (; rank > 0; --rank)
        bits &= bits - 1;
    return std::countr_zero(bits);
}

// A pass steps over at most two positions, so every block but the last of a stretch holds at
// least 21 passes, and the last 100 passes of a stretch lie in its last six blocks. Their pass
// starts follow from their classes and those of the block before them; the cursor a pass at
// their ends leaves, from the candidates of the block after them.
constexpr quint64 recentBlocks = 8;

// The passes of one stretch, counted block by block. In most blocks the stretch cannot stop: no
// path starts there, the pump pass is more than a block's passes away and the text goes on. Those
// are skimmed: only the positions they skip are counted, since every other position starts a
// pass, and whether they hold a candidate. The blocks where the stretch may stop are looked at
// pass by pass. Between blocks the counter holds the passes before the next block, the classes of
// the block before it, whose last candidates and colons make its first positions skipped, and
// those of the last blocks counted with the positions skipped before each, for the progress
// caption at the stretch's end.
class PassCounter
{
public:
    PassCounter(qint64 start, qint64 passes, qint64 pumpAt)
        : start(start)
        , passesAtStart(passes)
        , pumpPass(pumpAt > passes ? pumpAt : std::numeric_limits<qint64>::max())
        , counted(passes)
    {
    }

    /// Counts the passes of consecutive blocks from `block` on, up to `end` and classified by
    /// `classify`, as long as the stretch surely does not stop in them; the first block not
    /// counted.
    template <typename Classifier>
    const char *skim(const Classifier &classify, const char *block, const char *end)
    {
        // A block holds at most 64 passes, so the pump pass lies beyond the first `safeBlocks`.
        const qint64 safeBlocks =
            std::min<qint64>((end - block) / blockBytes, (pumpPass - 1 - counted) / blockBytes);
        // Blocks are skimmed in pairs, so that the loop branches once for two; a block left over
        // is looked at pass by pass.
        const char *const safeEnd = block + safeBlocks / 2 * 2 * blockBytes;
        const char *const first = block;
        // Every position of a skimmed block starts a pass unless it is skipped. Copies that
        // stay in registers, since the counter itself is seen by the out-of-line step.
        const qint64 skippedAtFirst = skippedBeforeBlock(blocks);
        qint64 skippedBefore = skippedAtFirst;
        BlockClasses last = previous;
        for (; block != safeEnd; block += 2 * blockBytes) {
            // The processor's own prefetching brings blocks from memory too late for this loop.
            // Asking for a line never faults, even past the text; its address is reckoned as a
            // number, since no pointer may point there.
            for (const quintptr ahead : {4 * blockBytes, 5 * blockBytes})
                __builtin_prefetch(reinterpret_cast<const char *>(quintptr(block) + ahead));
            const BlockClasses one = classify(block);
            const BlockClasses two = classify(block + blockBytes);
            if ((one.pathStart | two.pathStart) != 0)
                break;
            skippedBefore += std::popcount(skipped(one, last)) + std::popcount(skipped(two, one));
            last = two;
        }
        // Each candidate of the skimmed blocks but their last byte is followed by another or by
        // a position it makes skipped, and each skipped position follows a candidate of the
        // stretch: so a candidate was read by now when they skip a position or end in one, and
        // was not read in them otherwise.
        if (skippedBefore != skippedAtFirst || last.candidate >> 63)
            candidatesRead = 1;
        const BlockClasses beforeFirst = previous;
        const quint64 firstBlock = blocks;
        blocks += quint64(block - first) / blockBytes;
        counted = passesBeforeBlock(blocks, skippedBefore);
        previous = last;
        // The loop records no block, so that it stays small. With the next block, where the
        // stretch may stop, the last six it counted hold the last 100 passes and the block
        // before them: those are classified again and recorded, from the last back.
        BlockClasses classes = last;
        for (quint64 number = blocks; number > firstBlock && blocks - number < 6;) {
            --number;
            const BlockClasses before =
                number > firstBlock ? classify(first + (number - firstBlock - 1) * blockBytes)
                                    : beforeFirst;
            skippedBefore -= std::popcount(skipped(classes, before));
            record(number, classes, skippedBefore);
            classes = before;
        }
        return block;
    }

    /// Counts the passes of the next block pass by pass: it is classified as `classes` and its
    /// bytes lie at `bytes`, followed by the two after them, `count` of them in the text; true
    /// when the stretch stops in it.
    // Out of line: it runs for a few blocks of a stretch, and the skimming loop stays small
    // without it.
    __attribute__((noinline)) bool stopsIn(const BlockClasses &classes, const char *bytes,
                                           qsizetype count)
    {
        const quint64 owned = count == blockBytes ? ~quint64(0) : (quint64(1) << count) - 1;
        const quint64 pathStart = classes.pathStart;
        // Only the passes before the one that finds a path are counted.
        const quint64 starts = ~skipped(classes, previous) & owned & ((pathStart & -pathStart) - 1);
        record(blocks, classes, skippedBeforeBlock(blocks));
        ++blocks;
        const qint64 passesBefore = counted;
        counted += std::popcount(starts);
        if (counted >= pumpPass) {
            const int pumpBit = nthSetBit(starts, pumpPass - passesBefore - 1);
            candidatesRead |= classes.candidate & ~quint64(0) >> (63 - pumpBit);
            counted = pumpPass;
            stop = PathScanStep::Stop::PumpPoint;
        } else if (pathStart != 0) {
            // The pass that finds the path reads its letter too.
            candidatesRead = 1;
            stop = PathScanStep::Stop::Found;
            foundAt = offsetOf(blocks - 1) + std::countr_zero(pathStart) + 3;
        } else {
            candidatesRead |= classes.candidate;
            previous = classes;
            return false;
        }
        recent[blocks % recentBlocks].classes.candidate =
            quint64(isCandidate(bytes[blockBytes])) | quint64(isCandidate(bytes[blockBytes + 1]))
                                                          << 1;
        return true;
    }

    /// The stretch as it stopped in the block stopsIn() last told of.
    PathScanStep stopped() const { return finished(stop); }
    /// The stretch once every block was counted.
    PathScanStep endOfText()
    {
        recent[blocks % recentBlocks].classes.candidate = 0;
        return finished(PathScanStep::Stop::EndOfText);
    }

private:
    struct RecentBlock
    {
        BlockClasses classes;
        qint64 skippedBefore = 0;
    };

    // The positions of a block that the passes before them step over: those that are no
    // candidate and follow a candidate, or a candidate and a colon.
    static quint64 skipped(const BlockClasses &block, const BlockClasses &before)
    {
        return ~block.candidate & (shiftedUp(block.candidate, before.candidate, 1) |
                                   shiftedUp(block.candidateColon, before.candidateColon, 2));
    }
    // The bits of a block moved up by `shift`, those of the block before it moving in.
    static quint64 shiftedUp(quint64 bits, quint64 before, int shift)
    {
        return bits << shift | before >> (64 - shift);
    }

    void record(quint64 block, const BlockClasses &classes, qint64 skippedBefore)
    {
        recent[block % recentBlocks] = {classes, skippedBefore};
    }

    qint64 offsetOf(quint64 block) const { return start + qint64(block) * blockBytes; }
    // Each position before a block starts a pass or is skipped; `counted` holds the passes
    // before block number `blocks`.
    qint64 passesBeforeBlock(quint64 block, qint64 skippedBefore) const
    {
        return passesAtStart + qint64(block) * blockBytes - skippedBefore;
    }
    qint64 skippedBeforeBlock(quint64 block) const
    {
        return passesAtStart + qint64(block) * blockBytes - counted;
    }

    PathScanStep finished(PathScanStep::Stop how) const
    {
        PathScanStep step{how, 0, counted, std::nullopt, candidatesRead != 0};
        const qint64 lastHundred = counted / 100 * 100;
        if (lastHundred > passesAtStart)
            step.lastProgressPosition = cursorAfterPass(lastHundred);
        if (how == PathScanStep::Stop::PumpPoint)
            step.position = *step.lastProgressPosition;
        else if (how == PathScanStep::Stop::Found)
            step.position = foundAt;
        return step;
    }

    /// The 1-based cursor that the pass numbered `pass`, in one of the recent blocks, leaves at
    /// its progress step.
    qint64 cursorAfterPass(qint64 pass) const
    {
        const auto passesBefore = [this](quint64 block) {
            return passesBeforeBlock(block, recent[block % recentBlocks].skippedBefore);
        };
        quint64 block = blocks - 1;
        while (passesBefore(block) >= pass)
            --block;
        const BlockClasses &at = recent[block % recentBlocks].classes;
        const BlockClasses before =
            block > 0 ? recent[(block - 1) % recentBlocks].classes : BlockClasses();
        const quint64 after = recent[(block + 1) % recentBlocks].classes.candidate;
        const int index = nthSetBit(~skipped(at, before), pass - passesBefore(block) - 1);
        const auto candidateAt = [&](int i) {
            return (i < blockBytes ? at.candidate >> i : after >> (i - blockBytes)) & 1;
        };
        const qint64 passStart = offsetOf(block) + index + 1;
        if (!candidateAt(index) || candidateAt(index + 1))
            return passStart;
        if (!(at.candidateColon >> index & 1) || candidateAt(index + 2))
            return passStart + 1;
        return passStart + 2;
    }

    const qint64 start;
    const qint64 passesAtStart;
    const qint64 pumpPass;
    qint64 counted;
    quint64 candidatesRead = 0;
    // The classes of the block before block number `blocks`.
    BlockClasses previous;
    quint64 blocks = 0;
    // The last blocks recorded, block n at n % 8.
    RecentBlock recent[recentBlocks];
    PathScanStep::Stop stop = PathScanStep::Stop::EndOfText;
    qint64 foundAt = 0;
};

// The scan with the given classifier.
template <typename Classifier>
inline PathScanStep scanWith(const Text &text, qint64 from, qint64 passes, qint64 pumpAt)
{
    Q_ASSERT(from >= 1);
    const Classifier classify;
    PassCounter counter(from - 1, passes, pumpAt);
    Blocks reader(text, from - 1);
    for (;;) {
        // Blocks that lie in one span are classified where they lie.
        qsizetype run = 0;
        const char *block = reader.inPlace(run);
        for (const char *const end = block + run * blockBytes; block != end; block += blockBytes) {
            block = counter.skim(classify, block, end);
            if (block == end)
                break;
            if (counter.stopsIn(classify(block), block, blockBytes))
                return counter.stopped();
        }
        qsizetype count = 0;
        block = reader.gathered(count);
        if (count == 0)
            return counter.endOfText();
        if (counter.stopsIn(classify(block), block, count))
            return counter.stopped();
    }
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
__attribute__((target("avx2,popcnt,bmi"), flatten)) PathScanStep
scanAvx2(const Text &text, qint64 from, qint64 passes, qint64 pumpAt)
{
    return scanWith<Avx2Classifier>(text, from, passes, pumpAt);
}

__attribute__((target("avx512bw,popcnt,bmi"), flatten)) PathScanStep
scanAvx512(const Text &text, qint64 from, qint64 passes, qint64 pumpAt)
{
    return scanWith<Avx512Classifier>(text, from, passes, pumpAt);
}
#endif

} // namespace

QList<PathScanImplementation> pathScanImplementations()
{
    QList<PathScanImplementation> implementations;
#if defined(__x86_64__)
    if (__builtin_cpu_supports("popcnt") && __builtin_cpu_supports("bmi")) {
        if (__builtin_cpu_supports("avx512bw"))
            implementations.append({"AVX-512", scanAvx512});
        if (__builtin_cpu_supports("avx2"))
            implementations.append({"AVX2", scanAvx2});
    }
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
