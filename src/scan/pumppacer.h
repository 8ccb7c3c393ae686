#pragma once

#include "services.h"

#include <QElapsedTimer>

// When a scan lets pending window events run. The scans reach a point where they may pump every
// 100 characters or so; pumping at each would repaint the strip a million times over 100 MB. A
// pump that comes less than about 10 ms after the last one would find nothing a user could
// notice, so it is skipped: real pumps stay far below 50 ms apart and cost nothing measurable.
class PumpPacer
{
public:
    /// How many passes a scan runs between two points at which it asks whether a pump is due.
    static constexpr qint64 stretch = 1 << 21;

    PumpPacer() { sinceLastPump.start(); }

    /// At a point where the scan may pump: when a pump is due, brings what the user sees up to
    /// date with `showProgress` and handles pending events. False once the window was closed.
    template <typename ShowProgress> bool pumpIfDue(Services &services, ShowProgress showProgress)
    {
        if (sinceLastPump.elapsed() < 10)
            return true;
        showProgress();
        if (!services.pumpEvents())
            return false;
        sinceLastPump.restart();
        return true;
    }

    /// The first multiple of 100 at least one stretch beyond `position`.
    static qint64 nextPumpPoint(qint64 position) { return (position + stretch) / 100 * 100 + 100; }

private:
    QElapsedTimer sinceLastPump;
};
