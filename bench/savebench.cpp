#include "savebench.h"
#include "benchfailure.h"
#include "benchwindow.h"
#include "byteview.h"
#include "externaltools.h"
#include "steadyclock.h"

#include <QFileInfo>
#include <QTest>

#include <algorithm>
#include <limits>

namespace {

// Saving anything but the file with the bytes of [from, to) overwritten would write the whole
// file again, tens of gigabytes of a shared disk: the benchmark refuses to click Save then.
void requireOnlyOverwritten(const Text &text, qint64 from, qint64 to)
{
    qint64 offset = 0;
    for (const Piece &piece : text.pieces()) {
        const bool fileItself = piece.file && piece.start == offset;
        const bool overwritten = piece.buffer && offset >= from && offset + piece.length <= to;
        if (!fileItself && !overwritten)
            throw BenchFailure("the view holds more than the patch over its file");
        offset += piece.length;
    }
}

} // namespace

QList<Row> measureSave(BenchWindow &window, const QString &source, const QString &target,
                       const BenchSize &size)
{
    ScriptedServices &services = window.services();
    window.fileToChoose = target;
    // The disk's speed swings from one second to the next on a shared machine, so dd copies the
    // same file over the same target just before each of two saves, and each takes its faster
    // time. Each saved file is compared with its source before dd overwrites it.
    qint64 dd = std::numeric_limits<qint64>::max();
    qint64 save = std::numeric_limits<qint64>::max();
    bool identical = true;
    for (int round = 0; round < 2; ++round) {
        dd = std::min(dd, ddCopyTime(source, target));
        services.messages.clear();
        const ClickTiming click = window.clickUntil(
            "Command2", [&] { return services.messages.isEmpty() && QFileInfo::exists(target); },
            1);
        save = std::min(save, click.elapsed);
        const ToolRun cmp = runTool(QStringLiteral("cmp"), {QStringLiteral("-s"), source, target});
        // cmp exits with 0 for identical files, 1 for different ones, 2 on trouble.
        if (cmp.exitCode > 1)
            throw BenchFailure("cmp could not compare the saved file with its source");
        identical = identical && cmp.exitCode == 0;
    }
    return {
        {QStringLiteral("save: click to file committed"), size.label, seconds(save),
         QStringLiteral("s"), Target::atMost(saveTargetSeconds(size))},
        {QStringLiteral("save: dd bs=1M conv=fsync, copying the same file"), size.label,
         seconds(dd), QStringLiteral("s"), Target()},
        // A save reads the text and writes and syncs a new file, as dd does, then renames it.
        {QStringLiteral("save: time / dd's"), size.label, double(save) / double(dd),
         QStringLiteral("x"), Target::atMost(1.25)},
        {QStringLiteral("save: identical to the source (cmp)"), size.label, identical, QString(),
         Target::equals(true)},
    };
}

QList<Row> measurePatchSave(BenchWindow &window, const QString &file, const SparseLayout &layout,
                            const QString &name, const BenchSize &size)
{
    const QByteArray patch = QByteArrayLiteral("KRVN");
    ByteView *view = window.text1();
    ScriptedServices &services = window.services();
    services.select(layout.patchOffset, 0);
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Insert);
    QTest::keyClicks(view, QString::fromLatin1(patch));
    QTest::keyClick(view, Qt::Key_Insert);
    const Text patched = services.viewText();
    if (patched.size() != layout.size ||
        patched.bytes(layout.patchOffset, layout.patchOffset + patch.size()) != patch)
        throw BenchFailure("typing in overwrite mode did not patch the view's text");
    requireOnlyOverwritten(patched, layout.patchOffset, layout.patchOffset + patch.size());

    const qint64 allocatedBefore = allocatedBytes(file);
    window.fileToChoose = file;
    services.messages.clear();
    const ClickTiming save = window.clickUntil(
        "Command2", [] { return true; }, 1);
    if (!services.messages.isEmpty())
        throw BenchFailure("saving the patch failed: " + services.messages.first().toStdString());
    const qint64 allocatedAfter = allocatedBytes(file);
    // The bytes either side of the patch are compared too, so that a write of a whole block or
    // page at the wrong place shows.
    constexpr qint64 context = qint64(64) << 10;
    const bool holdsPatch = holdsZerosBut(
        file, layout.size, layout.stretches() << std::pair(layout.patchOffset, patch), context);
    const bool staysSparse =
        allocatedBefore >= 0 && allocatedAfter >= 0 && allocatedAfter - allocatedBefore <= context;

    const auto row = [&](const QString &what, const QJsonValue &value, const QString &unit,
                         const Target &target) {
        return Row{name + QStringLiteral(": ") + what, size.label, value, unit, target};
    };
    return {
        row(QStringLiteral("4 bytes overwritten, save: click to file written"),
            seconds(save.elapsed), QStringLiteral("s"), Target::atMost(0.5)),
        row(QStringLiteral("save: file holds the patched text (its data and 64 KiB around each "
                           "change compared)"),
            holdsPatch, QString(), Target::equals(true)),
        row(QStringLiteral("save: disk space allocated to the file"), double(allocatedAfter) / 1024,
            QStringLiteral("KiB"), Target()),
        row(QStringLiteral("save: stayed sparse (at most 64 KiB more allocated)"), staysSparse,
            QString(), Target::equals(true)),
    };
}
