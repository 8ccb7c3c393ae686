#include "textsearch.h"

#include <QChar>
#include <QHash>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string_view>
#include <tuple>
#include <utility>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

// The case classes of the 256 bytes, derived from QChar::toUpper so that matching bytes agrees
// with comparing characters upper-cased one by one. A class is one byte, with the mask 0, or a
// byte and its capital, which differ in bit 5 alone, that bit being the mask; its value is any
// of its bytes ORed with the mask.
struct CaseClasses
{
    std::array<uchar, 256> valueOf;
    std::array<uchar, 256> maskOf;
    QHash<char16_t, uchar> valueOfUpper;
};

const CaseClasses &caseClasses()
{
    static const CaseClasses classes = [] {
        CaseClasses built;
        QHash<char16_t, uchar> firstOfUpper;
        built.maskOf.fill(0);
        for (int byte = 0; byte < 256; ++byte) {
            const char16_t upper = QChar(char16_t(byte)).toUpper().unicode();
            const auto first = firstOfUpper.constFind(upper);
            if (first == firstOfUpper.cend()) {
                firstOfUpper.insert(upper, uchar(byte));
                continue;
            }
            const uchar mask = uchar(*first ^ byte);
            Q_ASSERT(std::has_single_bit(mask) && built.maskOf[*first] == 0);
            built.maskOf[*first] = built.maskOf[byte] = mask;
        }
        for (int byte = 0; byte < 256; ++byte)
            built.valueOf[byte] = uchar(byte | built.maskOf[byte]);
        for (auto it = firstOfUpper.cbegin(); it != firstOfUpper.cend(); ++it)
            built.valueOfUpper.insert(it.key(), built.valueOf[it.value()]);
        return built;
    }();
    return classes;
}

// How many of the pattern's characters the bytes at `bytes` match before the first that differs.
qsizetype matchingPrefix(const char *bytes, const SearchPattern &pattern)
{
    const char *values = pattern.values.constData();
    const char *masks = pattern.masks.constData();
    const qsizetype length = pattern.values.size();
    qsizetype index = 0;
    for (; index + 8 <= length; index += 8) {
        const quint64 difference = (qFromLittleEndian<quint64>(bytes + index) |
                                    qFromLittleEndian<quint64>(masks + index)) ^
                                   qFromLittleEndian<quint64>(values + index);
        if (difference != 0)
            return index + std::countr_zero(difference) / 8;
    }
    while (index < length && (bytes[index] | masks[index]) == values[index])
        ++index;
    return index;
}

// Knuth-Morris-Pratt over the text's bytes as they come, span after span: linear whatever the
// text and the pattern.
class LinearSearch
{
public:
    explicit LinearSearch(const SearchPattern &pattern)
        : pattern(pattern)
    {
    }

    /// Forgets the bytes read so far: matches start at the next byte read or later.
    void restart() { matched = 0; }

    /// Reads `bytes`, which lie at text index `at` on; the text index where the first match
    /// completed in them starts, or -1.
    qint64 read(QByteArrayView bytes, qint64 at)
    {
        const std::array<uchar, 256> &valueOf = caseClasses().valueOf;
        const QByteArray &values = pattern.values;
        const qsizetype length = values.size();
        for (qsizetype i = 0; i < bytes.size(); ++i) {
            const char value = char(valueOf[uchar(bytes[i])]);
            while (matched > 0 && value != values[matched])
                matched = pattern.borders[matched - 1];
            if (value == values[matched] && ++matched == length)
                return at + i + 1 - length;
        }
        return -1;
    }

private:
    const SearchPattern &pattern;
    qsizetype matched = 0;
};

// How common each byte is in the files people search, as a rank (higher is more common): zero
// bytes and 0xFF fill much of a binary, spaces and lower-case letters much of a text, then line
// ends, digits, capitals and punctuation; other control bytes and bytes above 0x7F are rarest.
constexpr std::array<uchar, 256> byteCommonness = [] {
    std::array<uchar, 256> commonness{};
    for (int byte = 0; byte < 256; ++byte)
        commonness[byte] = byte >= 0x20 && byte < 0x7f ? 40 : 20;
    constexpr std::string_view byUse = "etaoinshrdlcumwfgypbvkjxqz";
    for (size_t i = 0; i < byUse.size(); ++i) {
        commonness[uchar(byUse[i])] = uchar(180 - 4 * i);
        commonness[uchar(byUse[i] - 'a' + 'A')] = uchar(80 - 2 * i);
    }
    for (char digit = '0'; digit <= '9'; ++digit)
        commonness[uchar(digit)] = 60;
    commonness['\n'] = 70;
    commonness[' '] = 220;
    commonness[0xff] = 230;
    commonness[0] = 255;
    return commonness;
}();

