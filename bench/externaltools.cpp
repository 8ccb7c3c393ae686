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
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);

    bool finished = false;
    const qint64 elapsed = timed([&] {
        process.start(program, arguments);
        finished = process.waitForFinished(-1);
    });
    if (!finished || process.exitStatus() != QProcess::NormalExit) {
        throw BenchFailure(
            QStringLiteral("%1 failed: %2").arg(program, process.errorString()).toStdString());
    }
    return {elapsed, process.exitCode()};
}
