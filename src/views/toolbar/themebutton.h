#pragma once

#include "views/toolbar/toolbarbutton.h"

namespace tovra {

// The toolbar's appearance switch: names the current mode and steps to the next one.
class ThemeButton : public ToolbarButton
{
    Q_OBJECT
public:
    explicit ThemeButton(QWidget *parent = nullptr);

private:
    void updateLook();
};

}
