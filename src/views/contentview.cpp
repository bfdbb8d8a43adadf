#include "views/contentview.h"

#include "models/dailysign.h"
#include "models/suggestion.h"
#include "models/windowgeometry.h"
#include "network/apiclient.h"
#include "store/authstore.h"
#include "store/clock.h"
#include "network/diskcache.h"
#include "store/themestore.h"
#include "store/installlocation.h"
#include "store/updateservice.h"
#include "views/updateview.h"
#include "views/aboutdialog.h"
#include "views/appmenus.h"
#include "views/catalogue/browseview.h"
#include "views/catalogue/filterresultview.h"
#include "views/catalogue/homeview.h"
#include "views/catalogue/rankingview.h"
#include "views/catalogue/top250view.h"
#include "views/community/communityview.h"
#include "views/detail/detailview.h"
#include "views/firstlaunchhelp.h"
#include "views/download/downloadview.h"
#include "views/catalogue/searchview.h"
#include "views/components/access.h"
#include "views/components/appearance.h"
#include "views/components/brandheader.h"
#include "views/components/pointinghand.h"
#include "views/components/sidebarrow.h"
#include "views/icons.h"
#include "views/navigationstack.h"
#include "views/palette.h"
#include "views/preferencesview.h"
#include "views/login/loginview.h"
#include "views/player/playerview.h"
#include "views/usercenter/usercenterview.h"
#include "views/webpageview.h"
#include "views/toolbar/accountbox.h"
#include "views/toolbar/accountchipbutton.h"
#include "views/toolbar/membermenu.h"
#include "views/toolbar/membermenubutton.h"
#include "views/toolbar/searchfield.h"
#include "views/toolbar/suggestlayer.h"
#include "views/toolbar/suggestpanel.h"
#include "views/toolbar/toolbarbutton.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoro/QCoroTimer>
#include <QDialog>
#include <QFocusEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QShowEvent>
#include <QToolButton>
#include <QVBoxLayout>

namespace tovra {

namespace {

void fillBackground(QWidget *widget, const QColor &color)
{
    QPalette p = widget->palette();
    p.setColor(QPalette::Window, color);
    widget->setPalette(p);
    widget->setAutoFillBackground(true);
}

}

ContentView::ContentView(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral("TovraClient"));
    // Sized to the screen it opens on: on a scaled screen the preferred size may not fit.
    const auto opening = WindowGeometry::opening({kDefaultWidth, kDefaultHeight}, {kMinimumWidth, kMinimumHeight},
                                                 screen()->availableGeometry(), WindowGeometry::kTitleBarAllowance);
    setMinimumSize(opening.minimum);
    setGeometry(opening.geometry);
    Access::install();

    auto *central = new QWidget(this);
    auto *row = new QHBoxLayout(central);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(buildSidebar());
    m_divider = new QWidget(central);
    m_divider->setFixedWidth(1);
    row->addWidget(m_divider);

