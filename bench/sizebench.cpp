#include "sizebench.h"
#include "benchfailure.h"
#include "benchfiles.h"
#include "benchwindow.h"
#include "loadbench.h"
#include "report.h"
#include "savebench.h"
#include "scanbench.h"
#include "sparsebench.h"

#include <QJsonDocument>
#include <QTextStream>

namespace {

void progress(const BenchSize &size, const QString &what)
{
    QTextStream(stderr) << "korvane-bench " << size.label << ": " << what << Qt::endl;
}

// Measures the generated files of `size`, adding each row to `rows` as soon as it is measured.
void measureGeneratedFiles(BenchWindow &window, const BenchFiles &files, const BenchSize &size,
                           QList<Row> &rows)
{
    const QString binaryLike = QStringLiteral("binary-like");
    progress(size, binaryLike);
    rows += measureLoad(window, files.binaryLike, size.bytes, binaryLike, size, true);
    rows += measureSteps(window, binaryLike, size);
    progress(size, QStringLiteral("find path"));
    rows += measureFindPath(window, files.binaryLike, size);
    for (const QString &text : binaryLikeSearchTexts()) {
        const QString name = QStringLiteral("%1 chars").arg(text.size());
        progress(size, QStringLiteral("search ") + name);
        rows += measureSearch(window, files.binaryLike, size, name, text);
    }
    progress(size, QStringLiteral("save"));
    rows += measureSave(window, files.binaryLike, files.saved, size);

    const QString zeros = QStringLiteral("zero bytes, one line");
    progress(size, zeros);
    rows += measureLoad(window, files.zeros, size.bytes, zeros, size, false);
    rows += measureSteps(window, zeros, size);
    const QString printable = QStringLiteral("printable quarter, one line");
    progress(size, printable);
    rows += measureLoad(window, files.printable, size.bytes / 4, printable, size, false);
    rows += measureSteps(window, printable, size);

    const QString adversarial = adversarialSearchText();
    const QString name = QStringLiteral("adversarial %1 chars").arg(adversarial.size());
    progress(size, QStringLiteral("search ") + name);
    window.load(files.repetitive, size.bytes);
    rows += measureSearch(window, files.repetitive, size, name, adversarial);
}

} // namespace

int measureSize(const BenchSize &size, const QString &folder)
{
    const BenchFiles files(folder, size);
    Report report;
    try {
        BenchWindow window;
        if (size.sparse()) {
            progress(size, QStringLiteral("sparse file"));
            measureSparseFile(window, files.sparse, size, report.rows);
        } else {
            measureGeneratedFiles(window, files, size, report.rows);
        }
    } catch (const BenchFailure &failure) {
        report.failures.append(size.label + QStringLiteral(": ") +
                               QString::fromStdString(failure.what()));
    }
    QTextStream(stdout) << report.toJson().toJson(QJsonDocument::Compact);
    return report.failures.isEmpty() ? 0 : 1;
}
