#pragma once

#include "models/title.h"
#include "playerinprocess/inprocessplayer.h"
#include "support/clientfixture.h"
#include "support/lapses.h"
#include "support/mediafiles.h"
#include "support/testenv.h"
#include "views/player/nativeplayer.h"
#include "views/player/pipeline.h"
#include "views/player/pipwindow.h"
#include "views/player/playerview.h"
#include "views/player/qualitymenu.h"

#include <QAction>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QMutex>
#include <QPainter>
#include <QSet>
#include <QTest>
#include <QWidget>
#include <cmath>
#include <gst/gst.h>

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

// Counts the pictures a surface paints and keeps the stream times of the first and the latest.
struct FrameWatch
{
    int frames = 0;
    qint64 first = -1;
    qint64 last = -1;
    qint64 longestStill = 0; // the longest wait between two pictures, in ms of wall time this process was run
    qint64 stillAt = -1; // the stream time (us) of the picture that stood longest
    qint64 paintedAt = 0; // when the latest picture came (Lapses::now())
    QMetaObject::Connection connection;

    explicit FrameWatch(VideoSurface *surface)
    {
        Lapses::watch();
        connection = QObject::connect(surface, &VideoSurface::framePainted, surface, [this, surface] {
            const qint64 still = frames > 0 ? Lapses::runSince(paintedAt) : 0;
            paintedAt = Lapses::now();
            if (still > longestStill)
                longestStill = still, stillAt = last;
            ++frames;
            first = frames == 1 ? surface->paintedStartTime() : first;
            last = surface->paintedStartTime();
        });
    }
    ~FrameWatch() { QObject::disconnect(connection); }
    qint64 standing() const { return Lapses::runSince(paintedAt); } // as longestStill counts
};

// What reaches the pipeline's sinks, watched on their pads: each buffer's stream time and
// length (microseconds), and the picture's width. A gap is time the stream skips between one
// buffer's end and the next one's start: silence in the sound, pictures never shown.
struct FlowWatch
{
    struct Buffer
    {
        qint64 start;
        qint64 end;
        int width;
    };
    struct Track
    {
        GstSegment segment;
        QList<Buffer> buffers;
        int width = 0;
        // Flushes the sink took: each stops the sound or the picture until it has prerolled again.
        int flushes = 0;
    };
    // Shared with the probes, which may still be running on a streaming thread when the watch
    // goes: GStreamer lets go of a probe's data only once no call of it is under way.
    struct State
    {
        QMutex mutex;
        Track video;
        Track audio;
    };
    std::shared_ptr<State> state = std::make_shared<State>();
    Track &video = state->video;
    Track &audio = state->audio;
    QList<std::pair<GstPad *, gulong>> probes;

    struct Probe
    {
        std::shared_ptr<State> state;
        Track *track;
    };

