#include "models/windowgeometry.h"

#include <algorithm>

namespace tovra {

WindowGeometry WindowGeometry::opening(QSize preferred, QSize minimum, QRect available, QMargins frame)
{
    const QRect area = available.marginsRemoved(frame);
    const QSize room(std::max(area.width(), 1), std::max(area.height(), 1));
    const QSize floor = minimum.boundedTo(room);
    const QSize size = preferred.boundedTo(room).expandedTo(floor);
    const QPoint topLeft(area.x() + (area.width() - size.width()) / 2, area.y() + (area.height() - size.height()) / 2);
    return {QRect(topLeft, size), floor};
}

}
