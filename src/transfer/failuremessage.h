#pragma once

#include "filesource.h"

#include <QString>

class Services;

/// The message for the file at `path` that `failed` ("could not be saved.") for `reason`: the path
/// once, shortened where it would not fit the message box, then the reason on its own.
QString failureMessage(const Services &services, const QString &path, const QString &failed,
                       const QString &reason);

/// The message for the file at `path`, read on demand, once `trouble` was found with it.
QString troubleMessage(const Services &services, const QString &path, FileTrouble trouble);
