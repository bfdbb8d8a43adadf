#include "views/components/busyindicator.h"

#include "views/components/appearance.h"
#include "views/components/shimmerclock.h"
#include "views/palette.h"

#include <QPainter>

namespace tovra {

BusyIndicator::BusyIndicator(int size, QWidget *parent) : QWidget(parent), m_size(size)
{
    setFixedSize(size, size);
    followAppearance(this);
}

void BusyIndicator::showEvent(QShowEvent *event)
{
    ShimmerClock::shared()->subscribe(this);
    QWidget::showEvent(event);
}

void BusyIndicator::paintEvent(QPaintEvent *)
{
    // Re-subscribe: the clock drops widgets that were hidden by an ancestor.
    ShimmerClock *clock = ShimmerClock::shared();
    clock->subscribe(this);
    constexpr int kTurnMs = 900;
    const qreal turn = qreal(clock->now() % kTurnMs) / kTurnMs;

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal pen = qMax(2.0, m_size / 10.0);
    const QRectF r = QRectF(rect()).adjusted(pen, pen, -pen, -pen);
    QColor track = Palette::textFaint();
    track.setAlphaF(0.35f);
    painter.setPen(QPen(track, pen, Qt::SolidLine, Qt::RoundCap));
    painter.drawEllipse(r);
    painter.setPen(QPen(Palette::textDim(), pen, Qt::SolidLine, Qt::RoundCap));
    // Angles in 1/16 degree, counter-clockwise from three o'clock; negative spins clockwise.
    painter.drawArc(r, int(-turn * 360 * 16), 100 * 16);
}

}
