#pragma once

#include <QtGlobal>

#include <chrono>

// Every time the benchmark takes is in nanoseconds on the steady clock.
inline qint64 nowNs()
{
    const auto sinceEpoch = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::nanoseconds>(sinceEpoch).count();
}

/// How long `work` takes.
template <typename Work> qint64 timed(Work &&work)
{
    const qint64 start = nowNs();
    work();
    return nowNs() - start;
}

inline double seconds(qint64 ns)
{
    return double(ns) / 1e9;
}

inline double milliseconds(qint64 ns)
{
    return double(ns) / 1e6;
}
