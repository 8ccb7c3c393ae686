#include "externaltools.h"
#include "benchfailure.h"
#include "steadyclock.h"

#include <QProcess>

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
