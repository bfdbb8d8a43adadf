#include "store/updatearchive.h"

#include "store/installlocation.h"
#include "store/log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <archive.h>
#include <archive_entry.h>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace tovra {

namespace {

struct ArchiveDeleter
{
    void operator()(archive *a) const { archive_read_free(a); }
};

// The entry's name split into its parts, or nothing when it may not be written: absolute,
// climbing out with "..", or empty. "." parts and doubled slashes are dropped.
std::optional<QStringList> safeParts(const QString &name)
{
    if (name.isEmpty() || name.startsWith(u'/') || name.contains(QChar(0)))
        return std::nullopt;
    QStringList parts;
    for (const QString &part : name.split(u'/', Qt::SkipEmptyParts)) {
        if (part == u"."_s)
            continue;
        if (part == u".."_s)
            return std::nullopt;
        parts.append(part);
    }
    if (parts.isEmpty())
        return std::nullopt;
    return parts;
}

// A link stays inside the client folder it belongs to when its target, read relative to the
// link's own folder, never leaves that top-level folder.
bool linkStaysInside(const QStringList &linkParts, const QString &target)
{
    if (target.isEmpty() || target.startsWith(u'/'))
        return false;
    QStringList resolved = linkParts.mid(0, linkParts.size() - 1);
    for (const QString &part : target.split(u'/', Qt::SkipEmptyParts)) {
        if (part == u"."_s)
            continue;
        if (part == u".."_s) {
            if (resolved.size() <= 1)
                return false;
            resolved.removeLast();
            continue;
        }
        resolved.append(part);
    }
    return resolved.size() >= 2;
}

QString entryName(archive_entry *entry)
{
    if (const char *utf8 = archive_entry_pathname_utf8(entry))
        return QString::fromUtf8(utf8);
    if (const char *raw = archive_entry_pathname(entry))
        return QFile::decodeName(raw);
    return {};
}

// Creates one folder under a folder that we made ourselves; an existing folder is fine, anything
// else in the way is not.
bool makeFolder(const QByteArray &path)
{
    // Set again after creating: the umask may have taken bits (or, at 000, left none).
    if (::mkdir(path.constData(), 0755) == 0)
        return ::chmod(path.constData(), 0755) == 0;
    struct stat st {};
    return errno == EEXIST && ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

class Extractor
{
public:
    Extractor(const QString &folder, UpdateArchive::Limits limits)
        : m_root(QDir(folder).absolutePath()), m_limits(limits)
    {
    }

    bool run(archive *a)
    {
        archive_entry *entry = nullptr;
        for (;;) {
            const int status = archive_read_next_header(a, &entry);
            if (status == ARCHIVE_EOF)
                return true;
            if (status < ARCHIVE_WARN)
                return refuse(u"读取条目失败"_s, QString::fromUtf8(archive_error_string(a)));
            if (++m_entries > m_limits.entries)
                return refuse(u"条目过多"_s);
            if (!take(a, entry))
                return false;
        }
    }

    QSet<QString> topLevel() const { return m_topLevel; }

private:
    bool refuse(const QString &why, const QString &detail = {})
    {
        logLine(u"更新包被拒绝："_s + why, detail);
        return false;
    }

    bool take(archive *a, archive_entry *entry)
    {
        const QString name = entryName(entry);
        const auto parts = safeParts(name);
        if (!parts)
            return refuse(u"不安全的路径"_s, name);
        const QString key = parts->join(u'/');
        if (m_seen.contains(key))
            return refuse(u"重复的条目"_s, name);
        m_seen.insert(key);
        // A later entry under a link would be written through it.
        for (qsizetype i = 1; i < parts->size(); ++i)
            if (m_links.contains(parts->mid(0, i).join(u'/')))
                return refuse(u"条目位于链接之下"_s, name);
        if (archive_entry_hardlink(entry))
            return refuse(u"硬链接"_s, name);
        m_topLevel.insert(parts->first());

        const QByteArray path = QFile::encodeName(m_root + u'/' + key);
        if (!makeParents(*parts))
            return refuse(u"无法创建目录"_s, name);
        // Whatever the archive asked for, only the owner writes, and execution stays where it
        // was wanted: no group- or world-writable file ends up in the installed client.
        const mode_t mode = (archive_entry_perm(entry) & 0111) ? 0755 : 0644;
        switch (archive_entry_filetype(entry)) {
        case AE_IFDIR:
            if (!makeFolder(path))
                return refuse(u"无法创建目录"_s, name);
            return true;
        case AE_IFLNK: {
            const char *target = archive_entry_symlink_utf8(entry);
            const QString linkTarget = target ? QString::fromUtf8(target) : QString();
            if (!linkStaysInside(*parts, linkTarget))
                return refuse(u"指向包外的链接"_s, name + u" -> "_s + linkTarget);
            m_links.insert(key);
            if (::symlink(QFile::encodeName(linkTarget).constData(), path.constData()) != 0)
                return refuse(u"无法创建链接"_s, name);
            return true;
        }
        case AE_IFREG:
            return writeFile(a, path, mode, name);
        default:
            return refuse(u"不支持的条目类型"_s, name);
        }
    }

    bool makeParents(const QStringList &parts)
    {
        QString path = m_root;
        for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
            path += u'/' + parts[i];
            if (!makeFolder(QFile::encodeName(path)))
                return false;
        }
        return true;
    }

    bool writeFile(archive *a, const QByteArray &path, mode_t mode, const QString &name)
    {
        // O_EXCL with O_NOFOLLOW: never through a link, never over something already there.
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd < 0)
            return refuse(u"无法创建文件"_s, name);
        const void *buffer = nullptr;
        size_t size = 0;
        la_int64_t offset = 0;
        bool ok = true;
        for (;;) {
            const int status = archive_read_data_block(a, &buffer, &size, &offset);
            if (status == ARCHIVE_EOF)
                break;
            if (status < ARCHIVE_WARN) {
                ok = refuse(u"读取数据失败"_s, QString::fromUtf8(archive_error_string(a)));
                break;
            }
            m_bytes += qint64(size);
            if (m_bytes > m_limits.bytes) {
                ok = refuse(u"解压后的数据过大"_s, name);
                break;
            }
            if (::pwrite(fd, buffer, size, off_t(offset)) != ssize_t(size)) {
                ok = refuse(u"写入失败"_s, name);
                break;
            }
        }
        // The umask may have taken bits or left too many; the mode is set, not masked.
        ok = ok && ::fchmod(fd, mode) == 0;
        return ::close(fd) == 0 && ok;
    }

