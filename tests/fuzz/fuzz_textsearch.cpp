#include "scanreference.h"
#include "textpieces.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// Characters beyond Latin-1: four that upper-case like some byte, four that match none.
constexpr char16_t unusualCharacters[] = {0x0178, 0x039c, 0x0131, 0x017f,
                                          0x212a, 0x1e9e, 0x20ac, 0xd800};

QChar withCase(QChar character, bool upper)
{
    return upper ? character.toUpper() : character.toLower();
}

} // namespace

// The input: two bytes for the start, one for the pump interval, the kind of search text and the
// longest piece of the snapshot, one for the search text's length, one for its letter cases; then
// either the text, of which a part is the search text, or the search text's own bytes followed by
// the text.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    constexpr qsizetype headerSize = 5;
    const QByteArrayView input(data, qsizetype(size));
    if (input.size() < headerSize)
        return 0;
    const bool searchTextIsPart = data[2] & 1;
    const qint64 hundreds = std::array<qint64, 4>{1, 2, 7, noPump}[(data[2] >> 1) % 4];
    const quint8 cases = data[4];
    QByteArrayView text = input.sliced(headerSize);
    QString searchText;
    if (searchTextIsPart) {
        const QByteArrayView rest = text.sliced(cases * text.size() / 256);
        searchText = QString::fromLatin1(rest.first(std::min<qsizetype>(data[3], rest.size())));
        for (qsizetype i = 0; i < searchText.size(); ++i)
            searchText[i] = withCase(searchText[i], (cases >> (i % 8)) & 1);
    } else {
        const QByteArrayView own = text.first(std::min<qsizetype>(data[3], text.size()));
        text = text.sliced(own.size());
        for (qsizetype i = 0; i < own.size(); ++i) {
            const uchar byte = uchar(own[i]);
            searchText += byte >= 0xf8 ? QChar(unusualCharacters[byte - 0xf8])
                                       : withCase(QChar(char16_t(byte)), (cases >> (i % 8)) & 1);
        }
    }
    const qint64 from = 1 + (data[0] | data[1] << 8) % (text.size() + 3);

    const Text snapshot = textInPieces(text, data[2] >> 3, data[4]);
    for (const SearchImplementation &implementation : searchImplementations()) {
        const QString difference =
            searchDifference(implementation, snapshot, searchText, from, hundreds);
        if (!difference.isEmpty()) {
            std::fprintf(stderr, "%s\n", qPrintable(difference));
            std::abort();
        }
    }
    return 0;
}
