#pragma once

#include "benchsize.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

class QCommandLineParser;

// What the command line asks for.
struct BenchOptions
{
    QList<BenchSize> sizes;
    QString jsonPath;
    /// Set in a child process: the one size it measures, from the files already in `dataDir`.
    std::optional<BenchSize> childSize;
    QString dataDir;
};

/// Adds the benchmark's options, and the hidden ones of a child process, to `parser`.
void describeOptions(QCommandLineParser &parser);
/// The options `parser` has parsed, or the message that says what is wrong with them.
std::variant<BenchOptions, QString> optionsFrom(const QCommandLineParser &parser);
/// The arguments that make a child process measure `size` from the files in `dataDir`.
QStringList childArguments(const BenchSize &size, const QString &dataDir);
