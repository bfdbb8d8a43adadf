#include "views/player/pipwindow.h"

#include "views/components/busyindicator.h"
#include "views/icons.h"
#include "views/palette.h"
#include "views/player/framescaler.h"
#include "views/player/playercontrols.h"
#include "views/player/playermodel.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QRegion>
#include <QScreen>
#include <QSizeGrip>
#include <QToolButton>
#include <QVBoxLayout>

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
    , m_scaler(new FrameScaler(this))
{
    installPlayerWindows();
    setAttribute(Qt::WA_OpaquePaintEvent);
    connect(m_scaler, &FrameScaler::ready, this, &VideoSurface::take);
}

VideoSurface::~VideoSurface() = default;

void VideoSurface::setNotice(const QString &text)
{
    m_notice = text;
    update();
    updateBounds();
    setWaiting(m_waiting);
}

void VideoSurface::setWaiting(bool waiting)
{
    m_waiting = waiting;
    const bool shown = waiting && m_notice.isEmpty();
    if (shown && !m_waitingChip) {
        // Made on first use: most plays never wait long enough to show it. A round chip in the
        // page's own surface colour, so the spinner reads as it does on any page, over any picture.
        m_waitingChip = new QFrame(this);
        m_waitingChip->setObjectName(QStringLiteral("waitingChip"));
        m_waitingChip->setAttribute(Qt::WA_TransparentForMouseEvents);
        m_waitingChip->setAccessibleName(QStringLiteral("正在缓冲"));
        auto *layout = new QVBoxLayout(m_waitingChip);
        layout->setContentsMargins(12, 12, 12, 12);
        layout->addWidget(new BusyIndicator(32, m_waitingChip));
        m_waitingChip->setFixedSize(m_waitingChip->sizeHint());
    }
    if (m_waitingChip) {
        if (shown) {
            QColor veil = Palette::surface();
            veil.setAlpha(225);
            m_waitingChip->setStyleSheet(QStringLiteral("QFrame#waitingChip { background: rgba(%1,%2,%3,%4); border-radius: %5px; }")
                                             .arg(veil.red()).arg(veil.green()).arg(veil.blue()).arg(veil.alpha())
                                             .arg(m_waitingChip->width() / 2));
            placeWaiting();
            m_waitingChip->raise();
        }
        m_waitingChip->setVisible(shown);
    }
    const QString description = shown ? QStringLiteral("正在缓冲") : QString();
    if (accessibleDescription() != description)
        setAccessibleDescription(description);
}

void VideoSurface::setCaption(const QString &text)
{
    if (text.isEmpty() && !m_caption)
        return;
    if (!m_caption) {
        // As the page's notice looks, so it reads the same wherever the picture is.
        m_caption = new QLabel(this);
        m_caption->setTextFormat(Qt::PlainText);
        m_caption->setAlignment(Qt::AlignCenter);
        m_caption->setWordWrap(true);
        m_caption->setAttribute(Qt::WA_TransparentForMouseEvents);
        m_caption->setStyleSheet(QStringLiteral("QLabel { color: white; background: rgba(0,0,0,191); "
                                                "border-radius: 8px; padding: 10px; }"));
    }
    m_caption->setText(text);
    m_caption->setVisible(!text.isEmpty());
    placeCaption();
}

void VideoSurface::placeCaption()
{
    if (!m_caption || m_caption->isHidden())
        return;
    // At the top: the spinner takes the middle and the full-screen controls the bottom.
    constexpr int kMargin = 24;
    const int width = std::min(m_caption->sizeHint().width(), std::max(0, this->width() - 2 * kMargin));
    const int height = m_caption->heightForWidth(width) > 0 ? m_caption->heightForWidth(width) : m_caption->sizeHint().height();
    m_caption->setGeometry((this->width() - width) / 2, std::min(kMargin, this->height() / 8), width, height);
    m_caption->raise();
}

QWidget *VideoSurface::waitingIndicator() const
{
    return m_waitingChip && !m_waitingChip->isHidden() ? m_waitingChip : nullptr;
}

void VideoSurface::placeWaiting()
{
    if (m_waitingChip)
        m_waitingChip->move((width() - m_waitingChip->width()) / 2, (height() - m_waitingChip->height()) / 2);
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
    const qreal ratio = devicePixelRatioF();
    const QSize device(qRound(width() * ratio), qRound(height() * ratio));
    const QSize fitted = FrameScaler::fitted(m_frameSize, device);
    if (fitted.isEmpty())
        return {};
    return {QPoint((device.width() - fitted.width()) / 2, (device.height() - fitted.height()) / 2), fitted};
}

