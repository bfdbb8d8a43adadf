#pragma once

#include "views/player/framescaler.h"

#include <QPoint>
#include <QWidget>

class QLabel;
class QToolButton;

namespace tovra {

class PlayerModel;

// Where the picture is drawn, on the page, in the small window and full screen: a plain widget
// painting the latest picture letterboxed on black. Qt's video widget embeds a native window,
// and a window container in a page that is moved, hidden or reparented can be left holding a
// window that is gone; a painted surface has nothing of the kind and takes frames from the
// pipeline without it being rebuilt. Its FrameScaler makes each frame into a picture of the
// exact size shown, so painting one is a copy.
class VideoSurface : public QWidget
{
    Q_OBJECT
public:
    explicit VideoSurface(QWidget *parent = nullptr);
    ~VideoSurface() override;

    // Where the pipeline hands this surface its frames, from its streaming thread.
    FrameScaler *scaler() const { return m_scaler; }
    // In place of the picture, on black: while the picture plays in another window.
    void setNotice(const QString &text);
    // Over the picture, at its top: the player's notice (a failure, the trial, the resume) where
    // the page's own strip is out of sight, in full screen and in the small window. None hides it.
    void setCaption(const QString &text);
    QLabel *caption() const { return m_caption; }
    // A spinner over the middle of the picture while the stream waits for data, and "正在缓冲"
    // as the surface's description for screen readers. Not over a notice.
    void setWaiting(bool waiting);
    // The spinner's chip while it is shown, else null.
    QWidget *waitingIndicator() const;
    const QString &notice() const { return m_notice; }
    // A window of its own over the whole screen, and back into its place in the page.
    void setFullScreen(bool fullScreen);
    // Where the picture goes, in device pixels of this widget: the frame's shape, centred.
    QRect pictureArea() const;
    // The stream time (microseconds) of the picture most recently painted; -1 before any.
    qint64 paintedStartTime() const { return m_paintedStart; }
    // How many distinct pictures have been painted.
    int paintedCount() const { return m_paintedCount; }

signals:
    // A new frame's picture has been painted.
    void framePainted();
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    void updateBounds();
    void placeWaiting();
    void placeCaption();
    void take(const QImage &picture, qint64 streamTime, QSize frameSize);

    FrameScaler *m_scaler = nullptr;
    QImage m_picture;
    QSize m_frameSize;
    qint64 m_pictureStart = -1;
    qint64 m_paintedStart = -1;
    int m_paintedCount = 0;
    QString m_notice;
    QWidget *m_waitingChip = nullptr;
    bool m_waiting = false;
    QLabel *m_caption = nullptr;
};

// The picture-in-picture window: a small frameless window above all others that shows the
// picture while the user works elsewhere. The picture fills it; play/pause and a button back to
// the page come over the picture while the pointer is on it. Dragged by its picture, resized by
// its corner grip. It never plays on its own: the player page moves the picture here and takes it
// back when the window closes.
class PipWindow : public QWidget
{
    Q_OBJECT
public:
    static constexpr QSize kDefaultSize{400, 225};
    static constexpr QSize kMinimumSize{240, 135};

    // Placed at the bottom right of the screen, above `avoid` (global coordinates: the page's
    // own control bar) where it would cover it.
    PipWindow(PlayerModel *model, const QRect &avoid = {});

    VideoSurface *surface() const { return m_surface; }
    QWidget *controls() const { return m_strip; }
    QToolButton *playButton() const { return m_play; }
    QToolButton *backButton() const { return m_back; }

signals:
    // The window is closing, by its back button or otherwise; the picture must go back.
    void closed();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void updateState();
    void placeStrip();

    PlayerModel *m_model = nullptr;
    VideoSurface *m_surface = nullptr;
    QWidget *m_strip = nullptr;
    QToolButton *m_play = nullptr;
    QToolButton *m_back = nullptr;
    QPoint m_grab;
    bool m_dragging = false;
};

}