constexpr int probeCount = 3;

// A character of the pattern at `offset`, which every position where the pattern starts shows
// too: there, byte b shows it when (b | mask) == value.
struct Probe
{
    qsizetype offset;
    uchar mask;
    uchar value;
};
using Probes = std::array<Probe, probeCount>;

// The characters of the pattern that are tested first at every position. Each is the rarest of
// those left, preferring a value not chosen yet, so that a long run of one byte, as binaries
// have, passes none, then one far from those chosen, since neighbouring characters of a text
// come together more often than apart. A pattern shorter than the probes tests its first
// choice more than once.
Probes chooseProbes(const SearchPattern &pattern)
{
    const qsizetype length = pattern.values.size();
    Probes probes;
    for (int chosen = 0; chosen < probeCount; ++chosen) {
        const auto before = std::span(probes).first(chosen);
        // Lower is better; 0 as the last member for offsets already chosen.
        const auto cost = [&](qsizetype i) {
            const uchar value = uchar(pattern.values[i]);
            const uchar other = uchar(value & ~uchar(pattern.masks[i]));
            qsizetype nearest = length;
            for (const Probe &probe : before)
                nearest = std::min(nearest, std::abs(probe.offset - i));
            return std::tuple(
                nearest == 0,
                std::ranges::any_of(before,
                                    [value](const Probe &probe) { return probe.value == value; }),
                std::max(byteCommonness[value], byteCommonness[other]), -nearest);
        };
        qsizetype best = 0;
        for (qsizetype i = 1; i < length; ++i) {
            if (cost(i) < cost(best))
                best = i;
        }
        if (std::get<0>(cost(best)))
            best = probes[0].offset;
        probes[chosen] = {best, uchar(pattern.masks[best]), uchar(pattern.values[best])};
    }
    return probes;
}

// Each filter tests the probes at consecutive positions, `width` of them at once, with the
// instructions it is named after: candidates(from) has bit i set when all probes show at the
// position i after `from`, whose bytes, with the pattern's length after them, lie in the span.
// A filter reads best from `from` on where startsWell(from) holds.

struct PortableFilter
{
    static constexpr qsizetype width = 1;

    explicit PortableFilter(const Probes &probes)
        : probes(probes)
    {
    }

    static bool startsWell(const char *) { return true; }

    quint64 candidates(const char *from) const
    {
        return std::all_of(probes.begin(), probes.end(), [from](const Probe &probe) {
            return (uchar(from[probe.offset]) | probe.mask) == probe.value;
        });
    }

    const Probes probes;
};

// Sixteen bytes handled at once; the compiler maps them onto the machine's vector registers.
using Block = uchar __attribute__((vector_size(16)));
using BlockMask = decltype(std::declval<Block>() == std::declval<Block>());
using BlockHalves = quint64 __attribute__((vector_size(16)));

struct VectorFilter
{
    static constexpr qsizetype width = 64;

    explicit VectorFilter(const Probes &probes)
    {
        for (int i = 0; i < probeCount; ++i) {
            offsets[i] = probes[i].offset;
            masks[i] = Block{} + probes[i].mask;
            values[i] = Block{} + probes[i].value;
        }
    }

    static bool startsWell(const char *) { return true; }

    quint64 candidates(const char *from) const
    {
        const BlockMask a = at(from);
        const BlockMask b = at(from + 16);
        const BlockMask c = at(from + 32);
        const BlockMask d = at(from + 48);
        if (!anySet(a | b | c | d))
            return 0;
        return laneBits(a) | laneBits(b) << 16 | laneBits(c) << 32 | laneBits(d) << 48;
    }

    BlockMask at(const char *from) const
    {
        return shows(from, 0) & shows(from, 1) & shows(from, 2);
    }

    BlockMask shows(const char *from, int probe) const
    {
        return (load(from + offsets[probe]) | masks[probe]) == values[probe];
    }

