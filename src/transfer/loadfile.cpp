#include "failuremessage.h"
#include "services.h"
#include "transfercommands.h"

void loadFile(Services &services)
{
    if (!services.showOpenDialog())
        return;
    const QString fileName = services.dialogFileName();
    // Trouble may be found in the middle of any read, a repaint among them: it is told once the
    // events being handled are done.
    const auto onTrouble = [&services, fileName](FileTrouble trouble) {
        services.showMessageLater(troubleMessage(services, fileName, trouble));
    };
    const QString error = services.loadViewText(fileName, onTrouble);
    if (!error.isEmpty()) {
        services.showMessage(
            failureMessage(services, fileName, QStringLiteral("could not be opened."), error));
        return;
    }
    services.setCaption(Control::lblPosition, QString::number(services.viewText().size()) +
                                                  QStringLiteral(" Total Characters"));
}
