#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <archive.h>
#include <archive_entry.h>

// Builds update archives in memory, hostile ones included, so a test can serve exactly the
// bytes it means to.
namespace tovra::test {

struct ZipEntry
{
    enum class Type { File, Folder, Link };
    QString name;
    QByteArray data;
    int mode = 0644;
    Type type = Type::File;
    QString target; // Link

    ZipEntry() = default;
    ZipEntry(QString n, QByteArray d, int m = 0644, Type t = Type::File, QString to = {})
        : name(std::move(n)), data(std::move(d)), mode(m), type(t), target(std::move(to))
    {
    }
    static ZipEntry folder(const QString &name) { return {name, {}, 0755, Type::Folder}; }
    static ZipEntry link(const QString &name, const QString &target) { return {name, {}, 0777, Type::Link, target}; }
};

inline QByteArray makeZip(const QList<ZipEntry> &entries)
{
    QByteArray out;
    archive *a = archive_write_new();
    archive_write_set_format_zip(a);
    archive_write_open(
        a, &out, nullptr,
        [](archive *, void *data, const void *buffer, size_t size) -> la_ssize_t {
            static_cast<QByteArray *>(data)->append(static_cast<const char *>(buffer), qsizetype(size));
            return la_ssize_t(size);
        },
        nullptr);
    for (const ZipEntry &e : entries) {
        archive_entry *entry = archive_entry_new();
        archive_entry_set_pathname_utf8(entry, e.name.toUtf8().constData());
        archive_entry_set_perm(entry, mode_t(e.mode));
        archive_entry_set_mtime(entry, 1764547200, 0);
        switch (e.type) {
        case ZipEntry::Type::File:
            archive_entry_set_filetype(entry, AE_IFREG);
            archive_entry_set_size(entry, e.data.size());
            break;
        case ZipEntry::Type::Folder:
            archive_entry_set_filetype(entry, AE_IFDIR);
            break;
        case ZipEntry::Type::Link:
            archive_entry_set_filetype(entry, AE_IFLNK);
            archive_entry_set_symlink_utf8(entry, e.target.toUtf8().constData());
            break;
        }
        archive_write_header(a, entry);
        if (!e.data.isEmpty())
            archive_write_data(a, e.data.constData(), size_t(e.data.size()));
        archive_entry_free(entry);
    }
    archive_write_close(a);
    archive_write_free(a);
    return out;
}

// Rewrites the file type of one entry in the archive's central directory (where a zip keeps the
// Unix mode), for entry kinds no zip writer produces on purpose: FIFOs, devices.
inline QByteArray withFileType(QByteArray zip, const QString &name, quint16 mode)
{
    const QByteArray wanted = name.toUtf8();
    for (qsizetype at = zip.indexOf("PK\x01\x02"); at >= 0; at = zip.indexOf("PK\x01\x02", at + 4)) {
        const auto u16 = [&](qsizetype off) { return quint16(uchar(zip[at + off]) | (uchar(zip[at + off + 1]) << 8)); };
        if (zip.mid(at + 46, u16(28)) != wanted)
            continue;
        zip[at + 5] = 3; // made on Unix: the high half of the external attributes is the mode
        zip[at + 40] = char(mode & 0xff);
        zip[at + 41] = char(mode >> 8);
    }
    return zip;
}

// A client folder as the bundle script makes it. Its executable is a stand-in that writes the
// path it was started from into $HOME/launched.txt, so a test can see that it was started.
inline QList<ZipEntry> clientEntries(const QString &top = QStringLiteral("TovraClient"),
                                     const QByteArray &version = "2.4.0")
{
    return {ZipEntry::folder(top + u'/'),
            {top + QStringLiteral("/.tovra-app"), "tovra-client\n"},
            {top + QStringLiteral("/tovra-client"),
             "#!/bin/sh\n# build " + version + "\nprintf '%s\\n' \"$0\" >> \"$HOME/launched.txt\"\n", 0755},
            // The engine plugin travels beside the executable.
            {top + QStringLiteral("/libtovra_engine.so"), "engine " + version + "\n", 0644},
            {top + QStringLiteral("/share/notes.txt"), "新版本 " + version + "\n"},
            ZipEntry::link(top + QStringLiteral("/share/latest.txt"), QStringLiteral("notes.txt"))};
}

}
