#include "scanbench.h"
#include "benchfailure.h"
#include "benchwindow.h"
#include "byteview.h"
#include "datagenerator.h"
#include "externaltools.h"
#include "literalloops.h"
#include "pathscan.h"
#include "pumppacer.h"
#include "steadyclock.h"
#include "textsearch.h"

#include <QLabel>

#include <functional>

namespace {

// The literal loops repaint a caption every 100 characters, so they run on a sample only.
constexpr qint64 literalSampleBytes = qint64(10) << 20;
constexpr double minSpeedupOverLiteral = 100;
constexpr double longestGapMs = 50;
// Finds the scans may make beyond those expected before the benchmark gives up on them.
constexpr int spareClicks = 16;

// One scan command: how its rows are named and what it must reach.
struct ScanKind
{
    QString command;
    QString endOfRun;     ///< What the window's time runs to.
    QString scanFunction; ///< The pure function that scans the snapshot.
    QString snapshot;     ///< What the command makes of the view's text before it scans.
    QString grep;
    double minRate; ///< GB/s.
    qint64 expectedFinds;
};

// What was measured of one scan command; times in nanoseconds.
struct ScanFigures
{
    ClickTiming window;
    qint64 windowFinds = 0;
    qint64 snapshot = 0;
    qint64 scan = 0;
    qint64 literalSample = 0;
    qint64 literalScaled = 0;
    qint64 grep = 0;
};

// Times `run` over the start of the view's text until a run reaches the end of the text, and
// scales the time up to the whole text.
void timeLiteralLoop(BenchWindow &window,
                     const std::function<bool(QByteArrayView, const LiteralControls &)> &run,
                     ScanFigures &figures)
{
    const Text &text = window.text1()->text();
    const QByteArray sample = text.bytes(0, literalSampleBytes);
    const LiteralControls controls{window.text1(), window.label("lblPosition")};
    figures.literalSample = sample.size();
    const qint64 elapsed = timed([&] {
        while (run(sample, controls)) {
        }
    });
    figures.literalScaled = qint64(double(elapsed) * double(text.size()) / double(sample.size()));
}

// The drive paths in `snapshot`, found stretch by stretch as the command finds them.
qint64 pathsIn(QByteArrayView snapshot)
{
    qint64 finds = 0;
    qint64 from = 1;
    qint64 passes = 0;
    for (;;) {
        const PathScanStep step =
            scanForPath(snapshot, from, passes, PumpPacer::nextPumpPoint(passes));
        switch (step.stop) {
        case PathScanStep::Stop::PumpPoint:
            from = step.position + 1;
            passes = step.passes;
            break;
        case PathScanStep::Stop::Found:
            ++finds;
            from = step.position;
            passes = 0;
            break;
        case PathScanStep::Stop::EndOfText:
            return finds;
        }
    }
}

// The matches of `pattern` in `folded`, found stretch by stretch as the command finds them.
qint64 matchesIn(QByteArrayView folded, const SearchPattern &pattern)
{
    qint64 finds = 0;
    qint64 from = 1;
    for (;;) {
        const SearchStep step = searchFolded(folded, pattern, from, PumpPacer::nextPumpPoint(from));
        switch (step.stop) {
        case SearchStep::Stop::PumpPoint:
            from = step.position;
            break;
        case SearchStep::Stop::Found:
            ++finds;
            from = step.position + 1;
            break;
        case SearchStep::Stop::EndOfText:
            return finds;
        }
    }
}

void requireSameFinds(qint64 scanFinds, const ScanKind &kind, const ScanFigures &figures)
{
    if (scanFinds != figures.windowFinds) {
        throw BenchFailure(QStringLiteral("%1 found %2 times, the window %3 times")
                               .arg(kind.scanFunction)
                               .arg(scanFinds)
                               .arg(figures.windowFinds)
                               .toStdString());
    }
}

qint64 grepTime(const QStringList &arguments)
{
    const ToolRun grep = runTool(QStringLiteral("grep"), arguments);
    // grep exits with 1 when nothing matched, 2 on trouble.
    if (grep.exitCode > 1)
        throw BenchFailure("grep " + arguments.join(QLatin1Char(' ')).toStdString() + " failed");
    return grep.elapsed;
}

QList<Row> scanRows(const ScanKind &kind, const BenchSize &size, const ScanFigures &figures)
{
    const auto name = [&kind](const QString &what) {
        return kind.command + QStringLiteral(": ") + what;
    };
    const double windowSeconds = seconds(figures.window.elapsed);
    return {
        {name(kind.endOfRun), size.label, windowSeconds, QStringLiteral("s"), Target()},
        {name(QStringLiteral("found")), size.label, double(figures.windowFinds), QString(),
         Target::equals(double(kind.expectedFinds))},
        {name(kind.scanFunction + QStringLiteral(" rate")), size.label,
         double(size.bytes) / double(figures.scan), QStringLiteral("GB/s"),
         Target::atLeast(kind.minRate)},
        {name(kind.snapshot), size.label, seconds(figures.snapshot), QStringLiteral("s"), Target()},
        {name(QStringLiteral("longest gap between pumps")), size.label,
         milliseconds(figures.window.longestGapBetweenPumps), QStringLiteral("ms"),
         Target::atMost(longestGapMs)},
        {name(QStringLiteral("time in event pumps")), size.label, seconds(figures.window.inPumps),
         QStringLiteral("s"), Target()},
        {name(QStringLiteral("longest time without a pump")), size.label,
         milliseconds(figures.window.longestWithoutPump), QStringLiteral("ms"), Target()},
        {name(QStringLiteral("literal loop, scaled from %1 MiB")
                  .arg(double(figures.literalSample) / double(1 << 20))),
         size.label, seconds(figures.literalScaled), QStringLiteral("s"), Target()},
        {name(QStringLiteral("speedup over literal loop")), size.label,
         seconds(figures.literalScaled) / windowSeconds, QStringLiteral("x"),
         Target::atLeast(minSpeedupOverLiteral)},
        {name(kind.grep), size.label, seconds(figures.grep), QStringLiteral("s"), Target()},
        {name(QStringLiteral("speedup over grep")), size.label,
         seconds(figures.grep) / windowSeconds, QStringLiteral("x"), Target::atLeast(1)},
    };
}

} // namespace

