#include "views/player/nativeplayer.h"

#include "views/player/pipeline.h"
#include "views/player/pipwindow.h"
#include "views/player/playercontrols.h"
#include "views/player/playermodel.h"

#include <QApplication>
#include <QHideEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QShowEvent>
#include <QVBoxLayout>

namespace tovra {

NativePlayer::NativePlayer(PlayAuth auth, PlayEntry entry, qint64 startAt, QWidget *parent)
    : NativePlayback(parent)
    , m_auth(std::move(auth))
    , m_entry(std::move(entry))
    , m_startAt(startAt)
{
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::black);
    setPalette(p);

    m_layout = new QVBoxLayout(this);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(QStringLiteral("视频播放器"));
    m_surface = new VideoSurface(this);
    // In full screen the surface is a window of its own and receives the keys and the mouse.
    m_surface->installEventFilter(this);
    m_surface->setMouseTracking(true);
    connect(m_surface, &VideoSurface::doubleClicked, this, &NativePlayer::toggleFullScreen);
    m_layout->addWidget(m_surface, 1);
    m_linger.setSingleShot(true);
    m_linger.setInterval(kControlsLinger);
    connect(&m_linger, &QTimer::timeout, this, &NativePlayer::lingerOver);

    // The notice sits in its own strip right under the picture, where it never hides any of it.
    m_notice = new QLabel(this);
    m_notice->setTextFormat(Qt::PlainText);
    m_notice->setAlignment(Qt::AlignCenter);
    m_notice->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_notice->setStyleSheet(QStringLiteral("QLabel { color: white; background: rgba(0,0,0,191); "
                                           "border-radius: 8px; padding: 10px; }"));
    // Its room is kept while no notice shows: a notice that comes or goes moves nothing.
    m_notice->setText(QStringLiteral("试"));
    m_notice->setMinimumHeight(m_notice->sizeHint().height());
    m_notice->clear();
    QSizePolicy keepRoom = m_notice->sizePolicy();
    keepRoom.setRetainSizeWhenHidden(true);
    m_notice->setSizePolicy(keepRoom);
    m_notice->hide();
    auto *noticeRow = new QHBoxLayout;
    noticeRow->setContentsMargins(0, 6, 0, 6);
    noticeRow->addStretch();
    noticeRow->addWidget(m_notice);
    noticeRow->addStretch();
    m_layout->addLayout(noticeRow);
}

PlayerControls *NativePlayer::controls() const
{
    return m_controls;
}

PipWindow *NativePlayer::pipWindow() const
{
    return m_pip;
}

NativePlayer::~NativePlayer()
{
    finish();
}

void NativePlayer::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_model)
        start();
}

void NativePlayer::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    if (!event->spontaneous())
        finish();
}

void NativePlayer::start()
{
    m_model = new PlayerModel(m_auth, m_entry, m_startAt, this);
    m_model->pipeline()->setFrameTarget(m_surface->scaler());
    connect(m_model, &PlayerModel::messageChanged, this, &NativePlayer::updateNotice);
    // The one surface is the picture on the page and in full screen alike; the small window has
    // its own and follows the model by itself.
    connect(m_model, &PlayerModel::waitingChanged, this, &NativePlayer::updateWaiting);
    // Paused, the controls stay over the full-screen picture; playing again, they go in a while.
    connect(m_model, &PlayerModel::playingChanged, this, [this] {
        if (m_controls && m_controls->isOverlay())
            showOverlay();
    });
    m_controls = new PlayerControls(m_model, this);
    connect(m_controls, &PlayerControls::fullScreenRequested, this, &NativePlayer::toggleFullScreen);
    connect(m_controls, &PlayerControls::pictureInPictureRequested, this, &NativePlayer::togglePictureInPicture);
    // A control clicked with the mouse keeps the focus, and would take Space or the arrows for
    // itself (click again, move the focus on): the player's keys come first on every control.
    for (QWidget *control : m_controls->findChildren<QWidget *>()) {
        if (control->focusPolicy() != Qt::NoFocus)
            control->installEventFilter(this);
    }
    m_controls->installEventFilter(this);
    m_layout->addWidget(m_controls);
    emit modelChanged(m_model);
    m_model->play();
    updateNotice();
    setFocus(Qt::OtherFocusReason);
}