    m_content = new QWidget(central);
    m_content->setObjectName(QStringLiteral("content"));
    auto *column = new QVBoxLayout(m_content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_stack = new NavigationStack(m_content);
    column->addWidget(buildTopBar());
    m_topBarLine = new QWidget(m_content);
    m_topBarLine->setFixedHeight(1);
    column->addWidget(m_topBarLine);
    column->addWidget(m_stack, 1);
    row->addWidget(m_content, 1);
    setCentralWidget(central);

    connect(m_stack, &NavigationStack::pathChanged, this, [this] {
        m_backButton->setVisible(m_stack->depth() > 0);
        emit pathChanged();
    });

    m_menus = new AppMenus(this, AppMenus::Handlers{
                                     .about = [this] { showAbout(); },
                                     .checkForUpdates = [this] { checkForUpdates(); },
                                     .gatekeeperHelp = [this] { FirstLaunchHelp::show(this); },
                                     .preferences = [this] { showPreferences(); },
                                     .quit =
                                         [] {
                                             QApplication::closeAllWindows();
                                             QCoreApplication::quit();
                                         },
                                 });

    connect(UpdateService::shared(), &UpdateService::showsPanelChanged, this, &ContentView::showUpdatePanel);

    buildToolbar();

    // A coarse timer is enough: the sign-in button only has to come back within a minute of
    // midnight, and ticks are cheap when nothing changed.
    m_dayWatch.setInterval(kDayWatchInterval);
    m_dayWatch.setTimerType(Qt::CoarseTimer);
    connect(&m_dayWatch, &QTimer::timeout, this, &ContentView::checkDay);
    m_dayWatch.start();

    watchSignInState();
    rebuildSidebarRows();
    updateRoot();
    applyColors(ThemeStore::shared()->isDark());
    followAppearance(this, [this](bool dark) { applyColors(dark); });
}

ContentView::~ContentView()
{
    // The toolbar's widgets outlive this part of the object (QWidget deletes its children later)
    // and may still report hover or focus changes while they go; none of that may reach a window
    // that is half destroyed.
    qApp->removeEventFilter(this);
    m_accountBox->chip()->removeEventFilter(this);
    m_memberMenuClose.stop();
    m_suggestDebounce.stop();
    for (QObject *part : std::initializer_list<QObject *>{m_accountBox, m_accountBox->chip(), m_memberMenu, m_searchField,
                                                          m_suggestLayer, m_suggestLayer->panel(), m_signButton,
                                                          m_themeButton, m_userCenterButton})
        part->disconnect(this);
}

const QList<Route> &ContentView::path() const
{
    return m_stack->path();
}

// ---- Layout ---------------------------------------------------------------------------------

QWidget *ContentView::buildSidebar()
{
    m_sidebar = new QWidget(this);
    m_sidebar->setObjectName(QStringLiteral("sidebar"));
    m_sidebar->setFixedWidth(kSidebarWidth);
    auto *column = new QVBoxLayout(m_sidebar);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(new BrandHeader(brandGreen(), m_sidebar));

    m_sidebarScroll = new QScrollArea(m_sidebar);
    Access::passThrough(m_sidebarScroll);
    m_sidebarScroll->setObjectName(QStringLiteral("sidebarScroll"));
    m_sidebarScroll->setFrameShape(QFrame::NoFrame);
    m_sidebarScroll->setWidgetResizable(true);
    m_sidebarScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_sidebarScroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_sidebarScroll->viewport()->setAutoFillBackground(false);

    auto *rows = new QWidget(m_sidebarScroll);
    rows->setAutoFillBackground(false);
    m_rowsLayout = new QVBoxLayout(rows);
    m_rowsLayout->setContentsMargins(0, 18, 0, 10);
    m_rowsLayout->setSpacing(2);
    m_rowsLayout->addStretch(1);
    m_sidebarScroll->setWidget(rows);
    column->addWidget(m_sidebarScroll, 1);

    m_homeRow = new SidebarRow(QStringLiteral("首页"), QStringLiteral("house"), true, 0, rows);
    m_homeRow->setObjectName(QStringLiteral("homeRow"));
    connect(m_homeRow, &SidebarRow::clicked, this, [this] { selectSection(SidebarSection::home()); });
    m_rowsLayout->insertWidget(0, m_homeRow);
    return m_sidebar;
}

QWidget *ContentView::buildTopBar()
{
    m_topBar = new QWidget(m_content);
    m_topBar->setObjectName(QStringLiteral("topBar"));
    m_topBar->setFixedHeight(52);
    auto *grid = new QGridLayout(m_topBar);
    grid->setContentsMargins(12, 8, 16, 8);
    grid->setHorizontalSpacing(12);

    // Leading: the stack's back control, shown while something is pushed.
    m_backButton = new QToolButton(m_topBar);
    m_backButton->setObjectName(QStringLiteral("backButton"));
    m_backButton->setDefaultAction(m_stack->backAction());
    m_backButton->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_backButton->setAutoRaise(true);
    m_backButton->setIconSize(QSize(18, 18));
    m_backButton->setFixedSize(32, 32);
    m_backButton->setVisible(false);
    setPointingHand(m_backButton);

    // Centre and trailing places: the search field and the account items go in here. Equal
    // stretch on both sides keeps the centre place in the middle of the bar.
    m_searchSlot = new QWidget(m_topBar);
    m_searchSlot->setObjectName(QStringLiteral("toolbarSearchSlot"));
    auto *searchLayout = new QHBoxLayout(m_searchSlot);
    searchLayout->setContentsMargins(0, 0, 0, 0);
    searchLayout->setSpacing(8);
    m_actionsSlot = new QWidget(m_topBar);
    m_actionsSlot->setObjectName(QStringLiteral("toolbarActionsSlot"));
    auto *actionsLayout = new QHBoxLayout(m_actionsSlot);
    actionsLayout->setContentsMargins(0, 0, 0, 0);
    actionsLayout->setSpacing(8);

    grid->addWidget(m_backButton, 0, 0, Qt::AlignLeft | Qt::AlignVCenter);
    grid->addWidget(m_searchSlot, 0, 1, Qt::AlignCenter);
    grid->addWidget(m_actionsSlot, 0, 2, Qt::AlignRight | Qt::AlignVCenter);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(2, 1);
    return m_topBar;
}

void ContentView::applyColors(bool dark)
{
    fillBackground(m_sidebar, Palette::surface(dark));
    fillBackground(m_divider, Palette::border(dark));
    fillBackground(m_content, Palette::windowBackground(dark));
    fillBackground(m_topBar, Palette::windowBackground(dark));
    fillBackground(m_topBarLine, Palette::border(dark));
    m_stack->backAction()->setIcon(Icons::icon(QStringLiteral("chevron.left"), Palette::text(dark)));
}

QList<SidebarRow *> ContentView::sidebarRows() const
{
    QList<SidebarRow *> rows{m_homeRow};
    rows.append(m_navRows);
    return rows;
}

void ContentView::rebuildSidebarRows()
{
    for (SidebarRow *row : std::as_const(m_navRows)) {
        m_rowsLayout->removeWidget(row);
        row->hide();
        row->deleteLater();
    }
    m_navRows.clear();

    QWidget *container = m_sidebarScroll->widget();
    int at = 1; // after the fixed "首页" row
    for (const NavItem &item : std::as_const(m_nav)) {
        auto *row = new SidebarRow(item.name, item.icon, false, item.newCount, container);
        // The row keeps its own copy: the list may be replaced while a click is being handled.
        connect(row, &SidebarRow::clicked, this, [this, item] {
            if (item.external)
                open(item);
            else
                selectSection(SidebarSection::category(item));
        });
        m_rowsLayout->insertWidget(at++, row);
        m_navRows.append(row);
    }
    refreshRowStates();
    orderTabStops();
}

void ContentView::orderTabStops()
{
    // Widgets join the focus chain in the order they are made, and the rows are made again with
    // every new list: Tab goes through the sidebar, then the bar, then the page. The "首页" row
    // is made before the bar and every page, so the chain hangs from it.
    QList<QWidget *> order;
    for (SidebarRow *row : sidebarRows())
        order << row;
    order << m_backButton << m_searchField->lineEdit() << m_searchField->clearButton()
          << m_searchField->searchButton() << m_themeButton << m_signButton << m_accountBox->loginButton()
          << m_accountBox->chip() << m_userCenterButton;
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order.at(i - 1), order.at(i));
}

