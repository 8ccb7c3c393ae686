#include "failuremessage.h"
#include "services.h"
#include "transfercommands.h"

void saveFile(Services &services)
{
    if (!services.showSaveDialog())
        return;
    const QString fileName = services.dialogFileName();
    const QString error = services.writeFile(fileName, services.viewText());
    if (!error.isEmpty())
        services.showMessage(
            failureMessage(services, fileName, QStringLiteral("could not be saved."), error));
}
