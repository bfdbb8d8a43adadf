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
class QKeyEvent;
class QScrollArea;
class QToolButton;
class QVBoxLayout;

namespace tovra {

class AccountBox;
class AppMenus;
class MemberMenu;
class NavigationStack;
class SearchField;
class SidebarRow;
class SuggestLayer;
class SuggestPanel;
class ToolbarButton;

// The main window: the sidebar (brand header, the fixed "首页" row and one row per server entry)
// beside a navigation stack whose root is the selected section or the submitted search, with a
// top bar holding the back control and the places for the search field and the account items.
//
// It owns the navigation state (section, search texts, pushed routes), loads the sidebar entries
// (cache first, then the server) and keeps the daily sign-in status, re-armed after midnight.
//
// The toolbar is its own too: the search field with its live suggestions, the appearance button,
// the daily sign-in button, the account box with its hover menu and the "会员中心" button. Their
// state lives here because several of them act on the navigation (a chosen suggestion or the
// account box pushes a route, a submitted search replaces the root).
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
    // Only the last keystroke within this pause asks the search service.
    static constexpr std::chrono::milliseconds kSuggestDebounce{150};
    // Long enough to cross the gap between the account chip and its menu.
    static constexpr std::chrono::milliseconds kMemberMenuCloseDelay{350};
    static constexpr std::chrono::milliseconds kSignResultShownFor{2000};

    explicit ContentView(QWidget *parent = nullptr);
    ~ContentView() override;

    // ---- State ------------------------------------------------------------------------------
    const SidebarSection &section() const { return m_section; }
    const QList<NavItem> &nav() const { return m_nav; }
    const QString &searchText() const { return m_searchText; }
    const QString &submittedSearch() const { return m_submittedSearch; }
    const QList<Route> &path() const;
    // none: signed out, not loaded yet, or re-armed after midnight; false: not signed today.
    std::optional<bool> signedState() const { return m_signed; }
    // A positive status loaded today: the sign-in button's done state.
    bool signedToday() const;
    // The sign-in button's transient text while a sign-in runs and just after it.
    const std::optional<QString> &signLabel() const { return m_signLabel; }
    bool showsMemberMenu() const { return m_showsMemberMenu; }
    const QList<SuggestItem> &suggestions() const { return m_suggestions; }
    // The panel is wanted; it is on screen only while there are suggestions too.
    bool showsSuggest() const { return m_showsSuggest; }
    // The keyboard-highlighted row, -1 for none.
    int activeSuggest() const { return m_activeSuggest; }
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
    // The search field's text. Every change, typed or not, restarts the suggestion lookup.
    void setSearchText(const QString &text);
    // Makes the trimmed search text the root's query (empty gives the section back) and pops to
    // the root. The suggestion panel hides; a lookup under way is left to finish, and shows the
    // panel again if its text is still the field's.
    void submitSearch();

    // ---- Toolbar ----------------------------------------------------------------------------
    // Cancels the pending lookup and, for a non-blank text, starts a new one after the debounce.
    // A blank text empties and hides the panel at once and asks nothing.
    void loadSuggestions(const QString &text);
    // Moves the keyboard highlight, wrapping at both ends; nothing without suggestions.
    void moveSuggest(int step);
    // Hides the panel, empties the field and pushes the title's page.
    void openSuggestion(const SuggestItem &item);
    // The field's Return: opens the highlighted row while the panel is up, else submits.
    void returnInSearchField();
    // Escape in the field or a click beside the panel.
    void dismissSuggestions();
    // The field's clear button: both texts emptied, the section's screen back at the root.
    void clearSearchField();
    // The daily sign-in. Signed out it opens the log-in page instead. While a sign-in runs (or
    // its result is showing) another call does nothing.
    void doSign();
    // The pointer entered (true) or left (false) the account chip or its menu.
    void hoverMemberMenu(bool inside);
    void setShowsMemberMenu(bool shows);
    // Tests shorten the time a sign-in result stays on the button.
    void setSignResultShownFor(std::chrono::milliseconds duration) { m_signResultShownFor = duration; }

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
    SearchField *searchField() const { return m_searchField; }
    ToolbarButton *themeButton() const { return m_themeButton; }
    ToolbarButton *signButton() const { return m_signButton; }
    ToolbarButton *userCenterButton() const { return m_userCenterButton; }
    AccountBox *accountBox() const { return m_accountBox; }
    MemberMenu *memberMenu() const { return m_memberMenu; }
    SuggestLayer *suggestLayer() const { return m_suggestLayer; }
    SuggestPanel *suggestPanel() const;
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
    void signLabelChanged();
    void suggestionsChanged();
    void memberMenuChanged();
    // The window's content is on screen for the first time: the start-up work hooks here.
    void contentShown();
    // The user closed the window.
    void closing();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    enum class RootKind { None, Search, Home, Ranking, Top250, Community, Category };

    QWidget *buildSidebar();
    QWidget *buildTopBar();
    void buildToolbar();
    void balanceTopBar();
    void updateThemeButton();
    void updateSignButton();
    void updateAccountItems();
    void setSignLabel(std::optional<QString> label);
    QCoro::Task<void> runSign();
    QCoro::Task<void> fetchSuggestions(QString query);
    void publishSuggestions(QList<SuggestItem> hits);
    void updateSuggestLayer(bool rowsChanged);
    void placeSuggestLayer();
    void placeMemberMenu();
    void rebuildSidebarRows();
    void orderTabStops();
    // The member menu from the keyboard, while the account chip has the focus.
    bool memberMenuKey(QKeyEvent *key);
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
    std::optional<QString> m_signLabel;
    std::chrono::milliseconds m_signResultShownFor = kSignResultShownFor;
    bool m_showsMemberMenu = false;
    QTimer m_memberMenuClose;
    QList<SuggestItem> m_suggestions;
    bool m_showsSuggest = false;
    int m_activeSuggest = -1;
    QString m_pendingQuery;
    QTimer m_suggestDebounce;
    LoadGeneration m_suggestLoads;

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
    SearchField *m_searchField = nullptr;
    ToolbarButton *m_themeButton = nullptr;
    ToolbarButton *m_signButton = nullptr;
    ToolbarButton *m_userCenterButton = nullptr;
    AccountBox *m_accountBox = nullptr;
    MemberMenu *m_memberMenu = nullptr;
    SuggestLayer *m_suggestLayer = nullptr;
    NavigationStack *m_stack = nullptr;
    AppMenus *m_menus = nullptr;
    QPointer<QDialog> m_preferences;
    QPointer<QDialog> m_updatePanel;
};

}
