#include "views/engine/engineplugin.h"

#include "views/community/loopingplayer.h"
#include "views/player/nativeplayer.h"
#include "views/player/shakawebview.h"
#include "views/sitepane.h"

#include <QLibrary>
#include <gst/gst.h>
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
// play: starts GStreamer and loads the element plugins the native player's pipeline is made of,
// and maps the media backend Qt Multimedia picks for the community's looping player, none of which
// then happens while the user waits. Qt's own start of GStreamer finds it started.
extern "C" Q_DECL_EXPORT void tovra_engine_prepare()
{
    gst_init(nullptr, nullptr);
    // The element plugins an HLS stream's pipeline is built from, with their codec libraries.
    for (const char *name : {"playback", "typefindfunctions", "hls", "adaptivedemux2", "mpegtsdemux", "videoparsersbad",
                             "audioparsers", "libav", "videoconvertscale", "audioconvert", "audioresample", "volume",
                             "autodetect", "pulseaudio", "alsa", "app", "soup"}) {
        if (GstPlugin *plugin = gst_plugin_load_by_name(name))
            gst_object_unref(plugin);
    }
    const QByteArray backend = qgetenv("QT_MEDIA_BACKEND");
    if (backend.isEmpty() || backend == "gstreamer") {
        QLibrary media(QLibraryInfo::path(QLibraryInfo::PluginsPath) + u"/multimedia/libgstreamermediaplugin.so"_s);
        media.load();
    }
}
