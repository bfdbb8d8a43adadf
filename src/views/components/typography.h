#pragma once

#include <QFont>

namespace tovra {

// Sizes in the design are logical pixels. QFont::setPixelSize only takes whole pixels, so a
// fractional size (11.5, 10.5) goes through the point size at the screen's logical DPI.
// Makes the face uiFont() uses the application's default, for the widgets that keep Qt's font.
void installApplicationFont();
QFont uiFont(qreal pixels, QFont::Weight weight = QFont::Normal);
// A fixed-pitch face at the given size, for digits that must line up.
QFont monoFont(qreal pixels, QFont::Weight weight = QFont::Normal);

// The text sizes of the design's named styles, in logical pixels.
namespace TextStyle {
inline constexpr qreal kBody = 13;
inline constexpr qreal kCallout = 12;
inline constexpr qreal kCaption2 = 10;
inline constexpr qreal kTitle = 22;
inline constexpr qreal kTitle2 = 17;
inline constexpr qreal kTitle3 = 15;
}

}