void ContentView::refreshRowStates()
{
    m_homeRow->setActive(m_section == SidebarSection::home());
    for (qsizetype i = 0; i < m_navRows.size() && i < m_nav.size(); ++i) {
        const NavItem &item = m_nav.at(i);
        m_navRows.at(i)->setActive(item.external ? navigation::isActive(item, m_section)
                                                 : m_section == SidebarSection::category(item));
    }
}

// ---- Navigation -----------------------------------------------------------------------------

void ContentView::setSection(const SidebarSection &section)
{
    if (section == m_section)
        return;
    m_section = section;
    refreshRowStates();
    emit sectionChanged();
}

void ContentView::clearSearch()
{
    setSearchText(QString());
    if (!m_submittedSearch.isEmpty()) {
        m_submittedSearch.clear();
        emit searchChanged();
    }
}

void ContentView::selectSection(const SidebarSection &section)
{
    setSection(section);
    clearSearch();
    m_stack->popToRoot();
    updateRoot();
}

void ContentView::open(const NavItem &item)
{
    const NavOutcome outcome = navigation::open(item);
    if (const auto *select = std::get_if<NavOutcome::Select>(&outcome.value))
        selectSection(select->section);
    else if (const auto *push = std::get_if<NavOutcome::Push>(&outcome.value))
        this->push(push->route);
}

void ContentView::openCategory(const QString &name)
{
    setSection(navigation::openCategory(name, m_nav));
    m_stack->popToRoot();
    updateRoot();
}

void ContentView::push(const Route &route)
{
    m_stack->push(route, destination(route));
}

void ContentView::popToRoot()
{
    m_stack->popToRoot();
}

void ContentView::setSearchText(const QString &text)
{
    if (text == m_searchText)
        return;
    m_searchText = text;
    m_searchField->setText(text);
    emit searchChanged();
    loadSuggestions(text);
}

void ContentView::submitSearch()
{
    if (m_showsSuggest) {
        m_showsSuggest = false;
        updateSuggestLayer(false);
        emit suggestionsChanged();
    }
    const QString query = suggestion::trimmedQuery(m_searchText);
    if (query != m_submittedSearch) {
        m_submittedSearch = query;
        emit searchChanged();
    }
    m_stack->popToRoot();
    updateRoot();
}

void ContentView::updateRoot()
{
    if (!m_submittedSearch.isEmpty()) {
        if (m_rootKind == RootKind::Search && m_rootQuery == m_submittedSearch)
            return;
        m_rootQuery = m_submittedSearch;
        // A new query keeps the results screen in place; it starts again from page 1.
        if (m_rootKind == RootKind::Search) {
            if (auto *results = qobject_cast<SearchView *>(m_stack->root())) {
                results->setQuery(m_submittedSearch);
                return;
            }
        }
        m_rootKind = RootKind::Search;
        auto *results = new SearchView(m_submittedSearch);
        connect(results, &SearchView::selected, this, [this](const QString &did) { push(Route::detail(did)); });
        m_stack->setRoot(results);
        return;
    }
    m_rootQuery.clear();

    if (const NavItem *item = m_section.categoryItem()) {
        // Moving from one category to another keeps the same browser: it only learns its new
        // category, and keeps the rest of its state.
        if (m_rootKind == RootKind::Category) {
            if (auto *page = qobject_cast<BrowseView *>(m_stack->root())) {
                page->setCategory(*item);
                return;
            }
        }
        m_rootKind = RootKind::Category;
        auto *browse = new BrowseView(*item);
        connect(browse, &BrowseView::selected, this, [this](const QString &did) { push(Route::detail(did)); });
        m_stack->setRoot(browse);
        return;
    }

    RootKind kind = RootKind::Home;
    if (m_section.is<SidebarSection::Ranking>())
        kind = RootKind::Ranking;
    else if (m_section.is<SidebarSection::Top250>())
        kind = RootKind::Top250;
    else if (m_section.is<SidebarSection::Community>())
        kind = RootKind::Community;
    if (kind == m_rootKind)
        return;
    m_rootKind = kind;

    const auto openTitle = [this](const QString &did) { push(Route::detail(did)); };
    switch (kind) {
    case RootKind::Ranking: {
        auto *page = new RankingView;
        connect(page, &RankingView::selected, this, openTitle);
        m_stack->setRoot(page);
        break;
    }
    case RootKind::Top250: {
        auto *page = new Top250View;
        connect(page, &Top250View::selected, this, openTitle);
        m_stack->setRoot(page);
        break;
    }
    case RootKind::Community:
        m_stack->setRoot(new CommunityView);
        break;
    default: {
        auto *page = new HomeView;
        connect(page, &HomeView::selected, this, openTitle);
        connect(page, &HomeView::moreRequested, this, &ContentView::openCategory);
        m_stack->setRoot(page);
        break;
    }
    }
}

