#include "views/detail/sortbutton.h"

#include "views/components/appearance.h"
#include "views/components/pointinghand.h"
#include "views/components/typography.h"
#include "views/icons.h"
#include "views/palette.h"

#include <QPainter>
#include <QVariantAnimation>

namespace tovra {

namespace {
constexpr int kGap = 4;
constexpr int kSymbolBox = 16;
constexpr int kSymbolSize = 8;
}

SortButton::SortButton(const QString &text, QWidget *parent) : QAbstractButton(parent)
{
    setText(text);
    setPointingHand(this);
    setFocusPolicy(Qt::TabFocus);
    m_turn = new QVariantAnimation(this);
    m_turn->setDuration(150);
    m_turn->setEasingCurve(QEasingCurve::OutQuad);
    connect(m_turn, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        m_rotation = value.toReal();
        update();
    });
    followAppearance(this);
}

QFont SortButton::textFont() const
{
    return uiFont(12.5, m_active ? QFont::DemiBold : QFont::Normal);
}

void SortButton::setState(bool active, qreal rotation)
{
    const bool changedWeight = active != m_active;
    m_active = active;
    if (rotation != m_target) {
        m_target = rotation;
        m_turn->stop();
        if (isVisible()) {
            m_turn->setStartValue(m_rotation);
            m_turn->setEndValue(rotation);
            m_turn->start();
        } else {
            m_rotation = rotation;
        }
    }
    if (changedWeight)
        updateGeometry();
    update();
}

QSize SortButton::sizeHint() const
{
    const QFontMetrics metrics(textFont());
    return {metrics.horizontalAdvance(text()) + kGap + kSymbolBox, std::max(kSymbolBox, metrics.height())};
}

void SortButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor colour = m_active ? Palette::accent() : Palette::textFaint();
    painter.setFont(textFont());
    painter.setPen(colour);
    const int textWidth = QFontMetrics(textFont()).horizontalAdvance(text());
    painter.drawText(QRect(0, 0, textWidth, height()), Qt::AlignVCenter | Qt::AlignLeft, text());

    const QPointF centre(textWidth + kGap + kSymbolBox / 2.0, height() / 2.0);
    painter.translate(centre);
    painter.rotate(m_rotation);
    Icons::paint(painter, QRectF(-kSymbolSize / 2.0, -kSymbolSize / 2.0, kSymbolSize, kSymbolSize),
                 QStringLiteral("arrowtriangle.down.fill"), colour);
}

}
