#include "scanreference.h"
#include "textpieces.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// The first five bytes choose the start cursor, the starting pass counter, the stretch length and
// the longest piece of the snapshot; the rest is the text, which every implementation scans.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    constexpr std::size_t headerSize = 5;
    if (size < headerSize)
        return 0;
    const QByteArrayView bytes(data + headerSize, qsizetype(size - headerSize));
    // Up to a few positions past the end, where the scan must end at once.
    const qint64 from = 1 + (data[0] | data[1] << 8) % (bytes.size() + 4);
    const qint64 passes = data[2];
    const qint64 hundreds = data[3] < 240 ? 1 + data[3] % 4 : noPump;
    const Text text = textInPieces(bytes, data[4] % 80, data[4]);
    for (const PathScanImplementation &implementation : pathScanImplementations()) {
        const QString difference = pathScanDifference(implementation, text, from, passes, hundreds);
        if (!difference.isEmpty()) {
            std::fprintf(stderr, "%s\n", qPrintable(difference));
            std::abort();
        }
    }
    return 0;
}
