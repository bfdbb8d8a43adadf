#include "views/login/captchabutton.h"

#include "views/components/access.h"
#include "views/components/appearance.h"
#include "views/components/busyindicator.h"
#include "views/components/pointinghand.h"
#include "views/palette.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>

namespace tovra {

namespace {
constexpr qreal kRadius = 4;
}

CaptchaButton::CaptchaButton(QWidget *parent) : QAbstractButton(parent)
{
    setFixedSize(kWidth, kHeight);
    setToolTip(QStringLiteral("点击刷新"));
    Access::button(this, QStringLiteral("验证码"));
    setPointingHand(this);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_spinner = new BusyIndicator(16, this);
    layout->addWidget(m_spinner, 0, Qt::AlignCenter);
    followAppearance(this);
}

void CaptchaButton::setImage(const QImage &image)
{
    m_image = image;
    m_spinner->setVisible(m_image.isNull());
    update();
}

bool CaptchaButton::showsSpinner() const
{
    return !m_spinner->isHidden();
}

void CaptchaButton::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::EnabledChange)
        setPointingHand(this, isEnabled());
    QAbstractButton::changeEvent(event);
}

void CaptchaButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    QPainterPath box;
    box.addRoundedRect(QRectF(rect()), kRadius, kRadius);
    if (m_image.isNull()) {
        painter.fillPath(box, Palette::surface2());
        return;
    }
    painter.setClipPath(box);
    if (!isEnabled())
        painter.setOpacity(0.5);
    // Stretched, not fitted: the site draws its pictures for exactly this box.
    painter.drawImage(QRectF(rect()), m_image);
}

}