QWidget *ContentView::destination(const Route &route)
{
    const auto openTitle = [this](const QString &did) { push(Route::detail(did)); };
    // Every case names its screen; a new case fails to compile here until it has one.
    return std::visit(
        [&](const auto &value) -> QWidget * {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, Route::Detail>) {
                auto *page = new DetailView(value.did);
                connect(page, &DetailView::playRequested, this, [this](const PlayEntry &entry, const QString &title) {
                    push(Route::play(entry, title, 0));
                });
                connect(page, &DetailView::downloadRequested, this, [this](const QString &did, const Torrent &torrent) {
                    push(Route::download(did, torrent));
                });
                connect(page, &DetailView::selected, this, openTitle);
                connect(page, &DetailView::filterRequested, this, [this](const QString &title, const Params &params) {
                    push(Route::filterResult(title, params));
                });
                connect(page, &DetailView::vipRequested, this, [this] { push(Route::userCenterVip()); });
                return page;
            } else if constexpr (std::is_same_v<T, Route::Play>) {
                return new PlayerView(value.entry, value.title, value.startAt);
            } else if constexpr (std::is_same_v<T, Route::Login>) {
                auto *page = new LoginView;
                // Only the log-in page itself is taken off; if the user has gone on from it
                // meanwhile, what they went on to stays.
                connect(page, &LoginView::dismissRequested, this, [this, page] {
                    if (m_stack->currentPage() == page)
                        m_stack->pop();
                });
                return page;
            } else if constexpr (std::is_same_v<T, Route::UserCenter> || std::is_same_v<T, Route::UserCenterVip>) {
                auto *page = new UserCenterView(std::is_same_v<T, Route::UserCenterVip> ? UserCenterTab::vip
                                                                                         : UserCenterTab::gold);
                connect(page, &UserCenterView::playRequested, this,
                        [this](const PlayEntry &entry, const QString &title, int at) { push(Route::play(entry, title, at)); });
                connect(page, &UserCenterView::selected, this, openTitle);
                return page;
            } else if constexpr (std::is_same_v<T, Route::Download>) {
                return new DownloadView(value.did, value.torrent);
            } else if constexpr (std::is_same_v<T, Route::Web>) {
                return new WebPageView(value.url, value.title);
            } else {
                static_assert(std::is_same_v<T, Route::FilterResult>);
                auto *page = new FilterResultView(value.title, value.params);
                connect(page, &FilterResultView::selected, this, openTitle);
                return page;
            }
        },
        route.value());
}

// ---- Sidebar entries ------------------------------------------------------------------------

void ContentView::setNav(QList<NavItem> nav)
{
    m_nav = std::move(nav);
    // Same identity, new count: keep the selection on the refreshed entry so its row stays lit
    // and its page stays as it is.
    const SidebarSection repointed = navigation::repoint(m_section, m_nav);
    if (repointed != m_section) {
        m_section = repointed;
        emit sectionChanged();
        updateRoot();
    }
    rebuildSidebarRows();
    emit navChanged();
}

QCoro::Task<void> ContentView::loadNav()
{
    const auto ticket = m_navLoads.begin();
    if (m_nav.isEmpty()) {
        auto cached = DiskCache::shared()->load<QList<NavItem>>(kNavCacheKey, kNavMaxAge);
        if (cached)
            setNav(std::move(*cached));
    }

    QPointer self = this;
    auto reply = co_await APIClient::shared()->nav();
    if (!self || !m_navLoads.isCurrent(ticket))
        co_return;
    // The sidebar is an extra: a failure shows nothing and keeps what is there.
    if (!reply || reply->isEmpty())
        co_return;
    setNav(*reply);
    DiskCache::shared()->save(m_nav, kNavCacheKey);
}

// ---- Daily sign-in status -------------------------------------------------------------------

void ContentView::watchSignInState()
{
    AuthStore *auth = AuthStore::shared();
    m_hadToken = auth->tokenValue().has_value();
    connect(auth, &AuthStore::tokenChanged, this, [this] {
        const bool hasToken = AuthStore::shared()->tokenValue().has_value();
        if (hasToken == m_hadToken)
            return;
        m_hadToken = hasToken;
        // Signing in or out restarts the load; an older run in flight then writes nothing.
        QCoro::connect(loadSignStatus(), this, [] {});
    });
}

