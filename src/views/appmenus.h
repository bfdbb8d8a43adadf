#pragma once

#include <QObject>
#include <functional>

class QAction;
class QMainWindow;
class QMenu;

namespace tovra {

// The window's menu bar. Its first menu carries, in order: About, the update check, the help for
// machines that refuse to open the client, then preferences and quit. There is deliberately no
// item that opens a second main window.
class AppMenus : public QObject
{
    Q_OBJECT
public:
    struct Handlers
    {
        std::function<void()> about;
        std::function<void()> checkForUpdates;
        std::function<void()> gatekeeperHelp;
        std::function<void()> preferences;
        std::function<void()> quit;
    };

    // Builds the menus into window's menu bar; the object is a child of window.
    AppMenus(QMainWindow *window, Handlers handlers);

    QMenu *appMenu() const { return m_appMenu; }
    QAction *aboutAction() const { return m_about; }
    QAction *checkForUpdatesAction() const { return m_checkForUpdates; }
    QAction *gatekeeperHelpAction() const { return m_gatekeeperHelp; }
    QAction *preferencesAction() const { return m_preferences; }
    QAction *quitAction() const { return m_quit; }

private:
    QAction *addItem(const QString &title, const QString &name, std::function<void()> handler);

    QMenu *m_appMenu = nullptr;
    QAction *m_about = nullptr;
    QAction *m_checkForUpdates = nullptr;
    QAction *m_gatekeeperHelp = nullptr;
    QAction *m_preferences = nullptr;
    QAction *m_quit = nullptr;
};

}
