#include "views/components/appearance.h"

#include "store/themestore.h"

namespace tovra {

void followAppearance(QWidget *widget, std::function<void(bool dark)> hook)
{
    QObject::connect(ThemeStore::shared(), &ThemeStore::appearanceChanged, widget,
                     [widget, hook = std::move(hook)](bool dark) {
                         if (hook)
                             hook(dark);
                         widget->update();
                     });
}

}
