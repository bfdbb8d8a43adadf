#pragma once

#include "models/markedtext.h"

#include <QColor>
#include <QString>

namespace tovra {

// A marked text from the search service as rich text for a label: the "<b>" runs bold in the
// accent colour of the current appearance at size (logical pixels), everything else in base,
// and every character of the text escaped, so "<img src=x>" is shown, never loaded.
QString highlighted(const QString &marked, const QColor &base, qreal size);
// The same, shortened with "…" to fit width (logical pixels) in uiFont(size) and its bold.
QString highlighted(const QString &marked, const QColor &base, qreal size, qreal width);

}
