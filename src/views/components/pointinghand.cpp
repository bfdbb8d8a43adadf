#include "views/components/pointinghand.h"

#include <QWidget>

namespace tovra {

void setPointingHand(QWidget *widget, bool enabled)
{
    if (!widget)
        return;
    if (enabled)
        widget->setCursor(Qt::PointingHandCursor);
    else
        widget->unsetCursor();
}

}
