#include "cataloguefixture.h"
#include "views/catalogue/browseview.h"
#include "views/catalogue/filterbar.h"
#include "views/catalogue/filterchip.h"
#include "views/catalogue/posterlistpage.h"
#include "views/components/pager.h"
#include "views/components/postergrid.h"
#include "views/components/stateoverlay.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include "support/testmain.h"

using namespace tovra;
using namespace tovra::test;

namespace {
const QString kFilter = QStringLiteral("/api/filter");
const QString kTags = QStringLiteral("/api/tags");
const QString kOptions = QStringLiteral("/api/filter_options");
using Query = QMap<QString, QString>;

NavItem category(const QString &id, const QString &name)
{
    NavItem item;
    item.id = id;
    item.name = name;
    return item;
}

void show(QWidget &view)
{
    view.resize(1100, 760);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
}

void serve(CatalogueFixture &f, int pages = 4)
{
    f.site.route(kOptions, FakeSite::ok(optionsJson()));
    f.site.route(kTags, FakeSite::ok(tagsJson()));
    f.site.route(kFilter, [&f, pages](const FakeSite::Request &r) {
        const int page = r.query().queryItemValue(QStringLiteral("page")).toInt();
        return FakeSite::ok(itemsJson(f, page * 100, 7), metaJson(page, pages));
    });
}

// The user picking the entry of a picker that shows text.
void choose(QComboBox *combo, const QString &text)
{
    const int index = combo->findText(text);
    QVERIFY2(index >= 0, qPrintable(text));
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

FilterChip *chip(BrowseView &view, const QString &label)
{
    for (FilterChip *c : view.filterBar()->chips()) {
        if (c->label() == label)
            return c;
    }
    return nullptr;
}

bool settled(const BrowseView &view)
{
    return waitFor([&] { return !view.isLoading(); });
}
}

class TestBrowseView : public QObject
{
    Q_OBJECT
private slots:
    // First appearance: the options, the sub-tags of the category, then page 1 with the start
    // filters, one after the other. The chips come while the keyboard is on a picker, whose ring
    // must leave every picker its height.
    void startSequence()
    {
        CatalogueFixture f;
        serve(f);
        f.site.route(kTags, FakeSite::ok(tagsJson()).withDelay(300));
        BrowseView view(category(QStringLiteral("1"), QStringLiteral("电影")));
        QCOMPARE(view.shown(), BrowseView::Shown::Placeholder);
        show(view);
        QVERIFY(waitFor([&] { return view.filterBar()->pickersShown() && view.isActiveWindow(); }));
        view.filterBar()->yearPicker()->setFocus(Qt::TabFocusReason);
        QVERIFY(waitFor([&] { return view.shown() == BrowseView::Shown::List; }));
        for (QComboBox *picker : {view.filterBar()->countryPicker(), view.filterBar()->sortPicker()})
            QVERIFY(picker->height() >= picker->sizeHint().height());

        QStringList paths;
        for (const auto &r : f.site.requests())
            if (r.path.startsWith(QLatin1String("/api/")))
                paths.append(QString::fromLatin1(r.target));
        QCOMPARE(paths.size(), 3);
        QCOMPARE(paths.at(0), QStringLiteral("/api/filter_options"));
        QCOMPARE(paths.at(1), QStringLiteral("/api/tags?pid=1"));
        QVERIFY(paths.at(2).startsWith(QLatin1String("/api/filter?")));
        QCOMPARE(f.queries(kFilter).first(), (Query{{"column", "电影"}, {"sort", "0"}, {"page", "1"}}));

        QStringList chips;
        for (FilterChip *c : view.filterBar()->chips())
            chips.append(c->label());
        QCOMPARE(chips, (QStringList{"全部类型", "剧情", "科幻", "悬疑 & 犯罪", "动作"}));
        QVERIFY(chip(view, QStringLiteral("全部类型"))->isActive());
        QVERIFY(view.filterBar()->pickersShown());
        QCOMPARE(view.filterBar()->yearPicker()->currentText(), QStringLiteral("全部年份"));
        QCOMPARE(view.filterBar()->sortPicker()->count(), 3);
        QVERIFY(view.list()->pager()->isVisible());
    }

