#include "scanbench.h"
#include "benchfailure.h"
#include "benchwindow.h"
#include "datagenerator.h"
#include "externaltools.h"
#include "pathscan.h"
#include "pumppacer.h"
#include "scanreference.h"
#include "steadyclock.h"
#include "textsearch.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <algorithm>
#include <functional>
#include <limits>
#include <optional>

namespace {

// The literal loops repaint a caption every 100 characters, so they run on a sample only.
constexpr qint64 literalSampleBytes = qint64(10) << 20;
constexpr double minSpeedupOverLiteral = 100;
constexpr double longestWithoutPumpMs = 50;
// From a click until the window answers again: a frame at 60 Hz.
constexpr double firstAnswerMs = 16;
// Finds the scans may make beyond those expected before the benchmark gives up on them.
constexpr int spareClicks = 16;

// One scan command: how its rows are named and what it must reach.
struct ScanKind
{
    QString command;
    QString endOfRun; ///< What the window's time runs to.
    Target endOfRunTarget;
    QString firstAnswer;    ///< Where the window answers a click for the first time.
    QString scanFunction;   ///< The pure function that scans the snapshot.
    double minRateInMemory; ///< GB/s, over a text held in memory.
    QString pattern;        ///< What grep and rg look for.
    QStringList grepOptions;
    QStringList rgOptions;
    qint64 expectedFinds;
};

// What was measured of one scan command; times in nanoseconds.
struct ScanFigures
{
    ClickTiming window;
    qint64 windowFinds = 0;
    qint64 firstAnswer = 0;
    qint64 firstAnswerAfterEdit = 0;
    qint64 scan = 0;
    qint64 literalSample = 0;
    qint64 literalScaled = 0;
    /// GB/s: how fast dd reads the file from the system's cache, when the view reads it on demand.
    std::optional<double> ddRate;
    qint64 grep = 0;
    qint64 rg = 0;
};

// Shows a progress caption and lets pending events run, as the literal loops do at every
// hundredth step.
using ShowProgress = std::function<void(const QString &caption)>;

// Times `run` over the start of the view's text until a run reaches the end of the text, and
// scales the time up to the whole text. Each run is one click's work without its messages and
// says whether it found something.
void timeLiteralLoop(BenchWindow &window,
                     const std::function<bool(QByteArrayView, const ShowProgress &)> &run,
                     ScanFigures &figures)
{
    const Text text = window.services().viewText();
    const QByteArray sample = text.bytes(0, literalSampleBytes);
    QLabel *lblPosition = window.label("lblPosition");
    const ShowProgress showProgress = [lblPosition](const QString &caption) {
        lblPosition->setText(caption);
        QCoreApplication::processEvents();
    };
    figures.literalSample = sample.size();
    const qint64 elapsed = timed([&] {
        while (run(sample, showProgress)) {
        }
    });
    figures.literalScaled = qint64(double(elapsed) * double(text.size()) / double(sample.size()));
}

// The drive paths in `snapshot`, found stretch by stretch as the command finds them.
qint64 pathsIn(const Text &snapshot)
{
    const PumpPacer pacer{PumpPacing()};
    qint64 finds = 0;
    qint64 from = 1;
    qint64 passes = 0;
    for (;;) {
        const PathScanStep step = scanForPath(snapshot, from, passes, pacer.nextPumpPoint(passes));
        switch (step.stop) {
        case PathScanStep::Stop::PumpPoint:
            from = nextPathPass(pathPosAfter(step), true);
            passes = step.passes;
            break;
        case PathScanStep::Stop::Found:
            ++finds;
            from = nextPathPass(pathPosAfter(step), false);
            passes = 0;
            break;
        case PathScanStep::Stop::EndOfText:
            return finds;
        }
    }
}

// The matches of `pattern` in `snapshot`, found stretch by stretch as the command finds them.
qint64 matchesIn(const Text &snapshot, const SearchPattern &pattern)
{
    const PumpPacer pacer{PumpPacing()};
    qint64 finds = 0;
    qint64 from = 1;
    for (;;) {
        const SearchStep step = searchForMatch(snapshot, pattern, from, pacer.nextPumpPoint(from));
        switch (step.stop) {
        case SearchStep::Stop::PumpPoint:
            from = nextSearchPosition(searchPosAfter(step), false);
            break;
        case SearchStep::Stop::Found:
            ++finds;
            from = nextSearchPosition(searchPosAfter(step), true);
            break;
        case SearchStep::Stop::EndOfText:
            return finds;
        }
    }
}

// How long a click on `button` takes until the window answers again: until the command's first
// event pump, or its prompt when it asks for one. The click then runs to its end.
qint64 clickToFirstAnswer(BenchWindow &window, const char *button)
{
    window.promptedAt.reset();
    const ClickTiming click = window.clickUntil(
        button, [] { return true; }, 1);
    const QList<PumpInterval> &pumps = window.services().pumps;
    if (!window.promptedAt && pumps.isEmpty())
        throw BenchFailure(std::string(button) + " neither pumped nor prompted");
    return window.promptedAt.value_or(pumps.value(0).start) - click.lastStart;
}

// Types a byte at the start of the view and deletes it again, as a user would: the text is the
// same, but it was edited since the last snapshot.
void typeAndUndoAByte(BenchWindow &window)
{
    auto *text1 = window.form().findChild<QWidget *>(QStringLiteral("text1"));
    const qint64 size = window.services().viewText().size();
    window.services().select(0, 0);
    QTest::keyClick(text1, Qt::Key_X);
    QTest::keyClick(text1, Qt::Key_Backspace);
    if (window.services().viewText().size() != size)
        throw BenchFailure("typing a byte and deleting it changed the text's length");
}

// Measures the first answer to a click on `button`, then again right after an edit.
void timeFirstAnswers(BenchWindow &window, const char *button, ScanFigures &figures)
{
    figures.firstAnswer = clickToFirstAnswer(window, button);
    typeAndUndoAByte(window);
    figures.firstAnswerAfterEdit = clickToFirstAnswer(window, button);
}

// The shortest of three runs of `work`: the other work of a shared machine can only slow a run
// down, so the fastest says best what the code itself costs.
template <typename Work> qint64 fastestOfThree(Work &&work)
{
    return std::min({timed(work), timed(work), timed(work)});
}

// The fastest of three runs of a command to its end, as the tools it is compared with are timed;
// its longest time without a pump is the longest of all three, since any run may keep the user
// waiting.
template <typename Run> ClickTiming fastestOfThreeRuns(Run &&run)
{
    ClickTiming fastest = run();
    for (int more = 0; more < 2; ++more) {
        const ClickTiming next = run();
        const qint64 longest = std::max(fastest.longestWithoutPump, next.longestWithoutPump);
        if (next.elapsed < fastest.elapsed)
            fastest = next;
        fastest.longestWithoutPump = longest;
    }
    return fastest;
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

// How long `program` takes to find `pattern` in `file` with `options`, as grep and rg take them,
// failing unless it found what the window found.
qint64 searchToolTime(const QString &program, const QStringList &options, const QString &pattern,
                      const QString &file, qint64 windowFinds)
{
    const QStringList arguments =
        QStringList{QStringLiteral("-a"), QStringLiteral("-b"), QStringLiteral("-o")} + options +
        QStringList{QStringLiteral("-e"), pattern, file};
    const std::string command =
        (program + QLatin1Char(' ') + arguments.join(QLatin1Char(' '))).toStdString();
    // The fastest of three runs, as for the window.
    qint64 fastest = std::numeric_limits<qint64>::max();
    for (int attempt = 0; attempt < 3; ++attempt) {
        const ToolRun run = runTool(program, arguments);
        // Both exit with 1 when nothing matched, 2 on trouble.
        if (run.exitCode > 1)
            throw BenchFailure(command + " failed: " + run.errorOutput.trimmed().toStdString());
        // With -o each match is a line of its own: fewer lines would mean the tool did less work.
        if (run.outputLines != windowFinds) {
            throw BenchFailure(command + " found " + std::to_string(run.outputLines) +
                               " matches, the window " + std::to_string(windowFinds));
        }
        fastest = std::min(fastest, run.elapsed);
    }
    return fastest;
}

// Times grep and rg finding what the window found in `file`, and dd reading it when the view
// reads it on demand.
void timeTools(const BenchWindow &window, const ScanKind &kind, const QString &file,
               ScanFigures &figures)
{
    figures.grep = searchToolTime(QStringLiteral("grep"), kind.grepOptions, kind.pattern, file,
                                  figures.windowFinds);
    figures.rg = searchToolTime(QStringLiteral("rg"), kind.rgOptions, kind.pattern, file,
                                figures.windowFinds);
    if (window.viewReadsOnDemand()) {
        const qint64 bytes = window.services().viewText().size();
        // The fastest of three, as for the scan itself.
        figures.ddRate =
            double(bytes) / double(std::min({ddReadTime(file, bytes), ddReadTime(file, bytes),
                                             ddReadTime(file, bytes)}));
    }
}

QString toolName(const QString &program, const QStringList &options)
{
    return QStringList(QStringList{program} + options).join(QLatin1Char(' '));
}

QList<Row> scanRows(const ScanKind &kind, const BenchSize &size, const ScanFigures &figures)
{
    const auto name = [&kind](const QString &what) {
        return kind.command + QStringLiteral(": ") + what;
    };
    const double windowSeconds = seconds(figures.window.elapsed);
    // Over a file read on demand no scan can outrun reading the file, which dd shows at the
    // speed this machine copies from the system's file cache: half of that leaves room for the
    // scan's own work, as on a file far larger than memory.
    const Target rateTarget = figures.ddRate ? Target::atLeast(*figures.ddRate / 2)
                                             : Target::atLeast(kind.minRateInMemory);
    QList<Row> rows{
        {name(kind.endOfRun), size.label, windowSeconds, QStringLiteral("s"), kind.endOfRunTarget},
        {name(QStringLiteral("found")), size.label, double(figures.windowFinds), QString(),
         Target::equals(double(kind.expectedFinds))},
        {name(kind.scanFunction + QStringLiteral(" rate")), size.label,
         double(size.bytes) / double(figures.scan), QStringLiteral("GB/s"), rateTarget},
        {name(kind.firstAnswer), size.label, milliseconds(figures.firstAnswer),
         QStringLiteral("ms"), Target::atMost(firstAnswerMs)},
        {name(kind.firstAnswer + QStringLiteral(" after an edit")), size.label,
         milliseconds(figures.firstAnswerAfterEdit), QStringLiteral("ms"),
         Target::atMost(firstAnswerMs)},
        {name(QStringLiteral("time in event pumps")), size.label, seconds(figures.window.inPumps),
         QStringLiteral("s"), Target()},
        {name(QStringLiteral("longest time without a pump")), size.label,
         milliseconds(figures.window.longestWithoutPump), QStringLiteral("ms"),
         Target::atMost(longestWithoutPumpMs)},
        {name(QStringLiteral("literal loop, scaled from %1 MiB")
                  .arg(double(figures.literalSample) / double(1 << 20))),
         size.label, seconds(figures.literalScaled), QStringLiteral("s"), Target()},
        {name(QStringLiteral("speedup over literal loop")), size.label,
         seconds(figures.literalScaled) / windowSeconds, QStringLiteral("x"),
         Target::atLeast(minSpeedupOverLiteral)},
        {name(toolName(QStringLiteral("grep"), kind.grepOptions)), size.label,
         seconds(figures.grep), QStringLiteral("s"), Target()},
        {name(toolName(QStringLiteral("rg"), kind.rgOptions)), size.label, seconds(figures.rg),
         QStringLiteral("s"), Target()},
        {name(QStringLiteral("speedup over the faster of grep and rg")), size.label,
         seconds(std::min(figures.grep, figures.rg)) / windowSeconds, QStringLiteral("x"),
         Target::atLeast(1)},
    };
    // Right after the rate it bounds.
    if (figures.ddRate) {
        rows.insert(3, {name(QStringLiteral("dd bs=1M read rate, file in the system's cache")),
                        size.label, *figures.ddRate, QStringLiteral("GB/s"), Target()});
    }
    return rows;
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
    const double gibibytes = double(size.bytes) / double(qint64(1) << 30);
    const ScanKind kind{.command = QStringLiteral("find path"),
                        .endOfRun = QStringLiteral("clicks to Search Finished"),
                        .endOfRunTarget = Target::atMost(std::max(0.5, 0.5 * gibibytes)),
                        .firstAnswer = QStringLiteral("click to first pump"),
                        .scanFunction = QStringLiteral("scanForPath"),
                        .minRateInMemory = 10,
                        .pattern = QStringLiteral("[ACDEFacdef]:\\\\"),
                        .grepOptions = {QStringLiteral("-E")},
                        // rg reads extended expressions by default; its -E names an encoding.
                        .rgOptions = {},
                        .expectedFinds = plantedDrivePaths().size()};
    ScanFigures figures;

    ScriptedServices &services = window.services();
    Form1 &form = window.form();
    form.pathPos = 0;
    timeFirstAnswers(window, "Command3", figures);
    QLabel *lblStat = window.label("lblStat");
    figures.window = fastestOfThreeRuns([&] {
        services.messages.clear();
        form.pathPos = 0;
        return window.clickUntil(
            "Command3", [lblStat] { return lblStat->text() == QStringLiteral("Search Finished"); },
            int(kind.expectedFinds) + spareClicks);
    });
    figures.windowFinds = services.messages.size();

    const Text snapshot = services.viewText();
    qint64 scanFinds = 0;
    figures.scan = fastestOfThree([&] { scanFinds = pathsIn(snapshot); });
    requireSameFinds(scanFinds, kind, figures);

    qint64 pathPos = 0;
    timeLiteralLoop(
        window,
        [&pathPos](QByteArrayView sample, const ShowProgress &showProgress) {
            const qint64 total = sample.size();
            showProgress(QStringLiteral("Position %1 of %2").arg(pathPos).arg(total));
            const PathScanStep step = literalPathScan(
                sample, nextPathPass(pathPos, false), 0, [&](qint64 cursor, qint64) {
                    showProgress(QStringLiteral("Position %1 of %2").arg(cursor).arg(total));
                    return true;
                });
            pathPos = pathPosAfter(step);
            return step.stop == PathScanStep::Stop::Found;
        },
        figures);
    timeTools(window, kind, file, figures);
    return scanRows(kind, size, figures);
}

QList<Row> measureSearch(BenchWindow &window, const QString &file, const BenchSize &size,
                         const QString &name, const QString &searchText)
{
    const ScanKind kind{.command = QStringLiteral("search ") + name,
                        .endOfRun = QStringLiteral("click to end of text"),
                        .endOfRunTarget = Target(),
                        .firstAnswer = QStringLiteral("click to the prompt"),
                        .scanFunction = QStringLiteral("searchForMatch"),
                        .minRateInMemory = 1,
                        .pattern = searchText,
                        .grepOptions = {QStringLiteral("-i"), QStringLiteral("-F")},
                        .rgOptions = {QStringLiteral("-i"), QStringLiteral("-F")},
                        .expectedFinds = 0};
    ScanFigures figures;

    ScriptedServices &services = window.services();
    window.textToType = searchText;
    Form1 &form = window.form();
    form.searchPos = 0;
    timeFirstAnswers(window, "Command4", figures);
    figures.window = fastestOfThreeRuns([&] {
        services.messages.clear();
        form.searchPos = 0;
        return window.clickUntil(
            "Command4", [&form] { return form.searchPos == 0; }, spareClicks);
    });
    figures.windowFinds = services.messages.size();

    const Text snapshot = services.viewText();
    qint64 scanFinds = 0;
    figures.scan =
        fastestOfThree([&] { scanFinds = matchesIn(snapshot, SearchPattern(searchText)); });
    requireSameFinds(scanFinds, kind, figures);

    qint64 searchPos = 0;
    timeLiteralLoop(
        window,
        [&](QByteArrayView sample, const ShowProgress &showProgress) {
            const SearchStep step = literalSearch(
                sample, searchText, nextSearchPosition(searchPos, false), [&](qint64 cursor) {
                    showProgress(QString::number(cursor));
                    return true;
                });
            const bool found = step.stop == SearchStep::Stop::Found;
            searchPos = nextSearchPosition(searchPosAfter(step), found);
            return found;
        },
        figures);
    timeTools(window, kind, file, figures);
    return scanRows(kind, size, figures);
}

QList<Row> measureFirstFind(BenchWindow &window, const QString &file, const char *button,
                            const QString &name, qint64 bytes, const QString &expectedMessage,
                            const BenchSize &size)
{
    ScriptedServices &services = window.services();
    window.form().pathPos = 0;
    window.form().searchPos = 0;
    services.messages.clear();
    // Both read the bytes from the system's cache, where a first read by dd puts them. A first
    // read of a hole costs the system a freshly zeroed page for every 4 KiB, and on a shared
    // machine that cost swings with what the others do with memory, tenfold from one run to the
    // next; from the cache, both figures hold still.
    ddReadTime(file, bytes);
    const ClickTiming click = window.clickUntil(
        button, [] { return true; }, 1);
    const bool reported = services.messages == QStringList{expectedMessage};
    const qint64 dd = ddReadTime(file, bytes);

    const QString stretch = QStringLiteral("%1 GiB").arg(double(bytes >> 20) / 1024, 0, 'f', 0);
    const auto row = [&](const QString &what, const QJsonValue &value, const QString &unit,
                         const Target &target) {
        return Row{name + QStringLiteral(", ") + what, size.label, value, unit, target};
    };
    return {
        row(QStringLiteral("click to its message after %1").arg(stretch), seconds(click.elapsed),
            QStringLiteral("s"), Target()),
        row(QStringLiteral("reports \"%1\"").arg(expectedMessage), reported, QString(),
            Target::equals(true)),
        row(QStringLiteral("dd bs=1M over the same %1").arg(stretch), seconds(dd),
            QStringLiteral("s"), Target()),
        row(QStringLiteral("read rate / dd's"), double(dd) / double(click.elapsed),
            QStringLiteral("x"), Target::atLeast(0.5)),
        row(QStringLiteral("longest time without a pump"), milliseconds(click.longestWithoutPump),
            QStringLiteral("ms"), Target::atMost(longestWithoutPumpMs)),
    };
}
