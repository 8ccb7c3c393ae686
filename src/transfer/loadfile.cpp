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
            QStringLiteral("\"%1\" could not be opened.\n\n%2").arg(fileName, error));
        return;
    }
    services.setCaption(Control::lblPosition, QString::number(services.viewText().size()) +
                                                  QStringLiteral(" Total Characters"));
}
