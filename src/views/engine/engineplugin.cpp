#include "views/engine/engineplugin.h"

#include "views/community/loopingplayer.h"
#include "views/player/nativeplayer.h"
#include "views/player/pipeline.h"
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

void EnginePlugin::prepareNativePlayer()
{
    Pipeline::prepare();
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

// Run by the engine loader on its worker thread once this library is mapped: starts GStreamer and
// maps the media backend Qt Multimedia picks for the community's looping player, neither of which
// then happens while the user waits. Qt's own start of GStreamer finds it started. (The native
// player's pipeline is not here: its process loads its own elements.)
extern "C" Q_DECL_EXPORT void tovra_engine_prepare()
{
    gst_init(nullptr, nullptr);
    const QByteArray backend = qgetenv("QT_MEDIA_BACKEND");
    if (backend.isEmpty() || backend == "gstreamer") {
        QLibrary media(QLibraryInfo::path(QLibraryInfo::PluginsPath) + u"/multimedia/libgstreamermediaplugin.so"_s);
        media.load();
    }
}
