#include "benchservices.h"
#include "steadyclock.h"

bool BenchServices::showOpenDialog()
{
    setDialogFileName(fileToChoose);
    return true;
}

bool BenchServices::showSaveDialog()
{
    setDialogFileName(fileToChoose);
    return true;
}

void BenchServices::showMessage(const QString &message)
{
    messages.append(message);
}

std::optional<QString> BenchServices::prompt(const QString &, const QString &)
{
    promptedAt = nowNs();
    return textToType;
}

bool BenchServices::pumpEvents()
{
    const qint64 start = nowNs();
    const bool windowOpen = QtServices::pumpEvents();
    pumps.append({start, nowNs()});
    return windowOpen;
}
