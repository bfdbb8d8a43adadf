#include "views/toolbar/themebutton.h"

#include "store/themestore.h"

namespace tovra {

ThemeButton::ThemeButton(QWidget *parent) : ToolbarButton(ToolbarButton::Style::Bordered, parent)
{
    setObjectName(QStringLiteral("themeButton"));
    setToolTip(QStringLiteral("切换主题：跟随系统/浅色/深色"));
    connect(this, &ToolbarButton::clicked, this, [] { ThemeStore::shared()->toggle(); });
    connect(ThemeStore::shared(), &ThemeStore::modeChanged, this, &ThemeButton::updateLook);
    updateLook();
}

void ThemeButton::updateLook()
{
    switch (ThemeStore::shared()->mode()) {
    case ThemeStore::Mode::Auto:
        setText(QStringLiteral("跟随系统"));
        setSymbol(QStringLiteral("desktopcomputer"));
        break;
    case ThemeStore::Mode::Light:
        setText(QStringLiteral("浅色"));
        setSymbol(QStringLiteral("sun.max"));
        break;
    case ThemeStore::Mode::Dark:
        setText(QStringLiteral("深色"));
        setSymbol(QStringLiteral("moon"));
        break;
    }
    updateGeometry();
}

}
