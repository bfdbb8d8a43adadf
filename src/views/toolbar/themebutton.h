#pragma once

#include "views/toolbar/toolbarbutton.h"

namespace tovra {

// The toolbar's appearance switch: names the current mode and steps to the next one.
class ThemeButton : public ToolbarButton
{
    Q_OBJECT
public:
    explicit ThemeButton(QWidget *parent = nullptr);

    // As wide as the widest of its labels: the bar's search field would move with every switch.
    QSize sizeHint() const override;

private:
    void updateLook();
};

}
