#include "savebench.h"
#include "benchfailure.h"
#include "benchwindow.h"
#include "externaltools.h"
#include "steadyclock.h"

#include <QFileInfo>

QList<Row> measureSave(BenchWindow &window, const QString &source, const QString &target,
                       const BenchSize &size)
{
    ScriptedServices &services = window.services();
    window.fileToChoose = target;
    services.messages.clear();
    const ClickTiming save = window.clickUntil(
        "Command2", [&] { return services.messages.isEmpty() && QFileInfo::exists(target); }, 1);

    const ToolRun cmp = runTool(QStringLiteral("cmp"), {QStringLiteral("-s"), source, target});
    // cmp exits with 0 for identical files, 1 for different ones, 2 on trouble.
    if (cmp.exitCode > 1)
        throw BenchFailure("cmp could not compare the saved file with its source");
    return {
        {QStringLiteral("save: click to file committed"), size.label, seconds(save.elapsed),
         QStringLiteral("s"), Target::atMost(saveTargetSeconds(size))},
        {QStringLiteral("save: identical to the source (cmp)"), size.label, cmp.exitCode == 0,
         QString(), Target::equals(true)},
    };
}
