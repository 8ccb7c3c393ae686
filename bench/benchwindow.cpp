#include "benchwindow.h"
#include "benchfailure.h"
#include "byteview.h"
#include "steadyclock.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

BenchWindow::BenchWindow()
    : window(std::make_unique<Form1>([this](const ViewControls &controls) {
        auto services = std::make_unique<BenchServices>(controls);
        benchServices = services.get();
        return services;
    }))
{
    window->show();
    QCoreApplication::processEvents();
}

ByteView *BenchWindow::text1() const
{
    return window->findChild<ByteView *>(QStringLiteral("text1"));
}

QLabel *BenchWindow::label(const char *name) const
{
    return window->findChild<QLabel *>(QLatin1String(name));
}

ClickTiming BenchWindow::clickUntil(const char *button, const std::function<bool()> &finished,
                                    int maxClicks)
{
    auto *target = window->findChild<QPushButton *>(QLatin1String(button));
    ClickTiming timing;
    for (int clicks = 1;; ++clicks) {
        // A user clicks into an idle window: whatever earlier steps left pending is handled first.
        QCoreApplication::processEvents();
        benchServices->pumps.clear();
        const qint64 start = nowNs();
        QTest::mouseClick(target, Qt::LeftButton);
        const qint64 end = nowNs();
        const QList<PumpInterval> &pumps = benchServices->pumps;
        timing.elapsed += end - start;
        for (const PumpInterval &pump : pumps)
            timing.inPumps += pump.end - pump.start;
        timing.longestGapBetweenPumps =
            std::max(timing.longestGapBetweenPumps, longestGapBetweenPumps(pumps));
        timing.longestWithoutPump =
            std::max(timing.longestWithoutPump, longestTimeWithoutPump(pumps, start, end));
        if (finished())
            return timing;
        if (clicks == maxClicks) {
            const QStringList &messages = benchServices->messages;
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
    benchServices->fileToChoose = path;
    benchServices->messages.clear();
    return clickUntil(
        "Command1",
        [&] {
            return benchServices->messages.isEmpty() && label("lblPosition")->text() == loaded &&
                   text1()->length() == size;
        },
        1);
}
