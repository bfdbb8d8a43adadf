#pragma once

#include "models/catalogue.h"
#include "models/loadgeneration.h"
#include "models/route.h"

#include <QDateTime>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <QCoro/QCoroTask>
#include <chrono>
#include <optional>

class QDialog;
class QGridLayout;
class QHBoxLayout;
class QScrollArea;
class QToolButton;
class QVBoxLayout;

namespace tovra {

class AppMenus;
class NavigationStack;
class SidebarRow;

// The main window: the sidebar (brand header, the fixed "首页" row and one row per server entry)
// beside a navigation stack whose root is the selected section or the submitted search, with a
// top bar holding the back control and the places for the search field and the account items.
//
// It owns the navigation state (section, search texts, pushed routes), loads the sidebar entries
// (cache first, then the server) and keeps the daily sign-in status, re-armed after midnight.
class ContentView : public QMainWindow
{
    Q_OBJECT
public:
    static constexpr int kSidebarWidth = 220;
    static constexpr int kDefaultWidth = 1560;
    static constexpr int kDefaultHeight = 960;
    static constexpr int kMinimumWidth = 1340;
    static constexpr int kMinimumHeight = 720;
    // Seven days: the sidebar list is fine to show stale while the server answers.
    static constexpr double kNavMaxAge = 604800;
    static constexpr std::chrono::milliseconds kDayWatchInterval{60000};
    static inline const QString kNavCacheKey = QStringLiteral("nav");

    explicit ContentView(QWidget *parent = nullptr);
    ~ContentView() override;

    // ---- State ------------------------------------------------------------------------------
    const SidebarSection &section() const { return m_section; }
    const QList<NavItem> &nav() const { return m_nav; }
    const QString &searchText() const { return m_searchText; }
    const QString &submittedSearch() const { return m_submittedSearch; }
    const QList<Route> &path() const;
    // none: signed out, not loaded yet, or re-armed after midnight; false: not signed today.
    std::optional<bool> signedToday() const { return m_signed; }
    qint64 signDays() const { return m_signDays; }
    // When the status was last loaded; invalid while no valid status is held.
    QDateTime signDay() const { return m_signDay; }

    // ---- Navigation -------------------------------------------------------------------------
    // What a sidebar row does: select the section, empty both search texts, pop to the root.
    void selectSection(const SidebarSection &section);
    // A click on a server entry: a category selects itself; a link selects the ranking or Top 250
    // section it stands for, or opens as a web page on top of the stack.
    void open(const NavItem &item);
    // A home-page "more" link. The search texts stay: the home page is only the root while no
    // search is submitted.
    void openCategory(const QString &name);
    void push(const Route &route);
    void popToRoot();
    // The search field's text (the field itself lives in the top bar's search place).
    void setSearchText(const QString &text);
    // Makes the trimmed search text the root's query (empty gives the section back) and pops to
    // the root.
    void submitSearch();

    // ---- Loads ------------------------------------------------------------------------------
    // The sidebar entries: the cached list while the list is empty, then the server's answer,
    // which replaces the list (and the cache entry) unless it is empty or failed.
    QCoro::Task<void> loadNav();
    // The daily sign-in status for the toolbar's sign-in button. Only the newest run writes.
    QCoro::Task<void> loadSignStatus();
    // The day watch's tick: once the loaded status belongs to an earlier day, it is cleared and
    // loaded again, so the sign-in button comes back after midnight.
    void checkDay();

    // ---- Parts ------------------------------------------------------------------------------
    NavigationStack *navigationStack() const { return m_stack; }
    QToolButton *backButton() const { return m_backButton; }
    // The top bar's centre place, for the search field.
    QWidget *toolbarSearchSlot() const { return m_searchSlot; }
    // The top bar's trailing place, for the theme button, the daily sign-in and the account box.
    QWidget *toolbarActionsSlot() const { return m_actionsSlot; }
    AppMenus *menus() const { return m_menus; }
    // The fixed "首页" row first, then one row per entry of nav().
    QList<SidebarRow *> sidebarRows() const;
    QTimer *dayWatch() { return &m_dayWatch; }

    void showAbout();
    void showPreferences();
    void checkForUpdates();

signals:
    void sectionChanged();
    void navChanged();
    void searchChanged();
    void pathChanged();
    void signStatusChanged();
    // The window's content is on screen for the first time: the start-up work hooks here.
    void contentShown();
    // The user closed the window.
    void closing();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    enum class RootKind { None, Search, Home, Ranking, Top250, Community, Category };

    QWidget *buildSidebar();
    QWidget *buildTopBar();
    void rebuildSidebarRows();
    void refreshRowStates();
    void setSection(const SidebarSection &section);
    void setNav(QList<NavItem> nav);
    void clearSearch();
    void updateRoot();
    QWidget *destination(const Route &route);
    void watchSignInState();
    void showUpdatePanel(bool shows);
    void applyColors(bool dark);

    SidebarSection m_section;
    QList<NavItem> m_nav;
    QString m_searchText;
    QString m_submittedSearch;
    std::optional<bool> m_signed;
    qint64 m_signDays = 0;
    QDateTime m_signDay;
    bool m_hadToken = false;
    bool m_contentShown = false;

    LoadGeneration m_navLoads;
    LoadGeneration m_signLoads;
    QTimer m_dayWatch;

    RootKind m_rootKind = RootKind::None;
    QString m_rootQuery;

    QWidget *m_sidebar = nullptr;
    QWidget *m_divider = nullptr;
    QScrollArea *m_sidebarScroll = nullptr;
    QVBoxLayout *m_rowsLayout = nullptr;
    SidebarRow *m_homeRow = nullptr;
    QList<SidebarRow *> m_navRows;
    QWidget *m_content = nullptr;
    QWidget *m_topBar = nullptr;
    QWidget *m_topBarLine = nullptr;
    QToolButton *m_backButton = nullptr;
    QWidget *m_searchSlot = nullptr;
    QWidget *m_actionsSlot = nullptr;
    NavigationStack *m_stack = nullptr;
    AppMenus *m_menus = nullptr;
    QPointer<QDialog> m_preferences;
    QPointer<QDialog> m_updatePanel;
};

}
