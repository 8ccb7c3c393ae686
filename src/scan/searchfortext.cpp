#include "pumppacer.h"
#include "scancommands.h"
#include "services.h"
#include "textsearch.h"

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

    searchPos = nextSearchPosition(searchPos, false);
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
            searchPos = searchPosAfter(step);
            if (!pacer.pumpIfDue(services, showProgress))
                return;
            // A run started from the pump may have moved the cursor; go on from wherever it is.
            searchPos = nextSearchPosition(searchPos, false);
            break;
        case SearchStep::Stop::Found:
            showProgress();
            // The cursor rests on the match while its message shows; a run started meanwhile
            // moves it, and the selection and the next run follow the cursor as it then is.
            searchPos = searchPosAfter(step);
            services.focusView();
            services.showMessage(searchText + QStringLiteral(" Was found at position ") +
                                 QString::number(searchPos));
            services.select(searchPos - 1, searchText.size());
            searchPos = nextSearchPosition(searchPos, true);
            return;
        case SearchStep::Stop::EndOfText:
            showProgress();
            searchPos = searchPosAfter(step);
            return;
        }
    }
}