    static Block load(const char *bytes)
    {
        Block block;
        std::memcpy(&block, bytes, sizeof block);
        return block;
    }

    static bool anySet(BlockMask mask)
    {
        const auto halves = std::bit_cast<BlockHalves>(mask);
        return (halves[0] | halves[1]) != 0;
    }

    // Bit i set when lane i of the mask is set.
    static quint64 laneBits(BlockMask mask)
    {
        // The multiplication gathers the top bit of each of the eight bytes into the top byte.
        const auto gathered = [](quint64 half) {
            return ((half & 0x8080808080808080) * 0x0002040810204081) >> 56;
        };
        const auto halves = std::bit_cast<BlockHalves>(mask);
        return gathered(halves[0]) | gathered(halves[1]) << 8;
    }

    qsizetype offsets[probeCount];
    Block masks[probeCount];
    Block values[probeCount];
};

#if defined(__x86_64__)
struct Avx2Filter
{
    static constexpr qsizetype width = 64;

    __attribute__((target("avx2"))) explicit Avx2Filter(const Probes &probes)
    {
        for (int i = 0; i < probeCount; ++i) {
            offsets[i] = probes[i].offset;
            masks[i] = _mm256_set1_epi8(char(probes[i].mask));
            values[i] = _mm256_set1_epi8(char(probes[i].value));
        }
    }

    static bool startsWell(const char *) { return true; }

    __attribute__((target("avx2"))) quint64 candidates(const char *from) const
    {
        const __m256i low = at(from);
        const __m256i high = at(from + 32);
        const __m256i either = _mm256_or_si256(low, high);
        if (_mm256_testz_si256(either, either))
            return 0;
        return quint32(_mm256_movemask_epi8(low)) | quint64(quint32(_mm256_movemask_epi8(high)))
                                                        << 32;
    }

    __attribute__((target("avx2"))) __m256i at(const char *from) const
    {
        return _mm256_and_si256(_mm256_and_si256(shows(from, 0), shows(from, 1)), shows(from, 2));
    }

    __attribute__((target("avx2"))) __m256i shows(const char *from, int probe) const
    {
        const __m256i bytes =
            _mm256_loadu_si256(reinterpret_cast<const __m256i *>(from + offsets[probe]));
        return _mm256_cmpeq_epi8(_mm256_or_si256(bytes, masks[probe]), values[probe]);
    }

    qsizetype offsets[probeCount];
    __m256i masks[probeCount];
    __m256i values[probeCount];
};

struct Avx512Filter
{
    static constexpr qsizetype width = 64;

    __attribute__((target("avx512bw"))) explicit Avx512Filter(const Probes &probes)
    {
        for (int i = 0; i < probeCount; ++i) {
            offsets[i] = probes[i].offset;
            masks[i] = _mm512_set1_epi8(char(probes[i].mask));
            values[i] = _mm512_set1_epi8(char(probes[i].value));
        }
    }

    // Loads of 64 bytes that straddle two cache lines slow the reading of a text from memory by
    // a third, and all three probes' loads straddle lines unless one of them is aligned.
    bool startsWell(const char *from) const { return (quintptr(from) + offsets[0]) % 64 == 0; }

    // Each probe is compared under the mask of those before. At this pace the processor's own
    // prefetching brings lines from memory too late; asking for a line never faults, even past
    // the text, and its address is reckoned as a number, since no pointer may point there.
    __attribute__((target("avx512bw"))) quint64 candidates(const char *from) const
    {
        __builtin_prefetch(reinterpret_cast<const char *>(quintptr(from) + prefetchAhead));
        return shows(shows(shows(~__mmask64(0), from, 0), from, 1), from, 2);
    }

    __attribute__((target("avx512bw"))) __mmask64 shows(__mmask64 among, const char *from,
                                                        int probe) const
    {
        const __m512i bytes = _mm512_loadu_si512(from + offsets[probe]);
        return _mm512_mask_cmpeq_epi8_mask(among, _mm512_or_si512(bytes, masks[probe]),
                                           values[probe]);
    }

    static constexpr quintptr prefetchAhead = 1024;

    qsizetype offsets[probeCount];
    __m512i masks[probeCount];
    __m512i values[probeCount];
};
#endif

