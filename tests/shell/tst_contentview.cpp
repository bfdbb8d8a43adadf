#include "shellfixture.h"
#include "store/clock.h"
#include "support/testmain.h"
#include "views/components/sidebarrow.h"
#include "views/components/stateoverlay.h"
#include "views/catalogue/filterresultview.h"
#include "views/catalogue/searchview.h"
#include "views/community/communityview.h"
#include "views/detail/detailview.h"
#include "views/download/downloadview.h"
#include "views/login/loginview.h"
#include "views/player/playerview.h"
#include "views/usercenter/usercenterview.h"
#include "models/windowgeometry.h"
#include "views/contentview.h"
#include "views/navigationstack.h"
#include "views/catalogue/browseview.h"
#include "views/catalogue/homeview.h"
#include "views/catalogue/rankingview.h"
#include "views/catalogue/top250view.h"
#include "views/webpageview.h"

#include <QApplication>
#include <QTimer>
#include <QScreen>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace tovra;
using namespace tovra::test;
using namespace Qt::StringLiterals;

namespace {

QStringList rowTitles(const ContentView &window)
{
    QStringList titles;
    for (const SidebarRow *row : window.sidebarRows())
        titles << row->title();
    return titles;
}

QList<bool> rowStates(const ContentView &window)
{
    QList<bool> states;
    for (const SidebarRow *row : window.sidebarRows())
        states << row->isActive();
    return states;
}

SidebarRow *rowTitled(const ContentView &window, const QString &title)
{
    for (SidebarRow *row : window.sidebarRows()) {
        if (row->title() == title)
            return row;
    }
    return nullptr;
}


NavItem item(const QString &id, const QString &name, qint64 newCount = 0)
{
    NavItem nav;
    nav.id = id;
    nav.name = name;
    nav.icon = u"film"_s;
    nav.newCount = newCount;
    return nav;
}

// Three categories and the two kinds of link the site puts in its sidebar.
const QList<QByteArray> kServerNav{
    navJson(u"1"_s, u"电影"_s, u"film"_s, {}, false, 12),
    navJson(u"2"_s, u"剧集"_s, u"tv"_s),
    navJson(u"9"_s, u"今日排行"_s, u"trophy"_s, u"https://site.example/ranking?from=nav"_s, true),
    navJson(u"10"_s, u"Top250"_s, u"star"_s, u"https://site.example/top250"_s, true),
    navJson(u"11"_s, u"论坛"_s, u"users"_s, u"https://bbs.example/forum"_s, true),
    navJson(u"12"_s, u"空链接"_s, u"magnet"_s, {}, true),
};

}


