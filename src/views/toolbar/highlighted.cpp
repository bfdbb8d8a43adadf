#include "views/toolbar/highlighted.h"

#include "views/components/typography.h"
#include "views/palette.h"

#include <QGuiApplication>
#include <QScreen>

namespace tovra {

namespace {
// The same conversion as uiFont(): sizes are logical pixels, rich text takes points.
qreal points(qreal pixels)
{
    qreal dpi = 96;
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        dpi = screen->logicalDotsPerInchY();
    return pixels * 72.0 / dpi;
}
}

QString highlighted(const QString &marked, const QColor &base, qreal size)
{
    return markedTextHtml(marked, base, Palette::accent(), points(size));
}

QString highlighted(const QString &marked, const QColor &base, qreal size, qreal width)
{
    const auto runs = elidedMarkedRuns(splitMarkedText(marked), width, uiFont(size), uiFont(size, QFont::Bold));
    return markedRunsHtml(runs, base, Palette::accent(), points(size));
}

}
