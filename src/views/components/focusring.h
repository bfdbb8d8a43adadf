#pragma once

#include <QColor>
#include <QRectF>

class QPainter;
class QPainterPath;
class QWidget;

namespace tovra {

// The keyboard focus ring: an accent-coloured outline around whatever holds the focus, shown only
// while the user moves through the window with the keyboard (a click hides it again), so a mouse
// user sees no change at all.
//
// Ordinary widgets get it from one overlay drawn above them; widgets that paint their own ring
// (lists of painted entries, which ring one entry rather than the whole widget) say so with
// setDrawsOwnRing() and ask shows() and paintInside() instead.
class FocusRing
{
public:
    static constexpr qreal kWidth = 2;
    static constexpr qreal kGap = 2; // between the control's edge and the ring
    static constexpr qreal kRadius = 6;

    // Starts following the focus for the whole application. Safe to call more than once.
    static void install();
    // The widget the overlay ring of target is drawn in: the nearest ancestor with room for it,
    // but never beyond the scroll area target scrolls in, so the ring scrolls and clips with it.
    static QWidget *overlayHost(QWidget *target);
    // Whether the last focus move came from the keyboard.
    static bool keyboardMode();
    // Whether widget should show its ring now: it holds the focus and the keyboard moved it there.
    static bool shows(const QWidget *widget);

    static void setDrawsOwnRing(QWidget *widget);
    static QColor color(bool dark);
    // The ring's colour over ground: color() where it stands out by 3:1 at least, else the
    // stronger of the accent's own text colour and the text colour.
    static QColor colorOver(const QColor &ground, bool dark);
    // WCAG contrast ratio of two opaque colours, 1 to 21.
    static qreal contrast(const QColor &a, const QColor &b);
    // Draws the ring around around (the control's own rectangle; the ring sits just outside it).
    static void paint(QPainter &painter, const QRectF &around, bool dark, qreal radius = kRadius);
    // Draws the ring along the inside of rect: for painted entries, whose neighbours and the
    // widget's own edges leave no room outside. ground is what the ring runs over, when known.
    static void paintInside(QPainter &painter, const QRectF &rect, bool dark, qreal radius, const QColor &ground = {});

private:
    static void strokeRing(QPainter &painter, const QPainterPath &path, const QColor &color);
};

}
