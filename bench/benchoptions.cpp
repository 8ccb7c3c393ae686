#include "benchoptions.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

namespace {

const QString sizesOption = QStringLiteral("sizes");
const QString quickOption = QStringLiteral("quick");
const QString jsonOption = QStringLiteral("json");
const QString childSizeOption = QStringLiteral("measure-size");
const QString dataDirOption = QStringLiteral("data-dir");

QCommandLineOption hidden(QCommandLineOption option)
{
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    return option;
}

} // namespace

void describeOptions(QCommandLineParser &parser)
{
    parser.setApplicationDescription(QStringLiteral(
        "Measures Korvane's window on generated binary-like files: loading, scrolling and typing, "
        "the drive-path scan, the text search and saving, against their targets."));
    parser.addHelpOption();
    parser.addOption({sizesOption,
                      QStringLiteral("File sizes to measure, K, M and G being powers of 1024 "
                                     "(default 1M,100M,1G); from 32G on, on a sparse file."),
                      QStringLiteral("list"), QStringLiteral("1M,100M,1G")});
    parser.addOption({quickOption, QStringLiteral("A fast smoke run: the same as --sizes 1M.")});
    parser.addOption(
        {jsonOption,
         QStringLiteral("Where to write the figures as JSON (default korvane-bench.json)."),
         QStringLiteral("file"), QStringLiteral("korvane-bench.json")});
    parser.addOption(hidden({childSizeOption, QString(), QStringLiteral("size")}));
    parser.addOption(hidden({dataDirOption, QString(), QStringLiteral("dir")}));
}

std::variant<BenchOptions, QString> optionsFrom(const QCommandLineParser &parser)
{
    if (!parser.positionalArguments().isEmpty())
        return QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first());
    if (parser.isSet(quickOption) && parser.isSet(sizesOption))
        return QStringLiteral("--quick and --sizes cannot be combined");

    BenchOptions options;
    options.jsonPath = parser.value(jsonOption);
    const QString sizes =
        parser.isSet(quickOption) ? QStringLiteral("1M") : parser.value(sizesOption);
    for (const QString &label : sizes.split(QLatin1Char(','))) {
        const std::optional<BenchSize> size = parseSize(label);
        if (!size)
            return QStringLiteral("\"%1\" is not a size such as 1M, 100M or 1G").arg(label);
        options.sizes.append(*size);
    }

    if (parser.isSet(childSizeOption)) {
        options.childSize = parseSize(parser.value(childSizeOption));
        options.dataDir = parser.value(dataDirOption);
        if (!options.childSize || options.dataDir.isEmpty())
            return QStringLiteral("a child process needs a size and a data folder");
    }
    return options;
}

QStringList childArguments(const BenchSize &size, const QString &dataDir)
{
    return {QLatin1String("--") + childSizeOption, size.label, QLatin1String("--") + dataDirOption,
            dataDir};
}
