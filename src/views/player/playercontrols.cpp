#include "views/player/playercontrols.h"

#include "views/components/pointinghand.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMediaPlayer>
#include <QMenu>
#include <QSlider>
#include <QStyle>
#include <QToolButton>

namespace tovra {

namespace {

QString clockText(qint64 ms)
{
    const qint64 s = ms > 0 ? ms / 1000 : 0;
    if (s >= 3600)
        return QStringLiteral("%1:%2:%3").arg(s / 3600).arg(s / 60 % 60, 2, 10, QLatin1Char('0')).arg(s % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

QToolButton *iconButton(QStyle::StandardPixmap symbol, const QString &tip, QWidget *parent)
{
    auto *button = new QToolButton(parent);
    button->setIcon(parent->style()->standardIcon(symbol));
    button->setIconSize({18, 18});
    button->setAutoRaise(true);
    button->setToolTip(tip);
    setPointingHand(button);
    return button;
}

}

PlayerControls::PlayerControls(QMediaPlayer *player, QWidget *parent)
    : QWidget(parent)
    , m_player(player)
{
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, QColor(20, 20, 20));
    p.setColor(QPalette::WindowText, Qt::white);
    p.setColor(QPalette::ButtonText, Qt::white);
    setPalette(p);

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(10, 4, 10, 4);
    m_play = iconButton(QStyle::SP_MediaPlay, QStringLiteral("播放/暂停"), this);
    m_seek = new QSlider(Qt::Horizontal, this);
    m_seek->setRange(0, 0);
    m_time = new QLabel(this);
    m_time->setTextFormat(Qt::PlainText);
    m_speed = new QToolButton(this);
    m_speed->setText(QStringLiteral("1x"));
    m_speed->setAutoRaise(true);
    m_speed->setToolTip(QStringLiteral("播放速度"));
    m_speed->setPopupMode(QToolButton::InstantPopup);
    auto *speeds = new QMenu(m_speed);
    for (double rate : {0.5, 1.0, 1.25, 1.5, 2.0}) {
        const QString name = QString::number(rate) + u'x';
        connect(speeds->addAction(name), &QAction::triggered, this, [this, rate, name] {
            m_player->setPlaybackRate(rate);
            m_speed->setText(name);
        });
    }
    m_speed->setMenu(speeds);
    auto *full = iconButton(QStyle::SP_TitleBarMaxButton, QStringLiteral("全屏"), this);

    row->addWidget(m_play);
    row->addWidget(m_seek, 1);
    row->addWidget(m_time);
    row->addWidget(m_speed);
    row->addWidget(full);

    connect(m_play, &QToolButton::clicked, this, [this] {
        if (m_player->playbackState() == QMediaPlayer::PlayingState)
            m_player->pause();
        else
            m_player->play();
    });
    connect(full, &QToolButton::clicked, this, &PlayerControls::fullScreenRequested);
    connect(m_seek, &QSlider::sliderPressed, this, [this] { m_dragging = true; });
    connect(m_seek, &QSlider::sliderReleased, this, [this] {
        m_dragging = false;
        m_player->setPosition(qint64(m_seek->value()) * 1000);
    });
    connect(m_player, &QMediaPlayer::playbackStateChanged, this, &PlayerControls::updateState);
    connect(m_player, &QMediaPlayer::positionChanged, this, &PlayerControls::updateTime);
    connect(m_player, &QMediaPlayer::durationChanged, this, &PlayerControls::updateTime);
    updateState();
    updateTime();
}

void PlayerControls::updateState()
{
    const bool playing = m_player->playbackState() == QMediaPlayer::PlayingState;
    m_play->setIcon(style()->standardIcon(playing ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
}

void PlayerControls::updateTime()
{
    const qint64 duration = m_player->duration();
    // Seconds on the bar: a live stream has no duration and no bar to drag.
    m_seek->setRange(0, int(std::max<qint64>(0, duration / 1000)));
    m_seek->setEnabled(duration > 0);
    if (!m_dragging)
        m_seek->setValue(int(m_player->position() / 1000));
    m_time->setText(clockText(m_player->position()) + QStringLiteral(" / ") + clockText(duration));
}

}