void NativePlayer::toggleFullScreen()
{
    if (m_pip)
        return;
    setFullScreen(!m_surface->isFullScreen());
}

void NativePlayer::setFullScreen(bool fullScreen)
{
    if (fullScreen == m_surface->isFullScreen())
        return;
    m_surface->setWindowTitle(windowName(QStringLiteral("全屏播放")));
    m_surface->setFullScreen(fullScreen);
    updateNotice();
    m_linger.stop();
    m_surface->unsetCursor();
    if (!m_controls) {
        setFocus(Qt::OtherFocusReason);
        return;
    }
    // The one set of controls moves over the full-screen picture and back under the page's.
    if (fullScreen) {
        m_controls->setParent(m_surface);
        m_controls->setOverlay(true);
        showOverlay();
        m_surface->setFocus(Qt::OtherFocusReason);
    } else {
        m_controls->setOverlay(false);
        m_layout->addWidget(m_controls);
        m_controls->show();
        setFocus(Qt::OtherFocusReason);
    }
}

void NativePlayer::placeOverlay()
{
    if (!m_controls || !m_controls->isOverlay())
        return;
    const int height = m_controls->sizeHint().height();
    m_controls->setGeometry(0, m_surface->height() - height, m_surface->width(), height);
    m_controls->raise();
}

void NativePlayer::showOverlay()
{
    if (!m_controls || !m_controls->isOverlay())
        return;
    placeOverlay();
    m_controls->show();
    m_surface->unsetCursor();
    m_linger.start();
}

void NativePlayer::lingerOver()
{
    if (!m_controls || !m_controls->isOverlay())
        return;
    // Paused, or with the pointer on them, the controls stay; they are looked at again later.
    const bool onControls = m_controls->rect().contains(m_controls->mapFromGlobal(QCursor::pos())) || m_controls->underMouse();
    if (!m_model || !m_model->isShownPlaying() || onControls) {
        m_linger.start();
        return;
    }
    // The keyboard focus stays with the picture, so the player's keys still reach it.
    if (m_controls->isAncestorOf(QApplication::focusWidget()))
        m_surface->setFocus(Qt::OtherFocusReason);
    m_controls->hide();
    m_surface->setCursor(Qt::BlankCursor);
}

void NativePlayer::togglePictureInPicture()
{
    if (!m_model)
        return;
    if (m_pip) {
        m_pip->close();
        return;
    }
    if (m_surface->isFullScreen())
        setFullScreen(false);
    QRect bar;
    if (m_controls && m_controls->isVisible())
        bar = QRect(m_controls->mapToGlobal(QPoint(0, 0)), m_controls->size());
    m_pip = new PipWindow(m_model, bar);
    m_pip->setWindowTitle(windowName(QStringLiteral("画中画")));
    connect(m_pip, &PipWindow::closed, this, &NativePlayer::closePictureInPicture);
    // The small window takes the keyboard focus from the page, and its buttons would take Space
    // and the arrows for themselves (Space on 返回播放页 would close it): the player's keys come
    // first there too, on the window and on whichever of its buttons has the focus.
    m_pip->installEventFilter(this);
    for (QWidget *child : m_pip->findChildren<QWidget *>()) {
        if (child->focusPolicy() != Qt::NoFocus)
            child->installEventFilter(this);
    }
    m_surface->setNotice(QStringLiteral("正在画中画窗口中播放"));
    routeFrames(m_pip->surface(), m_surface);
    m_pip->show();
}

void NativePlayer::routeFrames(VideoSurface *to, VideoSurface *from)
{
    if (!m_model || !m_model->pipeline())
        return;
    m_model->pipeline()->setFrameTarget(to->scaler());
    // The latest picture goes along at once, so the window shown does not wait black for the
    // next frame (a paused picture has none coming).
    if (const VideoFrame last = from->scaler()->lastFrame(); last.isValid())
        to->scaler()->request(last);
}

