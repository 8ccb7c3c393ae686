#include "pumpgaps.h"

#include <algorithm>

qint64 longestGapBetweenPumps(const QList<PumpInterval> &pumps)
{
    qint64 longest = 0;
    for (qsizetype i = 1; i < pumps.size(); ++i)
        longest = std::max(longest, pumps[i].start - pumps[i - 1].end);
    return longest;
}

qint64 longestTimeWithoutPump(const QList<PumpInterval> &pumps, qint64 from, qint64 to)
{
    if (pumps.isEmpty())
        return to - from;
    return std::max(
        {longestGapBetweenPumps(pumps), pumps.first().start - from, to - pumps.last().end});
}
