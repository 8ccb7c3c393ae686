#include "sparsebench.h"
#include "benchwindow.h"
#include "loadbench.h"
#include "processstatus.h"
#include "savebench.h"
#include "scanbench.h"
#include "sparsefile.h"

void measureSparseFile(BenchWindow &window, const QString &file, const BenchSize &size,
                       QList<Row> &rows)
{
    const SparseLayout layout(size.bytes);
    const QString name = QStringLiteral("sparse file");
    rows += measureLoad(window, file, size.bytes, name, size, true);
    rows += measureSteps(window, name, size);

    // The path is reported at the 1-based position of its backslash, its third byte.
    const qint64 backslash = layout.pathOffset + 3;
    rows +=
        measureFirstFind(window, file, "Command3", name + QStringLiteral(": find path"), backslash,
                         QStringLiteral("Path Name Found At Position %1.").arg(backslash), size);
    const QString word = QString::fromLatin1(layout.word);
    window.textToType = word;
    rows += measureFirstFind(
        window, file, "Command4", name + QStringLiteral(": search ") + word,
        layout.wordOffset + layout.word.size(),
        QStringLiteral("%1 Was found at position %2").arg(word).arg(layout.wordOffset + 1), size);

    rows += measurePatchSave(window, file, layout, name, size);
    // The bound holds for a file of any size: nothing may be kept per stretch of the file.
    rows << Row{name + QStringLiteral(": peak memory (VmHWM) over all of the above"), size.label,
                double(statusKiB("VmHWM")) / 1024, QStringLiteral("MiB"), Target::atMost(512)};
}
