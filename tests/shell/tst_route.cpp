#include "models/route.h"
#include "support/testmain.h"

#include <QTest>

using namespace tovra;
using namespace Qt::StringLiterals;

namespace {

NavItem navItem(const QString &id, const QString &name, std::optional<QString> url = std::nullopt,
                bool external = false, qint64 newCount = 0)
{
    NavItem item;
    item.id = id;
    item.name = name;
    item.url = std::move(url);
    item.external = external;
    item.newCount = newCount;
    return item;
}

NavItem link(const QString &name, std::optional<QString> url)
{
    return navItem(QStringLiteral("x-") + name, name, std::move(url), true);
}

enum class Linked { None, Ranking, Top250 };

std::optional<SidebarSection> sectionFor(Linked linked)
{
    switch (linked) {
    case Linked::Ranking:
        return SidebarSection::ranking();
    case Linked::Top250:
        return SidebarSection::top250();
    case Linked::None:
        break;
    }
    return std::nullopt;
}

}

Q_DECLARE_METATYPE(std::optional<QString>)
Q_DECLARE_METATYPE(Linked)
Q_DECLARE_METATYPE(tovra::NavItem)
Q_DECLARE_METATYPE(tovra::SidebarSection)
Q_DECLARE_METATYPE(tovra::navigation::RootScreen)

class RouteTest : public QObject
{
    Q_OBJECT

private slots:
    void externalLinks_data()
    {
        QTest::addColumn<std::optional<QString>>("url");
        QTest::addColumn<Linked>("linked");

        QTest::newRow("ranking") << std::optional<QString>(u"https://site.example/ranking"_s) << Linked::Ranking;
        QTest::newRow("ranking with query")
            << std::optional<QString>(u"https://site.example/ranking?day=1#top"_s) << Linked::Ranking;
        QTest::newRow("nested ranking")
            << std::optional<QString>(u"https://site.example/list/ranking"_s) << Linked::Ranking;
        QTest::newRow("relative top250") << std::optional<QString>(u"/top250"_s) << Linked::Top250;
        QTest::newRow("top250 with query")
            << std::optional<QString>(u"https://site.example/top250?page=2"_s) << Linked::Top250;
        QTest::newRow("one letter more") << std::optional<QString>(u"https://site.example/rankings"_s) << Linked::None;
        QTest::newRow("trailing slash") << std::optional<QString>(u"https://site.example/ranking/"_s) << Linked::None;
        QTest::newRow("in the query only")
            << std::optional<QString>(u"https://site.example/page?next=/ranking"_s) << Linked::None;
        QTest::newRow("no separator") << std::optional<QString>(u"https://site.example/xranking"_s) << Linked::None;
        QTest::newRow("other page") << std::optional<QString>(u"https://other.example/forum"_s) << Linked::None;
        QTest::newRow("unparsable") << std::optional<QString>(u"http://bad host/ranking"_s) << Linked::None;
        QTest::newRow("empty") << std::optional<QString>(u""_s) << Linked::None;
        QTest::newRow("absent") << std::optional<QString>() << Linked::None;
    }

    // The section a link stands for decides both its highlight and what a click does.
    void externalLinks()
    {
        QFETCH(std::optional<QString>, url);
        QFETCH(Linked, linked);
        const NavItem item = link(u"榜单"_s, url);
        const auto expected = sectionFor(linked);

        QCOMPARE(navigation::linkedSection(item), expected);

        const QList<SidebarSection> all{SidebarSection::home(), SidebarSection::ranking(), SidebarSection::top250(),
                                        SidebarSection::community(), SidebarSection::category(item)};
        for (const auto &section : all)
            QCOMPARE(navigation::isActive(item, section), expected && *expected == section);

        const NavOutcome outcome = navigation::open(item);
        if (expected) {
            QCOMPARE(outcome, NavOutcome{NavOutcome::Select{*expected}});
        } else if (url && !url->isEmpty()) {
            // Unparsable addresses too: the web page explains that it cannot open them.
            QCOMPARE(outcome, NavOutcome{NavOutcome::Push{Route::web(*url, u"榜单"_s)}});
        } else {
            QCOMPARE(outcome, NavOutcome{NavOutcome::Nothing{}});
        }
    }