    QString m_root;
    UpdateArchive::Limits m_limits;
    qint64 m_entries = 0;
    qint64 m_bytes = 0;
    QSet<QString> m_seen;
    QSet<QString> m_links;
    QSet<QString> m_topLevel;
};

}

QString UpdateArchive::failureText(Failure failure)
{
    return failure == Failure::NoApp ? u"安装包内没有找到 .app"_s : u"解压失败"_s;
}

std::expected<QString, UpdateArchive::Failure> UpdateArchive::extract(const QString &archivePath,
                                                                       const QString &folder, Limits limits)
{
    if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0) {
        logLine(u"无法创建解压目录"_s, QString::fromLocal8Bit(strerror(errno)));
        return std::unexpected(Failure::Unpack);
    }
    auto fail = [&](Failure failure) {
        QDir(folder).removeRecursively();
        return std::unexpected(failure);
    };
    std::unique_ptr<archive, ArchiveDeleter> a(archive_read_new());
    archive_read_support_format_zip(a.get());
    if (archive_read_open_filename(a.get(), QFile::encodeName(archivePath).constData(), 64 * 1024) != ARCHIVE_OK) {
        logLine(u"无法打开更新包"_s, QString::fromUtf8(archive_error_string(a.get())));
        return fail(Failure::Unpack);
    }
    Extractor extractor(folder, limits);
    if (!extractor.run(a.get()))
        return fail(Failure::Unpack);

    QStringList apps;
    for (const QString &top : extractor.topLevel()) {
        const QString candidate = QDir(folder).filePath(top);
        const QFileInfo info(candidate);
        if (info.isDir() && !info.isSymLink() && InstallLocation::isUnit(candidate))
            apps.append(candidate);
    }
    if (apps.size() != 1)
        return fail(Failure::NoApp);
    return apps.first();
}

}
