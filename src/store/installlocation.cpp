#include "store/installlocation.h"

#include "store/log.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace tovra {

namespace {

QString quoted(const QString &path)
{
    return u"「"_s + path + u"」"_s;
}

bool copyFile(const QByteArray &from, const QByteArray &to, mode_t mode)
{
    const int in = ::open(from.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (in < 0)
        return false;
    const int out = ::open(to.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode | 0600);
    if (out < 0) {
        ::close(in);
        return false;
    }
    char buffer[64 * 1024];
    bool ok = true;
    for (;;) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n == 0)
            break;
        if (n < 0 || ::write(out, buffer, size_t(n)) != n) {
            ok = false;
            break;
        }
    }
    ok = ok && ::fchmod(out, mode) == 0;
    ::close(in);
    return ::close(out) == 0 && ok;
}

// Links stay links and modes are kept; set-id bits are not carried over.
std::expected<void, QString> copyTree(const QString &from, const QString &to)
{
    const QByteArray src = QFile::encodeName(from);
    const QByteArray dst = QFile::encodeName(to);
    struct stat st {};
    if (::lstat(src.constData(), &st) != 0)
        return std::unexpected(u"无法读取 "_s + quoted(from));
    const mode_t mode = st.st_mode & 0777;
    if (S_ISLNK(st.st_mode)) {
        QByteArray target(4096, '\0');
        const ssize_t n = ::readlink(src.constData(), target.data(), size_t(target.size()));
        if (n < 0 || ::symlink(target.left(n).constData(), dst.constData()) != 0)
            return std::unexpected(u"无法复制 "_s + quoted(from));
        return {};
    }
    if (S_ISREG(st.st_mode)) {
        if (!copyFile(src, dst, mode))
            return std::unexpected(u"无法复制 "_s + quoted(from));
        return {};
    }
    if (!S_ISDIR(st.st_mode))
        return std::unexpected(u"无法复制 "_s + quoted(from));
    if (::mkdir(dst.constData(), 0700) != 0)
        return std::unexpected(u"无法创建 "_s + quoted(to));
    const QStringList names = QDir(from).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &name : names)
        if (auto copied = copyTree(from + u'/' + name, to + u'/' + name); !copied)
            return copied;
    if (::chmod(dst.constData(), mode | 0700) != 0)
        return std::unexpected(u"无法复制 "_s + quoted(from));
    return {};
}

}

bool InstallLocation::isUnit(const QString &folder)
{
    if (folder.isEmpty())
        return false;
    QFile marker(QDir(folder).filePath(QString::fromLatin1(kMarkerName)));
    const QFileInfo executable(QDir(folder).filePath(QString::fromLatin1(kExecutableName)));
    if (!executable.isFile() || QFileInfo(marker).isSymLink() || !marker.open(QIODevice::ReadOnly))
        return false;
    return marker.read(256).trimmed() == kApplicationId;
}

QString InstallLocation::runningUnit()
{
    const QString folder = QCoreApplication::applicationDirPath();
    return isUnit(folder) ? folder : QString();
}

QString InstallLocation::applicationsFolder()
{
    return QDir::homePath() + u"/.local/opt"_s;
}

bool InstallLocation::isInstalled(const QString &unit)
{
    if (unit.isEmpty())
        return false;
    const QString path = QDir::cleanPath(unit);
    return path.startsWith(u"/opt/"_s) || path.startsWith(applicationsFolder() + u'/');
}

bool InstallLocation::isTranslocated(const QString &unit)
{
    if (unit.isEmpty())
        return false;
    struct statvfs fs {};
    if (::statvfs(QFile::encodeName(unit).constData(), &fs) == 0 && (fs.f_flag & ST_RDONLY))
        return true;
    const QString path = QFileInfo(unit).canonicalFilePath();
    for (const QString &temp : {QDir::tempPath(), QFileInfo(QDir::tempPath()).canonicalFilePath()})
        if (!temp.isEmpty() && path.startsWith(QDir::cleanPath(temp) + u'/'))
            return true;
    return false;
}

