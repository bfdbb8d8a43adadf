#include "models/apiresponse.h"
#include "models/catalogue.h"
#include "modeltesting.h"

#include <QJsonDocument>
#include <QSet>
#include <QTest>
#include "support/testmain.h"

using namespace tovra;
using namespace Qt::StringLiterals;
using tovra::test::decodeBoth;
using tovra::test::j;
using tovra::test::OptText;

class CatalogueRecordsTest : public QObject
{
    Q_OBJECT

private slots:
    void itemFromIdAlone()
    {
        const auto item = decodeBoth<Item>(j("{'did':42}"));
        QVERIFY(item);
        QCOMPARE(item->did, u"42"_s);
        QCOMPARE(item->title, QString());
        QCOMPARE(item->tags, std::optional<QStringList>());
        QCOMPARE(item->stars, QStringList());
        QCOMPARE(item->playable, false);
        QCOMPARE(item->rank, std::optional<qint64>());
        QCOMPARE(item->score, OptText());
        QCOMPARE(item->torrentCount, 0);
    }

    void itemLenientFields_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("did");
        QTest::addColumn<OptText>("score");

        QTest::newRow("text id") << j("{'did':'a1','score':'7.9'}") << u"a1"_s << OptText(u"7.9"_s);
        QTest::newRow("fractional id") << j("{'did':42.5}") << u"42.5"_s << OptText();
        QTest::newRow("flag id") << j("{'did':true}") << QString() << OptText();
        QTest::newRow("id beyond 64 bits") << j("{'did':1e19}") << QString() << OptText();
        QTest::newRow("integral score") << j("{'did':'x','score':8}") << u"x"_s << OptText(u"8"_s);
        QTest::newRow("score 8.0") << j("{'did':'x','score':8.0}") << u"x"_s << OptText(u"8"_s);
        QTest::newRow("fractional score") << j("{'did':'x','score':8.5}") << u"x"_s << OptText(u"8.5"_s);
        QTest::newRow("score null") << j("{'did':'x','score':null}") << u"x"_s << OptText();
        QTest::newRow("score object") << j("{'did':'x','score':{}}") << u"x"_s << OptText();
    }

    void itemLenientFields()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, did);
        QFETCH(OptText, score);
        const auto item = decodeBoth<Item>(json);
        QVERIFY(item);
        QCOMPARE(item->did, did);
        QCOMPARE(item->score, score);
    }

    void itemStrictFields_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("reads");

        QTest::newRow("playable 1") << j("{'playable':1}") << false;
        QTest::newRow("title number") << j("{'title':5}") << false;
        QTest::newRow("title null") << j("{'title':null}") << true;
        QTest::newRow("tags text") << j("{'tags':'剧情'}") << false;
        QTest::newRow("tags null") << j("{'tags':null}") << true;
        QTest::newRow("stars with a number") << j("{'stars':['a',1]}") << false;
        QTest::newRow("rank fraction") << j("{'rank':1.5}") << false;
        QTest::newRow("torrent_count text") << j("{'torrent_count':'3'}") << false;
        QTest::newRow("not an object") << j("[]") << false;
    }

    void itemStrictFields()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, reads);
        QCOMPARE(decodeBoth<Item>(json).has_value(), reads);
    }

    void itemFullRecord()
    {
        const auto item = decodeBoth<Item>(j(
            "{'did':'d1','title':'标题','titles':['A','B'],'image':'https://i/1.jpg','score':7.5,"
            "'showdate':'2020-01-02','tags':[],'torrent_count':3,'watch_num':9,'playable':true,"
            "'episodes':12,'stars':['s'],'director':['d'],'country':['c'],'char_date':'2024-06-01',"
            "'badge':'HD','alias':'别名','rank':1,'unlisted':{'a':[1]}}"));
        QVERIFY(item);
        QCOMPARE(item->titles, (QStringList{u"A"_s, u"B"_s}));
        QCOMPARE(item->tags, std::optional<QStringList>(QStringList()));
        QCOMPARE(item->torrentCount, 3);
        QCOMPARE(item->watchNum, 9);
        QCOMPARE(item->playable, true);
        QCOMPARE(item->episodes, 12);
        QCOMPARE(item->charDate, OptText(u"2024-06-01"_s));
        QCOMPARE(item->alias, OptText(u"别名"_s));
        QCOMPARE(item->rank, std::optional<qint64>(1));
        QCOMPARE(item->id(), u"d1"_s);
    }

    void itemEqualityAndHash()
    {
        const Item a = *decodeBoth<Item>(j("{'did':'1','title':'t','rank':1}"));
        Item b = a;
        QVERIFY(a == b);
        QCOMPARE(qHash(a), qHash(b));
        b.rank = 2;
        QVERIFY(!(a == b));
        b.rank.reset();
        QVERIFY(!(a == b));
        const QSet<Item> set{a, b, a};
        QCOMPARE(set.size(), 2);
    }

    void hotAndRankEntriesNeedEveryField()
    {
        QVERIFY(decodeBoth<HotItem>(j("{'did':'1','title':'t','image':'i','count':5,'watch_num':2}")));
        QVERIFY(!decodeBoth<HotItem>(j("{'did':'1','title':'t','image':'i','count':5}")));
        QVERIFY(!decodeBoth<HotItem>(j("{'did':1,'title':'t','image':'i','count':5,'watch_num':2}")));
        const auto rank = decodeBoth<RankItem>(j("{'did':'1','title':'t','image':'i','count':5}"));
        QVERIFY(rank);
        QCOMPARE(rank->count, 5);
        QVERIFY(!decodeBoth<RankItem>(j("{'did':'1','title':'t','image':'i','count':null}")));
    }

    void homePage()
    {
        const auto home = decodeBoth<HomeData>(j(
            "{'hot':[{'did':'1','title':'t','image':'i','count':5,'watch_num':2}],"
            "'new':[{'did':'n'}],'tv':null,'more_tv':12,'category_tv':'电视剧','date':'2024-06-01'}"));
        QVERIFY(home);
        QCOMPARE(home->hot.size(), 1);
        QCOMPARE(home->new_.size(), 1);
        QCOMPARE(home->new_.first().did, u"n"_s);
        QVERIFY(home->tv.isEmpty() && home->follow.isEmpty() && home->list.isEmpty());
        QCOMPARE(home->moreTv, OptText(u"12"_s));
        QCOMPARE(home->categoryTv, OptText(u"电视剧"_s));
        QCOMPARE(home->categoryEro, OptText());

        QCOMPARE(decodeBoth<HomeData>(j("{'more_tv':'更多'}"))->moreTv, OptText(u"更多"_s));
        QCOMPARE(decodeBoth<HomeData>(j("{'more_tv':1.5}"))->moreTv, OptText());
        // One bad title in a section fails the page.
        QVERIFY(!decodeBoth<HomeData>(j("{'follow':[{'did':'a'},{'playable':'yes'}]}")));
    }

    void navItem_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("reads");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("icon");

        QTest::newRow("numeric id") << j("{'id':12,'name':'电影'}") << true << u"12"_s << u"tags"_s;
        QTest::newRow("text id") << j("{'id':'x','name':'n','icon':'film'}") << true << u"x"_s << u"film"_s;
        QTest::newRow("null id") << j("{'id':null,'name':'n'}") << true << QString() << u"tags"_s;
        QTest::newRow("fractional id") << j("{'id':1.5,'name':'n'}") << true << QString() << u"tags"_s;
        QTest::newRow("null icon") << j("{'name':'n','icon':null}") << true << QString() << u"tags"_s;
        QTest::newRow("no name") << j("{'id':1}") << false << QString() << QString();
        QTest::newRow("external as number") << j("{'name':'n','external':1}") << false << QString() << QString();
    }

    void navItem()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, reads);
        QFETCH(QString, id);
        QFETCH(QString, icon);
        const auto item = decodeBoth<NavItem>(json);
        QCOMPARE(item.has_value(), reads);
        if (!reads)
            return;
        QCOMPARE(item->id, id);
        QCOMPARE(item->icon, icon);
        QCOMPARE(item->external, false);
        QCOMPARE(item->newCount, 0);
        QCOMPARE(item->url, OptText());
    }

    void virtualItem_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("ordinary") << u"纪录片"_s;
        QTest::newRow("double quote") << u"say \"hi\""_s;
        QTest::newRow("backslash") << u"a\\b"_s;
        QTest::newRow("control characters") << u"tab\there\nnext"_s;
        QTest::newRow("json lookalike") << u"\",\"icon\":\"x"_s;
        QTest::newRow("empty") << QString();
    }

    void virtualItem()
    {
        QFETCH(QString, name);
        const NavItem item = NavItem::virtualItem(name);
        QCOMPARE(item.name, name);
        QCOMPARE(item.id, QString());
        QCOMPARE(item.icon, u"tags"_s);
        QCOMPARE(item.url, OptText());
        QCOMPARE(item.external, false);
        QCOMPARE(item.newCount, 0);
    }

    void navItemsWriteAndReadBack()
    {
        NavItem withUrl{u"12"_s, u"排行 \"日\"\\榜"_s, u"chart"_s, u"https://x/ranking"_s, true, 3};
        NavItem plain{u"007"_s, u"电影\n"_s, u"tags"_s, std::nullopt, false, 0};
        const QList<NavItem> items{withUrl, plain};

        const QByteArray bytes = navItemsToJson(items);
        QCOMPARE(json::decodeDocument<QList<NavItem>>(bytes).value_or(QList<NavItem>()), items);
        // Keys in reading order; an absent url is left out.
        QCOMPARE(plain.toJsonBytes(),
                 "{\"id\":\"007\",\"name\":\"电影\\n\",\"icon\":\"tags\",\"external\":false,\"new_count\":0}"_ba);
        QVERIFY(bytes.startsWith("[{\"id\":\"12\",\"name\":\"排行 \\\"日\\\"\\\\榜\",\"icon\":\"chart\","
                                 "\"url\":\"https://x/ranking\",\"external\":true,\"new_count\":3}"));
        // The object form reads back the same way.
        QCOMPARE(NavItem::fromJson(withUrl.toJson()).value_or(NavItem()), withUrl);
        QVERIFY(!plain.toJson().contains(u"url"_s));
    }

    void tag_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("reads");
        QTest::addColumn<qint64>("id");

        QTest::newRow("number") << j("{'id':15,'name':'动作'}") << true << qint64(15);
        QTest::newRow("numeric text") << j("{'id':'15','name':'动作'}") << true << qint64(15);
        QTest::newRow("other text") << j("{'id':'abc','name':'动作'}") << true << qint64(0);
        QTest::newRow("fraction") << j("{'id':1.5,'name':'动作'}") << true << qint64(0);
        QTest::newRow("no id") << j("{'name':'动作'}") << true << qint64(0);
        QTest::newRow("no name") << j("{'id':15}") << false << qint64(0);
    }

    void tag()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, reads);
        QFETCH(qint64, id);
        const auto tag = decodeBoth<Tag>(json);
        QCOMPARE(tag.has_value(), reads);
        if (reads)
            QCOMPARE(tag->id, id);
    }

    void filterOptions()
    {
        const QByteArray json = j(
            "{'column':[{'id':'3','name':'动作'}],'country':[{'value':1,'label':'大陆'}],"
            "'year':[{'value':2024,'label':'2024'}],'sort':['最新','最热'],'isbt':['a'],'isplay':[]}");
        const auto options = decodeBoth<FilterOptions>(json);
        QVERIFY(options);
        QCOMPARE(options->column, (QList<Tag>{{3, u"动作"_s}}));
        QCOMPARE(options->country, (QList<Choice>{{1, u"大陆"_s}}));
        QCOMPARE(options->year.first().id(), 2024);

        QVERIFY(!decodeBoth<FilterOptions>(j("{'column':[],'country':[],'year':[],'sort':[],'isbt':[]}")));
        QVERIFY(!decodeBoth<FilterOptions>(j("{'column':[],'country':[{'value':'1','label':'x'}],"
                                             "'year':[],'sort':[],'isbt':[],'isplay':[]}")));

        // Written and read back, either way, it has the same values.
        const QByteArray bytes = options->toJsonBytes();
        QVERIFY(bytes.startsWith("{\"column\":[{\"id\":3,\"name\":\"动作\"}],\"country\":"));
        QVERIFY(bytes.endsWith(",\"isplay\":[]}"));
        for (const auto &reread : {json::decodeDocument<FilterOptions>(bytes),
                                   FilterOptions::fromJson(options->toJson())}) {
            QVERIFY(reread);
            QCOMPARE(reread->column, options->column);
            QCOMPARE(reread->country, options->country);
            QCOMPARE(reread->year, options->year);
            QCOMPARE(reread->sort, options->sort);
            QCOMPARE(reread->isbt, options->isbt);
            QCOMPARE(reread->isplay, options->isplay);
        }
    }

    void suggestion_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("did");
        QTest::addColumn<QString>("title");
        QTest::addColumn<OptText>("year");
        QTest::addColumn<OptText>("score");
        QTest::addColumn<qint64>("torrents");
        QTest::addColumn<QStringList>("stars");

        QTest::newRow("highlighted")
            << j("{'did':42,'title':['T'],'stars':['s'],'score':9.16,'showdate':'2019-05-01','torrents':'12',"
                 "'_formatted':{'title':['<b>T</b>x'],'stars':['<b>s</b>']}}")
            << u"42"_s << u"<b>T</b>x"_s << OptText(u"2019"_s) << OptText(u"9.2"_s) << qint64(12)
            << QStringList{u"<b>s</b>"_s};
        QTest::newRow("empty highlighted title")
            << j("{'title':['plain','other'],'_formatted':{'title':[]},'score':8}")
            << QString() << u"plain"_s << OptText() << OptText(u"8"_s) << qint64(0) << QStringList();
        QTest::newRow("plain title as text")
            << j("{'title':'plain','score':8.5}")
            << QString() << QString() << OptText() << OptText(u"8.5"_s) << qint64(0) << QStringList();
        QTest::newRow("empty highlighted cast wins")
            << j("{'stars':['a','b'],'_formatted':{'stars':[]}}")
            << QString() << QString() << OptText() << OptText() << qint64(0) << QStringList();
        QTest::newRow("broken highlighted block")
            << j("{'title':['plain'],'stars':['a'],'_formatted':{'title':'x','stars':['<b>a</b>']}}")
            << QString() << u"plain"_s << OptText() << OptText() << qint64(0) << QStringList{u"a"_s};
        QTest::newRow("short showdate")
            << j("{'showdate':'201','torrents':'12a'}")
            << QString() << QString() << OptText() << OptText() << qint64(0) << QStringList();
        QTest::newRow("numeric showdate")
            << j("{'showdate':2019,'torrents':true}")
            << QString() << QString() << OptText(u"2019"_s) << OptText() << qint64(0) << QStringList();
        QTest::newRow("unreadable members")
            << j("{'did':null,'title':[1],'stars':{},'score':[],'torrents':7}")
            << QString() << QString() << OptText() << OptText() << qint64(7) << QStringList();
    }

    void suggestion()
    {
        QFETCH(QByteArray, json);
        const auto hit = decodeBoth<SuggestItem>(json);
        QVERIFY(hit);
        QTEST(hit->did, "did");
        QTEST(hit->titleMarked, "title");
        QTEST(hit->year, "year");
        QTEST(hit->score, "score");
        QTEST(hit->torrentCount, "torrents");
        QTEST(hit->starsMarked, "stars");
    }

    void suggestionListFailsOnlyOnNonObjects()
    {
        QVERIFY(decodeBoth<QList<SuggestItem>>(j("[{},{'did':[1]}]")));
        QVERIFY(!decodeBoth<QList<SuggestItem>>(j("[{},'x']")));
    }
};

TOVRA_TEST(CatalogueRecordsTest)
#include "tst_catalogue.moc"
