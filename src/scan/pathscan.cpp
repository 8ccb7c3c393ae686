#include "pathscan.h"

#include <bit>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The scan never looks at passes one by one. Every candidate letter at or after the first start
// begins a pass, since the positions a pass steps over are never candidates, so which positions
// begin passes follows from the bytes around each position alone:
// - the position after a candidate starts no pass unless it is a candidate itself;
// - the position after "<candidate>:" starts no pass unless it is a candidate (a backslash there
//   completes a path, which ends the stretch before that position).
// The pass counter after a stretch is then the number of pass starts in it, and the cursor a pass
// leaves at its progress step is one before the next pass's start.

namespace {

// One bit per byte for the bytes that matter to the scan, bit i for the byte at offset i.
struct ByteClasses
{
    quint64 candidate = 0;
    quint64 colon = 0;
    quint64 backslash = 0;
};

constexpr qsizetype WindowBytes = 64;
// Each window owns all but its last two bytes; those are read only to see whether a candidate
// among the owned bytes begins a path.
constexpr qsizetype OwnedBytes = WindowBytes - 2;
constexpr quint64 OwnedMask = (quint64(1) << OwnedBytes) - 1;

// Classifies 64 bytes. Candidates are exactly the bytes whose ISO-8859-1 upper case is A, C, D, E
// or F; setting bit 5 maps each of them, and nothing else, to a, c, d, e or f.
ByteClasses classify(const char *bytes)
{
    ByteClasses classes;
#if defined(__SSE2__)
    const __m128i caseBit = _mm_set1_epi8(0x20);
    const __m128i lowerA = _mm_set1_epi8('a');
    const __m128i lowerC = _mm_set1_epi8('c');
    const __m128i fromCToF = _mm_set1_epi8('f' - 'c');
    const __m128i colon = _mm_set1_epi8(':');
    const __m128i backslash = _mm_set1_epi8('\\');
    const auto bitsOf = [](__m128i lanes) {
        return static_cast<quint64>(static_cast<quint16>(_mm_movemask_epi8(lanes)));
    };
    for (int lane = 0; lane < WindowBytes / 16; ++lane) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes + 16 * lane));
        const __m128i lower = _mm_or_si128(chunk, caseBit);
        const __m128i aboveC = _mm_sub_epi8(lower, lowerC);
        const __m128i isCToF = _mm_cmpeq_epi8(_mm_min_epu8(aboveC, fromCToF), aboveC);
        const __m128i isCandidate = _mm_or_si128(_mm_cmpeq_epi8(lower, lowerA), isCToF);
        const int shift = 16 * lane;
        classes.candidate |= bitsOf(isCandidate) << shift;
        classes.colon |= bitsOf(_mm_cmpeq_epi8(chunk, colon)) << shift;
        classes.backslash |= bitsOf(_mm_cmpeq_epi8(chunk, backslash)) << shift;
    }
#else
    for (int i = 0; i < WindowBytes; ++i) {
        const char lower = static_cast<char>(bytes[i] | 0x20);
        const quint64 bit = quint64(1) << i;
        if (lower == 'a' || (lower >= 'c' && lower <= 'f'))
            classes.candidate |= bit;
        if (bytes[i] == ':')
            classes.colon |= bit;
        if (bytes[i] == '\\')
            classes.backslash |= bit;
    }
#endif
    return classes;
}

// Classifies the 64 bytes from `offset` on; bytes past the end read as zero, which like the
// empty string is neither a candidate, a colon nor a backslash.
ByteClasses classifyAt(QByteArrayView text, qsizetype offset)
{
    const char *window = text.data() + offset;
    char padded[WindowBytes] = {};
    if (text.size() - offset < WindowBytes) {
        std::memcpy(padded, window, static_cast<size_t>(text.size() - offset));
        window = padded;
    }
    return classify(window);
}

