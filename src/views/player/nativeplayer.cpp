#include "views/player/nativeplayer.h"

#include "views/player/playercontrols.h"
#include "views/player/playermodel.h"

#include <QHideEvent>
#include <QLabel>
#include <QMediaPlayer>
#include <QShowEvent>
#include <QVBoxLayout>
#include <QVideoWidget>

namespace tovra {

NativePlayer::NativePlayer(PlayAuth auth, PlayEntry entry, qint64 startAt, QWidget *parent)
    : QWidget(parent)
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
    m_surface = new QVideoWidget(this);
    m_layout->addWidget(m_surface, 1);

    // The video surface is a native window on most backends and would cover a child drawn over
    // it, so the notice sits in its own strip right under the picture.
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
    m_model->player()->setVideoOutput(m_surface);
    connect(m_model, &PlayerModel::messageChanged, this, &NativePlayer::updateNotice);
    m_controls = new PlayerControls(m_model->player(), this);
    connect(m_controls, &PlayerControls::fullScreenRequested, this, [this] {
        m_surface->setFullScreen(!m_surface->isFullScreen());
    });
    m_layout->addWidget(m_controls);
    emit modelChanged(m_model);
    m_model->play();
    updateNotice();
}

void NativePlayer::finish()
{
    if (!m_model)
        return;
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