// The search within spans: a filter tests the probes at many positions at once, so that only
// positions that pass are compared in full; when those comparisons cost more than a few bytes
// per position since the start, it gives up, so that the linear search takes the rest and no
// text and pattern take quadratic time.
template <typename Filter> class FilteredSearch
{
public:
    FilteredSearch(const SearchPattern &pattern, qint64 begin)
        : pattern(pattern)
        , begin(begin)
        , probes(chooseProbes(pattern))
    {
    }

    bool gaveUp() const { return costly; }

    /// Tries the positions of `span`, which lies at text index `at` on, from which the whole
    /// pattern lies in it. Returns the first match's index in the span, or std::nullopt with
    /// `linearFrom` set to where the linear search must go on: after the last position tried, or
    /// after the one where it gave up.
    std::optional<qsizetype> find(QByteArrayView span, qint64 at, qsizetype &linearFrom)
    {
        const char *const data = span.data();
        const qsizetype end = span.size() - pattern.values.size() + 1;
        std::optional<qsizetype> match;
        // Compares in full at `position`; true when that settles the search in this span: a
        // match, or giving up.
        auto settlesAt = [&](qsizetype position) {
            const qsizetype common = matchingPrefix(data + position, pattern);
            if (common == pattern.values.size()) {
                match = position;
                return true;
            }
            comparedBytes += common + 1;
            costly = comparedBytes >
                     comparedBytesPerPosition * (at + position - begin) + pattern.values.size();
            linearFrom = position + 1;
            return costly;
        };

        const Filter filter(probes);
        const PortableFilter single(probes);
        qsizetype position = 0;
        for (; position < end && !filter.startsWell(data + position); ++position) {
            if (single.candidates(data + position) && settlesAt(position))
                return match;
        }
        for (; position + Filter::width <= end; position += Filter::width) {
            for (quint64 passed = filter.candidates(data + position); passed != 0;
                 passed &= passed - 1) {
                if (settlesAt(position + std::countr_zero(passed)))
                    return match;
            }
        }
        for (; position < end; ++position) {
            if (single.candidates(data + position) && settlesAt(position))
                return match;
        }
        linearFrom = end;
        return std::nullopt;
    }

private:
    static constexpr qint64 comparedBytesPerPosition = 4;

    const SearchPattern &pattern;
    const qint64 begin;
    const Probes probes;
    qint64 comparedBytes = 0;
    bool costly = false;
};

// The first text index in [begin, end) where the non-empty pattern starts, or -1; the text holds
// the whole pattern from every index below `end`. The filtered search takes the positions from
// which the pattern lies within one span; the linear search takes those from which it straddles
// spans, reading on from where the filtered search stopped into the next span until it has seen
// every match that began before it.
template <typename Filter>
inline qint64 findFirst(const Text &text, const SearchPattern &pattern, qint64 begin, qint64 end)
{
    const qsizetype length = pattern.values.size();
    FilteredSearch<Filter> filtered(pattern, begin);
    LinearSearch linear(pattern);
    TextSpans spans(text, begin, end - 1 + length);
    qint64 at = begin;
    for (QByteArrayView span = spans.next(); !span.isEmpty();
         at += span.size(), span = spans.next()) {
        qsizetype linearFrom = 0;
        if (!filtered.gaveUp() && span.size() >= length) {
            // Matches that began in earlier spans end in the first length - 1 bytes of this one.
            if (const qint64 found = linear.read(span.first(length - 1), at); found >= 0)
                return found;
            if (const std::optional<qsizetype> found = filtered.find(span, at, linearFrom))
                return at + *found;
            linear.restart();
        }
        if (const qint64 found = linear.read(span.sliced(linearFrom), at + linearFrom); found >= 0)
            return found;
    }
    return -1;
}

// Each implementation is flattened, so that its whole search is compiled with the filter inlined
// into it, for the instructions it is named after.
__attribute__((flatten)) qint64 findFirstPortable(const Text &text, const SearchPattern &pattern,
                                                  qint64 begin, qint64 end)
{
    return findFirst<PortableFilter>(text, pattern, begin, end);
}

__attribute__((flatten)) qint64 findFirstVector(const Text &text, const SearchPattern &pattern,
                                                qint64 begin, qint64 end)
{
    return findFirst<VectorFilter>(text, pattern, begin, end);
}

#if defined(__x86_64__)
__attribute__((target("avx2,popcnt,bmi"), flatten)) qint64
findFirstAvx2(const Text &text, const SearchPattern &pattern, qint64 begin, qint64 end)
{
    return findFirst<Avx2Filter>(text, pattern, begin, end);
}

