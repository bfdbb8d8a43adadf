#pragma once

#include "models/title.h"
#include "support/clientfixture.h"
#include "support/mediafiles.h"
#include "support/testenv.h"
#include "views/player/pipwindow.h"


#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMediaPlayer>
#include <QPainter>
#include <QSet>
#include <QVideoFrame>
#include <QVideoSink>
#include <QWidget>
#include <cmath>

namespace tovra::test {

// The fake site serving the clip made at build time under "/clip/", progress reports, and the
// play authorisation for whatever stream a test names.
// The HLS playlists come from a host on a thread of its own (see ThreadedSite): no real site
// answers on the player's main thread.
struct PlaybackFixture : SharedClientFixture
{
    static inline const QString kAuthPath = QStringLiteral("/user/requestmpd");
    static inline const QString kProgress = QStringLiteral("/api/progress");
    static inline const QString kMaster = QStringLiteral("/clip/hls/master.m3u8");
    static inline const QString kManifest = QStringLiteral("/clip/dash/manifest.mpd");

    QStringList served;
    // The playlists, naming their segments on the site.
    ThreadedSite playlistHost{[this](FakeSite &host) {
        QDirIterator it(mediaDir(), {QStringLiteral("*.m3u8")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            file.open(QIODevice::ReadOnly);
            const QString path = QStringLiteral("/clip/") + QDir(mediaDir()).relativeFilePath(file.fileName());
            QByteArrayList lines = file.readAll().split('\n');
            for (QByteArray &line : lines)
                line = line.endsWith(".ts") ? site.url(path.section(u'/', 0, -2) + u'/' + QString::fromUtf8(line)).toEncoded() : line;
            host.route(path, FakeSite::text(lines.join('\n')));
        }
    }};

    PlaybackFixture() : SharedClientFixture(QStringLiteral("user-tok"))
    {
        served = serveFolder(site, QStringLiteral("/clip/"), mediaDir());
        site.route(kProgress, FakeSite::ok("{}"));
    }
    PlayAuth auth(const QString &pathAndQuery, qint64 et = 0, const QString &token = QStringLiteral("play-tok")) const
    {
        const QUrl host = pathAndQuery.contains(u".m3u8") ? playlistHost.url() : site.url();
        return {host.toString(QUrl::FullyEncoded) + pathAndQuery.mid(1), token, et, 1};
    }
    void authorise(const PlayAuth &a)
    {
        site.route(kAuthPath, FakeSite::ok(QJsonDocument(QJsonObject{{"url", a.url}, {"token", a.token}, {"et", a.et}, {"l", a.l}})
                                               .toJson(QJsonDocument::Compact)));
    }
    QList<QUrlQuery> progressForms() const
    {
        QList<QUrlQuery> out;
        for (const auto &r : site.requestsTo(kProgress))
            out << r.form();
        return out;
    }
    // Paths of the segment requests, in arrival order, from the given log position on.
    QStringList segmentsSince(qsizetype from) const
    {
        QStringList out;
        for (qsizetype i = from; i < site.requests().size(); ++i) {
            const QString &path = site.requests().at(i).path;
            if (path.endsWith(u".ts") || path.endsWith(u".webm"))
                out << path;
        }
        return out;
    }
};

// Counts decoded frames reaching a sink and keeps the first and the latest.
struct FrameWatch
{
    int frames = 0;
    QVideoFrame first;
    QVideoFrame last;
    QMetaObject::Connection connection;

    explicit FrameWatch(QVideoSink *sink)
    {
        connection = QObject::connect(sink, &QVideoSink::videoFrameChanged, sink, [this](const QVideoFrame &frame) {
            if (frame.isValid()) {
                ++frames;
                first = frames == 1 ? frame : first;
                last = frame;
            }
        });
    }
    ~FrameWatch() { QObject::disconnect(connection); }
};

// The widget as the user sees it, once its video surface has painted a picture.
inline QImage grabShown(QWidget *widget, VideoSurface *surface)
{
    waitFor([&] { return surface->paintedStartTime() >= 0; }, 5000);
    return widget->grab().toImage();
}

// Where each segment of a variant starts, counted from the first picture: the playlist's
// durations added up.
inline QList<qint64> segmentStarts(const QString &variantPlaylist)
{
    QFile file(variantPlaylist);
    file.open(QIODevice::ReadOnly);
    QList<qint64> starts{0};
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith("#EXTINF:"))
            starts << starts.last() + qRound64(line.mid(8).split(',').first().toDouble() * 1000);
    }
    starts.removeLast();
    return starts;
}

}

namespace tovra::test {

inline QString saveGrab(const QImage &image, const QString &name)
{
    const QDir folder(QStringLiteral(TOVRA_GRAB_DIR));
    folder.mkpath(QStringLiteral("."));
    const QString file = folder.filePath(name + QStringLiteral(".png"));
    return image.save(file, "PNG") ? file : QString();
}

// Relative luminance, 0 to 1.
// A decoded picture rather than a black or empty surface: the test clip's colour bars give a
// coarse sample of the image many different colours.
inline bool showsPicture(const QImage &image)
{
    QSet<QRgb> seen;
    for (int y = 1; y < 8; ++y) {
        for (int x = 1; x < 8; ++x)
            seen.insert(image.pixel(image.width() * x / 8, image.height() * y / 8));
    }
    return seen.size() >= 4;
}

inline double luminance(const QColor &c)
{
    auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

// Whether the text has no Latin letters: the user's texts are Chinese ("VIP" and quality names
// aside), so an English word from a backend shows up here.
inline bool withoutLatinWords(const QString &text)
{
    for (QChar c : text) {
        if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'))
            return false;
    }
    return true;
}

}
