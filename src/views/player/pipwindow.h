#pragma once

#include <QPoint>
#include <QWidget>

class QMediaPlayer;
class QToolButton;
class QVideoWidget;

namespace tovra {

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

    QVideoWidget *surface() const { return m_surface; }
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
    QVideoWidget *m_surface = nullptr;
    QToolButton *m_play = nullptr;
    QToolButton *m_back = nullptr;
    QPoint m_grab;
    bool m_dragging = false;
};

}
