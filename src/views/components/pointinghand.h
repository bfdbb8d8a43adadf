#pragma once

class QWidget;

namespace tovra {

// The hand cursor while the pointer is over the widget. Qt picks the cursor of the widget
// under the pointer as it moves, so there is no push/pop that could stay unbalanced when a
// widget disappears while hovered.
void setPointingHand(QWidget *widget, bool enabled = true);

}
