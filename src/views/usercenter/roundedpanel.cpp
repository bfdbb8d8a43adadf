#include "views/usercenter/roundedpanel.h"

#include "views/components/appearance.h"

#include <QPainter>
#include <QPainterPath>

namespace tovra {

RoundedPanel::RoundedPanel(qreal radius, Palette::Name fill, QWidget *parent)
    : QWidget(parent), m_radius(radius), m_fill(fill)
{
    followAppearance(this);
}

void RoundedPanel::setFill(Palette::Name fill)
{
    m_fill = fill;
    m_fixedFill.reset();
    update();
}

void RoundedPanel::setFixedFill(const QColor &color)
{
    m_fixedFill = color;
    update();
}

void RoundedPanel::setStroke(std::optional<Palette::Name> stroke)
{
    m_stroke = stroke;
    update();
}

void RoundedPanel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // Half a pixel in, so the one-pixel outline lands on whole pixels and is not clipped.
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath path;
    path.addRoundedRect(box, m_radius, m_radius);
    painter.fillPath(path, m_fixedFill.value_or(Palette::color(m_fill)));
    if (m_stroke) {
        painter.setPen(QPen(Palette::color(*m_stroke), 1));
        painter.drawPath(path);
    }
}

}
