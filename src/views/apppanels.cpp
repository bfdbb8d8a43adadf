#include "views/apppanels.h"

#include "store/updateservice.h"
#include "views/aboutdialog.h"
#include "views/appmenus.h"
#include "views/firstlaunchhelp.h"
#include "views/preferencesview.h"
#include "views/updateview.h"

#include <QApplication>
#include <QDialog>
#include <QMainWindow>
#include <QVBoxLayout>

namespace tovra {

AppPanels::AppPanels(QMainWindow *window) : QObject(window), m_window(window)
{
    m_menus = new AppMenus(window, AppMenus::Handlers{
                                       .about = [this] { showAbout(); },
                                       .checkForUpdates = [this] { checkForUpdates(); },
                                       .gatekeeperHelp = [window] { FirstLaunchHelp::show(window); },
                                       .preferences = [this] { showPreferences(); },
                                       .quit =
                                           [] {
                                               QApplication::closeAllWindows();
                                               QCoreApplication::quit();
                                           },
                                   });
    connect(UpdateService::shared(), &UpdateService::showsPanelChanged, this, &AppPanels::showUpdatePanel);
}

void AppPanels::showAbout()
{
    AboutDialog dialog(m_window);
    dialog.exec();
}

void AppPanels::showPreferences()
{
    if (!m_preferences) {
        m_preferences = new QDialog(m_window);
        m_preferences->setObjectName(QStringLiteral("preferencesWindow"));
        m_preferences->setWindowTitle(QStringLiteral("偏好设置"));
        m_preferences->setAttribute(Qt::WA_DeleteOnClose);
        auto *layout = new QVBoxLayout(m_preferences);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSizeConstraint(QLayout::SetFixedSize);
        layout->addWidget(new PreferencesView(m_preferences));
    }
    m_preferences->show();
    m_preferences->raise();
    m_preferences->activateWindow();
}

void AppPanels::checkForUpdates()
{
    // Not silent: whatever the answer, the update panel opens to show it.
    QCoro::connect(UpdateService::shared()->check(false), this, [] {});
}

void AppPanels::showUpdatePanel(bool shows)
{
    if (!shows) {
        if (m_updatePanel)
            m_updatePanel->close();
        return;
    }
    if (!m_updatePanel) {
        m_updatePanel = new QDialog(m_window);
        m_updatePanel->setObjectName(QStringLiteral("updatePanel"));
        m_updatePanel->setWindowTitle(QStringLiteral("检查更新"));
        m_updatePanel->setAttribute(Qt::WA_DeleteOnClose);
        m_updatePanel->setWindowModality(Qt::WindowModal);
        auto *layout = new QVBoxLayout(m_updatePanel);
        layout->setContentsMargins(0, 0, 0, 0);
        auto *sheet = new UpdateView(UpdateService::shared(), m_updatePanel);
        layout->addWidget(sheet);
        layout->setSizeConstraint(QLayout::SetFixedSize);
        connect(sheet, &UpdateView::dismissRequested, m_updatePanel, &QDialog::reject);
        // Closing the panel in any way is the user dismissing it.
        connect(m_updatePanel, &QDialog::finished, this, [] { UpdateService::shared()->setShowsPanel(false); });
    }
    m_updatePanel->show();
    m_updatePanel->raise();
}

}