QStringList binaryLikeSearchTexts()
{
    return {QStringLiteral("vortex"),
            QStringLiteral("Korvane could not open the settings file; using the defaults now")};
}

QString adversarialSearchText()
{
    return QString(63, u'a') + u'b';
}

QList<Row> measureFindPath(BenchWindow &window, const QString &file, const BenchSize &size)
{
    const ScanKind kind{.command = QStringLiteral("find path"),
                        .endOfRun = QStringLiteral("clicks to Search Finished"),
                        .scanFunction = QStringLiteral("scanForPath"),
                        .snapshot = QStringLiteral("snapshot copy"),
                        .grep = QStringLiteral("grep -E"),
                        .minRate = 2,
                        .expectedFinds = plantedDrivePaths().size()};
    ScanFigures figures;

    BenchServices &services = window.services();
    services.messages.clear();
    window.form().pathPos = 0;
    QLabel *lblStat = window.label("lblStat");
    figures.window = window.clickUntil(
        "Command3", [lblStat] { return lblStat->text() == QStringLiteral("Search Finished"); },
        int(kind.expectedFinds) + spareClicks);
    figures.windowFinds = services.messages.size();

    QByteArray snapshot;
    figures.snapshot = timed([&] { snapshot = window.text1()->text().toByteArray(); });
    qint64 scanFinds = 0;
    figures.scan = timed([&] { scanFinds = pathsIn(snapshot); });
    requireSameFinds(scanFinds, kind, figures);
    snapshot = QByteArray();

    qint64 pathPos = 0;
    timeLiteralLoop(
        window,
        [&pathPos](QByteArrayView sample, const LiteralControls &controls) {
            return literalFindPath(sample, pathPos, controls);
        },
        figures);
    figures.grep = grepTime({QStringLiteral("-a"), QStringLiteral("-b"), QStringLiteral("-o"),
                             QStringLiteral("-E"), QStringLiteral("[ACDEFacdef]:\\\\"), file});
    return scanRows(kind, size, figures);
}

QList<Row> measureSearch(BenchWindow &window, const QString &file, const BenchSize &size,
                         const QString &name, const QString &searchText)
{
    const ScanKind kind{.command = QStringLiteral("search ") + name,
                        .endOfRun = QStringLiteral("click to end of text"),
                        .scanFunction = QStringLiteral("searchFolded"),
                        .snapshot = QStringLiteral("folded snapshot"),
                        .grep = QStringLiteral("grep -i -F"),
                        .minRate = 1,
                        .expectedFinds = 0};
    ScanFigures figures;

    BenchServices &services = window.services();
    services.messages.clear();
    services.textToType = searchText;
    Form1 &form = window.form();
    form.searchPos = 0;
    figures.window = window.clickUntil(
        "Command4", [&form] { return form.searchPos == 0; }, spareClicks);
    figures.windowFinds = services.messages.size();

    QByteArray folded;
    figures.snapshot =
        timed([&] { folded = foldedSnapshot(window.text1()->text().toByteArray()); });
    qint64 scanFinds = 0;
    figures.scan = timed([&] { scanFinds = matchesIn(folded, SearchPattern(searchText)); });
    requireSameFinds(scanFinds, kind, figures);
    folded = QByteArray();

    qint64 searchPos = 0;
    timeLiteralLoop(
        window,
        [&](QByteArrayView sample, const LiteralControls &controls) {
            return literalSearchForText(sample, searchText, searchPos, controls);
        },
        figures);
    figures.grep = grepTime({QStringLiteral("-a"), QStringLiteral("-b"), QStringLiteral("-o"),
                             QStringLiteral("-i"), QStringLiteral("-F"), QStringLiteral("-e"),
                             searchText, file});
    return scanRows(kind, size, figures);
}
