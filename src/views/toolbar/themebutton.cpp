#include "views/toolbar/themebutton.h"

#include "store/themestore.h"

#include <QFontMetricsF>
#include <cmath>

namespace tovra {

namespace {
const QString kAutoLabel = QStringLiteral("跟随系统");
const QString kLightLabel = QStringLiteral("浅色");
const QString kDarkLabel = QStringLiteral("深色");
}

ThemeButton::ThemeButton(QWidget *parent) : ToolbarButton(ToolbarButton::Style::Bordered, parent)
{
    setObjectName(QStringLiteral("themeButton"));
    setToolTip(QStringLiteral("切换主题：跟随系统/浅色/深色"));
    connect(this, &ToolbarButton::clicked, this, [] { ThemeStore::shared()->toggle(); });
    connect(ThemeStore::shared(), &ThemeStore::modeChanged, this, &ThemeButton::updateLook);
    updateLook();
}

QSize ThemeButton::sizeHint() const
{
    QSize size = ToolbarButton::sizeHint();
    const QFontMetricsF metrics(labelFont());
    qreal widest = 0;
    for (const QString &label : {kAutoLabel, kLightLabel, kDarkLabel})
        widest = std::max(widest, metrics.horizontalAdvance(label));
    size.rwidth() += int(std::ceil(widest - metrics.horizontalAdvance(text())));
    return size;
}

void ThemeButton::updateLook()
{
    switch (ThemeStore::shared()->mode()) {
    case ThemeStore::Mode::Auto:
        setText(kAutoLabel);
        setSymbol(QStringLiteral("desktopcomputer"));
        break;
    case ThemeStore::Mode::Light:
        setText(kLightLabel);
        setSymbol(QStringLiteral("sun.max"));
        break;
    case ThemeStore::Mode::Dark:
        setText(kDarkLabel);
        setSymbol(QStringLiteral("moon"));
        break;
    }
    updateGeometry();
}

}
