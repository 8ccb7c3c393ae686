#pragma once

#include <QString>

#include <optional>

// A file size to measure, as named on the command line ("100M").
struct BenchSize
{
    QString label;
    qint64 bytes = 0;
};

/// Reads a size such as "1M", "100M" or "1G" (powers of 1024) of at least 1M; std::nullopt for
/// anything else.
std::optional<BenchSize> parseSize(const QString &text);

/// The longest a save of a file of `size` may take: 2 s per 1G, and at least 0.5 s.
double saveTargetSeconds(const BenchSize &size);
