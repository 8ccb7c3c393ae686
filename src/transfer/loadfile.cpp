#include "failuremessage.h"
#include "services.h"
#include "transfercommands.h"

void loadFile(Services &services)
{
    if (!services.showOpenDialog())
        return;
    const QString fileName = services.dialogFileName();
    const QString error = services.loadViewText(fileName);
    if (!error.isEmpty()) {
        services.showMessage(
            failureMessage(services, fileName, QStringLiteral("could not be opened."), error));
        return;
    }
    services.setCaption(Control::lblPosition, QString::number(services.viewText().size()) +
                                                  QStringLiteral(" Total Characters"));
}
