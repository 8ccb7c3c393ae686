#include "failuremessage.h"
#include "services.h"

QString failureMessage(const Services &services, const QString &path, const QString &failed,
                       const QString &reason)
{
    return services.shortenedPath(path) + u' ' + failed + QStringLiteral("\n\n") + reason;
}
