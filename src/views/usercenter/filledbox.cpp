#include "views/usercenter/filledbox.h"

#include "views/components/appearance.h"

#include <QPainter>

namespace tovra {

FilledBox::FilledBox(Palette::Name fill, qreal radius, QWidget *parent)
    : QWidget(parent), m_fill(fill), m_radius(radius)
{
    followAppearance(this);
}

QColor FilledBox::fillColor() const
{
    return m_fixedFill.value_or(Palette::color(m_fill));
}

void FilledBox::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF area = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(m_border ? QPen(Palette::color(*m_border), 1) : QPen(Qt::NoPen));
    painter.setBrush(fillColor());
    painter.drawRoundedRect(area, m_radius, m_radius);
}

FilledBox *unreadDot(QWidget *parent)
{
    auto *dot = new FilledBox(Palette::Name::NavNew, 3, parent);
    dot->setFixedSize(6, 6);
    dot->setObjectName(QStringLiteral("unreadDot"));
    return dot;
}

}