__attribute__((target("avx512bw,popcnt,bmi"), flatten)) qint64
findFirstAvx512(const Text &text, const SearchPattern &pattern, qint64 begin, qint64 end)
{
    return findFirst<Avx512Filter>(text, pattern, begin, end);
}
#endif

using FindFirst = qint64 (*)(const Text &, const SearchPattern &, qint64 begin, qint64 end);

// The first 1-based position in [from, lastTried] where the pattern matches, as `find` finds it.
std::optional<qint64> firstMatch(FindFirst find, const Text &text, const SearchPattern &pattern,
                                 qint64 from, qint64 lastTried)
{
    if (!pattern.matchable)
        return std::nullopt;
    // Beyond lastStart fewer characters remain than the pattern has.
    const qint64 lastStart = std::min(lastTried, text.size() - pattern.values.size() + 1);
    if (from > lastStart)
        return std::nullopt;
    if (pattern.values.isEmpty())
        return from;
    const qint64 index = find(text, pattern, from - 1, lastStart);
    if (index < 0)
        return std::nullopt;
    return index + 1;
}

template <FindFirst find>
SearchStep searchWith(const Text &text, const SearchPattern &pattern, qint64 from, qint64 pumpAt)
{
    Q_ASSERT(from >= 1);
    const qint64 length = text.size();
    // The cursor stops on reaching pumpAt unless the text ends before it gets there.
    const bool stopsAtPump = pumpAt > from && pumpAt <= length + 1;
    const qint64 lastTried = stopsAtPump ? pumpAt - 1 : length;
    SearchStep step{SearchStep::Stop::EndOfText, 0, std::nullopt};
    qint64 reached = std::max(from, length + 1);
    if (const auto found = firstMatch(find, text, pattern, from, lastTried)) {
        step.stop = SearchStep::Stop::Found;
        step.position = reached = *found;
    } else if (stopsAtPump) {
        step.stop = SearchStep::Stop::PumpPoint;
        step.position = reached = pumpAt;
    }
    // The cursor went through every position from from + 1 to reached.
    const qint64 lastProgress = reached - reached % 100;
    if (lastProgress > from)
        step.lastProgressPosition = lastProgress;
    return step;
}

} // namespace

SearchPattern::SearchPattern(const QString &searchText)
{
    const CaseClasses &classes = caseClasses();
    values.reserve(searchText.size());
    masks.reserve(searchText.size());
    for (QChar character : searchText) {
        const auto value = classes.valueOfUpper.constFind(character.toUpper().unicode());
        if (value == classes.valueOfUpper.cend()) {
            matchable = false;
            return;
        }
        values.append(char(*value));
        masks.append(char(classes.maskOf[*value]));
    }
    borders.assign(values.size(), 0);
    for (qsizetype j = 1, length = 0; j < values.size(); ++j) {
        while (length > 0 && values[j] != values[length])
            length = borders[length - 1];
        if (values[j] == values[length])
            ++length;
        borders[j] = length;
    }
}

QList<SearchImplementation> searchImplementations()
{
    QList<SearchImplementation> implementations;
#if defined(__x86_64__)
    if (__builtin_cpu_supports("popcnt") && __builtin_cpu_supports("bmi")) {
        if (__builtin_cpu_supports("avx512bw"))
            implementations.append({"AVX-512", searchWith<findFirstAvx512>});
        if (__builtin_cpu_supports("avx2"))
            implementations.append({"AVX2", searchWith<findFirstAvx2>});
    }
#endif
    implementations.append({"16-byte vectors", searchWith<findFirstVector>});
    implementations.append({"portable", searchWith<findFirstPortable>});
    return implementations;
}

SearchStep searchForMatch(const Text &text, const SearchPattern &pattern, qint64 from,
                          qint64 pumpAt)
{
    static const auto fastest = searchImplementations().constFirst().search;
    return fastest(text, pattern, from, pumpAt);
}

qint64 searchPosAfter(const SearchStep &step)
{
    return step.stop == SearchStep::Stop::EndOfText ? 0 : step.position;
}

qint64 nextSearchPosition(qint64 searchPos, bool afterFind)
{
    return afterFind ? searchPos + 1 : std::max<qint64>(searchPos, 1);
}
