#pragma once

#include "views/engine/loopingmedia.h"

#include <QPointer>
#include <QUrl>

class QAudioOutput;

namespace tovra {

// A community post's player: one QMediaPlayer with its sound, looping the post's medium.
class LoopingPlayer : public LoopingMedia
{
public:
    explicit LoopingPlayer(const QUrl &url);
    ~LoopingPlayer() override;

    void play() override;
    void pause() override;
    bool isPlaying() const override;
    QWidget *videoWidget(QWidget *parent) override;
    QMediaPlayer *player() const override { return m_player; }

private:
    QMediaPlayer *m_player = nullptr;
    QAudioOutput *m_audioOutput = nullptr;
    QPointer<QWidget> m_videoWidget;
};

}
