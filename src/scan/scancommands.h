#pragma once

#include <QtGlobal>

class Services;

/// "Find Path Name": finds the next drive path (A, C, D, E or F, then ":\") from `pathPos` on.
void findPathName(Services &services, qint64 &pathPos);

/// "Search For Legible Text": finds the next occurrence of a typed text, ignoring case, from
/// `searchPos` on.
void searchForText(Services &services, qint64 &searchPos);
