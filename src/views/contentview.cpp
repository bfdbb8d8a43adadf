#include "views/contentview.h"

#include "network/apiclient.h"
#include "store/authstore.h"
#include "store/clock.h"
#include "store/diskcache.h"
#include "store/installlocation.h"
#include "store/updateservice.h"
#include "views/aboutdialog.h"
#include "views/appmenus.h"
#include "views/components/appearance.h"
#include "views/components/brandheader.h"
#include "views/components/pointinghand.h"
#include "views/components/sidebarrow.h"
#include "views/icons.h"
#include "views/navigationstack.h"
#include "views/palette.h"
#include "views/standinpage.h"
#include "store/themestore.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QScrollArea>
#include <QScrollBar>
#include <QShowEvent>
#include <QToolButton>
#include <QVBoxLayout>

namespace tovra {

namespace {

// Spaces and tabs only: a line break in the field is the user's and stays part of the query.
QString trimSpacesAndTabs(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    const auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    while (begin < end && blank(text.at(begin)))
        ++begin;
    while (end > begin && blank(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

void fillBackground(QWidget *widget, const QColor &color)
{
    QPalette p = widget->palette();
    p.setColor(QPalette::Window, color);
    widget->setPalette(p);
    widget->setAutoFillBackground(true);
}

QString routeTitle(const Route &route)
{
    return std::visit(
        [](const auto &value) -> QString {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, Route::Detail>)
                return QStringLiteral("影片详情");
            else if constexpr (std::is_same_v<T, Route::Play>)
                return QStringLiteral("播放");
            else if constexpr (std::is_same_v<T, Route::Download>)
                return QStringLiteral("种子下载");
            else if constexpr (std::is_same_v<T, Route::Web>)
                return value.title.isEmpty() ? QStringLiteral("网页") : value.title;
            else if constexpr (std::is_same_v<T, Route::FilterResult>)
                return value.title;
            else if constexpr (std::is_same_v<T, Route::Login>)
                return QStringLiteral("登录");
            else if constexpr (std::is_same_v<T, Route::UserCenter>)
                return QStringLiteral("用户中心");
            else
                return QStringLiteral("用户中心 · 会员");
        },
        route.value());
}

QString routeDetail(const Route &route)
{
    return std::visit(
        [](const auto &value) -> QString {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, Route::Detail>)
                return QStringLiteral("did ") + value.did;
            else if constexpr (std::is_same_v<T, Route::Play>)
                return QStringLiteral("%1 · 第 %2 集 · 从 %3 秒开始")
                    .arg(value.title)
                    .arg(value.entry.episode)
                    .arg(value.startAt);
            else if constexpr (std::is_same_v<T, Route::Download>)
                return QStringLiteral("did %1 · %2").arg(value.did, value.torrent.name);
            else if constexpr (std::is_same_v<T, Route::Web>)
                return value.url;
            else if constexpr (std::is_same_v<T, Route::FilterResult>) {
                QStringList parts;
                for (auto it = value.params.cbegin(); it != value.params.cend(); ++it)
                    parts << it.key() + u'=' + it.value();
                return parts.join(QStringLiteral(" · "));
            } else if constexpr (std::is_same_v<T, Route::UserCenter>)
                return QStringLiteral("金币记录");
            else if constexpr (std::is_same_v<T, Route::UserCenterVip>)
                return QStringLiteral("会员兑换");
            else
                return QString();
        },
        route.value());
}

}

ContentView::ContentView(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral("TovraClient"));
    resize(kDefaultWidth, kDefaultHeight);
    setMinimumSize(kMinimumWidth, kMinimumHeight);

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
                                     .gatekeeperHelp = [] { InstallLocation::showGatekeeperHelp(); },
                                     .preferences = [this] { showPreferences(); },
                                     .quit =
                                         [] {
                                             QApplication::closeAllWindows();
                                             QCoreApplication::quit();
                                         },
                                 });

    connect(UpdateService::shared(), &UpdateService::showsPanelChanged, this, &ContentView::showUpdatePanel);

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

ContentView::~ContentView() = default;

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
    if (m_searchText.isEmpty() && m_submittedSearch.isEmpty())
        return;
    m_searchText.clear();
    m_submittedSearch.clear();
    emit searchChanged();
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
    emit searchChanged();
}

void ContentView::submitSearch()
{
    const QString query = trimSpacesAndTabs(m_searchText);
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
        m_rootKind = RootKind::Search;
        m_rootQuery = m_submittedSearch;
        m_stack->setRoot(new StandInPage(QStringLiteral("搜索结果"), QStringLiteral("“%1”").arg(m_submittedSearch)));
        return;
    }
    m_rootQuery.clear();

    if (const NavItem *item = m_section.categoryItem()) {
        // Moving from one category to another keeps the same browser: it only learns its new
        // category, and keeps the rest of its state.
        if (m_rootKind == RootKind::Category) {
            if (auto *page = qobject_cast<StandInPage *>(m_stack->root())) {
                page->setTitle(item->name);
                return;
            }
        }
        m_rootKind = RootKind::Category;
        m_stack->setRoot(new StandInPage(item->name, QStringLiteral("分类浏览")));
        return;
    }

    RootKind kind = RootKind::Home;
    QString title = QStringLiteral("首页");
    if (m_section.is<SidebarSection::Ranking>()) {
        kind = RootKind::Ranking;
        title = QStringLiteral("每日下载排行");
    } else if (m_section.is<SidebarSection::Top250>()) {
        kind = RootKind::Top250;
        title = QStringLiteral("Top 250");
    } else if (m_section.is<SidebarSection::Community>()) {
        kind = RootKind::Community;
        title = QStringLiteral("社区");
    }
    if (kind == m_rootKind)
        return;
    m_rootKind = kind;
    m_stack->setRoot(new StandInPage(title));
}

QWidget *ContentView::destination(const Route &route)
{
    return new StandInPage(routeTitle(route), routeDetail(route));
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
    emit closing();
    QMainWindow::closeEvent(event);
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
        layout->addWidget(new StandInPage(QStringLiteral("偏好设置"), QStringLiteral("下载 · 缓存"), m_preferences));
        m_preferences->resize(520, 360);
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
        layout->addWidget(new StandInPage(QStringLiteral("检查更新"), QString(), m_updatePanel));
        m_updatePanel->resize(460, 320);
        // Closing the panel in any way is the user dismissing it.
        connect(m_updatePanel, &QDialog::finished, this, [] { UpdateService::shared()->setShowsPanel(false); });
    }
    m_updatePanel->show();
    m_updatePanel->raise();
}

}
