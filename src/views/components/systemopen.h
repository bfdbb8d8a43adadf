#pragma once

#include <QString>

namespace tovra {

// Hands a link the caller has already vetted (magnet:, thunder:, http(s)) to the desktop.
// Answers false when nothing will take it: no application is registered for the link's scheme,
// or no opener could be started. A handler that starts and then fails is not seen.
bool openWithSystem(const QString &link);

}