QString NativePlayer::windowName(const QString &what) const
{
    // The page names the player after the episode it plays.
    return windowTitle().isEmpty() ? what : windowTitle() + QStringLiteral(" - ") + what;
}

void NativePlayer::closePictureInPicture()
{
    if (!m_pip)
        return;
    PipWindow *pip = m_pip;
    m_pip = nullptr;
    disconnect(pip, nullptr, this, nullptr);
    m_surface->setNotice(QString());
    routeFrames(m_surface, pip->surface());
    pip->hide();
    // Keyboard focus goes back where the picture is.
    if (isVisible())
        activateWindow();
    pip->deleteLater();
}

bool NativePlayer::handleKey(const QKeyEvent *event)
{
    // A shortcut with a modifier belongs to the window, not to the player.
    if (!m_model || !m_controls || event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    PlayerModel *model = m_model;
    switch (event->key()) {
    case Qt::Key_Space:
        m_controls->togglePlay();
        return true;
    case Qt::Key_Left:
        model->seek(std::max<qint64>(0, model->position() - kSeekStepMs));
        return true;
    case Qt::Key_Right: {
        const qint64 target = model->position() + kSeekStepMs;
        model->seek(model->duration() > 0 ? std::min(target, model->duration()) : target);
        return true;
    }
    case Qt::Key_F:
        toggleFullScreen();
        return true;
    case Qt::Key_Escape:
        if (!m_surface->isFullScreen())
            return false;
        setFullScreen(false);
        return true;
    case Qt::Key_M:
        m_controls->toggleMute();
        return true;
    default:
        return false;
    }
}

void NativePlayer::keyPressEvent(QKeyEvent *event)
{
    if (!handleKey(event))
        QWidget::keyPressEvent(event);
}

bool NativePlayer::eventFilter(QObject *watched, QEvent *event)
{
    if (m_controls && m_controls->isOverlay()) {
        if (watched == m_surface && event->type() == QEvent::Resize)
            placeOverlay();
        // Any movement over the picture or the controls brings them up for a while.
        if (event->type() == QEvent::MouseMove || event->type() == QEvent::MouseButtonPress)
            showOverlay();
    }
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
        auto *widget = static_cast<QWidget *>(watched);
        // A field that takes typing keeps its keys.
        const bool ours = widget == m_surface || (m_controls && m_controls->isAncestorOf(widget))
                          || (m_pip && (widget == m_pip || m_pip->isAncestorOf(widget)));
        if (ours && !widget->testAttribute(Qt::WA_InputMethodEnabled) && handleKey(static_cast<QKeyEvent *>(event)))
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

void NativePlayer::finish()
{
    if (!m_model)
        return;
    closePictureInPicture();
    m_linger.stop();
    PlayerModel *model = m_model;
    m_model = nullptr;
    model->stop();
    // This runs while the page hides its children: a widget reparented or deleted there pulls
    // the focus chain out from under Qt. The full-screen window goes out of sight now and back
    // into its place once that is over (with the player, if the page is being destroyed).
    if (m_controls) {
        m_controls->hide();
        m_controls->deleteLater();
        m_controls = nullptr;
    }
    if (m_surface->isFullScreen()) {
        m_surface->hide();
        m_surface->unsetCursor();
        QMetaObject::invokeMethod(this, [this] { m_surface->setFullScreen(false); }, Qt::QueuedConnection);
    }
    model->deleteLater();
    m_notice->hide();
    m_surface->setCaption(QString());
    updateWaiting();
    emit modelChanged(nullptr);
}

void NativePlayer::updateWaiting()
{
    const bool waiting = m_model && m_model->isWaiting();
    m_surface->setWaiting(waiting);
    const QString description = waiting ? QStringLiteral("正在缓冲") : QString();
    if (accessibleDescription() != description)
        setAccessibleDescription(description);
}

void NativePlayer::updateNotice()
{
    const auto &message = m_model ? m_model->message() : std::optional<QString>();
    m_notice->setText(message.value_or(QString()));
    m_notice->setVisible(message.has_value());
    // In full screen the page, and its strip, are out of sight: the notice lies over the picture.
    m_surface->setCaption(m_surface->isFullScreen() ? message.value_or(QString()) : QString());
}

}