    void moreLinkPicksFirstNonExternalMatch()
    {
        const QList<NavItem> nav{
            link(u"电影"_s, u"https://site.example/movies"_s),
            navItem(u"2"_s, u"电影"_s, std::nullopt, false, 3),
            navItem(u"7"_s, u"电影"_s),
            navItem(u"8"_s, u"剧集"_s),
        };
        QCOMPARE(navigation::openCategory(u"电影"_s, nav), SidebarSection::category(nav.at(1)));
        QCOMPARE(navigation::openCategory(u"剧集"_s, nav), SidebarSection::category(nav.at(3)));
    }

    void moreLinkWithoutMatchMakesStandAloneCategory_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << u"纪录片"_s;
        QTest::newRow("case differs") << u"Anime"_s;
        QTest::newRow("quote and backslash") << u"say \"hi\" \\ back\\"_s;
        QTest::newRow("control character") << u"tab\there"_s;
        QTest::newRow("empty") << QString();
    }

    void moreLinkWithoutMatchMakesStandAloneCategory()
    {
        QFETCH(QString, name);
        const QList<NavItem> nav{navItem(u"1"_s, u"anime"_s), link(name, u"https://site.example/x"_s)};
        const SidebarSection section = navigation::openCategory(name, nav);
        const NavItem *item = section.categoryItem();
        QVERIFY(item);
        QCOMPARE(item->name, name);
        QCOMPARE(item->id, QString());
        QCOMPARE(item->icon, u"tags"_s);
        QCOMPARE(item->url, std::nullopt);
        QCOMPARE(item->external, false);
        QCOMPARE(item->newCount, 0);
    }

    void refreshedListRepointsSelection_data()
    {
        QTest::addColumn<NavItem>("selected");
        QTest::addColumn<QList<NavItem>>("refreshed");
        QTest::addColumn<int>("expectedIndex"); // -1: the selection stays as it was

        const NavItem movies = navItem(u"2"_s, u"电影"_s, std::nullopt, false, 5);
        NavItem moviesFresh = movies;
        moviesFresh.newCount = 9;
        NavItem moviesNewIcon = movies;
        moviesNewIcon.icon = u"film"_s;
        NavItem moviesRenamed = movies;
        moviesRenamed.name = u"影片"_s;
        NavItem moviesAsLink = moviesFresh;
        moviesAsLink.external = true;
        moviesAsLink.url = u"https://site.example/movies"_s;

        QTest::newRow("count changed") << movies << QList<NavItem>{navItem(u"1"_s, u"剧集"_s), moviesFresh} << 1;
        QTest::newRow("icon changed") << movies << QList<NavItem>{moviesNewIcon} << 0;
        QTest::newRow("unchanged") << movies << QList<NavItem>{movies} << 0;
        QTest::newRow("renamed") << movies << QList<NavItem>{moviesRenamed} << -1;
        QTest::newRow("now a link") << movies << QList<NavItem>{moviesAsLink} << -1;
        QTest::newRow("gone") << movies << QList<NavItem>{navItem(u"1"_s, u"剧集"_s)} << -1;
        QTest::newRow("stand-alone category")
            << NavItem::virtualItem(u"纪录片"_s) << QList<NavItem>{navItem(u"3"_s, u"纪录片"_s)} << -1;
    }

    void refreshedListRepointsSelection()
    {
        QFETCH(NavItem, selected);
        QFETCH(QList<NavItem>, refreshed);
        QFETCH(int, expectedIndex);
        const SidebarSection before = SidebarSection::category(selected);
        const SidebarSection after = navigation::repoint(before, refreshed);
        QCOMPARE(after, expectedIndex < 0 ? before : SidebarSection::category(refreshed.at(expectedIndex)));
    }

    void fixedSectionsAreNeverRepointed()
    {
        const QList<NavItem> nav{navItem(u""_s, u"首页"_s)};
        for (const auto &section : {SidebarSection::home(), SidebarSection::ranking(), SidebarSection::top250(),
                                    SidebarSection::community()})
            QCOMPARE(navigation::repoint(section, nav), section);
    }

    void rootScreenFollowsSearchThenSection_data()
    {
        using navigation::RootScreen;
        QTest::addColumn<QString>("submitted");
        QTest::addColumn<SidebarSection>("section");
        QTest::addColumn<RootScreen>("screen");
        const SidebarSection movies = SidebarSection::category(navItem(u"2"_s, u"电影"_s));
        QTest::newRow("home") << QString() << SidebarSection::home() << RootScreen::Home;
        QTest::newRow("ranking") << QString() << SidebarSection::ranking() << RootScreen::Ranking;
        QTest::newRow("top250") << QString() << SidebarSection::top250() << RootScreen::Top250;
        QTest::newRow("community") << QString() << SidebarSection::community() << RootScreen::Community;
        QTest::newRow("category") << QString() << movies << RootScreen::Category;
        QTest::newRow("search over home") << u"流浪地球"_s << SidebarSection::home() << RootScreen::Search;
        QTest::newRow("search over category") << u"流浪地球"_s << movies << RootScreen::Search;
        QTest::newRow("search over community") << u"三体"_s << SidebarSection::community() << RootScreen::Search;
    }

    void rootScreenFollowsSearchThenSection()
    {
        QFETCH(QString, submitted);
        QFETCH(SidebarSection, section);
        QFETCH(navigation::RootScreen, screen);
        QCOMPARE(navigation::rootScreen(submitted, section), screen);
    }

    void sectionEquality()
    {
        const NavItem movies = navItem(u"2"_s, u"电影"_s, std::nullopt, false, 5);
        NavItem fresher = movies;
        fresher.newCount = 6;
        NavItem withUrl = movies;
        withUrl.url = QString();

        QCOMPARE(SidebarSection::home(), SidebarSection::home());
        QCOMPARE(SidebarSection(), SidebarSection::home());
        QCOMPARE(SidebarSection::category(movies), SidebarSection::category(movies));
        QVERIFY(SidebarSection::category(movies) != SidebarSection::category(fresher));
        // An absent address and an empty one are different values.
        QVERIFY(SidebarSection::category(movies) != SidebarSection::category(withUrl));
        QVERIFY(SidebarSection::category(movies) != SidebarSection::home());
        QVERIFY(SidebarSection::ranking() != SidebarSection::top250());
    }

    void routeEquality()
    {
        const RouteParams forward{{u"tag"_s, u"科幻"_s}, {u"year"_s, u"2020"_s}};
        RouteParams backward;
        backward.insert(u"year"_s, u"2020"_s);
        backward.insert(u"tag"_s, u"科幻"_s);
        QCOMPARE(Route::filterResult(u"科幻"_s, forward), Route::filterResult(u"科幻"_s, backward));
        QVERIFY(Route::filterResult(u"科幻"_s, forward) != Route::filterResult(u"科幻"_s, {}));

        PlayEntry entry;
        entry.episode = 1;
        entry.did = u"42"_s;
        entry.token = u"t"_s;
        entry.expired = 100;
        PlayEntry otherToken = entry;
        otherToken.token = u"u"_s;
        QCOMPARE(Route::play(entry, u"片名"_s, 0), Route::play(entry, u"片名"_s, 0));
        QVERIFY(Route::play(entry, u"片名"_s, 0) != Route::play(otherToken, u"片名"_s, 0));
        QVERIFY(Route::play(entry, u"片名"_s, 0) != Route::play(entry, u"片名"_s, 30));

        Torrent torrent;
        torrent.index = 3;
        Torrent paid = torrent;
        paid.price = 10;
        QCOMPARE(Route::download(u"42"_s, torrent), Route::download(u"42"_s, torrent));
        QVERIFY(Route::download(u"42"_s, torrent) != Route::download(u"42"_s, paid));

        QCOMPARE(Route::userCenter(), Route::userCenter());
        QVERIFY(Route::userCenter() != Route::userCenterVip());
        QVERIFY(Route::detail(u"1"_s) != Route::web(u"1"_s, u"1"_s));
    }
};

TOVRA_TEST(RouteTest)
#include "tst_route.moc"
