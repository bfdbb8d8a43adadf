#include "network/paths.h"

#include <QDir>
#include <QStandardPaths>

namespace tovra {

namespace {
std::optional<QString> underGeneric(QStandardPaths::StandardLocation location, const QString &leaf)
{
    const QString base = QStandardPaths::writableLocation(location);
    if (base.isEmpty() || QDir::isRelativePath(base))
        return std::nullopt;
    return QDir(base).filePath(leaf);
}
}

std::optional<QString> appDataDir()
{
    return underGeneric(QStandardPaths::GenericDataLocation, QString::fromLatin1(kAppName));
}

std::optional<QString> cacheDir()
{
    return underGeneric(QStandardPaths::GenericCacheLocation, QString::fromLatin1(kAppName));
}

std::optional<QString> updateDir()
{
    return underGeneric(QStandardPaths::GenericCacheLocation,
                        QString::fromLatin1(kAppName) + QStringLiteral("-update"));
}

std::optional<QString> httpCacheDir()
{
    return underGeneric(QStandardPaths::GenericCacheLocation,
                        QString::fromLatin1(kAppName) + QStringLiteral("-http"));
}

}
