#include "benchsize.h"

#include <QRegularExpression>

#include <algorithm>

std::optional<BenchSize> parseSize(const QString &text)
{
    static const QRegularExpression sizePattern(QStringLiteral("^([1-9][0-9]{0,5})([KMG])$"));
    const QRegularExpressionMatch match = sizePattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const int shift = QStringLiteral("KMG").indexOf(match.captured(2)) * 10 + 10;
    const qint64 bytes = match.captured(1).toLongLong() << shift;
    if (bytes < (qint64(1) << 20))
        return std::nullopt;
    return BenchSize{text, bytes};
}

double saveTargetSeconds(const BenchSize &size)
{
    constexpr double gib = double(qint64(1) << 30);
    return std::max(0.5, 2.0 * double(size.bytes) / gib);
}
