#pragma once

#include "models/title.h"
#include "views/engine/nativeplayback.h"
#include "views/player/pipwindow.h"
#include "views/player/playermodel.h"

#include <QPointer>
#include <QTimer>

class QLabel;
class QVBoxLayout;

namespace tovra {

class PlayerControls;

// The native HLS player: the picture on black, its notice and inline controls. Each time it
// comes on screen it makes a new PlayerModel and plays; each time it leaves it stops that model
// (which sends the final progress report). A window being minimised does not count as leaving.
// Keys: Space plays or pauses, Left and Right seek 10 s, F toggles full screen, Esc leaves it,
// M mutes; on whichever of its controls has the focus, and in the picture-in-picture window,
// where Esc closes that window and F does nothing, as on the page while the picture is there.
// A double-click on the picture toggles full screen; there the controls come over the picture
// when the mouse moves and go with the pointer after a while without movement.
class NativePlayer : public NativePlayback
{
    Q_OBJECT
public:
    NativePlayer(PlayAuth auth, PlayEntry entry, qint64 startAt, QWidget *parent = nullptr);
    ~NativePlayer() override;

    PlayerModel *model() const { return m_model; }
    QLabel *notice() const { return m_notice; }
    VideoSurface *surface() const { return m_surface; }
    PlayerControls *controls() const;
    // The picture-in-picture window while it is open, else null.
    PipWindow *pipWindow() const;

    static constexpr qint64 kSeekStepMs = 10000;
    // How long the controls stay over the full-screen picture after the mouse last moved.
    static constexpr std::chrono::milliseconds kControlsLinger{3000};

    void togglePictureInPicture();
    void toggleFullScreen();
    // The player's keys; answers whether the key was one of them.
    bool handleKey(const QKeyEvent *event) override;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void start();
    void finish();
    void updateNotice();
    void updateWaiting();
    void closePictureInPicture();
    // Hands the pipeline's frames to the surface the user sees, with the latest picture at once.
    void routeFrames(VideoSurface *to, VideoSurface *from);
    void setFullScreen(bool fullScreen);
    void placeOverlay();
    void showOverlay();
    void lingerOver();
    QString windowName(const QString &what) const;

    PlayAuth m_auth;
    PlayEntry m_entry;
    qint64 m_startAt = 0;
    QPointer<PlayerModel> m_model;
    QVBoxLayout *m_layout = nullptr;
    VideoSurface *m_surface = nullptr;
    QLabel *m_notice = nullptr;
    QTimer m_linger;
    QPointer<PlayerControls> m_controls;
    QPointer<PipWindow> m_pip;
};

}
