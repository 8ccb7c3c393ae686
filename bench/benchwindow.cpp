#include "benchwindow.h"
#include "benchfailure.h"
#include "byteview.h"
#include "steadyclock.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <algorithm>

namespace {

// The longest time from `from` to `to` in which no pump ran: between pumps, before the first
// and after the last; the whole span when there was none.
qint64 longestTimeWithoutPump(const QList<PumpInterval> &pumps, qint64 from, qint64 to)
{
    qint64 longest = 0;
    qint64 idleSince = from;
    for (const PumpInterval &pump : pumps) {
        longest = std::max(longest, pump.start - idleSince);
        idleSince = pump.end;
    }
    return std::max(longest, to - idleSince);
}

} // namespace

BenchWindow::BenchWindow()
{
    services().pacing = PumpPacing();
    services().onPrompt = [this] {
        promptedAt = nowNs();
    };
    QCoreApplication::processEvents();
}

bool BenchWindow::viewReadsOnDemand() const
{
    const std::vector<Piece> pieces = services().viewText().pieces();
    return std::any_of(pieces.begin(), pieces.end(),
                       [](const Piece &piece) { return piece.file != nullptr; });
}

ClickTiming BenchWindow::clickUntil(const char *button, const std::function<bool()> &finished,
                                    int maxClicks)
{
    ScriptedServices &scriptedServices = services();
    ClickTiming timing;
    for (int clicks = 1;; ++clicks) {
        // A user clicks into an idle window: whatever earlier steps left pending is handled first.
        QCoreApplication::processEvents();
        scriptedServices.pumps.clear();
        scriptedServices.dialogAnswers = {fileToChoose};
        scriptedServices.promptAnswers = {textToType};
        const qint64 start = timing.lastStart = nowNs();
        scripted.click(button);
        const qint64 end = nowNs();
        const QList<PumpInterval> &pumps = scriptedServices.pumps;
        timing.elapsed += end - start;
        for (const PumpInterval &pump : pumps)
            timing.inPumps += pump.end - pump.start;
        timing.longestWithoutPump =
            std::max(timing.longestWithoutPump, longestTimeWithoutPump(pumps, start, end));
        if (finished())
            return timing;
        if (clicks == maxClicks) {
            const QStringList &messages = scriptedServices.messages;
            throw BenchFailure(
                QStringLiteral("%1 did not finish in %2 clicks; last message: %3")
                    .arg(QLatin1String(button))
                    .arg(maxClicks)
                    .arg(messages.isEmpty() ? QStringLiteral("none") : messages.last())
                    .toStdString());
        }
    }
}

ClickTiming BenchWindow::load(const QString &path, qint64 size)
{
    const QString loaded = QString::number(size) + QStringLiteral(" Total Characters");
    fileToChoose = path;
    services().messages.clear();
    return clickUntil(
        "Command1",
        [&] {
            return services().messages.isEmpty() && label("lblPosition")->text() == loaded &&
                   text1()->editor().length() == size;
        },
        1);
}
