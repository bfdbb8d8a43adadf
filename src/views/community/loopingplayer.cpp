#include "views/community/loopingplayer.h"

#include <QAudioOutput>
#include <QMediaPlayer>
#include <QPainter>
#include <QVideoFrame>
#include <QVideoSink>
#include <QWidget>

namespace tovra {

namespace {

// Where a post's clip is drawn: painted letterboxed on black rather than in Qt's video widget,
// whose window container crashes when a page holding it moves after the embedded window went
// away. Posts' clips are small and short, so each frame is simply converted and drawn.
class LoopingSurface : public QWidget
{
public:
    explicit LoopingSurface(QWidget *parent) : QWidget(parent), m_sink(new QVideoSink(this))
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
        connect(m_sink, &QVideoSink::videoFrameChanged, this, [this](const QVideoFrame &frame) {
            m_picture = frame.toImage();
            update();
        });
    }
    QVideoSink *sink() const { return m_sink; }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::black);
        if (m_picture.isNull())
            return;
        QRect area(QPoint(), m_picture.size().scaled(size(), Qt::KeepAspectRatio));
        area.moveCenter(rect().center());
        painter.drawImage(area, m_picture);
    }

private:
    QVideoSink *m_sink;
    QImage m_picture;
};

}

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
        auto *surface = new LoopingSurface(parent);
        m_videoWidget = surface;
        m_player->setVideoOutput(surface->sink());
    }
    return m_videoWidget;
}

}
