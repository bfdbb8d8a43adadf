#include "views/usercenter/prominentbutton.h"

#include "views/components/appearance.h"
#include "views/palette.h"

#include <QPushButton>

namespace tovra {

void makeProminent(QPushButton *button)
{
    const auto apply = [button](bool dark) {
        QPalette p = button->palette();
        for (const auto group : {QPalette::Active, QPalette::Inactive}) {
            p.setColor(group, QPalette::Button, Palette::accent(dark));
            p.setColor(group, QPalette::ButtonText, Palette::onAccent(dark));
        }
        button->setPalette(p);
    };
    apply(Palette::isDark());
    followAppearance(button, apply);
}

}
