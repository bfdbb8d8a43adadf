#include "views/community/loopingplayer.h"

#include "views/player/pipwindow.h"

#include <QAudioOutput>
#include <QMediaPlayer>
#include <QVideoSink>

namespace tovra {

LoopingPlayer::LoopingPlayer(const QUrl &url) : m_player(new QMediaPlayer)
{
    m_audioOutput = new QAudioOutput(m_player);
    m_player->setAudioOutput(m_audioOutput);
    // Loops without end while it plays; paused whenever the slide leaves view.
    m_player->setLoops(QMediaPlayer::Infinite);
    m_player->setSource(url);
}

LoopingPlayer::~LoopingPlayer()
{
    m_player->pause();
    // The picture belongs to the slide and may already be gone with it.
    if (m_videoWidget)
        m_player->setVideoOutput(nullptr);
    delete m_player;
}

void LoopingPlayer::play()
{
    m_player->play();
}

void LoopingPlayer::pause()
{
    m_player->pause();
}

bool LoopingPlayer::isPlaying() const
{
    return m_player->playbackState() == QMediaPlayer::PlayingState;
}

QWidget *LoopingPlayer::videoWidget(QWidget *parent)
{
    if (!m_videoWidget) {
        // Painted rather than Qt's video widget, whose window container crashes when a page
        // holding it moves after the embedded window went away.
        m_videoWidget = new VideoSurface(parent);
        m_player->setVideoOutput(m_videoWidget->videoSink());
    }
    return m_videoWidget;
}

}
