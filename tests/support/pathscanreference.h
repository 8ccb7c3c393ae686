#pragma once

#include "pathscan.h"

#include <QByteArrayView>
#include <QChar>
#include <QList>
#include <QString>
#include <QStringView>

#include <limits>
#include <optional>

// The drive-path scan run as the literal loop, one pass at a time: what scanForPath must match.
struct PathScanReference
{
    PathScanStep step;
    /// The cursor at each pass of the stretch whose number is a multiple of 100, in order.
    QList<qint64> captions;

    static PathScanReference run(QByteArrayView text, qint64 from, qint64 passes, qint64 pumpAt)
    {
        // The upper-cased character at 1-based `p`, nothing past the end.
        const auto ch = [text](qint64 p) -> std::optional<QChar> {
            if (p > text.size())
                return std::nullopt;
            return QChar::fromLatin1(text[p - 1]).toUpper();
        };
        const auto isCandidate = [](std::optional<QChar> x) {
            return x && QStringView(u"ACDEF").contains(*x);
        };
        PathScanReference result{{PathScanStep::Stop::EndOfText, 0, 0, std::nullopt, false}, {}};
        qint64 pathPos = from;
        qint64 k = passes;
        while (pathPos <= text.size()) {
            std::optional<QChar> x = ch(pathPos);
            if (isCandidate(x)) {
                result.step.sawCandidate = true;
                ++pathPos;
                x = ch(pathPos);
                if (x != QLatin1Char(':')) {
                    if (isCandidate(x))
                        --pathPos;
                } else {
                    ++pathPos;
                    x = ch(pathPos);
                    if (x == QLatin1Char('\\')) {
                        result.step.stop = PathScanStep::Stop::Found;
                        result.step.position = pathPos;
                        break;
                    }
                    if (isCandidate(x))
                        --pathPos;
                }
            }
            ++k;
            if (k % 100 == 0) {
                result.step.lastProgressPosition = pathPos;
                result.captions.append(pathPos);
            }
            if (k == pumpAt) {
                result.step.stop = PathScanStep::Stop::PumpPoint;
                result.step.position = pathPos;
                break;
            }
            ++pathPos;
        }
        result.step.passes = k;
        return result;
    }
};

inline bool operator==(const PathScanStep &a, const PathScanStep &b)
{
    return a.stop == b.stop && a.position == b.position && a.passes == b.passes &&
           a.lastProgressPosition == b.lastProgressPosition && a.sawCandidate == b.sawCandidate;
}

inline QString describe(const PathScanStep &step)
{
    static const char *const stops[] = {"Found", "EndOfText", "PumpPoint"};
    return QStringLiteral("%1 at %2 after %3 passes, progress %4, %5")
        .arg(QLatin1StringView(stops[static_cast<int>(step.stop)]))
        .arg(step.position)
        .arg(step.passes)
        .arg(step.lastProgressPosition ? QString::number(*step.lastProgressPosition)
                                       : QStringLiteral("none"))
        .arg(step.sawCandidate ? QStringLiteral("saw a candidate")
                               : QStringLiteral("saw no candidate"));
}

// Runs the scan over `text` the way the window does, comparing scanForPath with the reference at
// every stretch: runs from `from` (the first with the pass counter at `passes`) until one reaches
// the end of the text, each run a chain of stretches `hundredsPerStretch` hundreds of passes long,
// each resuming one past where the last stopped. When every stretch ends at the next hundred, the
// progress captions of each run must also equal those of one uninterrupted run. Returns the first
// difference found, or an empty string.
inline QString firstDifferenceFromReference(QByteArrayView text, qint64 from, qint64 passes,
                                            qint64 hundredsPerStretch)
{
    for (qint64 runFrom = from;; passes = 0) {
        QList<qint64> captions;
        PathScanStep step{PathScanStep::Stop::PumpPoint, runFrom - 1, passes, std::nullopt, false};
        while (step.stop == PathScanStep::Stop::PumpPoint) {
            const qint64 stretchFrom = step.position + 1;
            const qint64 pumpAt = (step.passes / 100 + hundredsPerStretch) * 100;
            const PathScanStep expected =
                PathScanReference::run(text, stretchFrom, step.passes, pumpAt).step;
            const PathScanStep actual = scanForPath(text, stretchFrom, step.passes, pumpAt);
            if (!(actual == expected)) {
                return QStringLiteral("scanForPath(text of %1, %2, %3, %4) gave %5 instead of %6")
                    .arg(text.size())
                    .arg(stretchFrom)
                    .arg(step.passes)
                    .arg(pumpAt)
                    .arg(describe(actual), describe(expected));
            }
            if (actual.lastProgressPosition)
                captions.append(*actual.lastProgressPosition);
            step = actual;
        }
        if (hundredsPerStretch == 1 &&
            captions !=
                PathScanReference::run(text, runFrom, passes, std::numeric_limits<qint64>::max())
                    .captions) {
            return QStringLiteral("the run from %1 over a text of %2 showed other captions")
                .arg(runFrom)
                .arg(text.size());
        }
        if (step.stop == PathScanStep::Stop::EndOfText)
            return {};
        runFrom = step.position;
    }
}
