#pragma once

#include "services.h"

#include <QElapsedTimer>

// When a scan lets pending window events run, paced as the services ask.
class PumpPacer
{
public:
    explicit PumpPacer(const PumpPacing &pacing)
        : pacing(pacing)
    {
        sinceLastPump.start();
    }

    /// At a point where the scan may pump: when a pump is due, brings what the user sees up to
    /// date with `showProgress` and handles pending events. False once the window was closed.
    template <typename ShowProgress> bool pumpIfDue(Services &services, ShowProgress showProgress)
    {
        if (sinceLastPump.elapsed() < pacing.intervalMs)
            return true;
        showProgress();
        if (!services.pumpEvents())
            return false;
        sinceLastPump.restart();
        return true;
    }

    /// The first multiple of 100 at least one stretch beyond `position`.
    qint64 nextPumpPoint(qint64 position) const
    {
        return (position + pacing.stretch + 99) / 100 * 100;
    }

private:
    const PumpPacing pacing;
    QElapsedTimer sinceLastPump;
};
