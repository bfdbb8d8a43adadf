#include "support/mediafiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

namespace tovra::test {

namespace {

QByteArray contentType(const QString &file)
{
    const QString suffix = QFileInfo(file).suffix();
    if (suffix == u"m3u8")
        return "application/vnd.apple.mpegurl";
    if (suffix == u"mpd")
        return "application/dash+xml";
    if (suffix == u"ts")
        return "video/mp2t";
    if (suffix == u"webm")
        return "video/webm";
    if (suffix == u"js")
        return "text/javascript";
    if (suffix == u"css")
        return "text/css";
    return "application/octet-stream";
}

void serveFile(FakeSite &site, const QString &path, const QString &file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(file));
    site.route(path, FakeSite::text(f.readAll()).withHeader("Content-Type", contentType(file)));
}

}

QString mediaDir()
{
    return QStringLiteral(TOVRA_MEDIA_DIR);
}

QString shakaDir()
{
    return QStringLiteral(TOVRA_SHAKA_DIR);
}

QStringList serveFolder(FakeSite &site, const QString &prefix, const QString &folder)
{
    QStringList paths;
    const QDir root(folder);
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        const QString path = prefix + root.relativeFilePath(file);
        serveFile(site, path, file);
        paths << path;
    }
    return paths;
}

void serveShaka(FakeSite &site, const QString &prefix)
{
    for (const char *name : {"shaka-player.ui.js", "controls.css"})
        serveFile(site, prefix + QStringLiteral("shakaPlayer/") + QLatin1String(name),
                  QDir(shakaDir()).filePath(QLatin1String(name)));
}

}
