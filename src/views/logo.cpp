#include "views/logo.h"

#include <QPainter>
#include <QPainterPath>

namespace tovra {

TovraLogo::Fit TovraLogo::fit(const QSizeF &frame)
{
    Fit result;
    if (frame.width() <= 0 || frame.height() <= 0)
        return result;
    result.scale = qMin(frame.width() / kCanvasWidth, frame.height() / kCanvasHeight);
    result.dx = (frame.width() - kCanvasWidth * result.scale) / 2;
    result.dy = (frame.height() - kCanvasHeight * result.scale) / 2;
    return result;
}

void TovraLogo::paint(QPainter &painter, const QRectF &frame, const QColor &color)
{
    const Fit f = fit(frame.size());
    if (f.scale <= 0)
        return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(frame.topLeft() + QPointF(f.dx, f.dy));
    painter.scale(f.scale, f.scale);

    QPen pen(color, 10, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
    pen.setMiterLimit(10);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    const QPointF left[] = {{32, 18}, {18, 18}, {18, 82}, {32, 82}};
    painter.drawPolyline(left, 4);

    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    const QPointF play[] = {{48, 26}, {48, 74}, {82, 50}};
    painter.drawPolygon(play, 3);

    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    const QPointF right[] = {{87, 18}, {101, 18}, {101, 82}, {87, 82}};
    painter.drawPolyline(right, 4);
    painter.restore();
}

TovraLogo::TovraLogo(QWidget *parent) : QWidget(parent)
{
}

TovraLogo::TovraLogo(const QColor &color, QWidget *parent) : QWidget(parent), m_color(color)
{
}

void TovraLogo::setColor(const QColor &color)
{
    if (m_color == color)
        return;
    m_color = color;
    update();
}

void TovraLogo::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paint(painter, QRectF(rect()), m_color);
}

}
