#include "sizebench.h"
#include "benchfailure.h"
#include "benchfiles.h"
#include "benchwindow.h"
#include "loadbench.h"
#include "report.h"
#include "savebench.h"
#include "scanbench.h"

#include <QJsonDocument>
#include <QTextStream>

namespace {

void progress(const BenchSize &size, const QString &what)
{
    QTextStream(stderr) << "korvane-bench " << size.label << ": " << what << Qt::endl;
}

} // namespace

int measureSize(const BenchSize &size, const QString &folder)
{
    const BenchFiles files(folder, size);
    Report report;
    try {
        BenchWindow window;
        const QString binaryLike = QStringLiteral("binary-like");
        progress(size, binaryLike);
        report.rows += measureLoad(window, files.binaryLike, size.bytes, binaryLike, size, true);
        report.rows += measureSteps(window, binaryLike, size);
        progress(size, QStringLiteral("find path"));
        report.rows += measureFindPath(window, files.binaryLike, size);
        for (const QString &text : binaryLikeSearchTexts()) {
            const QString name = QStringLiteral("%1 chars").arg(text.size());
            progress(size, QStringLiteral("search ") + name);
            report.rows += measureSearch(window, files.binaryLike, size, name, text);
        }
        progress(size, QStringLiteral("save"));
        report.rows += measureSave(window, files.binaryLike, files.saved, size);

        const QString zeros = QStringLiteral("zero bytes, one line");
        progress(size, zeros);
        report.rows += measureLoad(window, files.zeros, size.bytes, zeros, size, false);
        report.rows += measureSteps(window, zeros, size);
        const QString printable = QStringLiteral("printable quarter, one line");
        progress(size, printable);
        report.rows += measureLoad(window, files.printable, size.bytes / 4, printable, size, false);
        report.rows += measureSteps(window, printable, size);

        const QString adversarial = adversarialSearchText();
        const QString name = QStringLiteral("adversarial %1 chars").arg(adversarial.size());
        progress(size, QStringLiteral("search ") + name);
        window.load(files.repetitive, size.bytes);
        report.rows += measureSearch(window, files.repetitive, size, name, adversarial);
    } catch (const BenchFailure &failure) {
        report.failures.append(size.label + QStringLiteral(": ") +
                               QString::fromStdString(failure.what()));
    }
    QTextStream(stdout) << report.toJson().toJson(QJsonDocument::Compact);
    return report.failures.isEmpty() ? 0 : 1;
}
