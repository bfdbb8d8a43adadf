#include "views/routescreens.h"

#include "views/catalogue/browseview.h"
#include "views/catalogue/filterresultview.h"
#include "views/catalogue/homeview.h"
#include "views/catalogue/rankingview.h"
#include "views/catalogue/searchview.h"
#include "views/catalogue/top250view.h"
#include "views/community/communityview.h"
#include "views/detail/detailview.h"
#include "views/download/downloadview.h"
#include "views/login/loginview.h"
#include "views/navigationstack.h"
#include "views/player/playerview.h"
#include "views/usercenter/usercenterview.h"
#include "views/webpageview.h"

namespace tovra {

namespace {

// The screen, its chosen titles opening on top of the stack.
template <class Screen>
Screen *leadingToTitles(Screen *screen, RouteScreens *routes)
{
    QObject::connect(screen, &Screen::selected, routes,
                     [routes](const QString &did) { emit routes->pushRequested(Route::detail(did)); });
    return screen;
}

}

RouteScreens::RouteScreens(NavigationStack *stack, QObject *parent) : QObject(parent), m_stack(stack)
{
}

void RouteScreens::showRoot(const QString &submittedSearch, const SidebarSection &section)
{
    using navigation::RootScreen;
    const RootScreen kind = navigation::rootScreen(submittedSearch, section);
    if (kind == RootScreen::Search) {
        if (m_rootKind == kind && m_rootQuery == submittedSearch)
            return;
        m_rootQuery = submittedSearch;
        // A new query keeps the results screen in place; it starts again from page 1.
        if (m_rootKind == kind) {
            if (auto *results = qobject_cast<SearchView *>(m_stack->root())) {
                results->setQuery(submittedSearch);
                return;
            }
        }
        m_rootKind = kind;
        m_stack->setRoot(leadingToTitles(new SearchView(submittedSearch), this));
        return;
    }
    m_rootQuery.clear();

    if (kind == RootScreen::Category) {
        const NavItem &item = *section.categoryItem();
        // Moving from one category to another keeps the same browser: it only learns its new
        // category, and keeps the rest of its state.
        if (m_rootKind == kind) {
            if (auto *page = qobject_cast<BrowseView *>(m_stack->root())) {
                page->setCategory(item);
                return;
            }
        }
        m_rootKind = kind;
        m_stack->setRoot(leadingToTitles(new BrowseView(item), this));
        return;
    }

    if (kind == m_rootKind)
        return;
    m_rootKind = kind;
    switch (kind) {
    case RootScreen::Ranking:
        m_stack->setRoot(leadingToTitles(new RankingView, this));
        break;
    case RootScreen::Top250:
        m_stack->setRoot(leadingToTitles(new Top250View, this));
        break;
    case RootScreen::Community:
        m_stack->setRoot(new CommunityView);
        break;
    default: {
        auto *page = leadingToTitles(new HomeView, this);
        connect(page, &HomeView::moreRequested, this, &RouteScreens::categoryRequested);
        connect(page, &HomeView::loaded, this, &RouteScreens::homeLoaded);
        m_stack->setRoot(page);
        break;
    }
    }
}

QWidget *RouteScreens::screen(const Route &route)
{
    // Every case names its screen; a new case fails to compile here until it has one.
    return std::visit(
        [&](const auto &value) -> QWidget * {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, Route::Detail>) {
                auto *page = leadingToTitles(new DetailView(value.did), this);
                connect(page, &DetailView::playRequested, this, [this](const PlayEntry &entry, const QString &title) {
                    emit pushRequested(Route::play(entry, title, 0));
                });
                connect(page, &DetailView::downloadRequested, this, [this](const QString &did, const Torrent &torrent) {
                    emit pushRequested(Route::download(did, torrent));
                });
                connect(page, &DetailView::filterRequested, this, [this](const QString &title, const Params &params) {
                    emit pushRequested(Route::filterResult(title, params));
                });
                connect(page, &DetailView::vipRequested, this, [this] { emit pushRequested(Route::userCenterVip()); });
                return page;
            } else if constexpr (std::is_same_v<T, Route::Play>) {
                return new PlayerView(value.entry, value.title, value.startAt);
            } else if constexpr (std::is_same_v<T, Route::Login>) {
                auto *page = new LoginView;
                // Only the log-in page itself is taken off, wherever it stands by now; if the user
                // has gone on from it meanwhile, what they went on to stays.
                connect(page, &LoginView::dismissRequested, this, [this, page] { m_stack->remove(page); });
                return page;
            } else if constexpr (std::is_same_v<T, Route::UserCenter> || std::is_same_v<T, Route::UserCenterVip>) {
                auto *page = leadingToTitles(new UserCenterView(std::is_same_v<T, Route::UserCenterVip>
                                                                    ? UserCenterTab::vip
                                                                    : UserCenterTab::gold),
                                             this);
                connect(page, &UserCenterView::playRequested, this,
                        [this](const PlayEntry &entry, const QString &title, int at) {
                            emit pushRequested(Route::play(entry, title, at));
                        });
                return page;
            } else if constexpr (std::is_same_v<T, Route::Download>) {
                return new DownloadView(value.did, value.torrent);
            } else if constexpr (std::is_same_v<T, Route::Web>) {
                return new WebPageView(value.url, value.title);
            } else {
                static_assert(std::is_same_v<T, Route::FilterResult>);
                return leadingToTitles(new FilterResultView(value.title, value.params), this);
            }
        },
        route.value());
}

}
