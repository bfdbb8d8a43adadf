#include "views/player/pipwindow.h"

#include "views/icons.h"
#include "views/palette.h"
#include "views/player/playercontrols.h"

#include <QAccessibleWidget>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMediaPlayer>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QSizeGrip>
#include <QToolButton>
#include <QVideoFrame>
#include <QVideoSink>

namespace tovra {

namespace {

// The small window and the full-screen picture are windows to a screen reader, named by their
// titles, rather than anonymous panes.
class PlayerWindowAccessible : public QAccessibleWidget
{
public:
    explicit PlayerWindowAccessible(QWidget *widget) : QAccessibleWidget(widget, QAccessible::Client) {}
    QAccessible::Role role() const override { return widget()->isWindow() ? QAccessible::Window : QAccessible::Client; }
};

QAccessibleInterface *playerWindows(const QString &className, QObject *object)
{
    if (className == QLatin1String(PipWindow::staticMetaObject.className())
        || className == QLatin1String(VideoSurface::staticMetaObject.className()))
        return new PlayerWindowAccessible(static_cast<QWidget *>(object));
    return nullptr;
}

void installPlayerWindows()
{
    static const bool installed = [] {
        QAccessible::installFactory(playerWindows);
        return true;
    }();
    Q_UNUSED(installed);
}

}

VideoSurface::VideoSurface(QWidget *parent)
    : QWidget(parent)
    , m_sink(new QVideoSink(this))
{
    installPlayerWindows();
    setAttribute(Qt::WA_OpaquePaintEvent);
    connect(m_sink, &QVideoSink::videoFrameChanged, this, qOverload<>(&QWidget::update));
}

void VideoSurface::setNotice(const QString &text)
{
    m_notice = text;
    update();
}

void VideoSurface::setFullScreen(bool fullScreen)
{
    if (fullScreen == isFullScreen())
        return;
    QScreen *shownOn = screen();
    setWindowFlag(Qt::Window, fullScreen);
    if (fullScreen) {
        // The screen it was on, covered even where no window manager applies the state.
        if (shownOn)
            setGeometry(shownOn->geometry());
        showFullScreen();
    } else {
        setWindowState(windowState() & ~Qt::WindowFullScreen);
        show();
    }
}

void VideoSurface::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (!m_notice.isEmpty()) {
        painter.setPen(QColor(255, 255, 255, 191));
        painter.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap, m_notice);
        return;
    }
    QVideoFrame frame = m_sink->videoFrame();
    if (frame.isValid())
        frame.paint(&painter, rect(), {});
}

PipWindow::PipWindow(QMediaPlayer *player)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , m_player(player)
{
    installPlayerWindows();
    setWindowTitle(QStringLiteral("画中画"));
    // Closing the main window quits even while this one is up; the player page closes it then.
    setAttribute(Qt::WA_QuitOnClose, false);
    setMinimumSize(kMinimumSize);
    resize(kDefaultSize);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::black);
    setPalette(p);

    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(0);
    m_surface = new VideoSurface(this);
    m_surface->installEventFilter(this);
    grid->addWidget(m_surface, 0, 0, 2, 1);

    // The buttons sit in a strip under the picture, which they never hide.
    auto *strip = new QWidget(this);
    strip->setAutoFillBackground(true);
    QPalette sp = strip->palette();
    sp.setColor(QPalette::Window, QColor(0, 0, 0));
    strip->setPalette(sp);
    // The strip is black in either appearance, so its focus ring is the dark appearance's accent.
    strip->setStyleSheet(QStringLiteral("QToolButton { border: 2px solid transparent; border-radius: 5px; padding: 2px; }"
                                        "QToolButton:hover { background: rgba(255,255,255,0.18); }"
                                        "QToolButton:pressed { background: rgba(255,255,255,0.30); }"
                                        "QToolButton:focus { border-color: %1; }")
                             .arg(Palette::accent(true).name()));
    strip->installEventFilter(this);
    auto *row = new QHBoxLayout(strip);
    row->setContentsMargins(6, 2, 2, 2);
    m_play = playerSymbolButton(QStringLiteral("播放"), 16, strip);
    m_back = playerSymbolButton(QStringLiteral("返回播放页"), 16, strip);
    m_back->setIcon(Icons::icon(QStringLiteral("pip.exit"), Qt::white));
    row->addWidget(m_play);
    row->addStretch();
    row->addWidget(m_back);
    row->addWidget(new QSizeGrip(strip), 0, Qt::AlignBottom | Qt::AlignRight);
    grid->addWidget(strip, 2, 0);

    connect(m_play, &QToolButton::clicked, this, [this] { togglePlayback(m_player); });
    connect(m_back, &QToolButton::clicked, this, &QWidget::close);
    connect(m_player, &QMediaPlayer::playbackStateChanged, this, &PipWindow::updateState);
    connect(m_player, &QMediaPlayer::errorChanged, this, &PipWindow::updateState);
    updateState();

    if (QScreen *screen = this->screen()) {
        const QRect area = screen->availableGeometry();
        move(area.right() - width() - 24, area.bottom() - height() - 24);
    }
}

void PipWindow::updateState()
{
    showPlaybackState(m_play, m_player, Qt::white);
}

bool PipWindow::eventFilter(QObject *watched, QEvent *event)
{
    // A frameless window has no title bar: the picture and the strip are its handle.
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton) {
            m_dragging = true;
            m_grab = mouse->globalPosition().toPoint() - frameGeometry().topLeft();
            return true;
        }
        break;
    }
    case QEvent::MouseMove:
        if (m_dragging) {
            move(static_cast<QMouseEvent *>(event)->globalPosition().toPoint() - m_grab);
            return true;
        }
        break;
    case QEvent::MouseButtonRelease:
        m_dragging = false;
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void PipWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void PipWindow::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    emit closed();
}

}
