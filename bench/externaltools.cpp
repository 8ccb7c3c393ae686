#include "externaltools.h"
#include "benchfailure.h"
#include "steadyclock.h"

#include <QProcess>
#include <QRegularExpression>

ToolRun runTool(const QString &program, const QStringList &arguments)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    process.setProcessEnvironment(environment);

    // The output comes through a pipe that is read as it fills, never /dev/null: GNU grep
    // stops at its first match when it writes to /dev/null, which would time a fraction of
    // the job.
    ToolRun run;
    const auto readOutput = [&] {
        run.outputLines += process.readAllStandardOutput().count('\n');
    };
    run.elapsed = timed([&] {
        process.start(program, arguments);
        while (process.waitForReadyRead(-1))
            readOutput();
        if (process.state() != QProcess::NotRunning)
            process.waitForFinished(-1);
        readOutput();
    });
    if (process.error() == QProcess::FailedToStart || process.state() != QProcess::NotRunning ||
        process.exitStatus() != QProcess::NormalExit) {
        throw BenchFailure(
            QStringLiteral("%1 failed: %2").arg(program, process.errorString()).toStdString());
    }
    run.exitCode = process.exitCode();
    run.errorOutput = process.readAllStandardError();
    return run;
}

namespace {

// How long dd took with `arguments`, in nanoseconds, as it tells it itself.
qint64 ddTime(const QStringList &arguments, const std::string &what)
{
    const ToolRun dd = runTool(QStringLiteral("dd"), arguments);
    // It ends with a line such as "1048576 bytes (1.0 MB, 1.0 MiB) copied, 0.000112 s, 9.4 GB/s".
    static const QRegularExpression copied(QStringLiteral("copied, ([0-9.e-]+) s,"));
    const QRegularExpressionMatch match = copied.match(QString::fromLatin1(dd.errorOutput));
    if (dd.exitCode != 0 || !match.hasMatch())
        throw BenchFailure("dd could not " + what + ": " + dd.errorOutput.trimmed().toStdString());
    return qint64(match.captured(1).toDouble() * 1e9);
}

} // namespace

qint64 ddReadTime(const QString &file, qint64 bytes)
{
    return ddTime({QStringLiteral("if=") + file, QStringLiteral("of=/dev/null"),
                   QStringLiteral("bs=1M"), QStringLiteral("count=%1").arg(bytes),
                   QStringLiteral("iflag=count_bytes")},
                  "read " + file.toStdString());
}

qint64 ddCopyTime(const QString &source, const QString &target)
{
    return ddTime({QStringLiteral("if=") + source, QStringLiteral("of=") + target,
                   QStringLiteral("bs=1M"), QStringLiteral("conv=fsync")},
                  "copy " + source.toStdString());
}
