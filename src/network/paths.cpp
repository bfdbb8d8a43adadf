#include "network/paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

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

bool makePrivateFolder(const QString &path)
{
    const QString clean = QDir::cleanPath(path);
    QDir().mkpath(QFileInfo(clean).absolutePath());
    const QByteArray native = QFile::encodeName(clean);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    // A folder left by an earlier run under a loose umask is tightened too.
    return (st.st_mode & 07777) == 0700 || (st.st_uid == ::getuid() && ::chmod(native.constData(), 0700) == 0);
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
