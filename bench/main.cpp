#include "benchoptions.h"
#include "benchrun.h"
#include "sizebench.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTextStream>

int main(int argc, char *argv[])
{
    // The real window is measured, but it needs no screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("korvane-bench"));

    QCommandLineParser parser;
    describeOptions(parser);
    parser.process(app);
    const std::variant<BenchOptions, QString> parsed = optionsFrom(parser);
    if (const QString *error = std::get_if<QString>(&parsed)) {
        QTextStream(stderr) << "korvane-bench: " << *error << Qt::endl;
        return 2;
    }
    const BenchOptions &options = std::get<BenchOptions>(parsed);
    if (options.childSize)
        return measureSize(*options.childSize, options.dataDir);
    return runBenchmark(options);
}
