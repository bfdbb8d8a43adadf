#include "views/contentview.h"

#include "models/suggestion.h"
#include "models/windowgeometry.h"
#include "network/apiclient.h"
#include "network/diskcache.h"
#include "store/authstore.h"
#include "store/themestore.h"
#include "views/components/sidebarrow.h"
#include "views/components/keepactive.h"
#include "views/components/windowclose.h"
#include "views/components/access.h"
#include "views/components/appearance.h"
#include "views/icons.h"
#include "views/navigationstack.h"
#include "views/palette.h"
#include "views/routescreens.h"
#include "views/toolbar/accountbox.h"
#include "views/toolbar/accountchipbutton.h"
#include "views/toolbar/membermenu.h"
#include "views/toolbar/searchfield.h"
#include "views/toolbar/themebutton.h"
#include "views/toolbar/topbar.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPointer>
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
    // Made first: widgets join the focus chain in the order they are made, and the chain hangs
    // from the sidebar's "首页" row (see orderTabStops()).
    m_sidebar = new Sidebar(this);
    connect(m_sidebar, &Sidebar::sectionSelected, this, &ContentView::selectSection);
    connect(m_sidebar, &Sidebar::itemOpened, this, &ContentView::open);
    row->addWidget(m_sidebar);
    m_divider = new QWidget(central);
    m_divider->setFixedWidth(1);
    row->addWidget(m_divider);

    m_content = new QWidget(central);
    m_content->setObjectName(QStringLiteral("content"));
    auto *column = new QVBoxLayout(m_content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_stack = new NavigationStack(m_content);
    m_topBar = new TopBar(m_stack->backAction(), m_content);
    column->addWidget(m_topBar);
    m_topBarLine = new QWidget(m_content);
    m_topBarLine->setFixedHeight(1);
    column->addWidget(m_topBarLine);
    column->addWidget(m_stack, 1);
    row->addWidget(m_content, 1);
    setCentralWidget(central);

    m_screens = new RouteScreens(m_stack, this);
    connect(m_screens, &RouteScreens::pushRequested, this, &ContentView::push);
    connect(m_screens, &RouteScreens::categoryRequested, this, &ContentView::openCategory);
    // A site that was down at start failed the sidebar's load too: whichever load of home finds
    // it back (重试, the activation or the timed refresh) brings the sidebar as well.
    connect(m_screens, &RouteScreens::homeLoaded, this, [this] {
        if (m_nav.isEmpty() && !m_navBusy)
            QCoro::connect(loadNav(), this, [] {});
    });
    connect(m_stack, &NavigationStack::pathChanged, this, [this] {
        backButton()->setVisible(m_stack->depth() > 0);
        emit pathChanged();
    });

    m_panels = new AppPanels(this);

    buildToolbar();
    // Read with the stored home page, before the window shows: rows made later are shown from
    // the event loop, after the first frame may already have gone out without them.
    if (auto cached = DiskCache::shared()->load<QList<NavItem>>(kNavCacheKey, kNavMaxAge))
        m_nav = std::move(*cached);
    m_sidebar->setNav(m_nav, m_section);
    orderTabStops();
    updateRoot();
    applyColors(ThemeStore::shared()->isDark());
    followAppearance(this, [this](bool dark) { applyColors(dark); });
}

ContentView::~ContentView()
{
    // The parts outlive this part of the object (QWidget deletes its children later) and may
    // still report hover, focus or finished loads while they go; none of that may reach a window
    // that is half destroyed.
    for (QObject *part : std::initializer_list<QObject *>{m_sidebar, m_screens, m_search->field(), m_accountBox,
                                                          m_signButton, m_themeButton, m_userCenterButton})
        part->disconnect(this);
    delete m_memberMenu;
    delete m_search;
}

