#pragma once

#include <QMargins>
#include <QRect>
#include <QSize>

namespace tovra {

// Where a window opens on a screen, in the screen's logical pixels (a 1920 x 1080 screen at
// 125 % offers 1536 x 864): the preferred size when it fits the available area less the frame
// the window manager adds, else the largest size that fits; never below the minimum unless the
// area itself is smaller, in which case the minimum shrinks to the area. Centred in the area.
struct WindowGeometry
{
    QRect geometry; // the client area, frame excluded
    QSize minimum;

    // The title bar a window manager usually adds; its real size is known only once shown.
    static constexpr QMargins kTitleBarAllowance{0, 32, 0, 0};

    static WindowGeometry opening(QSize preferred, QSize minimum, QRect available, QMargins frame = {});
};

}
