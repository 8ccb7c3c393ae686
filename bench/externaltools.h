#pragma once

#include <QString>
#include <QStringList>

// How a command-line tool ran.
struct ToolRun
{
    qint64 elapsed = 0; ///< Nanoseconds from its start to its exit.
    int exitCode = 0;
    qint64 outputLines = 0; ///< The lines it wrote to its standard output.
    QByteArray errorOutput; ///< What it wrote to its standard error.
};

/// Runs `program` with `arguments` in the C locale, so that it reads bytes as bytes, reading its
/// output to the end and counting its lines; fails when it cannot be started or does not exit
/// normally.
ToolRun runTool(const QString &program, const QStringList &arguments);

/// How long `dd bs=1M` takes to read the first `bytes` bytes of `file`, in nanoseconds, as dd
/// itself tells it: without the few milliseconds of starting a process, which would otherwise
/// dwarf the read of a small file.
qint64 ddReadTime(const QString &file, qint64 bytes);

/// How long `dd bs=1M conv=fsync` takes to copy `source` over `target` and put the copy on the
/// disk, in nanoseconds, as dd itself tells it.
qint64 ddCopyTime(const QString &source, const QString &target);
