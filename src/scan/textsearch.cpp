#include "textsearch.h"

#include <QChar>
#include <QHash>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <utility>

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

// Sixteen bytes handled at once; the compiler maps them onto the machine's vector registers.
using Block = uchar __attribute__((vector_size(16)));
using BlockMask = decltype(std::declval<Block>() == std::declval<Block>());
using BlockHalves = quint64 __attribute__((vector_size(16)));
constexpr qsizetype blockSize = sizeof(Block);

Block loadBlock(const char *bytes)
{
    Block block;
    std::memcpy(&block, bytes, blockSize);
    return block;
}

bool anySet(BlockMask mask)
{
    const auto halves = std::bit_cast<BlockHalves>(mask);
    return (halves[0] | halves[1]) != 0;
}

// Bit i set when lane i of the mask is set.
quint32 laneBits(BlockMask mask)
{
    // The multiplication gathers the top bit of each of the eight bytes into the top byte.
    const auto gathered = [](quint64 half) {
        return quint32(((half & 0x8080808080808080) * 0x0002040810204081) >> 56);
    };
    const auto halves = std::bit_cast<BlockHalves>(mask);
    return gathered(halves[0]) | gathered(halves[1]) << 8;
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

// The index of the pattern's character that is rarest in it among those that differ from its
// last, the nearest to the end among equals; 0 when every character equals the last.
qsizetype rarestDifferingFromLast(const QByteArray &values)
{
    std::array<qsizetype, 256> occurrences{};
    for (char value : values)
        ++occurrences[uchar(value)];
    const char lastValue = values.back();
    qsizetype rarest = -1;
    for (qsizetype i = values.size() - 2; i >= 0; --i) {
        if (values[i] != lastValue &&
            (rarest < 0 || occurrences[uchar(values[i])] < occurrences[uchar(values[rarest])]))
            rarest = i;
    }
    return std::max<qsizetype>(rarest, 0);
}

// A character of the pattern at `offset`, which every position where it starts must show too.
struct Probe
{
    qsizetype offset;
    char mask;
    char value;
    Block masks;
    Block values;

    Probe(const SearchPattern &pattern, qsizetype offset)
        : offset(offset)
        , mask(pattern.masks[offset])
        , value(pattern.values[offset])
        , masks(Block{} + uchar(mask))
        , values(Block{} + uchar(value))
    {
    }

    bool shownAt(const char *start) const { return (start[offset] | mask) == value; }
    /// Lane i set when the position i after `start` shows it.
    BlockMask shownFrom(const char *start) const
    {
        return (loadBlock(start + offset) | masks) == values;
    }
};

// The search within spans: vectors test three characters of the pattern at sixteen positions at
// once, the first, the last, and one that differs from the last, so that a long run of one byte
// value, as binary files have, passes none, and a stretch that repeats the pattern's common
// characters seldom passes. Only positions that pass are compared in full; when those comparisons
// cost more than a few bytes per position since the start, it gives up, so that the linear search
// takes the rest and no text and pattern take quadratic time.
class FilteredSearch
{
public:
    FilteredSearch(const SearchPattern &pattern, qint64 begin)
        : pattern(pattern)
        , begin(begin)
        , first(pattern, 0)
        , rarest(pattern, rarestDifferingFromLast(pattern.values))
        , last(pattern, pattern.values.size() - 1)
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
        auto candidatesAt = [&](qsizetype start) {
            const char *const from = data + start;
            return first.shownFrom(from) & rarest.shownFrom(from) & last.shownFrom(from);
        };

        constexpr qsizetype step = 4 * blockSize;
        qsizetype position = 0;
        for (; position + step <= end; position += step) {
            if (!anySet(candidatesAt(position) | candidatesAt(position + blockSize) |
                        candidatesAt(position + 2 * blockSize) |
                        candidatesAt(position + 3 * blockSize)))
                continue;
            for (qsizetype block = position; block < position + step; block += blockSize) {
                for (quint32 lanes = laneBits(candidatesAt(block)); lanes != 0;
                     lanes &= lanes - 1) {
                    if (settlesAt(block + std::countr_zero(lanes)))
                        return match;
                }
            }
        }
        for (; position < end; ++position) {
            const char *const from = data + position;
            if (first.shownAt(from) && rarest.shownAt(from) && last.shownAt(from) &&
                settlesAt(position))
                return match;
        }
        linearFrom = end;
        return std::nullopt;
    }

private:
    static constexpr qint64 comparedBytesPerPosition = 4;

    const SearchPattern &pattern;
    const qint64 begin;
    const Probe first;
    const Probe rarest;
    const Probe last;
    qint64 comparedBytes = 0;
    bool costly = false;
};

// The first text index in [begin, end) where the non-empty pattern starts, or -1; the text holds
// the whole pattern from every index below `end`. The filtered search takes the positions from
// which the pattern lies within one span; the linear search takes those from which it straddles
// spans, reading on from where the filtered search stopped into the next span until it has seen
// every match that began before it.
qint64 findFirst(const Text &text, const SearchPattern &pattern, qint64 begin, qint64 end)
{
    const qsizetype length = pattern.values.size();
    FilteredSearch filtered(pattern, begin);
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

// The first 1-based position in [from, lastTried] where the pattern matches.
std::optional<qint64> firstMatch(const Text &text, const SearchPattern &pattern, qint64 from,
                                 qint64 lastTried)
{
    if (!pattern.matchable)
        return std::nullopt;
    // Beyond lastStart fewer characters remain than the pattern has.
    const qint64 lastStart = std::min(lastTried, text.size() - pattern.values.size() + 1);
    if (from > lastStart)
        return std::nullopt;
    if (pattern.values.isEmpty())
        return from;
    const qint64 index = findFirst(text, pattern, from - 1, lastStart);
    if (index < 0)
        return std::nullopt;
    return index + 1;
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

SearchStep searchForMatch(const Text &text, const SearchPattern &pattern, qint64 from,
                          qint64 pumpAt)
{
    Q_ASSERT(from >= 1);
    const qint64 length = text.size();
    // The cursor stops on reaching pumpAt unless the text ends before it gets there.
    const bool stopsAtPump = pumpAt > from && pumpAt <= length + 1;
    const qint64 lastTried = stopsAtPump ? pumpAt - 1 : length;
    SearchStep step{SearchStep::Stop::EndOfText, 0, std::nullopt};
    qint64 reached = std::max(from, length + 1);
    if (const auto found = firstMatch(text, pattern, from, lastTried)) {
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

qint64 searchPosAfter(const SearchStep &step)
{
    return step.stop == SearchStep::Stop::EndOfText ? 0 : step.position;
}

qint64 nextSearchPosition(qint64 searchPos, bool afterFind)
{
    return afterFind ? searchPos + 1 : std::max<qint64>(searchPos, 1);
}
