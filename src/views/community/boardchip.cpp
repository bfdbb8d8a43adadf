#include "views/community/boardchip.h"

#include "views/components/appearance.h"
#include "views/components/pointinghand.h"
#include "views/components/typography.h"
#include "views/palette.h"

#include <QPainter>
#include <QPainterPath>

namespace tovra {

namespace {
constexpr int kPadX = 12;
constexpr int kPadY = 5;
constexpr qreal kRadius = 6;
}

BoardChip::BoardChip(const QString &value, const QString &label, QWidget *parent)
    : QAbstractButton(parent), m_value(value), m_label(label)
{
    setAccessibleName(label);
    setFont(uiFont(TextStyle::kCallout));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setFocusPolicy(Qt::TabFocus);
    setPointingHand(this);
    followAppearance(this);
}

void BoardChip::setSelected(bool selected)
{
    if (selected == m_selected)
        return;
    m_selected = selected;
    update();
}

QSize BoardChip::sizeHint() const
{
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(m_label) + 2 * kPadX, metrics.height() + 2 * kPadY};
}

void BoardChip::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool dark = Palette::isDark();
    if (m_selected) {
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()), kRadius, kRadius);
        painter.fillPath(shape, Palette::surface2(dark));
    }
    painter.setPen(m_selected ? Palette::text(dark) : Palette::textDim(dark));
    painter.setFont(font());
    painter.drawText(rect(), Qt::AlignCenter, m_label);
}

}
