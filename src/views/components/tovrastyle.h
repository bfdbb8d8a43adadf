#pragma once

#include <QProxyStyle>

namespace tovra {

// Fusion, except where Fusion derives a colour the palette cannot reach: its check-box frame is
// the window colour darkened, which vanishes on our dark window. Those few primitives are drawn
// from the palette's text and accent colours instead. The tool-bar extension arrows (the menu bar
// asks for one as it is built) are our own line icons: Fusion's are PNG files, and reading its
// first PNG makes Qt load every image-format plugin, and their libraries, during start-up.
class TovraStyle : public QProxyStyle
{
    Q_OBJECT
public:
    TovraStyle();

    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget = nullptr) const override;
    QIcon standardIcon(StandardPixmap standardIcon, const QStyleOption *option = nullptr,
                       const QWidget *widget = nullptr) const override;
};

}
