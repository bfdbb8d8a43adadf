#include "store/themestore.h"

#include <QEvent>
#include <QGuiApplication>
#include <QSettings>

namespace tovra {

namespace {
const QString kThemeKey = QStringLiteral("bt_theme");
}

ThemeStore::ThemeStore(QSettings *settings, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
{
    withSettings([&](QSettings &s) {
        const QVariant stored = s.value(kThemeKey);
        m_mode = stored.typeId() == QMetaType::QString ? modeFromRaw(stored.toString()) : Mode::Auto;
    });
    if (qGuiApp) {
        m_systemDark = paletteIsDark(QGuiApplication::palette());
        qGuiApp->installEventFilter(this);
    }
}

ThemeStore::~ThemeStore() = default;

ThemeStore *ThemeStore::shared()
{
    // Parented to the application so it goes before the application does.
    static ThemeStore *instance = new ThemeStore(nullptr, qGuiApp);
    return instance;
}

template<typename F>
void ThemeStore::withSettings(F &&use) const
{
    if (m_settings) {
        use(*m_settings);
        return;
    }
    QSettings settings;
    use(settings);
}

QString ThemeStore::rawValue(Mode mode)
{
    switch (mode) {
    case Mode::Light:
        return QStringLiteral("light");
    case Mode::Dark:
        return QStringLiteral("dark");
    case Mode::Auto:
        break;
    }
    return QStringLiteral("auto");
}

ThemeStore::Mode ThemeStore::modeFromRaw(const QString &raw)
{
    // Exact match only: "Dark" is not a value this program ever wrote.
    if (raw == QLatin1String("light"))
        return Mode::Light;
    if (raw == QLatin1String("dark"))
        return Mode::Dark;
    return Mode::Auto;
}

bool ThemeStore::paletteIsDark(const QPalette &palette)
{
    return palette.color(QPalette::Active, QPalette::Window).lightness() < 128;
}

bool ThemeStore::isDark() const
{
    switch (m_mode) {
    case Mode::Light:
        return false;
    case Mode::Dark:
        return true;
    case Mode::Auto:
        break;
    }
    return m_systemDark;
}

void ThemeStore::toggle()
{
    switch (m_mode) {
    case Mode::Auto:
        setMode(Mode::Light);
        break;
    case Mode::Light:
        setMode(Mode::Dark);
        break;
    case Mode::Dark:
        setMode(Mode::Auto);
        break;
    }
    // Written from the mode as it now stands, so the stored key and the published mode agree.
    withSettings([&](QSettings &s) {
        if (m_mode == Mode::Auto)
            s.remove(kThemeKey);
        else
            s.setValue(kThemeKey, rawValue(m_mode));
    });
}

void ThemeStore::setMode(Mode mode)
{
    const bool wasDark = isDark();
    m_mode = mode;
    emit modeChanged(mode);
    if (isDark() != wasDark)
        emit appearanceChanged(isDark());
}

void ThemeStore::followPlatformPalette(const QPalette &platform)
{
    const bool wasDark = isDark();
    m_systemDark = paletteIsDark(platform);
    if (isDark() != wasDark)
        emit appearanceChanged(isDark());
}

bool ThemeStore::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::ApplicationPaletteChange && watched == qGuiApp) {
        const QPalette palette = QGuiApplication::palette();
        // A palette with explicitly set roles is one the screens forced; it says nothing about
        // the desktop.
        if (palette.resolveMask() == 0)
            followPlatformPalette(palette);
    }
    return QObject::eventFilter(watched, event);
}

}
