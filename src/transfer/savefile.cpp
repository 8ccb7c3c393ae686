#include "services.h"
#include "transfercommands.h"

void saveFile(Services &services)
{
    if (!services.showSaveDialog())
        return;
    const QString fileName = services.dialogFileName();
    const QString error = services.writeFile(fileName, services.viewText().toByteArray());
    if (!error.isEmpty())
        services.showMessage(
            QStringLiteral("\"%1\" could not be saved.\n\n%2").arg(fileName, error));
}