class ContentViewTest : public QObject
{
    Q_OBJECT

private slots:
    // Closing the main window ends the client while another top-level window is up (the
    // picture-in-picture window has no parent), which Qt's own quit would wait for.
    void closingEndsTheClientWithAnotherWindowUp()
    {
        ShellFixture f;
        QVERIFY(f.start());
        ContentView window;
        window.endClientOnClose();
        QWidget other;
        other.setWindowFlags(Qt::Window | Qt::WindowStaysOnTopHint);
        window.show();
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&other));
        bool timedOut = false;
        QTimer::singleShot(0, &window, [&] { window.close(); });
        QTimer::singleShot(3000, &other, [&] { timedOut = true; QCoreApplication::exit(1); });
        QCOMPARE(QCoreApplication::exec(), 0);
        QVERIFY(!timedOut && other.isVisible());
        QApplication::setQuitOnLastWindowClosed(true);
    }

    void firstStartWithoutAnswerShowsOnlyHome()
    {
        ShellFixture f;
        QVERIFY(f.start());
        // Nothing routed: the site answers 404 with an empty body.
        ContentView window;
        QVERIFY(runTask(window.loadNav()));
        QCOMPARE(rowTitles(window), QStringList{u"首页"_s});
        QCOMPARE(rowStates(window), QList<bool>{true});
        QCOMPARE(window.section(), SidebarSection::home());
        QCOMPARE(rootTitle(window), u"首页"_s);
        QCOMPARE(f.site.requestsTo(u"/api/nav"_s).size(), 1);
        f.cache->flush();
        QVERIFY(!QFileInfo::exists(f.navCacheFile()));
    }

    // The cached list is on screen before the server answers; the answer then replaces it whole
    // and goes back into the cache.
    void cacheFirstThenServerReplacesAndWritesBack()
    {
        ShellFixture f;
        QVERIFY(f.start());
        f.cache->save(QList<NavItem>{item(u"5"_s, u"旧分类"_s), item(u"1"_s, u"电影"_s, 3)}, u"nav"_s);
        f.cache->flush();
        f.site.route(u"/api/nav"_s, [](const FakeSite::Request &) {
            auto reply = FakeSite::ok(jsonArray(kServerNav));
            reply.delayMs = 300;
            return reply;
        });

        // Made with the window, before it shows, so that its first frame has them.
        ContentView window;
        QCOMPARE(rowTitles(window), (QStringList{u"首页"_s, u"旧分类"_s, u"电影"_s}));
        auto load = window.loadNav();
        QVERIFY(runTask(std::move(load)));

        QCOMPARE(rowTitles(window),
                 (QStringList{u"首页"_s, u"电影"_s, u"剧集"_s, u"今日排行"_s, u"Top250"_s, u"论坛"_s, u"空链接"_s}));
        QCOMPARE(window.sidebarRows().at(1)->newCount(), 12);
        QCOMPARE(window.sidebarRows().at(3)->icon(), u"trophy"_s);

        f.cache->flush();
        QFile file(f.navCacheFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const auto stored = json::decodeDocument<QList<NavItem>>(file.readAll());
        QVERIFY(stored.has_value());
        QCOMPARE(*stored, window.nav());
        QCOMPARE(stored->size(), kServerNav.size());
        QCOMPARE(stored->at(2).url, std::optional<QString>(u"https://site.example/ranking?from=nav"_s));
    }

    // The server mostly answers with the stored list again: the rows a frame may show stay.
    void equalAnswerKeepsTheRows()
    {
        ShellFixture f;
        QVERIFY(f.start());
        const QList<NavItem> stored{item(u"5"_s, u"旧分类"_s), item(u"1"_s, u"电影"_s, 3)};
        f.cache->save(stored, u"nav"_s);
        f.cache->flush();
        f.site.route(u"/api/nav"_s, FakeSite::ok(navItemsToJson(stored)));
        ContentView window;
        const QList<SidebarRow *> rows = window.sidebarRows();
        QVERIFY(runTask(window.loadNav()));
        QCOMPARE(window.nav(), stored);
        QCOMPARE(window.sidebarRows(), rows);
    }

    void emptyReplyChangesNothing()
    {
        ShellFixture f;
        QVERIFY(f.start());
        const QList<NavItem> cached{item(u"5"_s, u"旧分类"_s)};
        f.cache->save(cached, u"nav"_s);
        f.cache->flush();
        QFile file(f.navCacheFile());
        QVERIFY(file.open(QIODevice::ReadWrite));
        const QDateTime written = QDateTime::currentDateTime().addSecs(-3600);
        QVERIFY(file.setFileTime(written, QFileDevice::FileModificationTime));
        file.close();
        const QByteArray before = [&] {
            QFile in(f.navCacheFile());
            return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
        }();
        f.site.route(u"/api/nav"_s, FakeSite::ok("[]"));

        ContentView window;
        QVERIFY(runTask(window.loadNav()));
        f.cache->flush();
        QCOMPARE(window.nav(), cached);
        QCOMPARE(rowTitles(window), (QStringList{u"首页"_s, u"旧分类"_s}));
        QCOMPARE(QFileInfo(f.navCacheFile()).lastModified().toSecsSinceEpoch(), written.toSecsSinceEpoch());
        QFile after(f.navCacheFile());
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), before);
    }

    void failureShowsNothingAndKeepsTheList_data()
    {
        QTest::addColumn<FakeSite::Reply>("reply");
        QTest::addColumn<bool>("withCache");
        const FakeSite::Reply refused = FakeSite::json(FakeSite::envelope(500, u"服务器开小差了"_s, "[]"));
        const FakeSite::Reply broken = FakeSite::json(R"({"code":200,"message":"ok","data":[{"id":1}]})");
        const FakeSite::Reply http500 = FakeSite::json("oops", 500);
        FakeSite::Reply cut = FakeSite::ok(jsonArray(kServerNav));
        cut.closeMidBody = true;
        QTest::newRow("server code, cached list") << refused << true;
        QTest::newRow("entry without name, cached list") << broken << true;
        QTest::newRow("http 500, cached list") << http500 << true;
        QTest::newRow("cut off, cached list") << cut << true;
        QTest::newRow("server code, nothing cached") << refused << false;
        QTest::newRow("entry without name, nothing cached") << broken << false;
    }

    void failureShowsNothingAndKeepsTheList()
    {
        QFETCH(FakeSite::Reply, reply);
        QFETCH(bool, withCache);
        ShellFixture f;
        QVERIFY(f.start());
        const QList<NavItem> cached{item(u"5"_s, u"旧分类"_s, 2)};
        if (withCache)
            f.cache->save(cached, u"nav"_s);
        f.cache->flush();
        f.site.route(u"/api/nav"_s, reply);

        ContentView window;
        QVERIFY(runTask(window.loadNav()));
        QCOMPARE(window.nav(), withCache ? cached : QList<NavItem>{});
        QCOMPARE(rowTitles(window).size(), withCache ? 2 : 1);
        QCOMPARE(rootTitle(window), u"首页"_s);
        QCOMPARE(window.navigationStack()->depth(), 0);
    }

    // Started with the site down: whichever load of home finds the site back brings the sidebar.
    void homeLoadLoadsTheSidebar()
    {
        ShellFixture f;
        QVERIFY(f.start());
        f.site.route(u"/api/nav"_s, FakeSite::text("", 502));
        f.site.route(u"/api/index"_s, FakeSite::text("", 502));
        ContentView window;
        window.show();
        auto *home = qobject_cast<HomeView *>(window.navigationStack()->root());
        QVERIFY(home);
        QVERIFY(waitFor([&] { return home->shown() == HomeView::Shown::Error && !f.site.requestsTo(u"/api/nav"_s).isEmpty(); }));
        f.site.route(u"/api/nav"_s, FakeSite::ok(jsonArray(kServerNav)).withDelay(300));
        f.site.route(u"/api/index"_s, FakeSite::ok("{}"));
        emit qGuiApp->applicationStateChanged(Qt::ApplicationActive);
        QVERIFY(waitFor([&] { return home->shown() != HomeView::Shown::Error; }));
        // Home again while the list is on its way: it is asked for once.
        emit qGuiApp->applicationStateChanged(Qt::ApplicationActive);
        QVERIFY(waitFor([&] { return rowTitles(window).size() > 1; }));
        QCOMPARE(f.site.requestsTo(u"/api/nav"_s).size(), 2);
    }

    void staleCacheIsSkipped()
    {
        ShellFixture f;
        QVERIFY(f.start());
        f.cache->save(QList<NavItem>{item(u"5"_s, u"旧分类"_s)}, u"nav"_s);
        f.cache->flush();
        QFile file(f.navCacheFile());
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-ContentView::kNavMaxAge - 60),
                                 QFileDevice::FileModificationTime));
        file.close();
        f.site.route(u"/api/nav"_s, FakeSite::ok("[]"));

        ContentView window;
        QVERIFY(runTask(window.loadNav()));
        QCOMPARE(rowTitles(window), QStringList{u"首页"_s});
    }

    // A refreshed count must not unselect the category the user is in, nor reload its page.
    void refreshedCountKeepsCategorySelected()
    {
        ShellFixture f;
        QVERIFY(f.start());
        f.cache->save(QList<NavItem>{item(u"1"_s, u"电影"_s, 3), item(u"2"_s, u"剧集"_s)}, u"nav"_s);
        f.cache->flush();
        f.site.enqueue(u"/api/nav"_s, FakeSite::ok("[]"));
        f.site.route(u"/api/nav"_s, FakeSite::ok(jsonArray(kServerNav)));

        ContentView window;
        QVERIFY(runTask(window.loadNav())); // the cached list only
        rowTitled(window, u"电影"_s)->click();
        QCOMPARE(window.section(), SidebarSection::category(item(u"1"_s, u"电影"_s, 3)));
        QWidget *page = window.navigationStack()->root();
        window.push(Route::detail(u"77"_s));

        QVERIFY(runTask(window.loadNav()));
        const NavItem fresh = window.nav().at(0);
        QCOMPARE(fresh.newCount, 12);
        QCOMPARE(window.section(), SidebarSection::category(fresh));
        QCOMPARE(rowStates(window), (QList<bool>{false, true, false, false, false, false, false}));
        QCOMPARE(window.navigationStack()->root(), page);
        QCOMPARE(rootTitle(window), u"电影"_s);
        // A refreshed sidebar is no navigation: what the user opened stays open.
        QCOMPARE(window.path(), QList<Route>{Route::detail(u"77"_s)});
    }

    void rowsSelectSections_data()
    {
        QTest::addColumn<QString>("row");
        QTest::addColumn<QString>("expectedRoot");
        QTest::addColumn<QList<bool>>("states");
        QTest::newRow("category") << u"剧集"_s << u"剧集"_s << QList<bool>{false, false, true, false, false, false, false};
        QTest::newRow("ranking link with query")
            << u"今日排行"_s << u"每日下载排行"_s << QList<bool>{false, false, false, true, false, false, false};
        QTest::newRow("top250 link") << u"Top250"_s << u"Top 250"_s << QList<bool>{false, false, false, false, true, false, false};
        QTest::newRow("home") << u"首页"_s << u"首页"_s << QList<bool>{true, false, false, false, false, false, false};
    }

    // Choosing a section empties the search and the stack, whatever was there.
    void rowsSelectSections()
    {
        QFETCH(QString, row);
        QFETCH(QString, expectedRoot);
        QFETCH(QList<bool>, states);
        ShellFixture f;
        QVERIFY(f.start());
        f.site.route(u"/api/nav"_s, FakeSite::ok(jsonArray(kServerNav)));
        ContentView window;
        QVERIFY(runTask(window.loadNav()));
        rowTitled(window, u"电影"_s)->click();
        window.setSearchText(u"  星际\t"_s);
        window.submitSearch();
        QCOMPARE(window.submittedSearch(), u"星际"_s);
        auto *results = qobject_cast<SearchView *>(window.navigationStack()->root());
        QVERIFY(results);
        QCOMPARE(results->query(), u"星际"_s);
        window.push(Route::detail(u"42"_s));
        window.push(Route::login());

        rowTitled(window, row)->click();
        QCOMPARE(rootTitle(window), expectedRoot);
        QCOMPARE(rowStates(window), states);
        QCOMPARE(window.searchText(), QString());
        QCOMPARE(window.submittedSearch(), QString());
        QCOMPARE(window.path(), QList<Route>{});
        QCOMPARE(window.navigationStack()->currentPage(), window.navigationStack()->root());
    }

    void otherLinksOpenAsWebPages()
    {
        ShellFixture f;
        QVERIFY(f.start());
        f.site.route(u"/api/nav"_s, FakeSite::ok(jsonArray(kServerNav)));
        ContentView window;
        QVERIFY(runTask(window.loadNav()));
        rowTitled(window, u"剧集"_s)->click();
        window.push(Route::detail(u"42"_s));

        rowTitled(window, u"论坛"_s)->click();
        QCOMPARE(window.path(),
                 (QList<Route>{Route::detail(u"42"_s), Route::web(u"https://bbs.example/forum"_s, u"论坛"_s)}));
        QCOMPARE(window.section().categoryItem()->name, u"剧集"_s);
        QCOMPARE(rowStates(window), (QList<bool>{false, false, true, false, false, false, false}));

        // An entry with no address does nothing at all.
        rowTitled(window, u"空链接"_s)->click();
        QCOMPARE(window.path().size(), 2);
        QCOMPARE(rowStates(window), (QList<bool>{false, false, true, false, false, false, false}));
    }

    void moreLinksOpenCategories()
    {
        ShellFixture f;
        QVERIFY(f.start());
        f.site.route(u"/api/nav"_s,
                     FakeSite::ok(jsonArray({navJson(u"30"_s, u"动画"_s, u"play"_s, u"https://site.example/anime"_s, true),
                                             navJson(u"31"_s, u"动画"_s, u"play"_s),
                                             navJson(u"32"_s, u"动画"_s, u"tv"_s)})));
        ContentView window;
        QVERIFY(runTask(window.loadNav()));
        window.setSearchText(u"typed"_s);
        window.push(Route::detail(u"1"_s));

        window.openCategory(u"动画"_s);
        QCOMPARE(window.section(), SidebarSection::category(window.nav().at(1)));
        QCOMPARE(rowStates(window), (QList<bool>{false, false, true, false}));
        QCOMPARE(window.path(), QList<Route>{});
        QCOMPARE(window.searchText(), u"typed"_s);

        window.openCategory(u"纪录\"片\\"_s);
        const NavItem *standAlone = window.section().categoryItem();
        QVERIFY(standAlone);
        QCOMPARE(standAlone->name, u"纪录\"片\\"_s);
        QCOMPARE(standAlone->icon, u"tags"_s);
        QCOMPARE(rootTitle(window), u"纪录\"片\\"_s);
        QCOMPARE(rowStates(window), (QList<bool>{false, false, false, false}));
    }

    void signedOutHasNoStatusAndAsksNothing()
    {
        ShellFixture f;
        QVERIFY(f.start());
        ContentView window;
        QVERIFY(runTask(window.loadSignStatus()));
        QCOMPARE(window.signedState(), std::nullopt);
        QCOMPARE(window.signDays(), 0);
        QVERIFY(f.site.requestsTo(u"/api/sign_status"_s).isEmpty());
    }

    void signInAndOutFollowTheToken()
    {
        ShellFixture f;
        QVERIFY(f.start());
        f.site.route(u"/api/sign_status"_s, FakeSite::ok(R"({"signed":false,"days":4,"last_time":0})"));
        ContentView window;

        f.auth->save(u"tok-1"_s);
        QVERIFY(waitFor([&] { return window.signedState().has_value(); }));
        QCOMPARE(window.signedState(), std::optional<bool>(false));
        QCOMPARE(window.signDays(), 4);
        QCOMPARE(window.signDay().date(), Clock::today());
        const auto asked = f.site.requestsTo(u"/api/sign_status"_s);
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked.first().header("Authorization"), QByteArray("Bearer tok-1"));

        f.auth->logout();
        QCOMPARE(window.signedState(), std::nullopt);
        QCOMPARE(window.signDays(), 0);
    }

    // Signing out while the status is on its way: the late answer must not bring it back.
    void lateAnswerAfterSignOutIsDropped()
    {
        ShellFixture f;
        QVERIFY(f.start());
        f.site.route(u"/api/sign_status"_s, [](const FakeSite::Request &) {
            auto reply = FakeSite::ok(R"({"signed":true,"days":9,"last_time":0})");
            reply.delayMs = 300;
            return reply;
        });
        ContentView window;
        f.auth->save(u"tok-1"_s);
        QVERIFY(f.site.waitForRequests(1));
        f.auth->logout();
        // The late answer has come back and been acted on (or was dropped unread).
        QVERIFY(f.manager.quiet());
        QCOMPARE(window.signedState(), std::nullopt);
        QCOMPARE(window.signDays(), 0);
    }

    void failedStatusChangesNothing()
    {
        ShellFixture f;
        QVERIFY(f.start());
        f.site.enqueue(u"/api/sign_status"_s, FakeSite::ok(R"({"signed":true,"days":2,"last_time":0})"));
        f.site.route(u"/api/sign_status"_s, FakeSite::json(FakeSite::envelope(500, u"忙"_s)));
        f.auth->save(u"tok"_s);
        ContentView window;
        QVERIFY(runTask(window.loadSignStatus()));
        const QDateTime loaded = window.signDay();
        QVERIFY(runTask(window.loadSignStatus()));
        QCOMPARE(window.signedState(), std::optional<bool>(true));
        QCOMPARE(window.signDays(), 2);
        QCOMPARE(window.signDay(), loaded);
    }

    // Loaded just before midnight: half a minute after it, the next tick clears the status at
    // once and asks again, so the sign-in button comes back.
    void statusReloadsAfterMidnight()
    {
        ShellFixture f;
        QVERIFY(f.start());
        f.site.enqueue(u"/api/sign_status"_s, FakeSite::ok(R"({"signed":true,"days":6,"last_time":0})"));
        f.site.route(u"/api/sign_status"_s, [](const FakeSite::Request &) {
            auto reply = FakeSite::ok(R"({"signed":false,"days":6,"last_time":0})");
            reply.delayMs = 200;
            return reply;
        });
        f.auth->save(u"tok"_s);

        const QDate day(2024, 3, 9);
        QDateTime now(day, QTime(23, 59, 10));
        ScopedClock clock([&now] { return now; });
        ContentView window;
        window.dayWatch()->stop();
        QVERIFY(runTask(window.loadSignStatus()));
        QCOMPARE(window.signedState(), std::optional<bool>(true));
        QCOMPARE(window.signDay(), now);

        now = QDateTime(day, QTime(23, 59, 59));
        window.checkDay();
        QCOMPARE(f.site.requestsTo(u"/api/sign_status"_s).size(), 1);

        now = QDateTime(day.addDays(1), QTime(0, 0, 30));
        window.dayWatch()->start(10);
        QVERIFY(waitFor([&] { return !window.signedState().value_or(false); }, 1000));
        QCOMPARE(window.signedState(), std::nullopt);
        QVERIFY(waitFor([&] { return window.signedState().has_value(); }));
        QCOMPARE(window.signedState(), std::optional<bool>(false));
        QCOMPARE(window.signDay().date(), day.addDays(1));
        QCOMPARE(f.site.requestsTo(u"/api/sign_status"_s).size(), 2);

        // Later ticks the same day ask nothing more.
        QTest::qWait(100);
        QCOMPARE(f.site.requestsTo(u"/api/sign_status"_s).size(), 2);
    }

    // Until a status has been loaded there is nothing to re-arm.
    void dayWatchIgnoresMissingStatus()
    {
        ShellFixture f;
        QVERIFY(f.start());
        f.site.route(u"/api/sign_status"_s, FakeSite::json(FakeSite::envelope(500, u"忙"_s)));
        f.auth->save(u"tok"_s);
        QDateTime now(QDate(2024, 3, 9), QTime(12, 0));
        ScopedClock clock([&now] { return now; });
        ContentView window;
        QVERIFY(runTask(window.loadSignStatus()));
        const auto before = f.site.requestsTo(u"/api/sign_status"_s).size();
        now = now.addDays(2);
        window.checkDay();
        QTest::qWait(50);
        QCOMPARE(f.site.requestsTo(u"/api/sign_status"_s).size(), before);
    }

    void showingTheWindowLoadsOnce()
    {
        ShellFixture f;
        QVERIFY(f.start());
        f.site.route(u"/api/nav"_s, FakeSite::ok(jsonArray(kServerNav)));
        ContentView window;
        QSignalSpy shown(&window, &ContentView::contentShown);
        window.show();
        QVERIFY(waitFor([&] { return window.nav().size() == kServerNav.size(); }));
        window.hide();
        window.show();
        QTest::qWait(50);
        QCOMPARE(shown.size(), 1);
        QCOMPARE(f.site.requestsTo(u"/api/nav"_s).size(), 1);
        // Sized to the screen: the preferred size only where it fits (the test screen is small).
        const QRect area = window.screen()->availableGeometry();
        const auto opening = WindowGeometry::opening({ContentView::kDefaultWidth, ContentView::kDefaultHeight},
                                                     {ContentView::kMinimumWidth, ContentView::kMinimumHeight}, area,
                                                     WindowGeometry::kTitleBarAllowance);
        QCOMPARE(window.size(), opening.geometry.size());
        // Nothing heavy until a screen asks for it: no web engine, no media player.
        // By class name: this program does not link either library.
        for (QWidget *widget : QApplication::allWidgets())
            QVERIFY2(!widget->inherits("QWebEngineView"), widget->metaObject()->className());
        for (const QObject *owner : {static_cast<QObject *>(&window), static_cast<QObject *>(qApp)}) {
            for (const QObject *child : owner->findChildren<QObject *>())
                QVERIFY2(!child->inherits("QMediaPlayer"), child->metaObject()->className());
        }
        QCOMPARE(window.minimumSize(), opening.minimum);
    }

    // The screens report choices; the window turns them into routes on top of what is there.
    void screenChoicesPushRoutes()
    {
        ShellFixture f;
        QVERIFY(f.start());
        ContentView window;
        window.push(Route::detail(u"7"_s));
        auto *title = qobject_cast<DetailView *>(window.navigationStack()->currentPage());
        QVERIFY(title);
        QCOMPARE(title->did(), u"7"_s);

        emit title->selected(u"8"_s);
        emit title->filterRequested(u"导演：某人"_s, Params{{u"director"_s, u"某人"_s}});
        emit title->vipRequested();
        QCOMPARE(window.path(), (QList<Route>{Route::detail(u"7"_s), Route::detail(u"8"_s),
                                              Route::filterResult(u"导演：某人"_s, Params{{u"director"_s, u"某人"_s}}),
                                              Route::userCenterVip()}));
        QVERIFY(qobject_cast<DetailView *>(window.navigationStack()->pageAt(1)));
        QVERIFY(qobject_cast<FilterResultView *>(window.navigationStack()->pageAt(2)));

        // Playing from the title page starts at the beginning.
        emit title->playRequested(PlayEntry{}, u"第1集"_s);
        QCOMPARE(window.path().last(), Route::play(PlayEntry{}, u"第1集"_s, 0));
        QVERIFY(qobject_cast<PlayerView *>(window.navigationStack()->currentPage()));

        // The log-in page closes itself once signed in, leaving what was underneath.
        window.push(Route::login());
        auto *login = qobject_cast<LoginView *>(window.navigationStack()->currentPage());
        QVERIFY(login);
        const qsizetype depth = window.path().size();
        emit login->dismissRequested();
        QCOMPARE(window.path().size(), depth - 1);
        QVERIFY(qobject_cast<PlayerView *>(window.navigationStack()->currentPage()));

        // A paid torrent's gate opens the user centre on the membership tab.
        auto *centre = qobject_cast<UserCenterView *>(window.navigationStack()->pageAt(3));
        QVERIFY(centre);
        QCOMPARE(centre->tab(), UserCenterTab::vip);
        window.push(Route::userCenter());
        centre = qobject_cast<UserCenterView *>(window.navigationStack()->currentPage());
        QVERIFY(centre);
        QCOMPARE(centre->tab(), UserCenterTab::gold);

        // A torrent from the title page opens its resource page.
        emit title->downloadRequested(u"7"_s, Torrent{});
        QVERIFY(qobject_cast<DownloadView *>(window.navigationStack()->currentPage()));

        // The community section's root is the board.
        window.selectSection(SidebarSection::community());
        QVERIFY(qobject_cast<CommunityView *>(window.navigationStack()->root()));
    }

    // Names from the server are shown as they are, never as markup.
    void serverNamesStayPlain()
    {
        ShellFixture f;
        QVERIFY(f.start());
        f.site.route(u"/api/nav"_s, FakeSite::ok(jsonArray({navJson(u"1"_s, u"<b>粗</b> & <img src=x>"_s)})));
        ContentView window;
        QVERIFY(runTask(window.loadNav()));
        window.sidebarRows().at(1)->click();
        auto *browse = qobject_cast<BrowseView *>(window.navigationStack()->root());
        QVERIFY(browse);
        QCOMPARE(browse->category().name, u"<b>粗</b> & <img src=x>"_s);
        // Pages pushed for a route show its texts the same way.
        window.push(Route::web(u"mailto:x"_s, u"<b>粗</b> & <img src=x>"_s));
        auto *page = window.navigationStack()->currentPage();
        QVERIFY(qobject_cast<WebPageView *>(page));
        bool shown = false;
        for (const QLabel *label : page->findChildren<QLabel *>()) {
            if (label->text() == u"<b>粗</b> & <img src=x>"_s) {
                QCOMPARE(label->textFormat(), Qt::PlainText);
                shown = true;
            }
        }
        QVERIFY(shown);
    }
};

TOVRA_TEST(ContentViewTest)
#include "tst_contentview.moc"
