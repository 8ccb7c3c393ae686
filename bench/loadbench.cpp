#include "loadbench.h"
#include "benchfailure.h"
#include "benchwindow.h"
#include "scintillaview.h"
#include "steadyclock.h"

#include <QFile>
#include <QTest>

namespace {

constexpr int repetitions = 10;
constexpr double frameMs = 16;
constexpr double maxPeakPerFileByte = 2.5;

// A figure of /proc/self/status, in KiB.
qint64 statusKiB(const QByteArray &field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith(field + ':'))
                return line.mid(field.size() + 1).trimmed().split(' ').first().toLongLong();
        }
    }
    throw BenchFailure("/proc/self/status shows no " + field.toStdString());
}

// How long `step` takes with the view's repaint that makes it visible.
template <typename Step> qint64 timeWithRepaint(ScintillaView *view, Step &&step)
{
    return timed([&] {
        step();
        view->viewport()->repaint();
    });
}

void require(bool condition, const char *what)
{
    if (!condition)
        throw BenchFailure(what);
}

} // namespace

QList<Row> measureLoad(BenchWindow &window, const QString &path, const BenchSize &size)
{
    const qint64 residentBefore = statusKiB("VmRSS");
    const ClickTiming load = window.load(path, size.bytes);
    const qint64 peak = statusKiB("VmHWM");

    ScintillaView *view = window.text1();
    const auto send = [view](unsigned int message, unsigned long wParam = 0, long lParam = 0) {
        return view->SendScintilla(message, wParam, lParam);
    };
    view->setFocus();
    qint64 scroll = 0;
    qint64 caretToEnd = 0;
    qint64 keystroke = 0;
    for (int i = 0; i < repetitions; ++i) {
        timeWithRepaint(view, [&] { send(QsciScintillaBase::SCI_DOCUMENTSTART); });
        scroll = std::max(
            scroll, timeWithRepaint(view, [&] { send(QsciScintillaBase::SCI_LINESCROLL, 0, 1); }));
        require(send(QsciScintillaBase::SCI_GETFIRSTVISIBLELINE) == 1, "the view did not scroll");

        caretToEnd = std::max(
            caretToEnd, timeWithRepaint(view, [&] { send(QsciScintillaBase::SCI_DOCUMENTEND); }));
        require(view->caretOffset() == size.bytes, "the caret did not reach the end");

        keystroke =
            std::max(keystroke, timeWithRepaint(view, [view] { QTest::keyClick(view, 'x'); }));
        require(view->length() == size.bytes + 1, "the keystroke did not reach the view");
        keystroke = std::max(
            keystroke, timeWithRepaint(view, [view] { QTest::keyClick(view, Qt::Key_Backspace); }));
        require(view->length() == size.bytes, "the backspace did not reach the view");
    }

    const auto slowestOf = [](int count) {
        return QStringLiteral(", slowest of %1").arg(count);
    };
    return {
        {QStringLiteral("load: click to caption set"), size.label, seconds(load.elapsed),
         QStringLiteral("s"), Target::atMost(transferTargetSeconds(size))},
        {QStringLiteral("load: peak memory (VmHWM)"), size.label, double(peak) / 1024,
         QStringLiteral("MiB"), Target()},
        {QStringLiteral("load: peak memory added / file size"), size.label,
         double(peak - residentBefore) * 1024 / double(size.bytes), QStringLiteral("x"),
         Target::atMost(maxPeakPerFileByte)},
        {QStringLiteral("scroll step + repaint") + slowestOf(repetitions), size.label,
         milliseconds(scroll), QStringLiteral("ms"), Target::atMost(frameMs)},
        {QStringLiteral("caret to end + repaint") + slowestOf(repetitions), size.label,
         milliseconds(caretToEnd), QStringLiteral("ms"), Target::atMost(frameMs)},
        {QStringLiteral("keystroke at end + repaint") + slowestOf(2 * repetitions), size.label,
         milliseconds(keystroke), QStringLiteral("ms"), Target::atMost(frameMs)},
    };
}