    // A stand-alone category has no number: no sub-tag request and no chips.
    void categoryWithoutNumber_data()
    {
        QTest::addColumn<QString>("id");
        QTest::newRow("virtual") << QString();
        QTest::newRow("not a number") << QStringLiteral("movie");
        QTest::newRow("too big") << QStringLiteral("99999999999999999999");
    }
    void categoryWithoutNumber()
    {
        QFETCH(QString, id);
        CatalogueFixture f;
        serve(f);
        NavItem item = id.isEmpty() ? NavItem::virtualItem(QStringLiteral("爱情")) : category(id, QStringLiteral("爱情"));
        BrowseView view(item);
        show(view);
        QVERIFY(waitFor([&] { return view.shown() == BrowseView::Shown::List; }));
        QVERIFY(f.requests(kTags).isEmpty());
        QVERIFY(view.filterBar()->chipRow()->isHidden());
        QCOMPARE(f.queries(kFilter).first().value(QStringLiteral("column")), QStringLiteral("爱情"));
    }

    void failingSubTagsShowNoChips()
    {
        CatalogueFixture f;
        serve(f);
        f.site.route(kTags, FakeSite::text("", 500));
        BrowseView view(category(QStringLiteral("-3"), QStringLiteral("电影")));
        show(view);
        QVERIFY(waitFor([&] { return view.shown() == BrowseView::Shown::List; }));
        QCOMPARE(f.requests(kTags).first().rawQuery, QByteArray("pid=-3"));
        QVERIFY(view.filterBar()->chipRow()->isHidden());
        QVERIFY(view.subTags().isEmpty());
    }

    // Each control adds its key while chosen and drops it again; a picker or toggle change
    // always goes back to page 1.
    void filterParameters()
    {
        CatalogueFixture f;
        serve(f, 9);
        BrowseView view(category(QStringLiteral("1"), QStringLiteral("电影")));
        show(view);
        QVERIFY(waitFor([&] { return view.shown() == BrowseView::Shown::List; }));
        FilterBar *bar = view.filterBar();
        const auto last = [&] { return f.queries(kFilter).last(); };
        const auto step = [&](auto action) {
            const auto before = f.requests(kFilter).size();
            action();
            QVERIFY(waitFor([&] { return f.requests(kFilter).size() == before + 1; }));
            QVERIFY(settled(view));
        };

        step([&] { view.changePage(3); });
        QCOMPARE(last().value(QStringLiteral("page")), QStringLiteral("3"));
        step([&] { choose(bar->yearPicker(), QStringLiteral("2024")); });
        QCOMPARE(last(), (Query{{"column", "电影"}, {"year", "2024"}, {"sort", "0"}, {"page", "1"}}));
        step([&] { choose(bar->countryPicker(), QStringLiteral("日本")); });
        QCOMPARE(last().value(QStringLiteral("countryID")), QStringLiteral("3"));
        step([&] { choose(bar->sortPicker(), QStringLiteral("最多观看")); });
        QCOMPARE(last().value(QStringLiteral("sort")), QStringLiteral("2"));
        step([&] { bar->torrentToggle()->click(); });
        step([&] { bar->playableToggle()->click(); });
        step([&] { chip(view, QStringLiteral("悬疑 & 犯罪"))->click(); });
        QCOMPARE(last(), (Query{{"column", "电影"},
                                {"tag", "悬疑 & 犯罪"},
                                {"year", "2024"},
                                {"countryID", "3"},
                                {"isbt", "1"},
                                {"isplay", "1"},
                                {"sort", "2"},
                                {"page", "1"}}));
        QVERIFY(chip(view, QStringLiteral("悬疑 & 犯罪"))->isActive());
        QVERIFY(!chip(view, QStringLiteral("全部类型"))->isActive());

        // The chip already selected loads again; then the way back, key by key.
        step([&] { chip(view, QStringLiteral("悬疑 & 犯罪"))->click(); });
        step([&] { chip(view, QStringLiteral("全部类型"))->click(); });
        QVERIFY(!last().contains(QStringLiteral("tag")));
        step([&] { choose(bar->yearPicker(), QStringLiteral("全部年份")); });
        QVERIFY(!last().contains(QStringLiteral("year")));
        step([&] { choose(bar->countryPicker(), QStringLiteral("其他")); }); // value -1
        QVERIFY(!last().contains(QStringLiteral("countryID")));
        step([&] { bar->torrentToggle()->click(); });
        step([&] { bar->playableToggle()->click(); });
        QCOMPARE(last(), (Query{{"column", "电影"}, {"sort", "2"}, {"page", "1"}}));
        QCOMPARE(view.filters().country, qint64(-1));
        QCOMPARE(view.page(), qint64(1));
    }

