#pragma once

#include <QColor>
#include <QPalette>

namespace tovra {

// The interface colours of the client. Every colour has a light and a dark value; widgets ask
// for the one matching the effective appearance (ThemeStore) at paint time, so a change of
// appearance only needs a repaint.
class Palette
{
public:
    enum class Name {
        Text,
        TextDim,
        TextFaint,
        Surface,
        Surface2,
        Border,
        BorderSoft,
        Accent,
        AccentDim,
        OnAccent,
        Warn,
        Error,
        NavNew,
        MetaLink,
        MetaLinkHover,
        CopiedBg,
        CopiedText,
    };
    static constexpr int kCount = int(Name::CopiedText) + 1;

    // 0xRRGGBB (the top byte is ignored) and an alpha from 0 to 1, for the chosen appearance.
    static QColor dynamic(quint32 light, quint32 dark, qreal alphaLight, qreal alphaDark, bool isDark);
    static QColor color(Name name, bool dark);
    // The same, for the appearance in effect now.
    static QColor color(Name name);
    static bool isDark();

    static QColor text(bool dark) { return color(Name::Text, dark); }
    static QColor textDim(bool dark) { return color(Name::TextDim, dark); }
    static QColor textFaint(bool dark) { return color(Name::TextFaint, dark); }
    static QColor surface(bool dark) { return color(Name::Surface, dark); }
    static QColor surface2(bool dark) { return color(Name::Surface2, dark); }
    static QColor border(bool dark) { return color(Name::Border, dark); }
    static QColor borderSoft(bool dark) { return color(Name::BorderSoft, dark); }
    static QColor accent(bool dark) { return color(Name::Accent, dark); }
    static QColor accentDim(bool dark) { return color(Name::AccentDim, dark); }
    static QColor onAccent(bool dark) { return color(Name::OnAccent, dark); }
    static QColor warn(bool dark) { return color(Name::Warn, dark); }
    static QColor error(bool dark) { return color(Name::Error, dark); }
    static QColor navNew(bool dark) { return color(Name::NavNew, dark); }
    static QColor metaLink(bool dark) { return color(Name::MetaLink, dark); }
    static QColor metaLinkHover(bool dark) { return color(Name::MetaLinkHover, dark); }
    static QColor copiedBg(bool dark) { return color(Name::CopiedBg, dark); }
    static QColor copiedText(bool dark) { return color(Name::CopiedText, dark); }

    static QColor text() { return color(Name::Text); }
    static QColor textDim() { return color(Name::TextDim); }
    static QColor textFaint() { return color(Name::TextFaint); }
    static QColor surface() { return color(Name::Surface); }
    static QColor surface2() { return color(Name::Surface2); }
    static QColor border() { return color(Name::Border); }
    static QColor borderSoft() { return color(Name::BorderSoft); }
    static QColor accent() { return color(Name::Accent); }
    static QColor accentDim() { return color(Name::AccentDim); }
    static QColor onAccent() { return color(Name::OnAccent); }
    static QColor warn() { return color(Name::Warn); }
    static QColor error() { return color(Name::Error); }
    static QColor navNew() { return color(Name::NavNew); }
    static QColor metaLink() { return color(Name::MetaLink); }
    static QColor metaLinkHover() { return color(Name::MetaLinkHover); }
    static QColor copiedBg() { return color(Name::CopiedBg); }
    static QColor copiedText() { return color(Name::CopiedText); }

    // The background of the content area behind the screens (the sidebar uses surface).
    static QColor windowBackground(bool dark);
    // A whole-application palette for Fusion-styled standard widgets (buttons, fields, lists,
    // menus, tooltips) in the given appearance.
    static QPalette applicationPalette(bool dark);
    // Makes the application follow ThemeStore: Fusion style (so the palette is honoured the same
    // on every desktop), the palette for the current appearance, and a new palette on every
    // change. Call once from the composition root after the QApplication exists.
    static void installApplicationTheme();
};

// Fixed colours drawn over poster images; they do not change with the appearance.
struct CardStyle
{
    static QColor score() { return QColor(53, 208, 127); }
    static QColor chipBg() { return QColor::fromRgbF(10 / 255.0, 13 / 255.0, 16 / 255.0, 0.72); }
    static QColor yearText() { return QColor(217, 219, 220); }
    static QColor title(bool dark) { return Palette::text(dark); }
    static QColor navNew(bool dark) { return Palette::navNew(dark); }
};

// The brand green of the logo and the sidebar header: the same in both appearances.
inline QColor brandGreen() { return QColor(53, 208, 127); }

}
