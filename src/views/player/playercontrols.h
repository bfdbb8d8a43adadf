#pragma once

#include <QWidget>

class QLabel;
class QSlider;
class QToolButton;

namespace tovra {

class PlayerModel;

// A symbol-only button of the player's bars: named for its tooltip and for screen readers, taking
// keyboard focus, flat until hovered.
QToolButton *playerSymbolButton(const QString &name, int iconPixels, QWidget *parent);
// A play button's symbol, name and tooltip for the playback's state, drawn in symbolColor.
void showPlaybackState(QToolButton *button, const PlayerModel *model, const QColor &symbolColor);

class QualityMenu;

// The controls of the native picture: play/pause, the seek bar with times, volume and mute, the
// playback speed, picture-in-picture and full screen, as the platform's own inline player has
// them: the time follows the knob while it is dragged, the speed menu marks the speed in use,
// and at the end of the stream the knob and the time stand at the end. Under the picture on the
// page, their colours come from the palette and follow the appearance; over the picture in full
// screen they are light on a dark veil and carry the quality choice too (the page's bar with its
// own button is out of sight then). Every control takes keyboard focus and has a name for screen
// readers.
class PlayerControls : public QWidget
{
    Q_OBJECT
public:
    explicit PlayerControls(PlayerModel *model, QWidget *parent = nullptr);

    QToolButton *playButton() const { return m_play; }
    QSlider *seekBar() const { return m_seek; }
    QLabel *timeLabel() const { return m_time; }
    QToolButton *muteButton() const { return m_mute; }
    QSlider *volumeBar() const { return m_volume; }
    QToolButton *speedButton() const { return m_speed; }
    QToolButton *pipButton() const { return m_pip; }
    QToolButton *fullScreenButton() const { return m_full; }
    QualityMenu *qualityMenu() const { return m_quality; }
    // The buttons whose symbol must read against the bar.
    QList<QToolButton *> symbolButtons() const { return {m_play, m_mute, m_pip, m_full}; }

    void togglePlay();
    void toggleMute();
    // Over the picture in full screen, or under it on the page.
    void setOverlay(bool overlay);
    bool isOverlay() const { return m_overlay; }

signals:
    void fullScreenRequested();
    void pictureInPictureRequested();

private:
    void applyAppearance(bool dark);
    void updateState();
    void updateTime();
    void updateAudio();

    PlayerModel *m_model = nullptr;
    QToolButton *m_play = nullptr;
    QSlider *m_seek = nullptr;
    QLabel *m_time = nullptr;
    QToolButton *m_mute = nullptr;
    QSlider *m_volume = nullptr;
    QToolButton *m_speed = nullptr;
    QToolButton *m_pip = nullptr;
    QToolButton *m_full = nullptr;
    QualityMenu *m_quality = nullptr;
    bool m_dragging = false;
    bool m_dark = false;
    bool m_overlay = false;
};

}