QCoro::Task<void> ContentView::loadSignStatus()
{
    const auto ticket = m_signLoads.begin();
    if (!AuthStore::shared()->tokenValue()) {
        m_signed.reset();
        m_signDays = 0;
        emit signStatusChanged();
        co_return;
    }
    QPointer self = this;
    auto status = co_await APIClient::shared()->signStatus();
    if (!self || !m_signLoads.isCurrent(ticket))
        co_return;
    // An extra like the sidebar: a failure changes nothing and shows nothing.
    if (!status)
        co_return;
    m_signed = status->signed_;
    m_signDays = status->days;
    m_signDay = Clock::now();
    emit signStatusChanged();
}

void ContentView::checkDay()
{
    if (!m_signDay.isValid())
        return;
    if (m_signDay.toLocalTime().date() == Clock::today())
        return;
    m_signed.reset();
    m_signDay = QDateTime();
    emit signStatusChanged();
    QCoro::connect(loadSignStatus(), this, [] {});
}

// ---- Toolbar --------------------------------------------------------------------------------

void ContentView::buildToolbar()
{
    m_searchField = new SearchField(m_searchSlot);
    m_searchSlot->layout()->addWidget(m_searchField);
    connect(m_searchField, &SearchField::textEdited, this, &ContentView::setSearchText);
    connect(m_searchField, &SearchField::returnPressed, this, &ContentView::returnInSearchField);
    connect(m_searchField, &SearchField::moveRequested, this, &ContentView::moveSuggest);
    connect(m_searchField, &SearchField::escapePressed, this, &ContentView::dismissSuggestions);
    connect(m_searchField, &SearchField::clearClicked, this, &ContentView::clearSearchField);
    connect(m_searchField, &SearchField::searchClicked, this, &ContentView::submitSearch);

    m_themeButton = new ToolbarButton(ToolbarButton::Style::Bordered, m_actionsSlot);
    m_themeButton->setObjectName(QStringLiteral("themeButton"));
    m_themeButton->setToolTip(QStringLiteral("切换主题：跟随系统/浅色/深色"));
    connect(m_themeButton, &ToolbarButton::clicked, this, [] { ThemeStore::shared()->toggle(); });
    connect(ThemeStore::shared(), &ThemeStore::modeChanged, this, &ContentView::updateThemeButton);

    auto *group = new QWidget(m_actionsSlot);
    group->setObjectName(QStringLiteral("accountGroup"));
    group->setFixedHeight(28);
    auto *row = new QHBoxLayout(group);
    row->setContentsMargins(10, 0, 10, 0);
    row->setSpacing(14);
    m_signButton = new ToolbarButton(ToolbarButton::Style::Plain, group);
    m_signButton->setObjectName(QStringLiteral("signButton"));
    m_signButton->setSymbolSize(11);
    m_signButton->setTextSize(12);
    connect(m_signButton, &ToolbarButton::clicked, this, &ContentView::doSign);
    m_accountBox = new AccountBox(group);
    connect(m_accountBox, &AccountBox::loginClicked, this, [this] { push(Route::login()); });
    connect(m_accountBox, &AccountBox::chipClicked, this, [this] { push(Route::userCenter()); });
    connect(m_accountBox, &AccountBox::chipHoverChanged, this, &ContentView::hoverMemberMenu);
    m_userCenterButton = new ToolbarButton(ToolbarButton::Style::Plain, group);
    m_userCenterButton->setObjectName(QStringLiteral("userCenterButton"));
    m_userCenterButton->setText(QStringLiteral("会员中心"));
    m_userCenterButton->setTextSize(12);
    m_userCenterButton->setColorRole(Palette::Name::TextDim);
    connect(m_userCenterButton, &ToolbarButton::clicked, this, [this] { push(Route::userCenter()); });
    row->addWidget(m_signButton, 0, Qt::AlignVCenter);
    // The account box gives up width first (the chip shortens the name) when the bar is short.
    row->addWidget(m_accountBox, 1, Qt::AlignVCenter);
    row->addWidget(m_userCenterButton, 0, Qt::AlignVCenter);

    m_actionsSlot->layout()->addWidget(m_themeButton);
    m_actionsSlot->layout()->addWidget(group);
    m_topBar->installEventFilter(this);
    m_actionsSlot->installEventFilter(this);
    m_searchSlot->installEventFilter(this);
    m_searchField->fieldGroup()->installEventFilter(this);
    m_accountBox->chip()->installEventFilter(this);

    m_memberMenu = new MemberMenu(this);
    m_memberMenu->hide();
    connect(m_memberMenu, &MemberMenu::hoverChanged, this, &ContentView::hoverMemberMenu);
    connect(m_memberMenu, &MemberMenu::refreshClicked, this, [this] {
        setShowsMemberMenu(false);
        QCoro::connect(AuthStore::shared()->refresh(), this, [] {});
    });
    connect(m_memberMenu, &MemberMenu::logoutClicked, this, [this] {
        setShowsMemberMenu(false);
        AuthStore::shared()->logout();
    });
    m_memberMenuClose.setSingleShot(true);
    m_memberMenuClose.setInterval(kMemberMenuCloseDelay);
    connect(&m_memberMenuClose, &QTimer::timeout, this, [this] { setShowsMemberMenu(false); });

    m_suggestLayer = new SuggestLayer(centralWidget());
    m_suggestLayer->hide();
    connect(m_suggestLayer, &SuggestLayer::dismissed, this, &ContentView::dismissSuggestions);
    connect(m_suggestLayer->panel(), &SuggestPanel::rowClicked, this, [this](int index) {
        if (index >= 0 && index < m_suggestions.size())
            openSuggestion(m_suggestions.at(index));
    });
    m_suggestDebounce.setSingleShot(true);
    m_suggestDebounce.setInterval(kSuggestDebounce);
    connect(&m_suggestDebounce, &QTimer::timeout, this, [this] {
        QCoro::connect(fetchSuggestions(m_pendingQuery), this, [] {});
    });

    AuthStore *auth = AuthStore::shared();
    connect(auth, &AuthStore::tokenChanged, this, &ContentView::updateAccountItems);
    connect(auth, &AuthStore::userChanged, this, &ContentView::updateAccountItems);
    connect(this, &ContentView::signStatusChanged, this, &ContentView::updateSignButton);
    connect(this, &ContentView::signLabelChanged, this, &ContentView::updateSignButton);
    followAppearance(m_signButton, [this](bool) { updateSignButton(); });
    updateThemeButton();
    updateAccountItems();
}

