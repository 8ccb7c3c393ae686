#include "scanreference.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// The first four bytes choose the start cursor, the starting pass counter and the stretch length;
// the rest is the text.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    constexpr std::size_t headerSize = 4;
    if (size < headerSize)
        return 0;
    const QByteArrayView text(data + headerSize, qsizetype(size - headerSize));
    // Up to a few positions past the end, where the scan must end at once.
    const qint64 from = 1 + (data[0] | data[1] << 8) % (text.size() + 4);
    const qint64 passes = data[2];
    const qint64 hundreds = data[3] < 240 ? 1 + data[3] % 4 : noPump;
    const QString difference = pathScanDifference(text, from, passes, hundreds);
    if (!difference.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(difference));
        std::abort();
    }
    return 0;
}
