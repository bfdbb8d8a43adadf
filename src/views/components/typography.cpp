#include "views/components/typography.h"

#include <QGuiApplication>
#include <QFontDatabase>
#include <QScreen>
#include <cmath>

namespace tovra {

namespace {
void setSize(QFont &font, qreal pixels)
{
    if (std::abs(pixels - std::round(pixels)) < 0.01) {
        font.setPixelSize(int(std::round(pixels)));
        return;
    }
    qreal dpi = 96;
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        dpi = screen->logicalDotsPerInchY();
    font.setPointSizeF(pixels * 72.0 / dpi);
}

// Chinese text in one face: left to fontconfig, each character missing from the desktop's
// Latin face may come from a different CJK face, and a title comes out in mixed weights. A CJK
// face named alone also draws the Latin letters and digits, so each size and weight is one font
// engine, and Qt never sorts every installed font to find fallbacks for the Latin face.
const QStringList &uiFamilies()
{
    static const QStringList families = [] {
        for (const QString &cjk : {QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Source Han Sans SC")}) {
            if (QFontDatabase::hasFamily(cjk))
                return QStringList{cjk};
        }
        const QFont font = QGuiApplication::font();
        return font.families().isEmpty() ? QStringList{font.family()} : font.families();
    }();
    return families;
}
}

void installApplicationFont()
{
    QFont font = QGuiApplication::font();
    font.setFamilies(uiFamilies());
    QGuiApplication::setFont(font);
}

QFont uiFont(qreal pixels, QFont::Weight weight)
{
    QFont font = QGuiApplication::font();
    font.setFamilies(uiFamilies());
    setSize(font, pixels);
    font.setWeight(weight);
    return font;
}

QFont monoFont(qreal pixels, QFont::Weight weight)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    setSize(font, pixels);
    font.setWeight(weight);
    return font;
}

}