void ContentView::balanceTopBar()
{
    // Equal stretch alone would hand both sides the same width and squeeze the account items
    // when they need more than the back button's side. Both sides get the wider one's width, so
    // the field stays in the middle of the bar; when that does not fit, the account items keep
    // their width and the field moves over.
    auto *grid = static_cast<QGridLayout *>(m_topBar->layout());
    const int actions = m_actionsSlot->sizeHint().width();
    const int side = qMax(actions, m_backButton->sizeHint().width());
    const QMargins margins = grid->contentsMargins();
    const int room = m_topBar->width() - margins.left() - margins.right() - 2 * grid->horizontalSpacing();
    const bool centred = 2 * side + m_searchSlot->sizeHint().width() <= room;
    grid->setColumnMinimumWidth(0, centred ? side : 0);
    grid->setColumnMinimumWidth(2, centred ? side : actions);
}

SuggestPanel *ContentView::suggestPanel() const
{
    return m_suggestLayer->panel();
}

void ContentView::updateThemeButton()
{
    switch (ThemeStore::shared()->mode()) {
    case ThemeStore::Mode::Auto:
        m_themeButton->setText(QStringLiteral("跟随系统"));
        m_themeButton->setSymbol(QStringLiteral("desktopcomputer"));
        break;
    case ThemeStore::Mode::Light:
        m_themeButton->setText(QStringLiteral("浅色"));
        m_themeButton->setSymbol(QStringLiteral("sun.max"));
        break;
    case ThemeStore::Mode::Dark:
        m_themeButton->setText(QStringLiteral("深色"));
        m_themeButton->setSymbol(QStringLiteral("moon"));
        break;
    }
    m_themeButton->updateGeometry();
}

void ContentView::updateAccountItems()
{
    AuthStore *auth = AuthStore::shared();
    const bool signedIn = auth->tokenValue().has_value();
    m_accountBox->setSignedIn(signedIn);
    m_accountBox->setUser(auth->user());
    m_userCenterButton->setVisible(signedIn);
    if (!signedIn)
        setShowsMemberMenu(false);
    updateSignButton();
}

bool ContentView::signedToday() const
{
    return dailysign::isSignedToday(m_signed, m_signDay, Clock::today());
}

void ContentView::updateSignButton()
{
    const auto look = dailysign::buttonLook(AuthStore::shared()->tokenValue().has_value(), m_signLabel, signedToday(),
                                            m_signDays);
    m_signButton->setSymbol(look.symbol);
    m_signButton->setText(look.text);
    m_signButton->setColorRole(look.faint ? Palette::Name::TextFaint : Palette::Name::Warn);
    m_signButton->setEnabled(look.enabled);
    // Our own text, built from the streak count; no server text reaches it.
    m_signButton->setToolTip(look.help);
    m_signButton->updateGeometry();
}

void ContentView::setSignLabel(std::optional<QString> label)
{
    if (label == m_signLabel)
        return;
    m_signLabel = std::move(label);
    emit signLabelChanged();
}

void ContentView::doSign()
{
    if (!AuthStore::shared()->tokenValue()) {
        push(Route::login());
        return;
    }
    // Set before anything is sent: the button is disabled from this moment, and a click that
    // still gets through (or a second caller) finds the label and sends nothing.
    if (m_signLabel)
        return;
    setSignLabel(dailysign::kSigning);
    // Not tied to the window's lifetime beyond the checks inside: the sign-in itself must not be
    // dropped half way because a view went away.
    QCoro::connect(runSign(), this, [] {});
}

