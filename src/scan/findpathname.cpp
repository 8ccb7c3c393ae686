#include "pathscan.h"
#include "pumppacer.h"
#include "scancommands.h"
#include "services.h"

namespace {

QString progressCaption(qint64 position, qint64 total)
{
    return QStringLiteral("Position %1 of %2").arg(position).arg(total);
}

} // namespace

void findPathName(Services &services, qint64 &pathPos)
{
    services.setCaption(Control::lblStat, QStringLiteral("Searching For Path Name"));
    const Text snapshot = services.viewText();
    const qint64 total = snapshot.size();
    services.setCaption(Control::lblPosition, progressCaption(pathPos, total));
    if (!services.pumpEvents())
        return;
    PumpPacer pacer(services.pumpPacing());

    pathPos = nextPathPass(pathPos, false);
    qint64 from = pathPos;
    qint64 passes = 0;
    // Captions and focus are brought up to date only when someone can see them: at a real
    // pump and at the end of the run.
    QString progress;
    bool focusOwed = false;
    auto showProgress = [&] {
        if (!progress.isNull())
            services.setCaption(Control::lblPosition, progress);
        if (focusOwed)
            services.focusView();
        progress.clear();
        focusOwed = false;
    };

    for (;;) {
        const PathScanStep step = scanForPath(snapshot, from, passes, pacer.nextPumpPoint(passes));
        passes = step.passes;
        focusOwed = focusOwed || step.sawCandidate;
        if (step.lastProgressPosition)
            progress = progressCaption(*step.lastProgressPosition, total);

        switch (step.stop) {
        case PathScanStep::Stop::PumpPoint:
            pathPos = pathPosAfter(step);
            if (!pacer.pumpIfDue(services, showProgress))
                return;
            // A run started from the pump may have moved the cursor; go on from wherever it is.
            from = nextPathPass(pathPos, true);
            break;
        case PathScanStep::Stop::Found:
            showProgress();
            pathPos = pathPosAfter(step);
            services.showMessage(QStringLiteral("Path Name Found At Position %1.").arg(pathPos));
            services.select(pathPos - 3, 3);
            services.setCaption(Control::Command3, QStringLiteral("Find Next Path Name"));
            return;
        case PathScanStep::Stop::EndOfText:
            showProgress();
            services.setCaption(Control::lblStat, QStringLiteral("Search Finished"));
            pathPos = pathPosAfter(step);
            services.setCaption(Control::lblPosition, QString());
            return;
        }
    }
}
