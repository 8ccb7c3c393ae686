#include "services.h"
#include "transfercommands.h"

void loadFile(Services &services)
{
    if (!services.showOpenDialog())
        return;
    const QString fileName = services.dialogFileName();
    ReadResult file = services.readFile(fileName);
    if (!file.error.isEmpty()) {
        services.showMessage(QStringLiteral("\"%1\" could not be opened.\n\n%2")
                                 .arg(fileName, file.error));
        return;
    }
    const qint64 size = file.bytes.size();
    if (!services.setViewText(std::move(file.bytes))) {
        services.showMessage(
            QStringLiteral("\"%1\" could not be opened.\n\nThere is not enough memory to show its "
                           "%2 bytes.")
                .arg(fileName)
                .arg(size));
        return;
    }
    services.setCaption(Control::lblPosition,
                        QString::number(services.viewText().size())
                            + QStringLiteral(" Total Characters"));
}
