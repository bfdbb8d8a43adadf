#pragma once

#include <QPoint>
#include <QWidget>

class QMediaPlayer;
class QToolButton;
class QVideoSink;

namespace tovra {

// Where the picture is drawn, on the page and in the small window: a plain widget painting the
// latest frame of its sink, letterboxed on black. Qt's video widget embeds a native window, and
// a window container in a page that is moved, hidden or reparented can be left holding a window
// that is gone; a painted surface has nothing of the kind, never covers what is drawn over it,
// and takes a frame from anyone without the media pipeline being rebuilt.
class VideoSurface : public QWidget
{
    Q_OBJECT
public:
    explicit VideoSurface(QWidget *parent = nullptr);

    QVideoSink *videoSink() const { return m_sink; }
    // In place of the picture, on black: while the picture plays in another window.
    void setNotice(const QString &text);
    const QString &notice() const { return m_notice; }
    // A window of its own over the whole screen, and back into its place in the page.
    void setFullScreen(bool fullScreen);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QVideoSink *m_sink = nullptr;
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

    explicit PipWindow(QMediaPlayer *player);

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

    QMediaPlayer *m_player = nullptr;
    VideoSurface *m_surface = nullptr;
    QToolButton *m_play = nullptr;
    QToolButton *m_back = nullptr;
    QPoint m_grab;
    bool m_dragging = false;
};

}
