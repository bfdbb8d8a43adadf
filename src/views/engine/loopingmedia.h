#pragma once

class QMediaPlayer;
class QWidget;

namespace tovra {

// A community post's own player: it loops without end while it plays.
class LoopingMedia
{
public:
    virtual ~LoopingMedia() = default;

    virtual void play() = 0;
    virtual void pause() = 0;
    virtual bool isPlaying() const = 0;
    // The picture, made as a child of parent and shown from then on.
    virtual QWidget *videoWidget(QWidget *parent) = 0;
    virtual QMediaPlayer *player() const = 0;
};

}