    // The pickers come from the disk at once when the entry is at most a week old; every start
    // rewrites the entry from the network.
    void optionsCache_data()
    {
        QTest::addColumn<int>("age");
        QTest::addColumn<bool>("used");
        QTest::newRow("a day") << 86400 << true;
        QTest::newRow("a week less a second") << 604799 << true;
        QTest::newRow("a week and a second") << 604801 << false;
    }
    void optionsCache()
    {
        QFETCH(int, age);
        QFETCH(bool, used);
        CatalogueFixture f;
        serve(f);
        FilterOptions stored;
        stored.year = {Choice{0, QStringLiteral("不限")}, Choice{1999, QStringLiteral("1999")}};
        stored.sort = {QStringLiteral("旧的排序")};
        f.cache.save(stored, BrowseView::kOptionsKey);
        f.ageCache(age);
        f.site.route(kOptions, FakeSite::ok(optionsJson()).withDelay(300));

        BrowseView view(category(QStringLiteral("1"), QStringLiteral("电影")));
        show(view);
        QVERIFY(f.site.waitForRequests(1));
        QCOMPARE(view.filterBar()->pickersShown(), used);
        if (used)
            QCOMPARE(view.filterBar()->sortPicker()->itemText(0), QStringLiteral("旧的排序"));
        QVERIFY(waitFor([&] { return view.shown() == BrowseView::Shown::List; }));
        QCOMPARE(view.filterBar()->sortPicker()->itemText(0), QStringLiteral("最近更新"));
        f.cache.setClock({});
        const auto saved = f.cache.load<FilterOptions>(BrowseView::kOptionsKey, 60);
        QVERIFY(saved);
        QCOMPARE(saved->sort, (QStringList{"最近更新", "评分最高", "最多观看"}));
        QCOMPARE(saved->country.size(), 5);
    }

    void noOptionsAtAll()
    {
        CatalogueFixture f;
        serve(f);
        f.site.route(kOptions, FakeSite::text("", 500));
        BrowseView view(category(QStringLiteral("1"), QStringLiteral("电影")));
        show(view);
        QVERIFY(waitFor([&] { return view.shown() == BrowseView::Shown::List; }));
        QVERIFY(!view.filterBar()->pickersShown());
        QVERIFY(view.filterBar()->torrentToggle()->isVisible());
        QVERIFY(view.filterBar()->playableToggle()->isVisible());
        QCOMPARE(f.queries(kFilter).first().value(QStringLiteral("sort")), QStringLiteral("0"));
        QVERIFY(!QFile::exists(f.cache.filePath(BrowseView::kOptionsKey)));
    }

    // A bound value that no entry has shows no entry chosen and is still what goes out.
    void boundValueWithoutEntry()
    {
        CatalogueFixture f;
        serve(f);
        f.site.route(kOptions, FakeSite::ok(R"({"column":[],"country":[{"value":5,"label":"五"}],"year":[],"sort":[],"isbt":[],"isplay":[]})"));
        BrowseView view(category(QStringLiteral("1"), QStringLiteral("电影")));
        show(view);
        QVERIFY(waitFor([&] { return view.shown() == BrowseView::Shown::List; }));
        QCOMPARE(view.filterBar()->countryPicker()->currentIndex(), -1);
        QCOMPARE(view.filterBar()->sortPicker()->currentIndex(), -1);
        QCOMPARE(f.queries(kFilter).first().value(QStringLiteral("sort")), QStringLiteral("0"));
    }

