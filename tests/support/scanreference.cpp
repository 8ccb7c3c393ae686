#include "scanreference.h"

#include "filebytes.h"
#include "fileio.h"

#include <QChar>
#include <QStringView>

#include <optional>

namespace {

// Each character upper-cased on its own, one character for one.
QString upperCasedByCharacter(QString text)
{
    for (QChar &character : text)
        character = character.toUpper();
    return text;
}

QString describe(const PathScanStep &step)
{
    return QStringLiteral("stop %1 (found, end, pump) at %2 after %3 passes, progress %4%5")
        .arg(int(step.stop))
        .arg(step.position)
        .arg(step.passes)
        .arg(step.lastProgressPosition.value_or(0))
        .arg(step.sawCandidate ? QStringLiteral(", a candidate read") : QString());
}

QString describe(const SearchStep &step)
{
    return QStringLiteral("stop %1 (found, end, pump) at %2, progress %3")
        .arg(int(step.stop))
        .arg(step.position)
        .arg(step.lastProgressPosition.value_or(0));
}

} // namespace

PathScanStep literalPathScan(QByteArrayView text, qint64 from, qint64 passes,
                             const std::function<bool(qint64 cursor, qint64 pass)> &atHundredth)
{
    // The upper-cased character at 1-based `p`; nothing past the end.
    const auto ch = [text](qint64 p) -> std::optional<QChar> {
        if (p > text.size())
            return std::nullopt;
        return QChar::fromLatin1(text[p - 1]).toUpper();
    };
    const auto isCandidate = [](std::optional<QChar> x) {
        return x && QStringView(u"ACDEF").contains(*x);
    };
    PathScanStep step{PathScanStep::Stop::EndOfText, 0, passes, std::nullopt, false};
    qint64 &k = step.passes;
    for (qint64 pathPos = from; pathPos <= text.size(); ++pathPos) {
        std::optional<QChar> x = ch(pathPos);
        if (isCandidate(x)) {
            step.sawCandidate = true;
            ++pathPos;
            x = ch(pathPos);
            if (x != QLatin1Char(':')) {
                if (isCandidate(x))
                    --pathPos;
            } else {
                ++pathPos;
                x = ch(pathPos);
                if (x == QLatin1Char('\\')) {
                    step.stop = PathScanStep::Stop::Found;
                    step.position = pathPos;
                    return step;
                }
                if (isCandidate(x))
                    --pathPos;
            }
        }
        ++k;
        if (k % 100 == 0) {
            step.lastProgressPosition = pathPos;
            if (!atHundredth(pathPos, k)) {
                step.stop = PathScanStep::Stop::PumpPoint;
                step.position = pathPos;
                return step;
            }
        }
    }
    return step;
}

SearchStep literalSearch(QByteArrayView text, const QString &searchText, qint64 from,
                         const std::function<bool(qint64 cursor)> &atHundredth)
{
    const QString snapshot = QString::fromLatin1(text);
    const QString wanted = upperCasedByCharacter(searchText);
    SearchStep step{SearchStep::Stop::EndOfText, 0, std::nullopt};
    for (qint64 searchPos = from; searchPos <= snapshot.size();) {
        if (upperCasedByCharacter(snapshot.mid(searchPos - 1, searchText.size())) == wanted) {
            step.stop = SearchStep::Stop::Found;
            step.position = searchPos;
            return step;
        }
        ++searchPos;
        if (searchPos % 100 == 0) {
            step.lastProgressPosition = searchPos;
            if (!atHundredth(searchPos)) {
                step.stop = SearchStep::Stop::PumpPoint;
                step.position = searchPos;
                return step;
            }
        }
    }
    return step;
}

QString pathScanDifference(const PathScanImplementation &implementation, const Text &text,
                           qint64 from, qint64 passes, qint64 hundreds)
{
    const QString context =
        QStringLiteral(
            "%1 over %2 pieces: runs from %3 with %4 passes, %5 hundred passes a stretch")
            .arg(QLatin1StringView(implementation.name))
            .arg(text.pieceCount())
            .arg(from)
            .arg(passes)
            .arg(hundreds);
    const QByteArray bytes = text.toByteArray();
    for (int stretch = 0;; ++stretch) {
        const qint64 pumpAt = (passes / 100 + hundreds) * 100;
        const PathScanStep actual = implementation.scan(text, from, passes, pumpAt);
        const PathScanStep expected = literalPathScan(
            bytes, from, passes, [pumpAt](qint64, qint64 pass) { return pass != pumpAt; });
        if (actual != expected)
            return context + QStringLiteral(", stretch %1: %2 instead of %3")
                                 .arg(stretch)
                                 .arg(describe(actual), describe(expected));
        switch (actual.stop) {
        case PathScanStep::Stop::PumpPoint:
            from = nextPathPass(pathPosAfter(actual), true);
            passes = actual.passes;
            break;
        case PathScanStep::Stop::Found:
            from = nextPathPass(pathPosAfter(actual), false);
            passes = 0;
            break;
        case PathScanStep::Stop::EndOfText:
            return {};
        }
    }
}

QString searchDifference(const SearchImplementation &implementation, const Text &text,
                         const QString &searchText, qint64 from, qint64 hundreds)
{
    const QString context =
        QStringLiteral("%1 over %2 pieces: searching \"%3\" from %4, %5 hundred positions a "
                       "stretch")
            .arg(QLatin1StringView(implementation.name))
            .arg(text.pieceCount())
            .arg(searchText)
            .arg(from)
            .arg(hundreds);
    const SearchPattern pattern(searchText);
    const QByteArray bytes = text.toByteArray();
    for (int stretch = 0;; ++stretch) {
        const qint64 pumpAt = (from / 100 + hundreds) * 100;
        const SearchStep actual = implementation.search(text, pattern, from, pumpAt);
        const SearchStep expected = literalSearch(
            bytes, searchText, from, [pumpAt](qint64 cursor) { return cursor != pumpAt; });
        if (actual != expected)
            return context + QStringLiteral(", stretch %1: %2 instead of %3")
                                 .arg(stretch)
                                 .arg(describe(actual), describe(expected));
        if (actual.stop == SearchStep::Stop::EndOfText)
            return {};
        from = nextSearchPosition(searchPosAfter(actual), actual.stop == SearchStep::Stop::Found);
    }
}

Text textOnDemand(const QTemporaryDir &dir, QByteArrayView bytes)
{
    static int files = 0;
    const QString path = dir.filePath(QString::number(++files));
    FileReading reading;
    reading.onDemandFrom = 0;
    reading.cache = std::make_shared<PageCache>(251, 2 * 251);
    Text text;
    if (!writeBytes(path, bytes.toByteArray()).isEmpty() ||
        !readFile(path, text, reading).isEmpty())
        qFatal("cannot read %s on demand", qPrintable(path));
    return text;
}
