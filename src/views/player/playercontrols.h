#pragma once

#include <QWidget>

class QLabel;
class QMediaPlayer;
class QSlider;
class QToolButton;

namespace tovra {

// The inline controls under the native picture: play/pause, the seek bar with times, the
// playback speed and full screen.
class PlayerControls : public QWidget
{
    Q_OBJECT
public:
    explicit PlayerControls(QMediaPlayer *player, QWidget *parent = nullptr);

    QToolButton *playButton() const { return m_play; }
    QSlider *seekBar() const { return m_seek; }
    QLabel *timeLabel() const { return m_time; }

signals:
    void fullScreenRequested();

private:
    void updateState();
    void updateTime();

    QMediaPlayer *m_player = nullptr;
    QToolButton *m_play = nullptr;
    QSlider *m_seek = nullptr;
    QLabel *m_time = nullptr;
    QToolButton *m_speed = nullptr;
    bool m_dragging = false;
};

}
