#pragma once

#include "benchsize.h"

#include <QString>

// The files one size is measured on, all in one folder: the generated ones, or for a sparse
// size the sparse file alone.
struct BenchFiles
{
    BenchFiles(const QString &folder, const BenchSize &size);

    QString binaryLike;
    QString repetitive;
    /// As many zero bytes as the size: one line.
    QString zeros;
    /// A quarter of the size in printable characters without a line end.
    QString printable;
    /// Where the save writes; it does not exist beforehand.
    QString saved;
    /// The sparse file of SparseLayout.
    QString sparse;

    /// The disk space the files need together.
    static qint64 spaceNeeded(const BenchSize &size);
    /// Generates every file but the saved one, or the sparse file alone; the reason in plain
    /// words, or empty.
    QString generate(const BenchSize &size) const;
    void remove() const;
};
