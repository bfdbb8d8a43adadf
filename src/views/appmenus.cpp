#include "views/appmenus.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

namespace tovra {

AppMenus::AppMenus(QMainWindow *window, Handlers handlers) : QObject(window)
{
    m_appMenu = window->menuBar()->addMenu(QStringLiteral("Tovra"));
    m_appMenu->setObjectName(QStringLiteral("appMenu"));

    m_about = addItem(QStringLiteral("关于 Tovra"), QStringLiteral("aboutAction"), std::move(handlers.about));
    m_about->setMenuRole(QAction::AboutRole);
    m_checkForUpdates = addItem(QStringLiteral("检查更新…"), QStringLiteral("checkForUpdatesAction"),
                                std::move(handlers.checkForUpdates));
    m_gatekeeperHelp = addItem(QStringLiteral("在新机器上打不开？…"), QStringLiteral("gatekeeperHelpAction"),
                               std::move(handlers.gatekeeperHelp));
    m_appMenu->addSeparator();
    m_preferences = addItem(QStringLiteral("偏好设置…"), QStringLiteral("preferencesAction"),
                            std::move(handlers.preferences));
    m_preferences->setMenuRole(QAction::PreferencesRole);
    m_preferences->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    m_appMenu->addSeparator();
    m_quit = addItem(QStringLiteral("退出 Tovra"), QStringLiteral("quitAction"), std::move(handlers.quit));
    m_quit->setMenuRole(QAction::QuitRole);
    m_quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    // Shortcuts of menu items only fire while the menu bar is part of the window, which it is;
    // adding them to the window as well keeps them working when the menu bar is hidden.
    window->addActions({m_preferences, m_quit});
}

QAction *AppMenus::addItem(const QString &title, const QString &name, std::function<void()> handler)
{
    auto *action = m_appMenu->addAction(title);
    action->setObjectName(name);
    // Fixed texts: no "&" mnemonics, the Chinese titles have no letter to underline.
    action->setMenuRole(QAction::NoRole);
    if (handler)
        connect(action, &QAction::triggered, this, [handler = std::move(handler)] { handler(); });
    return action;
}

}
