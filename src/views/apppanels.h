#pragma once

#include <QObject>
#include <QPointer>

class QDialog;
class QMainWindow;

namespace tovra {

class AppMenus;

// The window's secondary windows and the menu bar that opens them: About, the one preferences
// window, and the update panel, which shows and hides with the update service's wish.
class AppPanels : public QObject
{
    Q_OBJECT
public:
    // The menus go into window's menu bar; the panels are window's children.
    explicit AppPanels(QMainWindow *window);

    AppMenus *menus() const { return m_menus; }
    void showAbout();
    void showPreferences();
    void checkForUpdates();

private:
    void showUpdatePanel(bool shows);

    QMainWindow *m_window;
    AppMenus *m_menus = nullptr;
    QPointer<QDialog> m_preferences;
    QPointer<QDialog> m_updatePanel;
};

}