void VideoSurface::updateBounds()
{
    // Nothing to draw while hidden or covered by the notice; the latest frame is drawn again
    // when it is shown.
    const qreal ratio = devicePixelRatioF();
    const bool drawn = m_notice.isEmpty() && isVisible();
    m_scaler->setBounds(drawn ? QSize(qRound(width() * ratio), qRound(height() * ratio)) : QSize());
}

void VideoSurface::take(const QImage &picture, qint64 streamTime, QSize frameSize)
{
    m_picture = picture;
    m_pictureStart = streamTime;
    m_frameSize = frameSize;
    update();
}

void VideoSurface::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    updateBounds();
    placeWaiting();
    placeCaption();
}

void VideoSurface::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    updateBounds();
}

void VideoSurface::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        emit doubleClicked();
    QWidget::mouseDoubleClickEvent(event);
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
        ++m_paintedCount;
        emit framePainted();
    }
}

PipWindow::PipWindow(PlayerModel *model, const QRect &avoid)
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

    m_surface = new VideoSurface(this);
    m_surface->installEventFilter(this);

    // The buttons lie over the bottom of the picture, shown while the pointer is on the window.
    m_strip = new QWidget(this);
    m_strip->setAutoFillBackground(true);
    QPalette sp = m_strip->palette();
    sp.setColor(QPalette::Window, QColor(0, 0, 0, 150));
    m_strip->setPalette(sp);
    // The strip is dark in either appearance, so its focus ring is the dark appearance's accent.
    m_strip->setStyleSheet(QStringLiteral("QToolButton { border: 2px solid transparent; border-radius: 5px; padding: 2px; }"
                                          "QToolButton:hover { background: rgba(255,255,255,0.18); }"
                                          "QToolButton:pressed { background: rgba(255,255,255,0.30); }"
                                          "QToolButton:focus { border-color: %1; }")
                               .arg(Palette::accent(true).name()));
    m_strip->installEventFilter(this);
    auto *row = new QHBoxLayout(m_strip);
    row->setContentsMargins(6, 2, 2, 2);
    m_play = playerSymbolButton(QStringLiteral("播放"), 16, m_strip);
    m_back = playerSymbolButton(QStringLiteral("返回播放页"), 16, m_strip);
    m_back->setIcon(Icons::icon(QStringLiteral("pip.exit"), Qt::white));
    row->addWidget(m_play);
    row->addStretch();
    row->addWidget(m_back);
    row->addWidget(new QSizeGrip(m_strip), 0, Qt::AlignBottom | Qt::AlignRight);
    m_strip->hide();

    connect(m_play, &QToolButton::clicked, m_model, &PlayerModel::togglePlay);
    connect(m_back, &QToolButton::clicked, this, &QWidget::close);
    connect(m_model, &PlayerModel::playingChanged, this, &PipWindow::updateState);
    updateState();
    connect(m_model, &PlayerModel::waitingChanged, m_surface, [this] { m_surface->setWaiting(m_model->isWaiting()); });
    m_surface->setWaiting(m_model->isWaiting());
    // The page's notice is out of sight while the user watches here.
    const auto caption = [this] { m_surface->setCaption(m_model->message().value_or(QString())); };
    connect(m_model, &PlayerModel::messageChanged, m_surface, caption);
    caption();

    if (QScreen *screen = this->screen()) {
        const QRect area = screen->availableGeometry();
        QRect place(QPoint(area.right() - width() - 24, area.bottom() - height() - 24), size());
        // On a small screen the page's control bar runs along the bottom, right where the window
        // would go: it goes just above the bar instead.
        if (place.intersects(avoid))
            place.moveBottom(std::max(area.top() + place.height(), avoid.top() - 12));
        move(place.topLeft());
    }
}

void PipWindow::updateState()
{
    showPlaybackState(m_play, m_model, Qt::white);
}

void PipWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_surface->setGeometry(rect());
    placeStrip();
}

void PipWindow::placeStrip()
{
    const int height = m_strip->sizeHint().height();
    m_strip->setGeometry(0, this->height() - height, width(), height);
    m_strip->raise();
}

void PipWindow::enterEvent(QEnterEvent *event)
{
    QWidget::enterEvent(event);
    placeStrip();
    m_strip->show();
}

void PipWindow::leaveEvent(QEvent *event)
{
    QWidget::leaveEvent(event);
    // A button with the keyboard focus keeps the strip up, so Tab never lands on nothing.
    if (!m_strip->isAncestorOf(QApplication::focusWidget()))
        m_strip->hide();
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
