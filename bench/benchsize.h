#pragma once

#include <QString>

#include <optional>

// A file size to measure, as named on the command line ("100M").
struct BenchSize
{
    // From 32G on, a size is measured on one sparse file instead of the generated ones, which
    // are made whole in memory and need over four times the size on disk: no machine that runs
    // this has that for 32 GiB. A sparse file of any size costs no disk and is made at once, yet
    // the program reads it as any other file, every byte of it where a scan goes.
    static constexpr qint64 sparseFrom = qint64(32) << 30;

    QString label;
    qint64 bytes = 0;

    bool sparse() const { return bytes >= sparseFrom; }
};

/// Reads a size such as "1M", "100M", "1G" or "32G" (powers of 1024) of at least 1M;
/// std::nullopt for anything else.
std::optional<BenchSize> parseSize(const QString &text);

/// The longest a save of a file of `size` may take: 2 s per 1G, and at least 0.5 s.
double saveTargetSeconds(const BenchSize &size);
