#pragma once

#include "models/title.h"

#include <QtPlugin>
#include <memory>

class QUrl;
class QWidget;

namespace tovra {

class LoopingMedia;
class NativePlayback;
class WebPane;

// What the engine plugin makes for the screens. Everything that needs the web engine or the media
// player is made here, so the client maps those libraries only once a screen asks for one.
// Widgets are handed over without a parent; the caller owns them.
class MediaEngine
{
public:
    virtual ~MediaEngine() = default;

    // The page area of an in-app site page, on the one shared web profile.
    virtual WebPane *createWebPane() = 0;
    // The native HLS player of one episode; it plays while it is on screen.
    virtual NativePlayback *createNativePlayer(const PlayAuth &auth, const PlayEntry &entry, qint64 startAt) = 0;
    // A play is coming: the native player's process may start now, while its authorisation is
    // asked for, so the first picture does not wait for it.
    virtual void prepareNativePlayer() = 0;
    // The HTML5 player page for a stream that is not an HLS playlist; the title names the page.
    virtual QWidget *createWebPlayer(const PlayAuth &auth, const QString &title) = 0;
    // The looping player of one community post.
    virtual std::unique_ptr<LoopingMedia> createLoopingMedia(const QUrl &url) = 0;
};

}

#define TovraMediaEngine_iid "org.tovra.MediaEngine/1"
Q_DECLARE_INTERFACE(tovra::MediaEngine, TovraMediaEngine_iid)
