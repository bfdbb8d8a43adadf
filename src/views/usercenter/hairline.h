#pragma once

#include "views/components/appearance.h"
#include "views/palette.h"

#include <QPalette>
#include <QWidget>

namespace tovra::usercenter {

// A one-pixel rule in one of the palette's border colours, repainted when the appearance
// changes; it runs across its layout, or down it when vertical.
inline QWidget *hairline(QWidget *parent, Palette::Name colour, bool vertical = false)
{
    auto *line = new QWidget(parent);
    if (vertical)
        line->setFixedWidth(1);
    else
        line->setFixedHeight(1);
    line->setAutoFillBackground(true);
    const auto apply = [line, colour](bool dark) {
        QPalette p = line->palette();
        p.setColor(QPalette::Window, Palette::color(colour, dark));
        line->setPalette(p);
    };
    apply(Palette::isDark());
    followAppearance(line, apply);
    return line;
}

}
