#pragma once

#include "models/catalogue.h"
#include "models/loadgeneration.h"
#include "models/route.h"
#include "views/apppanels.h"
#include "views/navigationstack.h"
#include "views/sidebar.h"
#include "views/toolbar/dailysignbutton.h"
#include "views/toolbar/membermenucontrol.h"
#include "views/toolbar/searchbox.h"
#include "views/toolbar/topbar.h"

#include <QDateTime>
#include <QList>
#include <QMainWindow>
#include <QTimer>
#include <QCoro/QCoroTask>
#include <chrono>
#include <optional>

class QToolButton;

namespace tovra {

class AccountBox;
class AppMenus;
class MemberMenu;
class NavigationStack;
class RouteScreens;
class SearchField;
class SidebarRow;
class SuggestLayer;
class SuggestPanel;
class ToolbarButton;
class TopBar;

// The main window: the sidebar beside a navigation stack whose root is the selected section or
// the submitted search, under a top bar with the back control, the search field and the account
// items.
//
// It owns the navigation state (section, search texts, pushed routes) and the sidebar entries
// (cache first, then the server), and wires its parts together: each part keeps its own state,
// timers and loads, and asks for navigation through signals. The accessors below that read a
// part's state are for tests and the start-up code.
class ContentView : public QMainWindow
{
    Q_OBJECT
public:
    static constexpr int kSidebarWidth = Sidebar::kWidth;
    static constexpr int kDefaultWidth = 1560;
    static constexpr int kDefaultHeight = 960;
    static constexpr int kMinimumWidth = 1340;
    static constexpr int kMinimumHeight = 720;
    // Seven days: the sidebar list is fine to show stale while the server answers.
    static constexpr double kNavMaxAge = 604800;
    static inline const QString kNavCacheKey = QStringLiteral("nav");

    explicit ContentView(QWidget *parent = nullptr);
    ~ContentView() override;

    // ---- State ------------------------------------------------------------------------------
    const SidebarSection &section() const { return m_section; }
    const QList<NavItem> &nav() const { return m_nav; }
    const QString &searchText() const { return m_searchText; }
    const QString &submittedSearch() const { return m_submittedSearch; }
    const QList<Route> &path() const { return m_stack->path(); }
    std::optional<bool> signedState() const { return m_signButton->signedState(); }
    bool signedToday() const { return m_signButton->signedToday(); }
    const std::optional<QString> &signLabel() const { return m_signButton->signLabel(); }
    bool showsMemberMenu() const { return m_memberMenu->shows(); }
    const QList<SuggestItem> &suggestions() const { return m_search->suggestions(); }
    bool showsSuggest() const { return m_search->shows(); }
    int activeSuggest() const { return m_search->active(); }
    qint64 signDays() const { return m_signButton->signDays(); }
    QDateTime signDay() const { return m_signButton->signDay(); }

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
    // 登录 and 签到领BT币 signed out: back to the log-in page already open, else a new one.
    void showLogin();
    void popToRoot();
    // The search field's text. Every change, typed or not, restarts the suggestion lookup.
    void setSearchText(const QString &text);
    // Makes the trimmed search text the root's query (empty gives the section back) and pops to
    // the root. The suggestion panel hides; a lookup under way is left to finish, and shows the
    // panel again if its text is still the field's.
    void submitSearch();

    // ---- Toolbar ----------------------------------------------------------------------------
    void loadSuggestions(const QString &text) { m_search->load(text); }
    void moveSuggest(int step) { m_search->move(step); }
    // Hides the panel, empties the field and pushes the title's page.
    void openSuggestion(const SuggestItem &item);
    // The field's Return: opens the highlighted row while the panel is up, else submits.
    void returnInSearchField();
    void dismissSuggestions() { m_search->dismiss(); }
    // The field's clear button: both texts emptied, the section's screen back at the root.
    void clearSearchField();
    void doSign() { m_signButton->doSign(); }
    void hoverMemberMenu(bool inside) { m_memberMenu->hover(inside); }
    void setShowsMemberMenu(bool shows) { m_memberMenu->setShows(shows); }
    // Tests shorten the time a sign-in result stays on the button.
    void setSignResultShownFor(std::chrono::milliseconds duration) { m_signButton->setSignResultShownFor(duration); }

