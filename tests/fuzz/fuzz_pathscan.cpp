#include "pathscan.h"
#include "pathscanreference.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// The first four bytes choose the start cursor, the starting pass counter and the stretch length;
// the rest is the text.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    constexpr std::size_t HeaderBytes = 4;
    if (size < HeaderBytes)
        return 0;
    const QByteArrayView text(data + HeaderBytes, static_cast<qsizetype>(size - HeaderBytes));
    // Up to a few positions past the end, where the scan must end at once.
    const qint64 from = 1 + (data[0] | data[1] << 8) % (text.size() + 4);
    const qint64 passes = data[2];
    const qint64 hundredsPerStretch = data[3] < 240 ? 1 + data[3] % 4 : 1'000'000'000'000;
    const QString difference = firstDifferenceFromReference(text, from, passes, hundredsPerStretch);
    if (!difference.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(difference));
        std::abort();
    }
    return 0;
}
