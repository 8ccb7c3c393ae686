#include "failuremessage.h"
#include "services.h"

QString failureMessage(const Services &services, const QString &path, const QString &failed,
                       const QString &reason)
{
    return services.shortenedPath(path) + u' ' + failed + QStringLiteral("\n\n") + reason;
}

QString troubleMessage(const Services &services, const QString &path, FileTrouble trouble)
{
    const QString what = trouble == FileTrouble::Changed
                             ? QStringLiteral("changed on disk while it was open.")
                             : QStringLiteral("could no longer be read.");
    return failureMessage(services, path, what,
                          QStringLiteral("The parts read before show as they were, and the rest "
                                         "shows as zero bytes. Save the text under another name "
                                         "to keep what it shows."));
}