    // ---- Loads ------------------------------------------------------------------------------
    // The sidebar entries: the cached list while the list is empty, then the server's answer,
    // which replaces the list (and the cache entry) unless it is empty or failed.
    QCoro::Task<void> loadNav();
    QCoro::Task<void> loadSignStatus() { return m_signButton->loadSignStatus(); }
    void checkDay() { m_signButton->checkDay(); }

    // ---- Parts ------------------------------------------------------------------------------
    NavigationStack *navigationStack() const { return m_stack; }
    QToolButton *backButton() const { return m_topBar->backButton(); }
    // The top bar's centre place, for the search field.
    QWidget *toolbarSearchSlot() const { return m_topBar->searchSlot(); }
    // The top bar's trailing place, for the theme button, the daily sign-in and the account box.
    QWidget *toolbarActionsSlot() const { return m_topBar->actionsSlot(); }
    AppMenus *menus() const { return m_panels->menus(); }
    SearchField *searchField() const { return m_search->field(); }
    ToolbarButton *themeButton() const { return m_themeButton; }
    ToolbarButton *signButton() const { return m_signButton; }
    ToolbarButton *userCenterButton() const { return m_userCenterButton; }
    AccountBox *accountBox() const { return m_accountBox; }
    MemberMenu *memberMenu() const { return m_memberMenu->menu(); }
    SuggestLayer *suggestLayer() const { return m_search->layer(); }
    SuggestPanel *suggestPanel() const { return m_search->panel(); }
    // The fixed "首页" row first, then one row per entry of nav().
    QList<SidebarRow *> sidebarRows() const { return m_sidebar->rows(); }
    QTimer *dayWatch() { return m_signButton->dayWatch(); }

    void showAbout() { m_panels->showAbout(); }
    void showPreferences() { m_panels->showPreferences(); }
    void checkForUpdates() { m_panels->checkForUpdates(); }

signals:
    void sectionChanged();
    void navChanged();
    void searchChanged();
    void pathChanged();
    void signStatusChanged();
    void signLabelChanged();
    void suggestionsChanged();
    void memberMenuChanged();
    // The window's content is on screen for the first time: the start-up work hooks here.
    void contentShown();
    // The user closed the window.
    void closing();

public:
    // From now on closing this window ends the client, whatever else is up. Left to Qt, the quit
    // waits for the last visible top-level window and is called off when any window shows before
    // the posted quit is handled (a menu, a tool tip, the player's windows), so a close could
    // leave the process running with the video playing on. exit() ends the main loop and every
    // nested one; the players' final reports go out from aboutToQuit after it.
    void endClientOnClose();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void buildToolbar();
    void updateAccountItems();
    void orderTabStops();
    void setSection(const SidebarSection &section);
    void setNav(QList<NavItem> nav);
    void clearSearch();
    void updateRoot();
    void applyColors(bool dark);

    SidebarSection m_section;
    QList<NavItem> m_nav;
    QString m_searchText;
    QString m_submittedSearch;
    bool m_contentShown = false;
    LoadGeneration m_navLoads;
    // The newest load of the sidebar has not answered yet: home, loaded first at a cold start,
    // must not ask for the list a second time.
    bool m_navBusy = false;

    Sidebar *m_sidebar = nullptr;
    QWidget *m_divider = nullptr;
    QWidget *m_content = nullptr;
    TopBar *m_topBar = nullptr;
    QWidget *m_topBarLine = nullptr;
    SearchBox *m_search = nullptr;
    ToolbarButton *m_themeButton = nullptr;
    DailySignButton *m_signButton = nullptr;
    ToolbarButton *m_userCenterButton = nullptr;
    AccountBox *m_accountBox = nullptr;
    MemberMenuControl *m_memberMenu = nullptr;
    NavigationStack *m_stack = nullptr;
    RouteScreens *m_screens = nullptr;
    AppPanels *m_panels = nullptr;
};

}
