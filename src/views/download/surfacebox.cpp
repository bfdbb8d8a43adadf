#include "views/download/surfacebox.h"

#include "views/components/appearance.h"
#include "views/palette.h"

#include <QPainter>
#include <QPainterPath>

namespace tovra {

SurfaceBox::SurfaceBox(QWidget *parent) : QWidget(parent)
{
    followAppearance(this);
}

void SurfaceBox::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), 8, 8);
    painter.fillPath(path, Palette::surface2());
}

}