QCoro::Task<void> ContentView::runSign()
{
    QPointer self = this;
    const auto reply = co_await APIClient::shared()->sign();
    if (!self)
        co_return;
    if (!reply) {
        setSignLabel(dailysign::kFailed);
        co_await QCoro::sleepFor(m_signResultShownFor);
        if (self)
            setSignLabel(std::nullopt);
        co_return;
    }
    m_signed = true;
    m_signDay = Clock::now();
    setSignLabel(dailysign::resultLabel(reply->gold));
    emit signStatusChanged();
    // The chip's balance changed, and the streak shown in the button's help comes from the status.
    co_await AuthStore::shared()->refresh();
    if (!self)
        co_return;
    co_await loadSignStatus();
    if (!self)
        co_return;
    co_await QCoro::sleepFor(m_signResultShownFor);
    if (self)
        setSignLabel(std::nullopt);
}

void ContentView::hoverMemberMenu(bool inside)
{
    m_memberMenuClose.stop();
    if (inside) {
        setShowsMemberMenu(true);
        return;
    }
    m_memberMenuClose.start();
}

bool ContentView::memberMenuKey(QKeyEvent *key)
{
    if (key->modifiers() & ~Qt::KeypadModifier)
        return false;
    switch (key->key()) {
    case Qt::Key_Down:
    case Qt::Key_Up:
        setShowsMemberMenu(true);
        if (!m_showsMemberMenu)
            return false;
        m_memberMenuClose.stop();
        m_memberMenu->moveCurrent(key->key() == Qt::Key_Down ? 1 : -1);
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        if (!m_showsMemberMenu || !m_memberMenu->current())
            return false;
        m_memberMenu->current()->click();
        return true;
    default:
        return false;
    }
}

void ContentView::setShowsMemberMenu(bool shows)
{
    if (shows && !m_accountBox->isSignedIn())
        shows = false;
    if (shows == m_showsMemberMenu)
        return;
    m_showsMemberMenu = shows;
    if (shows) {
        placeMemberMenu();
        m_memberMenu->show();
        m_memberMenu->raise();
        // The menu grabs nothing, so a click elsewhere has to be noticed here to close it.
        qApp->installEventFilter(this);
    } else {
        m_memberMenuClose.stop();
        qApp->removeEventFilter(this);
        m_memberMenu->hide();
    }
    emit memberMenuChanged();
}

void ContentView::placeMemberMenu()
{
    if (m_showsMemberMenu || m_memberMenu->isVisible())
        m_memberMenu->placeUnder(m_accountBox->chip());
}

void ContentView::loadSuggestions(const QString &text)
{
    m_suggestDebounce.stop();
    // Whatever lookup is under way answers for an older text now.
    m_suggestLoads.invalidate();
    const QString query = suggestion::trimmedQuery(text);
    if (query.isEmpty()) {
        const bool changed = !m_suggestions.isEmpty() || m_showsSuggest || m_activeSuggest != -1;
        m_suggestions.clear();
        m_activeSuggest = -1;
        m_showsSuggest = false;
        if (changed) {
            updateSuggestLayer(true);
            emit suggestionsChanged();
        }
        return;
    }
    m_pendingQuery = query;
    m_suggestDebounce.start();
}

QCoro::Task<void> ContentView::fetchSuggestions(QString query)
{
    const auto ticket = m_suggestLoads.begin();
    QPointer self = this;
    auto reply = co_await APIClient::shared()->suggest(query);
    if (!self || !m_suggestLoads.isCurrent(ticket))
        co_return;
    // The text can have changed without a new lookup having started yet; only an answer for what
    // is in the field now may be shown.
    if (suggestion::trimmedQuery(m_searchText) != query)
        co_return;
    // Suggestions are an extra: a failure is simply no suggestions.
    publishSuggestions(reply ? std::move(*reply) : QList<SuggestItem>());
}

void ContentView::publishSuggestions(QList<SuggestItem> hits)
{
    m_suggestions = std::move(hits);
    m_activeSuggest = -1;
    m_showsSuggest = !m_suggestions.isEmpty();
    updateSuggestLayer(true);
    emit suggestionsChanged();
}

void ContentView::moveSuggest(int step)
{
    if (m_suggestions.isEmpty())
        return;
    m_activeSuggest = suggestion::movedSelection(m_activeSuggest, m_suggestions.size(), step);
    m_suggestLayer->panel()->setActive(m_activeSuggest);
    emit suggestionsChanged();
}

void ContentView::openSuggestion(const SuggestItem &item)
{
    // A copy: emptying the field below replaces the list the item may live in.
    const QString did = item.did;
    m_showsSuggest = false;
    m_activeSuggest = -1;
    updateSuggestLayer(false);
    setSearchText(QString());
    emit suggestionsChanged();
    push(Route::detail(did));
}

void ContentView::returnInSearchField()
{
    if (suggestion::returnOpensRow(m_showsSuggest, m_activeSuggest, m_suggestions.size()))
        openSuggestion(m_suggestions.at(m_activeSuggest));
    else
        submitSearch();
}

