#pragma once

#include <QPoint>
#include <QWidget>

class QToolButton;
class QVideoSink;

namespace tovra {

class FrameScaler;
class PlayerModel;

// Where the picture is drawn, on the page, in the small window and full screen: a plain widget
// painting the latest frame of its sink, letterboxed on black. Qt's video widget embeds a native
// window, and a window container in a page that is moved, hidden or reparented can be left
// holding a window that is gone; a painted surface has nothing of the kind, never covers what is
// drawn over it, and takes a frame from anyone without the media pipeline being rebuilt. Frames
// are made into pictures of the exact size shown by a FrameScaler, so painting one is a copy.
class VideoSurface : public QWidget
{
    Q_OBJECT
public:
    explicit VideoSurface(QWidget *parent = nullptr);
    ~VideoSurface() override;

    QVideoSink *videoSink() const { return m_sink; }
    // In place of the picture, on black: while the picture plays in another window.
    void setNotice(const QString &text);
    const QString &notice() const { return m_notice; }
    // A window of its own over the whole screen, and back into its place in the page.
    void setFullScreen(bool fullScreen);
    // Where the picture goes, in device pixels of this widget: the frame's shape, centred.
    QRect pictureArea() const;
    // The frame most recently painted (its start time, microseconds); -1 before any.
    qint64 paintedStartTime() const { return m_paintedStart; }

signals:
    // A new frame's picture has been painted.
    void framePainted();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void scale();
    void take(const QImage &picture, qint64 startTime);

    QVideoSink *m_sink = nullptr;
    FrameScaler *m_scaler = nullptr;
    QImage m_picture;
    qint64 m_pictureStart = -1;
    qint64 m_paintedStart = -1;
    QString m_notice;
};

// The picture-in-picture window: a small frameless window above all others that shows the
// picture while the user works elsewhere. Dragged by its picture, resized by its corner grip,
// with play/pause and a button back to the page. It never plays on its own: the player page
// moves the picture here and takes it back when the window closes.
class PipWindow : public QWidget
{
    Q_OBJECT
public:
    static constexpr QSize kDefaultSize{400, 225};
    static constexpr QSize kMinimumSize{240, 135};

    explicit PipWindow(PlayerModel *model);

    VideoSurface *surface() const { return m_surface; }
    QToolButton *playButton() const { return m_play; }
    QToolButton *backButton() const { return m_back; }

signals:
    // The window is closing, by its back button or otherwise; the picture must go back.
    void closed();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void updateState();

    PlayerModel *m_model = nullptr;
    VideoSurface *m_surface = nullptr;
    QToolButton *m_play = nullptr;
    QToolButton *m_back = nullptr;
    QPoint m_grab;
    bool m_dragging = false;
};

}