    explicit FlowWatch(GstElement *playbin)
    {
        gst_segment_init(&video.segment, GST_FORMAT_TIME);
        gst_segment_init(&audio.segment, GST_FORMAT_TIME);
        for (auto [property, track] : {std::pair{"video-sink", &video}, std::pair{"audio-sink", &audio}}) {
            GstElement *sink = nullptr;
            g_object_get(playbin, property, &sink, nullptr);
            GstPad *pad = sink ? gst_element_get_static_pad(sink, "sink") : nullptr;
            if (sink)
                gst_object_unref(sink);
            if (!pad)
                continue;
            if (GstCaps *caps = gst_pad_get_current_caps(pad)) {
                gst_structure_get_int(gst_caps_get_structure(caps, 0), "width", &track->width);
                gst_caps_unref(caps);
            }
            const gulong id = gst_pad_add_probe(pad, GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM | GST_PAD_PROBE_TYPE_EVENT_FLUSH),
                                                &FlowWatch::probe, new Probe{state, track},
                                                [](gpointer data) { delete static_cast<Probe *>(data); });
            probes.append({pad, id});
        }
    }
    ~FlowWatch()
    {
        for (auto [pad, id] : probes) {
            gst_pad_remove_probe(pad, id);
            gst_object_unref(pad);
        }
    }
    static GstPadProbeReturn probe(GstPad *, GstPadProbeInfo *info, gpointer data)
    {
        auto *probe = static_cast<Probe *>(data);
        Track *track = probe->track;
        QMutexLocker lock(&probe->state->mutex);
        if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) {
            GstEvent *event = GST_PAD_PROBE_INFO_EVENT(info);
            if (GST_EVENT_TYPE(event) == GST_EVENT_FLUSH_START) {
                ++track->flushes;
            } else if (GST_EVENT_TYPE(event) == GST_EVENT_SEGMENT) {
                gst_event_copy_segment(event, &track->segment);
            } else if (GST_EVENT_TYPE(event) == GST_EVENT_CAPS) {
                GstCaps *caps = nullptr;
                gst_event_parse_caps(event, &caps);
                gst_structure_get_int(gst_caps_get_structure(caps, 0), "width", &track->width);
            }
        } else if (GstBuffer *buffer = GST_PAD_PROBE_INFO_BUFFER(info); buffer && GST_BUFFER_PTS_IS_VALID(buffer)) {
            const guint64 start = gst_segment_to_stream_time(&track->segment, GST_FORMAT_TIME, GST_BUFFER_PTS(buffer));
            const guint64 length = GST_BUFFER_DURATION_IS_VALID(buffer) ? GST_BUFFER_DURATION(buffer) : 0;
            if (start != GST_CLOCK_TIME_NONE)
                track->buffers.append({qint64(start / 1000), qint64((start + length) / 1000), track->width});
        }
        return GST_PAD_PROBE_OK;
    }
    // Forgets what flowed so far: what comes next is one run of playback.
    void clear()
    {
        QMutexLocker lock(&state->mutex);
        video.buffers.clear();
        audio.buffers.clear();
        video.flushes = audio.flushes = 0;
    }
    int flushes()
    {
        QMutexLocker lock(&state->mutex);
        return video.flushes + audio.flushes;
    }
    // The longest gap in the track from `from` (microseconds of stream time) on.
    qint64 longestGap(const Track &track, qint64 from)
    {
        QMutexLocker lock(&state->mutex);
        qint64 gap = 0;
        const Buffer *before = nullptr;
        for (const Buffer &b : track.buffers) {
            if (b.start < from)
                continue;
            if (before)
                gap = std::max(gap, b.start - before->end);
            before = &b;
        }
        return gap;
    }
    // Where each buffer from `from` on starts, in milliseconds, with the picture's width: what a
    // failing check prints.
    QString describe(const Track &track, qint64 from)
    {
        QMutexLocker lock(&state->mutex);
        QStringList out;
        for (const Buffer &b : track.buffers) {
            if (b.start >= from)
                out << QStringLiteral("%1@%2").arg(b.start / 1000).arg(b.width);
        }
        return out.join(u' ');
    }
    // The stream time at which pictures of this width first came, after `from`; -1 if none.
    qint64 firstOfWidth(int width, qint64 from)
    {
        QMutexLocker lock(&state->mutex);
        for (const Buffer &b : video.buffers) {
            if (b.start >= from && b.width == width)
                return b.start;
        }
        return -1;
    }
};

// The widget as the user sees it, once its video surface has painted a picture.
inline QImage grabShown(QWidget *widget, VideoSurface *surface)
{
    waitFor([&] { return surface->paintedCount() > 0; }, 5000);
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

// The entry every player page here plays, and how long a play may take to start or move on.
inline const PlayEntry kPlayerEntry{3, u"did-42"_qs, u"entry-tok"_qs, 4102444800};
inline constexpr int kPlayTimeout = 20000;

// A player page shown at a usual size, for a stream the fixture authorises.
struct PlayerPage
{
    PlayerView view;
    PlayerPage(PlaybackFixture &f, const PlayAuth &auth, int startAt = 0) : view(kPlayerEntry, u"星河"_qs, startAt)
    {
        f.authorise(auth);
        view.resize(960, 640);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QVERIFY(waitFor([&] { return !view.isLoading(); }));
    }
    NativePlayer *native() const { return view.nativePlayer(); }
    PlayerModel *model() const { return view.nativePlayer()->model(); }
    QAction *quality(const QString &label) const
    {
        QAction *choice = nullptr;
        for (QAction *a : view.qualityMenu()->choices()->actions())
            choice = a->text() == label ? a : choice;
        return choice;
    }
};

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