void ContentView::dismissSuggestions()
{
    m_showsSuggest = false;
    m_activeSuggest = -1;
    updateSuggestLayer(false);
    emit suggestionsChanged();
}

void ContentView::clearSearchField()
{
    setSearchText(QString());
    if (!m_submittedSearch.isEmpty()) {
        m_submittedSearch.clear();
        emit searchChanged();
        // The section's screen comes back at the root; pages pushed over the results stay.
        updateRoot();
    }
    m_searchField->lineEdit()->setFocus(Qt::OtherFocusReason);
}

void ContentView::updateSuggestLayer(bool rowsChanged)
{
    SuggestPanel *panel = m_suggestLayer->panel();
    if (rowsChanged)
        panel->setSuggestions(m_suggestions, m_activeSuggest);
    else if (panel->active() != m_activeSuggest)
        panel->setActive(m_activeSuggest);
    const bool visible = m_showsSuggest && !m_suggestions.isEmpty();
    if (visible) {
        placeSuggestLayer();
        m_suggestLayer->show();
        m_suggestLayer->raise();
    } else {
        m_suggestLayer->hide();
    }
}

void ContentView::placeSuggestLayer()
{
    QWidget *central = centralWidget();
    const QRect bar(m_topBar->mapTo(central, QPoint(0, 0)), m_topBar->size());
    // Under the field itself, just below the toolbar's bottom line.
    const QPoint field = m_searchField->fieldGroup()->mapTo(central, QPoint(0, 0));
    const QPoint panelAt(field.x(), bar.bottom() + 1 + 4);
    m_suggestLayer->place(central->rect(), bar, panelAt);
}

// ---- Window events, menus and panels --------------------------------------------------------

void ContentView::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (m_contentShown || event->spontaneous())
        return;
    m_contentShown = true;
    QCoro::connect(loadNav(), this, [] {});
    QCoro::connect(loadSignStatus(), this, [] {});
    emit contentShown();
}

void ContentView::closeEvent(QCloseEvent *event)
{
    setShowsMemberMenu(false);
    emit closing();
    QMainWindow::closeEvent(event);
}

void ContentView::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    if (m_suggestLayer && m_suggestLayer->isVisible())
        placeSuggestLayer();
    placeMemberMenu();
}

void ContentView::moveEvent(QMoveEvent *event)
{
    QMainWindow::moveEvent(event);
    placeMemberMenu();
}

void ContentView::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    // The menu is a window of its own and would otherwise float over whatever the user turned to.
    if (event->type() == QEvent::ActivationChange && !isActiveWindow() && QApplication::activeWindow() != m_memberMenu)
        setShowsMemberMenu(false);
}

bool ContentView::eventFilter(QObject *watched, QEvent *event)
{
    if ((watched == m_topBar && event->type() == QEvent::Resize)
        || (watched == m_actionsSlot && event->type() == QEvent::LayoutRequest))
        balanceTopBar();
    // The field moves over when the account items change width; the panel follows it.
    if ((watched == m_searchSlot || watched == m_searchField->fieldGroup())
        && (event->type() == QEvent::Move || event->type() == QEvent::Resize) && m_suggestLayer && !m_suggestLayer->isHidden())
        placeSuggestLayer();
    if (m_showsMemberMenu && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
        setShowsMemberMenu(false);
        return true;
    }
    // While the menu is open this filter sees the chip's keys twice (for the application, then
    // for the chip): every key it takes is consumed the first time.
    if (watched == m_accountBox->chip()) {
        if (event->type() == QEvent::KeyPress && memberMenuKey(static_cast<QKeyEvent *>(event)))
            return true;
        // Focus going to another window is changeEvent()'s to judge.
        if (event->type() == QEvent::FocusOut && m_showsMemberMenu && !m_memberMenu->isHovering()
            && static_cast<QFocusEvent *>(event)->reason() != Qt::ActiveWindowFocusReason)
            hoverMemberMenu(false);
    }
    if (m_showsMemberMenu && event->type() == QEvent::MouseButtonPress) {
        auto *widget = qobject_cast<QWidget *>(watched);
        QWidget *chip = m_accountBox->chip();
        const bool onMenu = widget && (widget == m_memberMenu || m_memberMenu->isAncestorOf(widget));
        const bool onChip = widget && (widget == chip || chip->isAncestorOf(widget));
        if (widget && !onMenu && !onChip)
            setShowsMemberMenu(false);
    }
    return QMainWindow::eventFilter(watched, event);
}

void ContentView::showAbout()
{
    AboutDialog dialog(this);
    dialog.exec();
}

void ContentView::showPreferences()
{
    if (!m_preferences) {
        m_preferences = new QDialog(this);
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

void ContentView::checkForUpdates()
{
    // Not silent: whatever the answer, the update panel opens to show it.
    QCoro::connect(UpdateService::shared()->check(false), this, [] {});
}

void ContentView::showUpdatePanel(bool shows)
{
    if (!shows) {
        if (m_updatePanel)
            m_updatePanel->close();
        return;
    }
    if (!m_updatePanel) {
        m_updatePanel = new QDialog(this);
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
