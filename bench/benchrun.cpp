#include "benchrun.h"
#include "benchfiles.h"
#include "benchoptions.h"
#include "report.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTextStream>

namespace {

QString mebibytes(qint64 bytes)
{
    return QString::number(bytes >> 20) + QStringLiteral(" MiB");
}

// Runs a child process that measures `size` alone, so that its peak memory is its own.
void measureInChild(const BenchSize &size, const QString &folder, Report &report)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), childArguments(size, folder));
    child.waitForFinished(-1);
    if (const std::optional<Report> measured = Report::fromJson(child.readAllStandardOutput())) {
        report += *measured;
        return;
    }
    report.failures.append(
        QStringLiteral("%1: the measuring process ended with %2 and no figures")
            .arg(size.label, child.exitStatus() == QProcess::NormalExit
                                 ? QStringLiteral("exit code %1").arg(child.exitCode())
                                 : child.errorString()));
}

void measure(const BenchSize &size, const QString &folder, Report &report)
{
    const qint64 available = QStorageInfo(folder).bytesAvailable();
    if (available < BenchFiles::spaceNeeded(size)) {
        report.skipped.append(QStringLiteral("%1: its files need %2 free in %3, only %4 are")
                                  .arg(size.label, mebibytes(BenchFiles::spaceNeeded(size)), folder,
                                       mebibytes(available)));
        QTextStream(stderr) << "korvane-bench: skipped " << report.skipped.last() << Qt::endl;
        return;
    }
    QTextStream(stderr) << "korvane-bench " << size.label << ": generating files" << Qt::endl;
    const BenchFiles files(folder, size);
    const QString error = files.generate(size);
    if (error.isEmpty())
        measureInChild(size, folder, report);
    else
        report.failures.append(size.label + QStringLiteral(": ") + error);
    files.remove();
}

} // namespace

int runBenchmark(const BenchOptions &options)
{
    const QTemporaryDir folder;
    if (!folder.isValid()) {
        QTextStream(stderr) << "korvane-bench: no temporary folder: " << folder.errorString()
                            << Qt::endl;
        return 1;
    }
    Report report;
    for (const BenchSize &size : options.sizes)
        measure(size, folder.path(), report);

    QTextStream(stdout) << report.table();
    QFile json(options.jsonPath);
    if (!json.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        json.write(report.toJson().toJson()) < 0 || !json.flush()) {
        QTextStream(stderr) << "korvane-bench: cannot write " << options.jsonPath << ": "
                            << json.errorString() << Qt::endl;
        return 1;
    }
    QTextStream(stdout) << "figures written to " << options.jsonPath << Qt::endl;
    return report.checksPassed() ? 0 : 1;
}
