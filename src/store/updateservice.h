#pragma once

#include <QCoreApplication>
#include <QObject>
#include <QCoro/QCoroTask>

namespace tovra {

// The self-updater as the rest of the client sees it. This version asks no server: it keeps the
// menu item, the start-up step and the update panel wired until the updater itself is built.
class UpdateService : public QObject
{
    Q_OBJECT
public:
    static UpdateService *shared()
    {
        static UpdateService *const instance = new UpdateService(QCoreApplication::instance());
        return instance;
    }

    // Asks the server for a newer build; never fails towards the caller. A silent check opens the
    // panel only when there is something to install.
    QCoro::Task<void> check(bool silent)
    {
        // With nothing to offer, only a check the user asked for shows its answer.
        if (!silent)
            setShowsPanel(true);
        co_return;
    }

    // While true the main window shows the update panel; closing the panel sets it back to false.
    bool showsPanel() const { return m_showsPanel; }
    void setShowsPanel(bool shows)
    {
        if (shows == m_showsPanel)
            return;
        m_showsPanel = shows;
        emit showsPanelChanged(shows);
    }

signals:
    void showsPanelChanged(bool shows);

private:
    using QObject::QObject;

    bool m_showsPanel = false;
};

}
