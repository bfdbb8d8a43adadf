#pragma once

#include <QProxyStyle>

namespace tovra {

// Fusion, except where Fusion derives a colour the palette cannot reach: its check-box frame is
// the window colour darkened, which vanishes on our dark window. Those few primitives are drawn
// from the palette's text and accent colours instead.
class TovraStyle : public QProxyStyle
{
    Q_OBJECT
public:
    TovraStyle();

    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget = nullptr) const override;
};

}