void ContentView::buildToolbar()
{
    m_search = new SearchBox(m_topBar->searchSlot(), m_topBar, centralWidget(), [this] { return m_searchText; }, this);
    SearchField *field = m_search->field();
    connect(field, &SearchField::textEdited, this, &ContentView::setSearchText);
    connect(field, &SearchField::returnPressed, this, &ContentView::returnInSearchField);
    connect(field, &SearchField::clearClicked, this, &ContentView::clearSearchField);
    connect(field, &SearchField::searchClicked, this, &ContentView::submitSearch);
    connect(m_search, &SearchBox::chosen, this, &ContentView::openSuggestion);
    connect(m_search, &SearchBox::suggestionsChanged, this, &ContentView::suggestionsChanged);

    QWidget *actions = m_topBar->actionsSlot();
    m_themeButton = new ThemeButton(actions);

    auto *group = new QWidget(actions);
    group->setObjectName(QStringLiteral("accountGroup"));
    group->setFixedHeight(28);
    auto *row = new QHBoxLayout(group);
    row->setContentsMargins(10, 0, 10, 0);
    row->setSpacing(14);
    m_signButton = new DailySignButton(group);
    connect(m_signButton, &DailySignButton::loginRequested, this, &ContentView::showLogin);
    connect(m_signButton, &DailySignButton::signStatusChanged, this, &ContentView::signStatusChanged);
    connect(m_signButton, &DailySignButton::signLabelChanged, this, &ContentView::signLabelChanged);
    m_accountBox = new AccountBox(group);
    connect(m_accountBox, &AccountBox::loginClicked, this, &ContentView::showLogin);
    connect(m_accountBox, &AccountBox::chipClicked, this, [this] { push(Route::userCenter()); });
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
    actions->layout()->addWidget(m_themeButton);
    actions->layout()->addWidget(group);

    m_memberMenu = new MemberMenuControl(m_accountBox, this);
    connect(m_memberMenu, &MemberMenuControl::showsChanged, this, &ContentView::memberMenuChanged);

    AuthStore *auth = AuthStore::shared();
    connect(auth, &AuthStore::tokenChanged, this, &ContentView::updateAccountItems);
    connect(auth, &AuthStore::userChanged, this, &ContentView::updateAccountItems);
    updateAccountItems();
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

void ContentView::orderTabStops()
{
    // Widgets join the focus chain in the order they are made, and the rows are made again with
    // every new list: Tab goes through the sidebar, then the bar, then the page. The "首页" row
    // is made before the bar and every page, so the chain hangs from it.
    QList<QWidget *> order;
    for (SidebarRow *row : m_sidebar->rows())
        order << row;
    SearchField *field = m_search->field();
    order << backButton() << field->lineEdit() << field->clearButton() << field->searchButton() << m_themeButton
          << m_signButton << m_accountBox->loginButton() << m_accountBox->chip() << m_userCenterButton;
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order.at(i - 1), order.at(i));
}

void ContentView::updateAccountItems()
{
    AuthStore *auth = AuthStore::shared();
    const bool signedIn = auth->tokenValue().has_value();
    m_accountBox->setSignedIn(signedIn);
    m_accountBox->setUser(auth->user());
    m_userCenterButton->setVisible(signedIn);
    if (!signedIn)
        m_memberMenu->setShows(false);
    m_signButton->updateLook();
}

// ---- Navigation -----------------------------------------------------------------------------

void ContentView::setSection(const SidebarSection &section)
{
    if (section == m_section)
        return;
    m_section = section;
    m_sidebar->setSection(section);
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
    m_stack->push(route, m_screens->screen(route));
}

void ContentView::showLogin()
{
    // One log-in page at a time: a second, empty one would hide a log-in under way, which then
    // came back after the first 返回.
    const QList<Route> &path = m_stack->path();
    for (int i = 0; i < path.size(); ++i) {
        if (path.at(i).is<Route::Login>())
            return m_stack->popTo(i);
    }
    push(Route::login());
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
    m_search->field()->setText(text);
    emit searchChanged();
    m_search->load(text);
}

void ContentView::submitSearch()
{
    m_search->hideForSubmit();
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
    m_screens->showRoot(m_submittedSearch, m_section);
}

void ContentView::openSuggestion(const SuggestItem &item)
{
    // A copy: emptying the field below replaces the list the item may live in.
    const QString did = item.did;
    m_search->hideQuietly();
    setSearchText(QString());
    emit suggestionsChanged();
    push(Route::detail(did));
}

void ContentView::returnInSearchField()
{
    if (const SuggestItem *item = m_search->returnTarget())
        openSuggestion(*item);
    else
        submitSearch();
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
    m_search->field()->lineEdit()->setFocus(Qt::OtherFocusReason);
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
    m_sidebar->setNav(m_nav, m_section);
    orderTabStops();
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
    m_navBusy = true;
    auto reply = co_await APIClient::shared()->nav();
    if (!self || !m_navLoads.isCurrent(ticket))
        co_return;
    m_navBusy = false;
    // The sidebar is an extra: a failure shows nothing and keeps what is there.
    if (!reply || reply->isEmpty())
        co_return;
    setNav(*reply);
    DiskCache::shared()->save(m_nav, kNavCacheKey);
}

// ---- Window events ---------------------------------------------------------------------------

void ContentView::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (m_contentShown || event->spontaneous())
        return;
    m_contentShown = true;
    keepActiveAcrossRecreation(this);
    routeWindowManagerClose(this);
    QCoro::connect(loadNav(), this, [] {});
    QCoro::connect(loadSignStatus(), this, [] {});
    emit contentShown();
}

void ContentView::endClientOnClose()
{
    QApplication::setQuitOnLastWindowClosed(false);
    connect(this, &ContentView::closing, qApp, [] { QCoreApplication::exit(0); });
}

void ContentView::closeEvent(QCloseEvent *event)
{
    m_memberMenu->setShows(false);
    emit closing();
    QMainWindow::closeEvent(event);
}

void ContentView::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    m_search->followField();
    m_memberMenu->place();
}

void ContentView::moveEvent(QMoveEvent *event)
{
    QMainWindow::moveEvent(event);
    m_memberMenu->place();
}

void ContentView::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    // The menu is a window of its own and would otherwise float over whatever the user turned to.
    if (event->type() == QEvent::ActivationChange && !isActiveWindow()
        && QApplication::activeWindow() != m_memberMenu->menu())
        m_memberMenu->setShows(false);
}

}
