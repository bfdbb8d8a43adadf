#pragma once

#include "views/engine/mediaengine.h"

#include <QObject>

namespace tovra {

// The entry of the engine plugin (libtovra_engine.so): the only library of the client that links
// the web engine and the media player.
class EnginePlugin : public QObject, public MediaEngine
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID TovraMediaEngine_iid)
    Q_INTERFACES(tovra::MediaEngine)
public:
    WebPane *createWebPane() override;
    NativePlayback *createNativePlayer(const PlayAuth &auth, const PlayEntry &entry, qint64 startAt) override;
    void prepareNativePlayer() override;
    QWidget *createWebPlayer(const PlayAuth &auth, const QString &title) override;
    std::unique_ptr<LoopingMedia> createLoopingMedia(const QUrl &url) override;
};

}
