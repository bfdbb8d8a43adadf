#include "store/log.h"

namespace tovra {

Q_LOGGING_CATEGORY(lcTovra, "tovra", QtInfoMsg)

namespace {
const QString kPrefix = QStringLiteral("[Tovra] ");
}

// The lines go out in the default category so the output starts with "[Tovra]": Qt's message
// pattern puts any other category's name in front. The "tovra" category still decides whether
// they are written, so logging rules can silence them.
void logLine(const QString &chinese)
{
    if (lcTovra().isInfoEnabled())
        QMessageLogger().info().noquote().nospace() << kPrefix + chinese;
}

void logLine(const QString &chinese, const QString &errorDescription)
{
    if (lcTovra().isWarningEnabled())
        QMessageLogger().warning().noquote().nospace() << kPrefix + chinese + QStringLiteral(": ") + errorDescription;
}

}
