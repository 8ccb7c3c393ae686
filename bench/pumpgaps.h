#pragma once

#include <QList>
#include <QtGlobal>

// One real event pump of a command: when it began and when it returned.
struct PumpInterval
{
    qint64 start = 0;
    qint64 end = 0;
};

/// The longest time from the end of one pump to the start of the next; 0 with fewer than two.
qint64 longestGapBetweenPumps(const QList<PumpInterval> &pumps);

/// The longest time from `from` to `to` in which no pump ran: between pumps, before the first
/// and after the last; the whole span when there was none.
qint64 longestTimeWithoutPump(const QList<PumpInterval> &pumps, qint64 from, qint64 to);
