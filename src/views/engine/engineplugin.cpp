#include "views/engine/engineplugin.h"

#include "views/community/loopingplayer.h"
#include "views/player/nativeplayer.h"
#include "views/player/shakawebview.h"
#include "views/sitepane.h"

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
