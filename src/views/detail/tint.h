#pragma once

#include "views/palette.h"

#include <QFont>

class QLabel;

namespace tovra {

// Plain-text label in a palette colour that follows the appearance. Every label of the title
// page shows server text, so the format is fixed here once rather than at each call.
QLabel *tintedLabel(const QString &text, qreal pixels, Palette::Name role, QWidget *parent,
                    QFont::Weight weight = QFont::Normal);
// Keeps an existing widget's text colour on the palette role across appearance changes.
void tint(QWidget *widget, Palette::Name role);

}
