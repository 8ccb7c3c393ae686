#include "loadbench.h"
#include "benchfailure.h"
#include "benchwindow.h"
#include "byteview.h"
#include "processstatus.h"
#include "steadyclock.h"

#include <QApplication>
#include <QClipboard>
#include <QScrollBar>
#include <QTest>

#include <cstdlib>

namespace {

constexpr int repetitions = 20;
constexpr double frameMs = 16;
constexpr qint64 mib = qint64(1) << 20;

void require(bool condition, const char *what)
{
    if (!condition)
        throw BenchFailure(what);
}

// The slowest of `repetitions` runs of `step`, each with the repaint that makes it visible;
// `prepare` runs untimed before each.
template <typename Prepare, typename Step>
qint64 slowestStep(ByteView *view, Prepare &&prepare, Step &&step)
{
    qint64 slowest = 0;
    for (int i = 0; i < repetitions; ++i) {
        prepare();
        QCoreApplication::processEvents();
        slowest = std::max(slowest, timed([&] {
                               step();
                               view->viewport()->repaint();
                           }));
    }
    return slowest;
}

} // namespace

QList<Row> measureLoad(BenchWindow &window, const QString &path, qint64 bytes,
                       const QString &fileName, const BenchSize &size, bool measureMemory)
{
    const qint64 residentBefore = statusKiB("VmRSS");
    const ClickTiming load = window.load(path, bytes);
    // Only files small enough to be read in a few tens of milliseconds are read whole; any
    // larger one opens at once, whatever its size, and is read on demand.
    QList<Row> rows{{fileName + QStringLiteral(": load, click to caption set"), size.label,
                     seconds(load.elapsed), QStringLiteral("s"), Target::atMost(0.25)}};
    if (measureMemory) {
        const double added = double(statusKiB("VmHWM") - residentBefore) * 1024;
        // A text read whole holds its file in memory; one read on demand only the pages shown.
        const double held = window.viewReadsOnDemand() ? 0 : double(bytes);
        rows << Row{fileName + QStringLiteral(": load, peak memory added"), size.label,
                    added / double(mib), QStringLiteral("MiB"),
                    Target::atMost((1.1 * held + double(64 * mib)) / double(mib))};
    }
    return rows;
}

QList<Row> measureSteps(BenchWindow &window, const QString &fileName, const BenchSize &size)
{
    ByteView *view = window.text1();
    const qint64 bytes = view->editor().length();
    view->setFocus();
    const auto none = [] {
    };
    const auto toStart = [view] {
        QTest::keyClick(view, Qt::Key_Home, Qt::ControlModifier);
    };
    const auto toEnd = [view] {
        QTest::keyClick(view, Qt::Key_End, Qt::ControlModifier);
    };

    toStart();
    const qint64 scroll = slowestStep(view, none, [view] {
        view->verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    });
    require(view->topOffset() > 0 || bytes == 0, "the view did not scroll");
    toStart();
    const qint64 pageDown =
        slowestStep(view, none, [view] { QTest::keyClick(view, Qt::Key_PageDown); });
    require(view->editor().selection().caret > 0 || bytes == 0, "page down did not move the caret");
    const qint64 caretToEnd = slowestStep(view, toStart, toEnd);
    require(view->editor().selection().caret == bytes, "the caret did not reach the end");
    // The scroll bar moves as a user's drag moves it, and the view follows at once.
    const qint64 jump = slowestStep(view, toStart, [view] {
        QScrollBar *bar = view->verticalScrollBar();
        bar->setSliderDown(true);
        bar->setSliderPosition(bar->minimum() + (bar->maximum() - bar->minimum()) / 2);
        bar->setSliderDown(false);
    });
    require(std::abs(view->topOffset() - bytes / 2) <= bytes / 20,
            "the scroll bar's middle did not show the middle of the text");

    const qint64 keystroke = slowestStep(view, toEnd, [view] { QTest::keyClick(view, 'x'); });
    require(view->editor().length() == bytes + repetitions, "the keystrokes did not reach the view");
    const qint64 backspace =
        slowestStep(view, toEnd, [view] { QTest::keyClick(view, Qt::Key_Backspace); });
    require(view->editor().length() == bytes, "the backspaces did not reach the view");

    QApplication::clipboard()->setText(QString(4096, u'p'));
    qint64 paste = 0;
    const qint64 undo = slowestStep(
        view,
        [&] {
            toEnd();
            paste = std::max(paste, timed([view] {
                                 view->paste();
                                 view->viewport()->repaint();
                             }));
            require(view->editor().length() == bytes + 4096, "the paste did not reach the view");
        },
        [view] { view->editor().undo(); });
    require(view->editor().length() == bytes, "the undo did not take the paste back");

    const QString slowest = QStringLiteral(" + repaint, slowest of %1").arg(repetitions);
    const auto row = [&](const QString &step, qint64 ns) {
        return Row{fileName + QStringLiteral(": ") + step + slowest, size.label, milliseconds(ns),
                   QStringLiteral("ms"), Target::atMost(frameMs)};
    };
    return {row(QStringLiteral("scroll step"), scroll),
            row(QStringLiteral("page down"), pageDown),
            row(QStringLiteral("Ctrl+End, caret to end"), caretToEnd),
            row(QStringLiteral("scroll bar dragged to the middle"), jump),
            row(QStringLiteral("keystroke at end"), keystroke),
            row(QStringLiteral("backspace at end"), backspace),
            row(QStringLiteral("paste 4 KiB at end"), paste),
            row(QStringLiteral("undo the paste"), undo)};
}