// The cursor (1-based) as a pass that starts at 0-based `offset` and finds no path leaves it at
// its progress step.
qint64 cursorAfterPass(QByteArrayView text, qsizetype offset)
{
    const ByteClasses classes = classifyAt(text, offset);
    const auto at = [](quint64 bits, int i) {
        return (bits >> i & 1) != 0;
    };
    const qint64 position = offset + 1;
    if (!at(classes.candidate, 0) || at(classes.candidate, 1))
        return position;
    if (!at(classes.colon, 1) || at(classes.candidate, 2))
        return position + 1;
    return position + 2;
}

// The 0-based index of the `rank`-th (0-based) set bit.
int nthSetBit(quint64 bits, qint64 rank)
{
    for (; rank > 0; --rank)
        bits &= bits - 1;
    return std::countr_zero(bits);
}

// The pass starts of one window, remembered so that a pass in it can be located later.
struct WindowStarts
{
    qsizetype offset = 0;
    qint64 passesBefore = 0;
    quint64 starts = 0;

    qsizetype offsetOfPass(qint64 pass) const
    {
        return offset + nthSetBit(starts, pass - passesBefore - 1);
    }
};

// A pass steps over at most two positions, so every window but the last of a stretch holds at
// least 20 passes, and the last 100 passes of a stretch lie in its last six windows.
constexpr qsizetype RecentWindows = 8;

} // namespace

PathScanStep scanForPath(QByteArrayView text, qint64 from, qint64 passes, qint64 pumpAt)
{
    Q_ASSERT(from >= 1);
    PathScanStep step{PathScanStep::Stop::EndOfText, 0, passes, std::nullopt, false};
    const qint64 pumpPass = pumpAt > passes ? pumpAt : std::numeric_limits<qint64>::max();
    WindowStarts recent[RecentWindows];
    qsizetype windows = 0;
    ByteClasses previous;
    for (qsizetype offset = from - 1; offset < text.size(); offset += OwnedBytes) {
        const ByteClasses classes = classifyAt(text, offset);
        const quint64 owned = text.size() - offset >= OwnedBytes
                                  ? OwnedMask
                                  : (quint64(1) << (text.size() - offset)) - 1;
        // The two bytes before the window are the last two the previous window owned.
        const quint64 candidateBefore =
            classes.candidate << 1 | (previous.candidate >> (OwnedBytes - 1) & 1);
        const quint64 candidateColonBefore =
            (classes.candidate << 2 | (previous.candidate >> (OwnedBytes - 2) & 3)) &
            (classes.colon << 1 | (previous.colon >> (OwnedBytes - 1) & 1));
        const quint64 skipped = ~classes.candidate & (candidateBefore | candidateColonBefore);
        const quint64 pathStarts =
            classes.candidate & classes.colon >> 1 & classes.backslash >> 2 & owned;
        quint64 starts = ~skipped & owned;
        if (pathStarts != 0)
            starts &= (quint64(1) << std::countr_zero(pathStarts)) - 1;

        const qint64 passesBefore = step.passes;
        step.passes += std::popcount(starts);
        if (step.passes >= pumpPass) {
            const int pumpBit = nthSetBit(starts, pumpPass - passesBefore - 1);
            starts &= ~quint64(0) >> (63 - pumpBit);
            step.passes = pumpPass;
            step.stop = PathScanStep::Stop::PumpPoint;
            step.position = cursorAfterPass(text, offset + pumpBit);
        } else if (pathStarts != 0) {
            step.stop = PathScanStep::Stop::Found;
            step.position = offset + std::countr_zero(pathStarts) + 3;
        }
        // The pass that finds a path reads its letter too, though it is not counted among starts.
        step.sawCandidate = step.sawCandidate || (classes.candidate & starts) != 0 ||
                            step.stop == PathScanStep::Stop::Found;
        recent[windows++ % RecentWindows] = WindowStarts{offset, passesBefore, starts};
        if (step.stop != PathScanStep::Stop::EndOfText)
            break;
        previous = classes;
    }
    const qint64 lastHundred = step.passes / 100 * 100;
    if (lastHundred > passes) {
        qsizetype window = windows - 1;
        while (recent[window % RecentWindows].passesBefore >= lastHundred)
            --window;
        step.lastProgressPosition =
            cursorAfterPass(text, recent[window % RecentWindows].offsetOfPass(lastHundred));
    }
    return step;
}
