#include "store/themestore.h"

#include <QGuiApplication>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include "support/testmain.h"

using namespace tovra;
using Mode = ThemeStore::Mode;

namespace {
QPalette paletteWithWindow(const QColor &window)
{
    QPalette palette;
    palette.setColor(QPalette::Window, window);
    return palette;
}
}

class TestThemeStore : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        m_dir.emplace();
        m_settings = std::make_unique<QSettings>(m_dir->filePath(QStringLiteral("s.conf")), QSettings::IniFormat);
    }
    void cleanup()
    {
        QGuiApplication::setPalette(QPalette());
        m_settings.reset();
        m_dir.reset();
    }

    void storedValueAtStart_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<Mode>("expected");
        QTest::newRow("missing") << QVariant() << Mode::Auto;
        QTest::newRow("light") << QVariant(QStringLiteral("light")) << Mode::Light;
        QTest::newRow("dark") << QVariant(QStringLiteral("dark")) << Mode::Dark;
        QTest::newRow("auto") << QVariant(QStringLiteral("auto")) << Mode::Auto;
        QTest::newRow("other case") << QVariant(QStringLiteral("Dark")) << Mode::Auto;
        QTest::newRow("unknown") << QVariant(QStringLiteral("sepia")) << Mode::Auto;
        QTest::newRow("padded") << QVariant(QStringLiteral(" light")) << Mode::Auto;
        QTest::newRow("not text") << QVariant(2) << Mode::Auto;
    }
    void storedValueAtStart()
    {
        QFETCH(QVariant, stored);
        QFETCH(Mode, expected);
        if (stored.isValid())
            m_settings->setValue(QStringLiteral("bt_theme"), stored);
        ThemeStore store(m_settings.get());
        QCOMPARE(store.mode(), expected);
    }

    void toggleCyclesAndStoresOnlyForcedModes()
    {
        ThemeStore store(m_settings.get());
        QSignalSpy modes(&store, &ThemeStore::modeChanged);
        const QString key = QStringLiteral("bt_theme");

        store.toggle();
        QCOMPARE(store.mode(), Mode::Light);
        QCOMPARE(m_settings->value(key), QVariant(QStringLiteral("light")));
        store.toggle();
        QCOMPARE(store.mode(), Mode::Dark);
        QCOMPARE(m_settings->value(key), QVariant(QStringLiteral("dark")));
        // A store made now (the next launch) starts where the user left it.
        QCOMPARE(ThemeStore(m_settings.get()).mode(), Mode::Dark);
        store.toggle();
        QCOMPARE(store.mode(), Mode::Auto);
        QVERIFY(!m_settings->contains(key));

        QCOMPARE(modes.count(), 3);
        QCOMPARE(modes.at(0).at(0).value<Mode>(), Mode::Light);
        QCOMPARE(modes.at(1).at(0).value<Mode>(), Mode::Dark);
        QCOMPARE(modes.at(2).at(0).value<Mode>(), Mode::Auto);
    }

    void appearanceFollowsModeAndDesktop()
    {
        ThemeStore store(m_settings.get());
        QSignalSpy appearance(&store, &ThemeStore::appearanceChanged);
        store.followPlatformPalette(paletteWithWindow(QColor(30, 30, 30)));
        QVERIFY(store.isDark());
        QCOMPARE(appearance.count(), 1);

        store.toggle(); // light: forced, whatever the desktop says
        QVERIFY(!store.isDark());
        store.followPlatformPalette(paletteWithWindow(QColor(240, 240, 240)));
        store.followPlatformPalette(paletteWithWindow(QColor(20, 20, 20)));
        QVERIFY(!store.isDark());
        store.toggle(); // dark
        QVERIFY(store.isDark());
        store.toggle(); // auto, desktop still dark: appearance does not change
        QVERIFY(store.isDark());

        QList<bool> seen;
        for (const auto &args : appearance)
            seen.append(args.at(0).toBool());
        QCOMPARE(seen, (QList<bool>{true, false, true}));
    }

    void forcedApplicationPaletteIsNotTheDesktop()
    {
        const bool platformDark = ThemeStore::paletteIsDark(QGuiApplication::palette());
        ThemeStore store(m_settings.get());
        QCOMPARE(store.systemIsDark(), platformDark);

        // What the screens do for a forced mode: a palette with explicit roles.
        QGuiApplication::setPalette(paletteWithWindow(platformDark ? QColor(250, 250, 250) : QColor(10, 10, 10)));
        QCOMPARE(store.systemIsDark(), platformDark);

        // Restoring the platform's own palette is taken as the desktop speaking again.
        store.followPlatformPalette(paletteWithWindow(platformDark ? QColor(250, 250, 250) : QColor(10, 10, 10)));
        QCOMPARE(store.systemIsDark(), !platformDark);
        QGuiApplication::setPalette(QPalette());
        QCOMPARE(store.systemIsDark(), platformDark);
    }

private:
    std::optional<QTemporaryDir> m_dir;
    std::unique_ptr<QSettings> m_settings;
};

TOVRA_TEST(TestThemeStore)
#include "tst_themestore.moc"
