#include "views/player/playercontrols.h"

#include "views/components/appearance.h"
#include "views/components/pointinghand.h"
#include "views/icons.h"
#include "views/palette.h"
#include "views/player/choicemenu.h"
#include "views/player/playermodel.h"
#include "views/player/qualitymenu.h"
#include "views/toolbar/plaintooltip.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
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


// The seek bar: a click goes where it was clicked, as in every dedicated player, rather than a
// page step toward it, and the same press drags on from there. Keys and the wheel keep their
// steps. Qt jumps only for the style's "absolute set" buttons, which would mean a style of our
// own under the bar's style sheet; the press is handed on instead as one on the handle, moved
// under the pointer first, so dragging, the pressed/released signals and the seek on release stay
// Qt's own.
class SeekSlider : public QSlider
{
public:
    using QSlider::QSlider;

protected:
    void mousePressEvent(QMouseEvent *event) override
    {
        if (event->button() != Qt::LeftButton || maximum() <= minimum() || isSliderDown()) {
            QSlider::mousePressEvent(event);
            return;
        }
        QStyleOptionSlider option;
        initStyleOption(&option);
        const QPoint at = event->position().toPoint();
        QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
        if (handle.contains(at)) {
            QSlider::mousePressEvent(event);
            return;
        }
        const QRect groove = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
        const int span = groove.width() - handle.width();
        setSliderPosition(QStyle::sliderValueFromPosition(minimum(), maximum(), at.x() - groove.x() - handle.width() / 2, span, option.upsideDown));
        initStyleOption(&option);
        handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
        QMouseEvent onHandle(event->type(), QPointF(handle.center().x(), at.y()), event->scenePosition(), event->globalPosition(),
                             event->button(), event->buttons(), event->modifiers(), event->pointingDevice());
        QSlider::mousePressEvent(&onHandle);
        event->setAccepted(onHandle.isAccepted());
    }
};

QSlider *bar(const QString &name, QWidget *parent, bool seeks = false)
{
    auto *slider = seeks ? new SeekSlider(Qt::Horizontal, parent) : new QSlider(Qt::Horizontal, parent);
    slider->setFocusPolicy(Qt::StrongFocus);
    slider->setAccessibleName(name);
    setPlainToolTip(slider, name);
    return slider;
}

// An opaque mix: a translucent ground would show the style's own pressed panel through it.
QColor blend(const QColor &under, const QColor &over, qreal amount)
{
    return QColor::fromRgbF(under.redF() + (over.redF() - under.redF()) * amount,
                            under.greenF() + (over.greenF() - under.greenF()) * amount,
                            under.blueF() + (over.blueF() - under.blueF()) * amount);
}

QString rgba(const QColor &c)
{
    return QStringLiteral("rgba(%1,%2,%3,%4)").arg(c.red()).arg(c.green()).arg(c.blue()).arg(c.alpha());
}

}

QToolButton *playerSymbolButton(const QString &name, int iconPixels, QWidget *parent)
{
    auto *button = new QToolButton(parent);
    button->setIconSize({iconPixels, iconPixels});
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::StrongFocus);
    setPlainToolTip(button, name);
    button->setAccessibleName(name);
    setPointingHand(button);
    return button;
}

