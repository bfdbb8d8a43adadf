#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>
#include <QStringList>

class QPainter;
class QRectF;

namespace tovra {

// The client's own line icons: small SVG documents drawn in one style (24 × 24 box, 2-unit
// round strokes, currentColor), so nothing depends on the desktop's icon theme. Names follow
// the symbol names the screens use ("chevron.left", "exclamationmark.triangle", ...), plus the
// thirteen sidebar icons the server may name ("film", "tv", "tags", ...).
class Icons
{
public:
    // The icon drawn for a name that is not in the set: the tag.
    static constexpr const char *kFallback = "tags";

    static bool contains(const QString &name);
    static QStringList names();
    // The thirteen sidebar icons; resolveNav() maps a server-given name to one of them, exact
    // and case-sensitive, anything else to the fallback.
    static const QStringList &navNames();
    static QString resolveNav(const QString &name);

    // The SVG text for the name (the fallback's for an unknown name), currentColor replaced by
    // the colour. Opacity is not part of the document: callers paint with it.
    static QByteArray svg(const QString &name, const QColor &color);

    // A rendered square image, size logical pixels at the device pixel ratio, in the colour
    // (alpha included). Rendered images are kept in a small byte-capped cache.
    static QPixmap pixmap(const QString &name, const QColor &color, int size, qreal dpr);
    // A QIcon that renders at whatever size and pixel ratio it is asked for.
    static QIcon icon(const QString &name, const QColor &color);
    // Draws the icon centred in rect (a square of the rect's shorter side).
    static void paint(QPainter &painter, const QRectF &rect, const QString &name, const QColor &color);
};

}
