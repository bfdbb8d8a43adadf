#include "views/components/typography.h"

#include <QApplication>
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
}

QFont uiFont(qreal pixels, QFont::Weight weight)
{
    QFont font = QApplication::font();
    // Chinese text in one face: without a named fallback, fontconfig may pick a different
    // CJK face per character and a title comes out in mixed weights.
    QStringList families = font.families();
    if (families.isEmpty())
        families.append(font.family());
    for (const QString &cjk : {QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Source Han Sans SC")}) {
        if (!families.contains(cjk))
            families.append(cjk);
    }
    font.setFamilies(families);
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