PlayerControls::PlayerControls(PlayerModel *model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
{
    setAutoFillBackground(true);

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(10, 4, 10, 4);
    row->setSpacing(6);
    m_play = playerSymbolButton(QStringLiteral("播放"), 18, this);
    m_seek = bar(QStringLiteral("播放进度"), this, true);
    m_seek->setRange(0, 0);
    m_time = new QLabel(this);
    m_time->setTextFormat(Qt::PlainText);
    // Reachable by Tab so a screen reader can read the position out.
    m_time->setFocusPolicy(Qt::TabFocus);
    m_time->setAccessibleName(QStringLiteral("播放时间"));
    m_mute = playerSymbolButton(QStringLiteral("静音"), 18, this);
    m_volume = bar(QStringLiteral("音量"), this);
    m_volume->setRange(0, 100);
    m_volume->setFixedWidth(90);
    m_speed = new QToolButton(this);
    m_speed->setAutoRaise(true);
    m_speed->setFocusPolicy(Qt::StrongFocus);
    m_speed->setToolTip(QStringLiteral("播放速度"));
    m_speed->setAccessibleName(QStringLiteral("播放速度"));
    m_speed->setPopupMode(QToolButton::InstantPopup);
    setPointingHand(m_speed);
    auto *speeds = new ChoiceMenu(m_speed);
    for (double rate : {0.5, 1.0, 1.25, 1.5, 2.0}) {
        const QString name = QString::number(rate) + u'x';
        QAction *choice = speeds->addChoice(name);
        if (rate == m_model->rate()) {
            speeds->setChosen(choice);
            m_speed->setText(name);
        }
        connect(choice, &QAction::triggered, this, [this, rate, name] {
            m_model->setRate(rate);
            m_speed->setText(name);
        });
    }
    m_speed->setMenu(speeds);
    m_pip = playerSymbolButton(QStringLiteral("画中画"), 18, this);
    m_full = playerSymbolButton(QStringLiteral("全屏"), 18, this);
    // Follows the model only over the picture: on the page the bar above has the button.
    m_quality = new QualityMenu(this);

    row->addWidget(m_play);
    row->addWidget(m_seek, 1);
    row->addWidget(m_time);
    row->addWidget(m_mute);
    row->addWidget(m_volume);
    row->addWidget(m_speed);
    row->addWidget(m_quality);
    row->addWidget(m_pip);
    row->addWidget(m_full);

    connect(m_play, &QToolButton::clicked, this, &PlayerControls::togglePlay);
    connect(m_mute, &QToolButton::clicked, this, &PlayerControls::toggleMute);
    connect(m_full, &QToolButton::clicked, this, &PlayerControls::fullScreenRequested);
    connect(m_pip, &QToolButton::clicked, this, &PlayerControls::pictureInPictureRequested);
    // While the knob is held, the time says where it is, as the platform's own player does.
    connect(m_seek, &QSlider::sliderPressed, this, [this] {
        m_dragging = true;
        updateTime();
    });
    connect(m_seek, &QSlider::sliderMoved, this, &PlayerControls::updateTime);
    connect(m_seek, &QSlider::sliderReleased, this, [this] {
        m_dragging = false;
        m_model->seek(qint64(m_seek->value()) * 1000);
    });
    // Keyboard steps on the focused bar seek at once; a drag seeks when it is let go.
    connect(m_seek, &QSlider::actionTriggered, this, [this](int action) {
        if (!m_dragging && action != QAbstractSlider::SliderMove)
            QMetaObject::invokeMethod(this, [this] { m_model->seek(qint64(m_seek->value()) * 1000); }, Qt::QueuedConnection);
    });
    connect(m_volume, &QSlider::valueChanged, this, [this](int value) { m_model->setVolume(value / 100.0); });
    connect(m_model, &PlayerModel::playingChanged, this, &PlayerControls::updateState);
    connect(m_model, &PlayerModel::playingChanged, this, &PlayerControls::updateTime);
    connect(m_model, &PlayerModel::positionChanged, this, &PlayerControls::updateTime);
    connect(m_model, &PlayerModel::durationChanged, this, &PlayerControls::updateTime);
    connect(m_model, &PlayerModel::audioChanged, this, &PlayerControls::updateAudio);
    followAppearance(this, [this](bool dark) { applyAppearance(dark); });
    applyAppearance(Palette::isDark());
    // As wide as its widest speed (measured under the style sheet), so a choice does not move
    // the seek bar's knob.
    const QString speed = m_speed->text();
    int widest = 0;
    for (QAction *choice : m_speed->menu()->actions()) {
        m_speed->setText(choice->text());
        widest = std::max(widest, m_speed->sizeHint().width());
    }
    m_speed->setText(speed);
    m_speed->setMinimumWidth(widest);
    updateTime();
}

void showPlaybackState(QToolButton *button, const PlayerModel *model, const QColor &symbolColor)
{
    const bool playing = model->isShownPlaying();
    button->setIcon(Icons::icon(playing ? QStringLiteral("pause.fill") : QStringLiteral("play.fill"), symbolColor));
    const QString name = playing ? QStringLiteral("暂停") : QStringLiteral("播放");
    button->setAccessibleName(name);
    setPlainToolTip(button, name);
}

void PlayerControls::togglePlay()
{
    m_model->togglePlay();
}

void PlayerControls::toggleMute()
{
    m_model->setMuted(!m_model->isMuted());
}

void PlayerControls::setOverlay(bool overlay)
{
    if (m_overlay == overlay)
        return;
    m_overlay = overlay;
    m_quality->setModel(overlay ? m_model : nullptr);
    const QString name = overlay ? QStringLiteral("退出全屏") : QStringLiteral("全屏");
    m_full->setAccessibleName(name);
    setPlainToolTip(m_full, name);
    applyAppearance(Palette::isDark());
}

void PlayerControls::applyAppearance(bool pageDark)
{
    // Over the picture the bar is a dark veil whatever the appearance.
    const bool dark = pageDark || m_overlay;
    m_dark = dark;
    const QColor ground = m_overlay ? QColor(0, 0, 0, 170) : Palette::surface2(dark);
    const QColor symbol = Palette::text(dark);
    // Hover and pressed grounds stay well clear of the symbol colour in both appearances; the
    // focus ring is the accent, so keyboard users see where they are.
    setStyleSheet(QStringLiteral(
        "QToolButton { color: %1; background: transparent; border: 2px solid transparent; border-radius: 6px; padding: 3px; }"
        "QToolButton:hover { background: %2; }"
        "QToolButton:pressed { background: %3; }"
        "QToolButton:focus, QLabel:focus, QSlider:focus { border: 2px solid %4; border-radius: 6px; }"
        "QToolButton::menu-indicator { image: none; }"
        "QLabel { color: %1; padding: 2px; border: 2px solid transparent; }"
        "QSlider { border: 2px solid transparent; min-height: 20px; }"
        "QSlider::groove:horizontal { height: 4px; background: %5; border-radius: 2px; }"
        "QSlider::sub-page:horizontal { height: 4px; background: %4; border-radius: 2px; }"
        "QSlider::handle:horizontal { width: 12px; margin: -4px 0; border-radius: 6px; background: %1; }")
                      .arg(rgba(symbol), rgba(Palette::border(dark)), rgba(blend(ground, Palette::accent(dark), 0.22)),
                           rgba(Palette::accent(dark)), rgba(Palette::textFaint(dark))));
    // After the style sheet: setting one puts back the palette the widget had when it was first
    // polished, which is the old appearance's on a live switch.
    QPalette p = palette();
    p.setColor(QPalette::Window, ground);
    p.setColor(QPalette::WindowText, symbol);
    p.setColor(QPalette::ButtonText, symbol);
    setPalette(p);
    updateState();
    updateAudio();
    m_pip->setIcon(Icons::icon(QStringLiteral("pip.enter"), symbol));
    m_full->setIcon(Icons::icon(m_overlay ? QStringLiteral("arrow.down.right.and.arrow.up.left")
                                          : QStringLiteral("arrow.up.left.and.arrow.down.right"),
                                symbol));
}

void PlayerControls::updateState()
{
    showPlaybackState(m_play, m_model, Palette::text(m_dark));
}

void PlayerControls::updateTime()
{
    const qint64 duration = m_model->duration();
    // Seconds on the bar: a live stream has no duration and no bar to drag.
    m_seek->setRange(0, int(std::max<qint64>(0, duration / 1000)));
    m_seek->setEnabled(duration > 0);
    // The last picture stands a frame or more short of the duration: at the end the knob and the
    // time stand at the end itself.
    qint64 at = m_model->hasEnded() && duration > 0 ? duration : m_model->position();
    if (m_dragging)
        at = qint64(m_seek->sliderPosition()) * 1000;
    else
        m_seek->setValue(int(at / 1000));
    m_time->setText(clockText(at) + QStringLiteral(" / ") + clockText(duration));
    m_time->setAccessibleDescription(m_time->text());
}

void PlayerControls::updateAudio()
{
    const bool muted = m_model->isMuted();
    m_mute->setIcon(Icons::icon(muted ? QStringLiteral("speaker.slash") : QStringLiteral("speaker.wave.2"), Palette::text(m_dark)));
    const QString name = muted ? QStringLiteral("取消静音") : QStringLiteral("静音");
    m_mute->setAccessibleName(name);
    setPlainToolTip(m_mute, name);
    if (!m_volume->isSliderDown()) {
        const QSignalBlocker block(m_volume);
        m_volume->setValue(qRound(m_model->volume() * 100));
    }
}

}