    // A new category resets the filters; each filter that the reset changes reloads page 1
    // too, all with the new category and the start values.
    void categorySwitchResets()
    {
        CatalogueFixture f;
        serve(f);
        BrowseView view(category(QStringLiteral("1"), QStringLiteral("电影")));
        show(view);
        QVERIFY(waitFor([&] { return view.shown() == BrowseView::Shown::List; }));
        FilterBar *bar = view.filterBar();
        choose(bar->yearPicker(), QStringLiteral("2020"));
        bar->torrentToggle()->click();
        chip(view, QStringLiteral("科幻"))->click();
        view.changePage(2);
        QVERIFY(waitFor([&] { return f.requests(kFilter).size() == 5; }));
        QVERIFY(settled(view));

        f.site.clearLog();
        view.setCategory(category(QStringLiteral("2"), QStringLiteral("电视剧")));
        QCOMPARE(view.filters(), catalogue::BrowseFilters{});
        QCOMPARE(view.page(), qint64(1));
        QVERIFY(waitFor([&] { return f.requests(kFilter).size() == 3 && !view.isLoading(); }));
        QTest::qWait(100);
        QCOMPARE(f.requests(kFilter).size(), 3);
        for (const Query &q : f.queries(kFilter))
            QCOMPARE(q, (Query{{"column", "电视剧"}, {"sort", "0"}, {"page", "1"}}));
        QCOMPARE(f.requests(kTags).first().rawQuery, QByteArray("pid=2"));
        QCOMPARE(bar->yearPicker()->currentText(), QStringLiteral("全部年份"));
        QVERIFY(!bar->torrentToggle()->isChecked());
        QVERIFY(chip(view, QStringLiteral("全部类型"))->isActive());
    }

    // The key is the pair: ids and names that only run together the same still differ, and a
    // change elsewhere in the item is no new category.
    void reloadKeyIsThePair()
    {
        CatalogueFixture f;
        serve(f);
        BrowseView view(category(QStringLiteral("1"), QStringLiteral("23")));
        show(view);
        QVERIFY(waitFor([&] { return view.shown() == BrowseView::Shown::List; }));
        NavItem sameKey = category(QStringLiteral("1"), QStringLiteral("23"));
        sameKey.icon = QStringLiteral("film");
        sameKey.newCount = 9;
        view.setCategory(sameKey);
        QTest::qWait(100);
        QCOMPARE(f.requests(kFilter).size(), 1);
        QCOMPARE(view.category().newCount, qint64(9));

        view.setCategory(category(QStringLiteral("12"), QStringLiteral("3")));
        QVERIFY(waitFor([&] { return f.requests(kFilter).size() == 2; }));
        QCOMPARE(f.queries(kFilter).last().value(QStringLiteral("column")), QStringLiteral("3"));
        QCOMPARE(f.requests(kTags).last().rawQuery, QByteArray("pid=12"));
    }

    // What the previous category still had in flight lands on nothing: neither its list nor
    // its failure nor its chips.
    void previousCategoryWritesNothing()
    {
        CatalogueFixture f;
        serve(f);
        BrowseView view(category(QStringLiteral("1"), QStringLiteral("电影")));
        show(view);
        QVERIFY(waitFor([&] { return view.shown() == BrowseView::Shown::List; }));

        // A failing load of the first category that ends while the second one is still
        // getting its options.
        f.site.route(kFilter, [&f](const FakeSite::Request &r) {
            if (r.query().queryItemValue(QStringLiteral("column")) == QStringLiteral("电影"))
                return FakeSite::text("", 500).withDelay(150);
            return FakeSite::ok(itemsJson(f, 700, 3), metaJson(1, 1));
        });
        f.site.route(kOptions, FakeSite::ok(optionsJson()).withDelay(500));
        f.site.route(kTags, [](const FakeSite::Request &r) {
            if (r.query().queryItemValue(QStringLiteral("pid")) == QStringLiteral("1"))
                return FakeSite::ok(R"([{"id":1,"name":"旧标签"}])").withDelay(400);
            return FakeSite::ok(R"([{"id":9,"name":"新标签"}])");
        });
        view.changePage(2);
        QVERIFY(waitFor([&] { return f.requests(kFilter).size() == 2; }));
        view.setCategory(category(QStringLiteral("5"), QStringLiteral("纪录片")));
        QTest::qWait(300);
        QVERIFY(!view.error());
        QCOMPARE(view.shown(), BrowseView::Shown::Placeholder);
        QVERIFY(waitFor([&] { return view.shown() == BrowseView::Shown::List; }));
        QVERIFY(!view.error());
        QCOMPARE(view.items().first().did, QStringLiteral("d700"));
        f.site.route(kOptions, FakeSite::ok(optionsJson()));

        // And a start overtaken during its sub-tags.
        view.setCategory(category(QStringLiteral("1"), QStringLiteral("电影")));
        QVERIFY(waitFor([&] { return f.requests(kTags).size() == 3; }));
        view.setCategory(category(QStringLiteral("6"), QStringLiteral("短剧")));
        QVERIFY(waitFor([&] { return view.subTags().size() == 1 && !view.isLoading(); }));
        QVERIFY(f.manager.quiet()); // the overtaken start's sub-tags are in too
        QCOMPARE(view.subTags().first().name, QStringLiteral("新标签"));
        QVERIFY(chip(view, QStringLiteral("新标签")));
    }

