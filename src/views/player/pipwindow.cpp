#include "views/player/pipwindow.h"

#include "views/icons.h"
#include "views/palette.h"
#include "views/player/framescaler.h"
#include "views/player/playercontrols.h"
#include "views/player/playermodel.h"

#include <QAccessibleWidget>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMediaPlayer>
#include <QMouseEvent>
#include <QPainter>
#include <QRegion>
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
    , m_scaler(new FrameScaler(this))
{
    installPlayerWindows();
    setAttribute(Qt::WA_OpaquePaintEvent);
    connect(m_sink, &QVideoSink::videoFrameChanged, this, &VideoSurface::scale);
    connect(m_scaler, &FrameScaler::ready, this, &VideoSurface::take);
}

VideoSurface::~VideoSurface() = default;

void VideoSurface::setNotice(const QString &text)
{
    m_notice = text;
    update();
    scale();
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

QRect VideoSurface::pictureArea() const
{
    const QSize frame = m_sink->videoSize();
    const qreal ratio = devicePixelRatioF();
    const QSize device(qRound(width() * ratio), qRound(height() * ratio));
    if (frame.isEmpty() || device.isEmpty())
        return {};
    QSize fitted = frame.scaled(device, Qt::KeepAspectRatio);
    // An odd width sends the scaler down its plain C path, four times slower than its SIMD one;
    // the column given up is letterbox.
    fitted.setWidth(std::max(2, fitted.width() & ~1));
    return {QPoint((device.width() - fitted.width()) / 2, (device.height() - fitted.height()) / 2), fitted};
}

void VideoSurface::scale()
{
    // Nothing to draw while hidden or covered by the notice; the latest frame is scaled again
    // when it is shown.
    if (!m_notice.isEmpty() || !isVisible())
        return;
    const QVideoFrame frame = m_sink->videoFrame();
    if (frame.isValid())
        m_scaler->request(frame, pictureArea().size());
}

void VideoSurface::take(const QImage &picture, qint64 startTime)
{
    m_picture = picture;
    m_pictureStart = startTime;
    update();
}

void VideoSurface::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    scale();
}

void VideoSurface::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    scale();
}

void VideoSurface::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (!m_notice.isEmpty()) {
        painter.fillRect(rect(), Qt::black);
        painter.setPen(QColor(255, 255, 255, 191));
        painter.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap, m_notice);
        return;
    }
    // In device pixels, so a picture made at the size shown is copied, never scaled again.
    const qreal ratio = devicePixelRatioF();
    painter.setWorldTransform(QTransform::fromScale(1 / ratio, 1 / ratio));
    const QRect whole(QPoint(0, 0), QSize(qRound(width() * ratio), qRound(height() * ratio)));
    const QRect area = pictureArea();
    if (m_picture.isNull() || area.isEmpty()) {
        painter.fillRect(whole, Qt::black);
        return;
    }
    // Only the bars around the picture are filled: the picture covers the rest.
    QRegion bars(whole);
    bars -= area;
    for (const QRect &bar : bars)
        painter.fillRect(bar, Qt::black);
    if (m_picture.size() == area.size()) {
        painter.drawImage(area.topLeft(), m_picture);
    } else {
        // The size changed and the picture of the new size is on its way: this one, stretched,
        // rather than a black moment.
        painter.drawImage(area, m_picture);
    }
    if (m_paintedStart != m_pictureStart) {
        m_paintedStart = m_pictureStart;
        emit framePainted();
    }
}

PipWindow::PipWindow(PlayerModel *model)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , m_model(model)
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

    connect(m_play, &QToolButton::clicked, m_model, &PlayerModel::togglePlay);
    connect(m_back, &QToolButton::clicked, this, &QWidget::close);
    connect(m_model->player(), &QMediaPlayer::playbackStateChanged, this, &PipWindow::updateState);
    connect(m_model->player(), &QMediaPlayer::errorChanged, this, &PipWindow::updateState);
    updateState();

    if (QScreen *screen = this->screen()) {
        const QRect area = screen->availableGeometry();
        move(area.right() - width() - 24, area.bottom() - height() - 24);
    }
}

void PipWindow::updateState()
{
    showPlaybackState(m_play, m_model, Qt::white);
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
