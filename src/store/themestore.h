#pragma once

#include <QObject>
#include <QPalette>

class QSettings;

namespace tovra {

// The appearance mode and the appearance it results in. This store only decides light or dark;
// painting with it is the screens' business (they listen to appearanceChanged).
//
// Auto follows the desktop. Qt 6.4 cannot ask for the colour scheme, so the desktop's choice is
// read from the platform palette's window colour. Once the screens force a palette the
// application palette is ours, so the platform palette is captured here when the store is made
// (make the store before any palette is set) and replaced only by application palettes that
// nobody set explicitly (resolve mask 0): that is the platform's own palette arriving after a
// desktop change. For that to reach us in Auto the screens restore the platform palette with
// QGuiApplication::setPalette(QPalette()) rather than forcing one.
class ThemeStore : public QObject
{
    Q_OBJECT

public:
    enum class Mode { Auto, Light, Dark };
    Q_ENUM(Mode)

    // With no settings object the application's default QSettings is used; a given one is not
    // owned and must outlive the store (tests).
    explicit ThemeStore(QSettings *settings = nullptr, QObject *parent = nullptr);
    ~ThemeStore() override;

    static ThemeStore *shared();

    Mode mode() const { return m_mode; }
    // Auto -> Light -> Dark -> Auto, stored at once ("auto" is stored as no value at all).
    void toggle();

    // The effective appearance: forced by Light/Dark, the desktop's in Auto.
    bool isDark() const;
    bool systemIsDark() const { return m_systemDark; }

    // Takes a new platform palette (a desktop appearance change).
    void followPlatformPalette(const QPalette &platform);

    static QString rawValue(Mode mode);
    static Mode modeFromRaw(const QString &raw);
    static bool paletteIsDark(const QPalette &palette);

signals:
    void modeChanged(tovra::ThemeStore::Mode mode);
    void appearanceChanged(bool dark);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setMode(Mode mode);
    template<typename F>
    void withSettings(F &&use) const;

    QSettings *m_settings = nullptr;
    Mode m_mode = Mode::Auto;
    bool m_systemDark = false;
};

}
