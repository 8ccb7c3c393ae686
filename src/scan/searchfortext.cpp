#include "pumppacer.h"
#include "scancommands.h"
#include "services.h"
#include "textsearch.h"

#include <algorithm>

void searchForText(Services &services, qint64 &searchPos)
{
    PumpPacer pacer(services.pumpPacing());
    const Text snapshot = services.viewText();
    const std::optional<QString> typed = services.prompt(
        QStringLiteral("Enter What You Want To Search For"), QStringLiteral("search"));
    if (!typed)
        return;
    const QString &searchText = *typed;
    const SearchPattern pattern(searchText);

    if (searchPos == 0)
        searchPos = 1;
    // The progress caption is brought up to date only when someone can see it: at a real pump
    // and at the end of the run. Progress positions are multiples of 100, so 0 means none owed.
    qint64 progress = 0;
    auto showProgress = [&] {
        if (progress != 0)
            services.setCaption(Control::lblPosition, QString::number(progress));
        progress = 0;
    };

    for (;;) {
        const SearchStep step =
            searchForMatch(snapshot, pattern, searchPos, pacer.nextPumpPoint(searchPos));
        if (step.lastProgressPosition)
            progress = *step.lastProgressPosition;

        switch (step.stop) {
        case SearchStep::Stop::PumpPoint:
            searchPos = step.position;
            if (!pacer.pumpIfDue(services, showProgress))
                return;
            // A run started from the pump may have moved the cursor, to 0 when it reached the
            // end of the text; this run goes on from there, but never before the first position.
            searchPos = std::max<qint64>(searchPos, 1);
            break;
        case SearchStep::Stop::Found:
            showProgress();
            searchPos = step.position;
            services.focusView();
            services.showMessage(searchText + QStringLiteral(" Was found at position ") +
                                 QString::number(searchPos));
            services.select(searchPos - 1, searchText.size());
            // The next run starts one after this match's start, so overlapping matches count.
            searchPos += 1;
            return;
        case SearchStep::Stop::EndOfText:
            showProgress();
            searchPos = 0;
            return;
        }
    }
}
