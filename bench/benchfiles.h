#pragma once

#include "benchsize.h"

#include <QString>

// The files one size is measured on, all in one folder.
struct BenchFiles
{
    BenchFiles(const QString &folder, const BenchSize &size);

    QString binaryLike;
    QString repetitive;
    /// Where the save writes; it does not exist beforehand.
    QString saved;

    /// The disk space the three files need together.
    static qint64 spaceNeeded(const BenchSize &size) { return 3 * size.bytes; }
    /// Generates the binary-like and repetitive files; the reason in plain words, or empty.
    QString generate(const BenchSize &size) const;
    void remove() const;
};
