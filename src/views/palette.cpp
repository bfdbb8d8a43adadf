#include "views/palette.h"

#include "store/themestore.h"
#include "views/components/tovrastyle.h"

#include <QApplication>
#include <QEvent>
#include <QPixmapCache>
#include <QPointer>
#include <QStyle>
#include <QTimer>
#include <array>

namespace tovra {

namespace {

struct Entry
{
    quint32 light;
    quint32 dark;
    qreal alphaLight;
    qreal alphaDark;
};

constexpr std::array<Entry, Palette::kCount> kEntries{{
    {0x17211D, 0xE7ECEF, 1, 1},       // text
    {0x56655F, 0x7C8894, 1, 1},       // textDim
    {0x93A19B, 0x4B535C, 1, 1},       // textFaint
    {0xFFFFFF, 0x12161B, 1, 1},       // surface
    {0xE7ECE9, 0x171C22, 1, 1},       // surface2
    {0xD3DAD7, 0x232A32, 1, 1},       // border
    {0xDEE4E1, 0x1B2129, 1, 1},       // borderSoft
    {0x0FA05C, 0x35D07F, 1, 1},       // accent
    {0x0FA05C, 0x35D07F, 0.12, 0.14}, // accentDim
    {0xFFFFFF, 0x06130B, 1, 1},       // onAccent
    {0xC07C00, 0xF5A623, 1, 1},       // warn
    {0xC4463D, 0xFF5D5D, 1, 1},       // error
    {0xF03A3F, 0xFF4A4F, 1, 1},       // navNew
    {0x7A5D2A, 0xC9A063, 1, 1},       // metaLink
    {0x5C461F, 0xE0C08A, 1, 1},       // metaLinkHover
    {0xF3F3F3, 0x191919, 1, 1},       // copiedBg
    {0x6A6A6A, 0x8B8B8B, 1, 1},       // copiedText
}};

QColor mix(const QColor &a, const QColor &b, qreal t)
{
    return QColor::fromRgbF(a.redF() + (b.redF() - a.redF()) * t, a.greenF() + (b.greenF() - a.greenF()) * t,
                            a.blueF() + (b.blueF() - a.blueF()) * t, 1.0);
}

// Keeps the application palette in step with ThemeStore (see installApplicationTheme()).
class ApplicationTheme : public QObject
{
public:
    explicit ApplicationTheme(QObject *parent) : QObject(parent)
    {
        ThemeStore *store = ThemeStore::shared();
        connect(store, &ThemeStore::appearanceChanged, this, [this] { apply(); });
        connect(store, &ThemeStore::modeChanged, this, [this] { apply(); });
        qApp->installEventFilter(this);
        apply();
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // Our palette sets every role, so a desktop appearance change no longer reaches the
        // application palette and ThemeStore cannot see it. In Auto, hand the platform's
        // palette back for a moment so the store can read it, then put ours on again. One
        // theme change arrives once per window: do it once.
        if (event->type() == QEvent::ThemeChange && !m_recheckQueued
            && ThemeStore::shared()->mode() == ThemeStore::Mode::Auto) {
            m_recheckQueued = true;
            QTimer::singleShot(0, this, [this] {
                m_recheckQueued = false;
                m_applying = true;
                QApplication::setPalette(QPalette());
                m_applying = false;
                apply();
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void apply()
    {
        if (m_applying)
            return;
        m_applying = true;
        QApplication::setPalette(Palette::applicationPalette(ThemeStore::shared()->isDark()));
        m_applying = false;
    }

    bool m_recheckQueued = false;
    bool m_applying = false;
};

}

QColor Palette::dynamic(quint32 light, quint32 dark, qreal alphaLight, qreal alphaDark, bool isDark)
{
    const quint32 value = isDark ? dark : light;
    QColor color(int((value >> 16) & 0xFF), int((value >> 8) & 0xFF), int(value & 0xFF));
    color.setAlphaF(float(isDark ? alphaDark : alphaLight));
    return color;
}

QColor Palette::color(Name name, bool dark)
{
    const Entry &e = kEntries[size_t(name)];
    return dynamic(e.light, e.dark, e.alphaLight, e.alphaDark, dark);
}

QColor Palette::color(Name name)
{
    return color(name, isDark());
}

bool Palette::isDark()
{
    return ThemeStore::shared()->isDark();
}

QColor Palette::windowBackground(bool dark)
{
    // Between surface and surface2, so the sidebar (surface) and the placeholders (surface2)
    // both stand out from the content area.
    return dark ? QColor(0x0E, 0x12, 0x16) : QColor(0xF4, 0xF6, 0xF5);
}

QPalette Palette::applicationPalette(bool dark)
{
    const QColor window = windowBackground(dark);
    const QColor txt = text(dark);
    const QColor dim = textDim(dark);
    const QColor faint = textFaint(dark);
    const QColor base = surface(dark);
    const QColor alt = surface2(dark);
    const QColor line = border(dark);
    const QColor accentColor = accent(dark);
    const QColor button = dark ? mix(base, alt, 0.6) : base;

    QPalette p;
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const bool disabled = group == QPalette::Disabled;
        p.setColor(group, QPalette::Window, window);
        p.setColor(group, QPalette::WindowText, disabled ? faint : txt);
        p.setColor(group, QPalette::Base, base);
        p.setColor(group, QPalette::AlternateBase, alt);
        p.setColor(group, QPalette::Text, disabled ? faint : txt);
        p.setColor(group, QPalette::PlaceholderText, faint);
        p.setColor(group, QPalette::Button, button);
        p.setColor(group, QPalette::ButtonText, disabled ? faint : txt);
        p.setColor(group, QPalette::BrightText, onAccent(dark));
        p.setColor(group, QPalette::Highlight, disabled ? line : accentColor);
        p.setColor(group, QPalette::HighlightedText, onAccent(dark));
        p.setColor(group, QPalette::Link, accentColor);
        p.setColor(group, QPalette::LinkVisited, accentColor);
        p.setColor(group, QPalette::ToolTipBase, base);
        p.setColor(group, QPalette::ToolTipText, txt);
        p.setColor(group, QPalette::Light, dark ? mix(button, QColor(Qt::white), 0.08) : QColor(Qt::white));
        p.setColor(group, QPalette::Midlight, mix(button, line, 0.5));
        p.setColor(group, QPalette::Mid, line);
        p.setColor(group, QPalette::Dark, dark ? mix(line, QColor(Qt::black), 0.3) : mix(line, dim, 0.4));
        p.setColor(group, QPalette::Shadow, QColor(0, 0, 0, dark ? 160 : 60));
    }
    return p;
}

void Palette::installApplicationTheme()
{
    if (!qApp)
        return;
    // The store reads the desktop's appearance from the palette it finds when it is made, so it
    // must exist before the style or our palette replaces that.
    ThemeStore::shared();
    // Fusion draws standard widgets from the palette alone, the same on every desktop.
    QApplication::setStyle(new TovraStyle);
    // Fusion keeps a pixmap of every button and frame size it has drawn in the pixmap cache, and
    // title pages bring new sizes all session long: Qt's 10 MB default fills up with drawings
    // that are cheap to make again. 2 MB is plenty for the screens on view.
    QPixmapCache::setCacheLimit(2048);
    static QPointer<QObject> installed;
    if (!installed)
        installed = new ApplicationTheme(qApp);
}

}