    void failureOnAPageAndRetry()
    {
        CatalogueFixture f;
        serve(f);
        BrowseView view(category(QStringLiteral("1"), QStringLiteral("电影")));
        show(view);
        QVERIFY(waitFor([&] { return view.shown() == BrowseView::Shown::List; }));
        f.site.route(kFilter, FakeSite::json(FakeSite::envelope(500, QStringLiteral("筛选失败"))));
        view.list()->pager()->nextButton()->click();
        QVERIFY(waitFor([&] { return view.shown() == BrowseView::Shown::Error; }));
        QCOMPARE(view.overlay()->titleText(), QStringLiteral("加载失败"));
        QCOMPARE(view.overlay()->messageText(), QStringLiteral("筛选失败（500）"));
        serve(f);
        view.overlay()->retryButton()->click();
        QCOMPARE(view.shown(), BrowseView::Shown::Placeholder);
        QVERIFY(waitFor([&] { return view.shown() == BrowseView::Shown::List; }));
        QCOMPARE(f.queries(kFilter).last().value(QStringLiteral("page")), QStringLiteral("2"));
        QCOMPARE(view.items().first().did, QStringLiteral("d200"));
    }

    void emptyPage()
    {
        CatalogueFixture f;
        serve(f);
        f.site.route(kFilter, FakeSite::ok("[]", metaJson(1, 3)));
        BrowseView view(category(QStringLiteral("1"), QStringLiteral("电影")));
        show(view);
        QVERIFY(waitFor([&] { return view.shown() == BrowseView::Shown::Empty; }));
        QCOMPARE(view.overlay()->titleText(), QStringLiteral("没有内容"));
        QCOMPARE(view.overlay()->messageText(), QStringLiteral("当前筛选条件下没有资源"));
        QVERIFY(!view.list()->isVisible());
    }

    // Back from a title page: the same filters and page, nothing loaded again.
    void comingBackKeepsFilters()
    {
        CatalogueFixture f;
        serve(f);
        BrowseView view(category(QStringLiteral("1"), QStringLiteral("电影")));
        QSignalSpy selected(&view, &BrowseView::selected);
        show(view);
        QVERIFY(waitFor([&] { return view.shown() == BrowseView::Shown::List; }));
        choose(view.filterBar()->yearPicker(), QStringLiteral("2021"));
        QVERIFY(waitFor([&] { return f.requests(kFilter).size() == 2; }));
        QVERIFY(settled(view));
        PosterGrid *grid = view.list()->grid();
        QTest::mouseClick(grid, Qt::LeftButton, {}, grid->cardRect(4).center());
        QCOMPARE(selected.first().first().toString(), QStringLiteral("d104"));
        view.hide();
        view.show();
        QTest::qWait(100);
        QCOMPARE(view.filters().year, qint64(2021));
        QCOMPARE(f.requests(kFilter).size(), 2);
        QCOMPARE(f.requests(kOptions).size(), 1);
    }
};

TOVRA_TEST(TestBrowseView)
#include "tst_browseview.moc"