bool InstallLocation::isWritableFolder(const QString &folder)
{
    const QByteArray path = QFile::encodeName(folder);
    struct stat st {};
    if (::stat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || ::access(path.constData(), W_OK) != 0)
        return false;
    if (::geteuid() != 0)
        return true;
    // access() says yes to root everywhere; a folder someone made read-only is meant to stay so.
    return st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH);
}

bool InstallLocation::isSelfUpdatable(const QString &unit)
{
    return isUnit(unit) && isWritableFolder(QFileInfo(unit).absolutePath());
}

QString InstallLocation::manualInstallReason(const QString &unit)
{
    if (!isUnit(unit))
        return QStringLiteral("当前程序所在的文件夹不是安装好的 Tovra（没有安装标记），无法自动替换。");
    if (!isWritableFolder(QFileInfo(unit).absolutePath()))
        return QStringLiteral("当前程序所在目录没有写入权限，无法自动替换。");
    return {};
}

void InstallLocation::clearQuarantine(const QString &unit)
{
    // The player is started by the client, so it must be as runnable as the client itself.
    for (const char *name : {kExecutableName, kPlayerName})
        ::chmod(QFile::encodeName(QDir(unit).filePath(QString::fromLatin1(name))).constData(), 0755);
}

std::expected<QString, QString> InstallLocation::move(const QString &unit, qint64 nowSeconds)
{
    const QString folder = applicationsFolder();
    // A failure shows as the copy's own.
    QDir().mkpath(folder);
    const QString destination = QDir(folder).filePath(QFileInfo(unit).fileName());
    const QByteArray dst = QFile::encodeName(destination);
    QString backup;
    struct stat st {};
    if (::lstat(dst.constData(), &st) == 0) {
        backup = destination + u".old-"_s + QString::number(nowSeconds);
        if (::rename(dst.constData(), QFile::encodeName(backup).constData()) != 0)
            return std::unexpected(u"无法把已有的 "_s + quoted(destination) + u" 移开"_s);
    }
    if (auto copied = copyTree(unit, destination); !copied) {
        // The half-made copy goes first, or the backup could not take its name back.
        QDir(destination).removeRecursively();
        QFile::remove(destination);
        if (!backup.isEmpty())
            ::rename(QFile::encodeName(backup).constData(), dst.constData());
        return std::unexpected(copied.error());
    }
    if (!backup.isEmpty() && !QDir(backup).removeRecursively())
        QFile::remove(backup);
    clearQuarantine(destination);
    if (!writeDesktopEntry(QDir(destination).filePath(QString::fromLatin1(kExecutableName))))
        logLine(u"无法写入应用菜单项"_s, desktopFilePath());
    return destination;
}

QString InstallLocation::desktopFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::ApplicationsLocation) + u"/tovra-client.desktop"_s;
}

QString InstallLocation::desktopExecArgument(const QString &argument)
{
    // Inside double quotes only ", `, $ and \ take a backslash; "%" is a field code unless
    // doubled; then the whole value is a string, whose own escapes double every backslash.
    QString quoted;
    for (const QChar c : argument) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
        if (c == u'%')
            quoted += u'%';
    }
    QString value;
    for (const QChar c : u'"' + quoted + u'"') {
        if (c == u'\\')
            value += u"\\\\"_s;
        else if (c == u'\n')
            value += u"\\n"_s;
        else if (c == u'\t')
            value += u"\\t"_s;
        else if (c == u'\r')
            value += u"\\r"_s;
        else
            value += c;
    }
    return value;
}

QString InstallLocation::desktopEntry(const QString &executable)
{
    return u"[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Tovra 客户端\n"
           "Comment=影视资源目录的桌面客户端\n"
           "Exec="_s
        + desktopExecArgument(executable)
        + u"\n"
          "Terminal=false\n"
          "Categories=AudioVideo;Video;\n"_s;
}

bool InstallLocation::writeDesktopEntry(const QString &executable)
{
    const QString path = desktopFilePath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(desktopEntry(executable).toUtf8());
    return file.commit();
}

}
