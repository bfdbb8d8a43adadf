#include "store/log.h"

namespace tovra {

Q_LOGGING_CATEGORY(lcTovra, "tovra", QtInfoMsg)

namespace {
const QString kPrefix = QStringLiteral("[Tovra] ");
}

void logLine(const QString &chinese)
{
    qCInfo(lcTovra).noquote().nospace() << kPrefix + chinese;
}

void logLine(const QString &chinese, const QString &errorDescription)
{
    qCWarning(lcTovra).noquote().nospace() << kPrefix + chinese + QStringLiteral(": ") + errorDescription;
}

}
