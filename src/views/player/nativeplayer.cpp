#include "views/player/nativeplayer.h"

#include "views/player/pipwindow.h"
#include "views/player/playercontrols.h"
#include "views/player/playermodel.h"

#include <QAudioOutput>
#include <QHideEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMediaPlayer>
#include <QShowEvent>
#include <QVBoxLayout>
#include <QVideoFrame>
#include <QVideoSink>

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
    // In full screen the surface is a window of its own and receives the keys.
    m_surface->installEventFilter(this);
    m_layout->addWidget(m_surface, 1);
    m_frames = new QVideoSink(this);
    connect(m_frames, &QVideoSink::videoFrameChanged, this, &NativePlayer::showFrame);

    // The notice sits in its own strip right under the picture, where it never hides any of it.
    m_notice = new QLabel(this);
    m_notice->setTextFormat(Qt::PlainText);
    m_notice->setAlignment(Qt::AlignCenter);
    m_notice->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_notice->setStyleSheet(QStringLiteral("QLabel { color: white; background: rgba(0,0,0,191); "
                                           "border-radius: 8px; padding: 10px; }"));
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
    m_model->player()->setVideoSink(m_frames);
    connect(m_model, &PlayerModel::messageChanged, this, &NativePlayer::updateNotice);
    m_controls = new PlayerControls(m_model, this);
    connect(m_controls, &PlayerControls::fullScreenRequested, this, &NativePlayer::toggleFullScreen);
    connect(m_controls, &PlayerControls::pictureInPictureRequested, this, &NativePlayer::togglePictureInPicture);
    // A control clicked with the mouse keeps the focus, and would take Space or the arrows for
    // itself (click again, move the focus on): the player's keys come first on every control.
    for (QWidget *control : m_controls->findChildren<QWidget *>()) {
        if (control->focusPolicy() != Qt::NoFocus)
            control->installEventFilter(this);
    }
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
    m_surface->setWindowTitle(windowName(QStringLiteral("全屏播放")));
    m_surface->setFullScreen(!m_surface->isFullScreen());
    if (m_surface->isFullScreen())
        m_surface->setFocus(Qt::OtherFocusReason);
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
        m_surface->setFullScreen(false);
    m_pip = new PipWindow(m_model);
    m_pip->setWindowTitle(windowName(QStringLiteral("画中画")));
    connect(m_pip, &PipWindow::closed, this, &NativePlayer::closePictureInPicture);
    // The latest picture goes along at once, so neither window waits black for the next frame.
    m_pip->surface()->videoSink()->setVideoFrame(m_frames->videoFrame());
    m_surface->setNotice(QStringLiteral("正在画中画窗口中播放"));
    m_pip->show();
}

void NativePlayer::showFrame(const QVideoFrame &frame)
{
    VideoSurface *shown = m_pip ? m_pip->surface() : m_surface;
    shown->videoSink()->setVideoFrame(frame);
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
    m_surface->videoSink()->setVideoFrame(m_frames->videoFrame());
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
        m_surface->setFullScreen(false);
        setFocus(Qt::OtherFocusReason);
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
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
        auto *widget = static_cast<QWidget *>(watched);
        // A field that takes typing keeps its keys.
        const bool ours = widget == m_surface || (m_controls && m_controls->isAncestorOf(widget));
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
    PlayerModel *model = m_model;
    m_model = nullptr;
    model->stop();
    if (m_surface->isFullScreen())
        m_surface->setFullScreen(false);
    delete m_controls;
    model->deleteLater();
    m_notice->hide();
    emit modelChanged(nullptr);
}

void NativePlayer::updateNotice()
{
    const auto &message = m_model ? m_model->message() : std::optional<QString>();
    m_notice->setText(message.value_or(QString()));
    m_notice->setVisible(message.has_value());
}

}
