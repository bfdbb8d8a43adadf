#include "mediasite.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QJsonObject>
#include <QMimeDatabase>
#include <QUrlQuery>

namespace tovra::samplesite {

namespace {

QHttpServerResponse envelope(int code, const QString &message, const QJsonValue &data = QJsonValue::Undefined)
{
    QJsonObject body{{"code", code}, {"message", message}};
    if (!data.isUndefined())
        body.insert("data", data);
    return QHttpServerResponse(body);
}

uchar didByte(const QString &did)
{
    return uchar(QCryptographicHash::hash(did.toUtf8(), QCryptographicHash::Sha1).at(0));
}

void logMedia(const QHttpServerRequest &request)
{
    qInfo().noquote() << "[samplesite]" << request.url().toString(QUrl::RemoveScheme | QUrl::RemoveAuthority);
}

// The clip and the player library are made inside the build folder, which may since have been
// copied or moved: they are looked for above the program that serves them (the site's own
// executable in tools/samplesite, or a test's), never at the path the build was configured in.
// A folder counts only when it holds the file named (any system has a "/media").
QString besideProgram(const QString &relative, const QString &file)
{
    QDir dir(QCoreApplication::applicationDirPath());
    do {
        if (QFileInfo(dir.filePath(relative + u'/' + file)).isFile())
            return dir.filePath(relative);
    } while (dir.cdUp());
    qWarning().noquote() << "[samplesite] no" << relative << "above" << QCoreApplication::applicationDirPath()
                         << "(run scripts/setup.sh): playback will fail";
    return {};
}

}

MediaSite::MediaSite(QString base)
    : m_base(std::move(base))
    , m_mediaRoot(besideProgram(QStringLiteral(TOVRA_MEDIA_SUBDIR), QStringLiteral("hls/master.m3u8")))
    , m_shakaRoot(besideProgram(QStringLiteral(TOVRA_SHAKA_SUBDIR), QStringLiteral("shaka-player.ui.js")))
{
}

int MediaSite::clipSeconds() const
{
    // The length of the clip as made (cmake/testmedia.sh), read from its first variant's list.
    QFile list(QDir(m_mediaRoot).filePath(QStringLiteral("hls/v0/index.m3u8")));
    double seconds = 0;
    if (!m_mediaRoot.isEmpty() && list.open(QIODevice::ReadOnly)) {
        while (!list.atEnd()) {
            const QByteArray line = list.readLine(1024).trimmed();
            if (line.startsWith("#EXTINF:"))
                seconds += line.mid(8).split(',').first().toDouble();
        }
    }
    return seconds >= 1 ? int(seconds) : kFallbackClipSeconds;
}

bool MediaSite::playsHls(const QString &did)
{
    return didByte(did) % 2 == 0;
}

int MediaSite::trialSeconds(const QString &did)
{
    // Five minutes, as the title page's trial badge promises.
    return didByte(did) % 3 == 0 ? 300 : 0;
}

void MediaSite::registerOn(QHttpServer &server)
{
    server.route("/user/requestmpd", QHttpServerRequest::Method::Get,
                 [this](const QHttpServerRequest &request) { return requestMpd(request); });
    server.route("/api/progress", QHttpServerRequest::Method::Post,
                 [this](const QHttpServerRequest &request) { return progress(request); });
    // The page asks for the library under the media address ("<base>/media/shakaPlayer/...").
    server.route("/media/shakaPlayer/<arg>", QHttpServerRequest::Method::Get,
                 [this](const QString &name, const QHttpServerRequest &request) {
                     logMedia(request);
                     return file(m_shakaRoot, name);
                 });
    server.route("/media/clip/<arg>", QHttpServerRequest::Method::Get, [this](const QUrl &path, const QHttpServerRequest &request) {
        logMedia(request);
        return file(m_mediaRoot, path.path());
    });
}

QHttpServerResponse MediaSite::requestMpd(const QHttpServerRequest &request) const
{
    logMedia(request);
    const QUrlQuery query = request.query();
    const QString did = query.queryItemValue(QStringLiteral("did"), QUrl::FullyDecoded);
    const QString token = query.queryItemValue(QStringLiteral("token"), QUrl::FullyDecoded);
    const qint64 expired = query.queryItemValue(QStringLiteral("expired")).toLongLong();
    if (did.isEmpty() || token.isEmpty())
        return envelope(400, QStringLiteral("缺少播放参数"));
    if (expired < QDateTime::currentSecsSinceEpoch())
        return envelope(403, QStringLiteral("播放地址已过期，请刷新页面"));
    const QString stream = playsHls(did) ? QStringLiteral("/media/clip/hls/master.m3u8")
                                         : QStringLiteral("/media/clip/dash/manifest.mpd");
    const QByteArray playToken = QCryptographicHash::hash((did + token).toUtf8(), QCryptographicHash::Sha256).toBase64();
    return envelope(200, QStringLiteral("ok"),
                    QJsonObject{{"url", m_base + stream},
                                {"token", QString::fromLatin1(playToken)},
                                {"et", trialSeconds(did)},
                                {"l", 1}});
}

QHttpServerResponse MediaSite::progress(const QHttpServerRequest &request)
{
    logMedia(request);
    QByteArray body = request.body();
    body.replace('+', "%20");
    const QUrlQuery form(QString::fromUtf8(body));
    const QString key = form.queryItemValue(QStringLiteral("did"), QUrl::FullyDecoded) + u'/'
                        + form.queryItemValue(QStringLiteral("ep"));
    m_positions.insert(key, form.queryItemValue(QStringLiteral("pos")).toLongLong());
    qInfo().noquote() << "[samplesite] progress" << key << "at" << m_positions.value(key) << "of"
                      << form.queryItemValue(QStringLiteral("duration"));
    return envelope(200, QStringLiteral("ok"));
}

QHttpServerResponse MediaSite::file(const QString &root, const QString &relative)
{
    // Only files under the root: a path that climbs out of it is not served.
    const QString cleaned = QDir::cleanPath(relative);
    if (root.isEmpty() || cleaned.startsWith(u"..") || cleaned.startsWith(u'/') || cleaned.contains(u"/.."))
        return QHttpServerResponse(QHttpServerResponder::StatusCode::NotFound);
    QFile f(QDir(root).filePath(cleaned));
    if (!QFileInfo(f).isFile() || !f.open(QIODevice::ReadOnly))
        return QHttpServerResponse(QHttpServerResponder::StatusCode::NotFound);
    const QString suffix = QFileInfo(cleaned).suffix();
    QByteArray type = "application/octet-stream";
    if (suffix == u"m3u8")
        type = "application/vnd.apple.mpegurl";
    else if (suffix == u"mpd")
        type = "application/dash+xml";
    else if (suffix == u"ts")
        type = "video/mp2t";
    else
        type = QMimeDatabase().mimeTypeForFile(cleaned, QMimeDatabase::MatchExtension).name().toLatin1();
    return QHttpServerResponse(type, f.readAll());
}

}
