#include "views/engine/engineplugin.h"

#include "views/community/loopingplayer.h"
#include "views/player/nativeplayer.h"
#include "views/player/shakawebview.h"
#include "views/sitepane.h"

#include <QLibrary>
#include <QLibraryInfo>

using namespace Qt::StringLiterals;

namespace tovra {

WebPane *EnginePlugin::createWebPane()
{
    return new SitePane;
}

NativePlayback *EnginePlugin::createNativePlayer(const PlayAuth &auth, const PlayEntry &entry, qint64 startAt)
{
    return new NativePlayer(auth, entry, startAt);
}

QWidget *EnginePlugin::createWebPlayer(const PlayAuth &auth, const QString &title)
{
    return new ShakaWebView(auth, title);
}

std::unique_ptr<LoopingMedia> EnginePlugin::createLoopingMedia(const QUrl &url)
{
    return std::make_unique<LoopingPlayer>(url);
}

}

// Run by the engine loader on its worker thread once this library is mapped, ahead of a first
// play: maps the media backend Qt Multimedia will pick and starts GStreamer, both of which Qt
// would otherwise do on the GUI thread when the player opens. Qt's own start of GStreamer then
// finds it started, and its plugin loader finds the backend's file already mapped.
extern "C" Q_DECL_EXPORT void tovra_engine_prepare()
{
    const QByteArray backend = qgetenv("QT_MEDIA_BACKEND");
    if (!backend.isEmpty() && backend != "gstreamer")
        return;
    QLibrary media(QLibraryInfo::path(QLibraryInfo::PluginsPath) + u"/multimedia/libgstreamermediaplugin.so"_s);
    if (!media.load())
        return;
    QLibrary gstreamer(u"gstreamer-1.0"_s, 0);
    const auto init = reinterpret_cast<void (*)(int *, char ***)>(gstreamer.resolve("gst_init"));
    const auto loadPlugin = reinterpret_cast<void *(*)(const char *)>(gstreamer.resolve("gst_plugin_load_by_name"));
    const auto release = reinterpret_cast<void (*)(void *)>(gstreamer.resolve("gst_object_unref"));
    if (!init || !loadPlugin || !release)
        return;
    init(nullptr, nullptr);
    // The element plugins an HLS stream's pipeline is built from, with their codec libraries.
    for (const char *name : {"playback", "typefindfunctions", "hls", "adaptivedemux2", "mpegtsdemux", "videoparsersbad",
                             "audioparsers", "libav", "videoconvertscale", "audioconvert", "audioresample", "volume",
                             "autodetect", "pulseaudio", "alsa", "app"}) {
        if (void *plugin = loadPlugin(name))
            release(plugin);
    }
}
