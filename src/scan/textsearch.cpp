#include "textsearch.h"

#include <QChar>
#include <QHash>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <utility>
#include <vector>

namespace {

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

Block filledBlock(char byte)
{
    return Block{} + uchar(byte);
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

// Consecutive bytes that all fold to their canonical byte by adding the same offset modulo 256.
struct FoldRun
{
    Block first;
    Block span;
    Block offset;
};

// The case classes of the 256 bytes, derived from QChar::toUpper so that comparing canonical
// bytes agrees with comparing characters upper-cased one by one.
struct CaseClasses
{
    QHash<char16_t, char> canonicalByteOfUpper;
    std::vector<FoldRun> foldRuns;
};

std::vector<FoldRun> foldRunsOf(const std::array<uchar, 256> &canonical)
{
    const auto offsetOf = [&](int byte) {
        return uchar(canonical[byte] - byte);
    };
    std::vector<FoldRun> runs;
    for (int first = 0, last = 0; first < 256; first = ++last) {
        while (last + 1 < 256 && offsetOf(last + 1) == offsetOf(first))
            ++last;
        if (offsetOf(first) != 0) {
            runs.push_back({filledBlock(char(first)), filledBlock(char(last - first)),
                            filledBlock(char(offsetOf(first)))});
        }
    }
    return runs;
}

const CaseClasses &caseClasses()
{
    static const CaseClasses classes = [] {
        CaseClasses built;
        std::array<uchar, 256> canonical;
        for (int byte = 0; byte < 256; ++byte) {
            const char16_t upper = QChar(char16_t(byte)).toUpper().unicode();
            auto known = built.canonicalByteOfUpper.constFind(upper);
            // Bytes come in ascending order, so each class's smallest byte becomes canonical.
            if (known == built.canonicalByteOfUpper.cend())
                known = built.canonicalByteOfUpper.insert(upper, char(byte));
            canonical[byte] = uchar(*known);
        }
        built.foldRuns = foldRunsOf(canonical);
        return built;
    }();
    return classes;
}

Block foldBlock(Block bytes, const std::vector<FoldRun> &runs)
{
    Block folded = bytes;
    for (const FoldRun &run : runs)
        folded += std::bit_cast<Block>((bytes - run.first) <= run.span) & run.offset;
    return folded;
}

qsizetype commonPrefixLength(const char *a, const char *b, qsizetype length)
{
    qsizetype index = 0;
    for (; index + 8 <= length; index += 8) {
        const quint64 difference =
            qFromLittleEndian<quint64>(a + index) ^ qFromLittleEndian<quint64>(b + index);
        if (difference != 0)
            return index + std::countr_zero(difference) / 8;
    }
    while (index < length && a[index] == b[index])
        ++index;
    return index;
}

// Knuth-Morris-Pratt: linear in the text whatever the text and the needle. Returns the first
// index in [begin, end) where the needle starts, or -1.
qsizetype findLinear(QByteArrayView text, QByteArrayView needle, qsizetype begin, qsizetype end)
{
    const qsizetype needleLength = needle.size();
    // border[j]: length of the longest proper prefix of needle[0..j] that is also its suffix.
    std::vector<qsizetype> border(needleLength, 0);
    for (qsizetype j = 1, length = 0; j < needleLength; ++j) {
        while (length > 0 && needle[j] != needle[length])
            length = border[length - 1];
        if (needle[j] == needle[length])
            ++length;
        border[j] = length;
    }
    const qsizetype stop = end - 1 + needleLength;
    const char *const data = text.data();
    qsizetype matched = 0;
    for (qsizetype i = begin; i < stop; ++i) {
        const char byte = data[i];
        while (matched > 0 && byte != needle[matched])
            matched = border[matched - 1];
        if (byte == needle[matched] && ++matched == needleLength)
            return i + 1 - needleLength;
    }
    return -1;
}

// The index of the needle's byte that is rarest in it among those that differ from its last
// byte, the nearest to the end among equals; 0 when every byte equals the last.
qsizetype rarestDifferingFromLast(QByteArrayView needle)
{
    std::array<qsizetype, 256> occurrences{};
    for (char byte : needle)
        ++occurrences[uchar(byte)];
    const char lastByte = needle.back();
    qsizetype rarest = -1;
    for (qsizetype i = needle.size() - 2; i >= 0; --i) {
        if (needle[i] != lastByte &&
            (rarest < 0 || occurrences[uchar(needle[i])] < occurrences[uchar(needle[rarest])]))
            rarest = i;
    }
    return std::max<qsizetype>(rarest, 0);
}

// A byte that the needle has at `offset`, which every position where it starts must show too.
struct Probe
{
    qsizetype offset;
    char byte;
    Block bytes;
};

Probe probeAt(QByteArrayView needle, qsizetype offset)
{
    return {offset, needle[offset], filledBlock(needle[offset])};
}

// Returns the first index in [begin, end) where the non-empty needle starts, or -1; the text
// holds the whole needle from every index below `end`. Vectors test three bytes of the needle at
// sixteen positions at once: the first, the last, and one that differs from the last, so that a
// long run of one byte value, as binary files have, passes none, and a stretch that repeats the
// needle's common bytes seldom passes. Only positions that pass are compared in full; when those
// comparisons cost more than a few bytes per position, the rest of the range goes to the linear
// search, so that no text and needle take quadratic time.
qsizetype findFirst(QByteArrayView text, QByteArrayView needle, qsizetype begin, qsizetype end)
{
    constexpr qsizetype comparedBytesPerPosition = 4;
    const qsizetype needleLength = needle.size();
    const Probe first = probeAt(needle, 0);
    const Probe rarest = probeAt(needle, rarestDifferingFromLast(needle));
    const Probe last = probeAt(needle, needleLength - 1);
    const char *const data = text.data();
    qsizetype comparedBytes = 0;

    // The answer once the position is settled: the match, or what the linear search finds.
    auto settledAt = [&](qsizetype position) -> std::optional<qsizetype> {
        const qsizetype common = commonPrefixLength(data + position, needle.data(), needleLength);
        if (common == needleLength)
            return position;
        comparedBytes += common + 1;
        if (comparedBytes > comparedBytesPerPosition * (position - begin) + needleLength)
            return findLinear(text, needle, position + 1, end);
        return std::nullopt;
    };
    auto candidatesAt = [&](qsizetype start) {
        const auto shows = [&](const Probe &probe) {
            return loadBlock(data + start + probe.offset) == probe.bytes;
        };
        return shows(first) & shows(rarest) & shows(last);
    };
    auto isCandidate = [&](qsizetype position) {
        const auto shows = [&](const Probe &probe) {
            return data[position + probe.offset] == probe.byte;
        };
        return shows(first) && shows(rarest) && shows(last);
    };

    constexpr qsizetype step = 4 * blockSize;
    qsizetype position = begin;
    for (; position + step <= end; position += step) {
        if (!anySet(candidatesAt(position) | candidatesAt(position + blockSize) |
                    candidatesAt(position + 2 * blockSize) |
                    candidatesAt(position + 3 * blockSize)))
            continue;
        for (qsizetype block = position; block < position + step; block += blockSize) {
            for (quint32 lanes = laneBits(candidatesAt(block)); lanes != 0; lanes &= lanes - 1) {
                if (const auto settled = settledAt(block + std::countr_zero(lanes)))
                    return *settled;
            }
        }
    }
    for (; position < end; ++position) {
        if (!isCandidate(position))
            continue;
        if (const auto settled = settledAt(position))
            return *settled;
    }
    return -1;
}

// The first 1-based position in [from, lastTried] where the pattern matches.
std::optional<qint64> firstMatch(QByteArrayView folded, const SearchPattern &pattern, qint64 from,
                                 qint64 lastTried)
{
    if (!pattern.folded)
        return std::nullopt;
    const QByteArrayView needle = *pattern.folded;
    // Beyond lastStart fewer characters remain than the pattern has.
    const qint64 lastStart = std::min(lastTried, folded.size() - needle.size() + 1);
    if (from > lastStart)
        return std::nullopt;
    if (needle.isEmpty())
        return from;
    const qsizetype index = findFirst(folded, needle, from - 1, lastStart);
    if (index < 0)
        return std::nullopt;
    return index + 1;
}

} // namespace

QByteArray foldedSnapshot(QByteArrayView text)
{
    const std::vector<FoldRun> &runs = caseClasses().foldRuns;
    const qsizetype size = text.size();
    QByteArray folded(size, Qt::Uninitialized);
    const char *in = text.data();
    char *out = folded.data();
    qsizetype index = 0;
    for (; index + blockSize <= size; index += blockSize) {
        const Block block = foldBlock(loadBlock(in + index), runs);
        std::memcpy(out + index, &block, blockSize);
    }
    // The short tail goes through a padded block, so that every byte folds the same way.
    if (index < size) {
        Block tail{};
        std::memcpy(&tail, in + index, size - index);
        tail = foldBlock(tail, runs);
        std::memcpy(out + index, &tail, size - index);
    }
    return folded;
}

SearchPattern::SearchPattern(const QString &searchText)
{
    const QHash<char16_t, char> &canonicalByteOfUpper = caseClasses().canonicalByteOfUpper;
    QByteArray bytes(searchText.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < searchText.size(); ++i) {
        const auto canonical = canonicalByteOfUpper.constFind(searchText[i].toUpper().unicode());
        if (canonical == canonicalByteOfUpper.cend())
            return;
        bytes[i] = *canonical;
    }
    folded = std::move(bytes);
}

SearchStep searchFolded(QByteArrayView folded, const SearchPattern &pattern, qint64 from,
                        qint64 pumpAt)
{
    Q_ASSERT(from >= 1);
    const qint64 length = folded.size();
    // The cursor stops on reaching pumpAt unless the text ends before it gets there.
    const bool stopsAtPump = pumpAt > from && pumpAt <= length + 1;
    const qint64 lastTried = stopsAtPump ? pumpAt - 1 : length;
    SearchStep step{SearchStep::Stop::EndOfText, 0, std::nullopt};
    qint64 reached = std::max(from, length + 1);
    if (const auto found = firstMatch(folded, pattern, from, lastTried)) {
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
