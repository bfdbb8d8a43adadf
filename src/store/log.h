#pragma once

#include <QLoggingCategory>
#include <QString>

namespace tovra {

Q_DECLARE_LOGGING_CATEGORY(lcTovra)

// Diagnostic lines: "[Tovra] " + a Chinese description, and for failures ": " + the error's
// description. The texts are streamed, never used as a format string, so a "%" in a server
// message comes out unchanged.
void logLine(const QString &chinese);
void logLine(const QString &chinese, const QString &errorDescription);

}
