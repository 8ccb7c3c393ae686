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
