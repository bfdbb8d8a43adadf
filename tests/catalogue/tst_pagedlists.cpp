#include "cataloguefixture.h"
#include "views/catalogue/filterresultview.h"
#include "views/catalogue/posterlistpage.h"
#include "views/catalogue/top250view.h"
#include "views/components/pager.h"
#include "views/components/postergrid.h"
#include "views/components/sectionheader.h"
#include "views/components/stateoverlay.h"

#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include "support/testmain.h"

using namespace tovra;
using namespace tovra::test;

namespace {
const QString kTop = QStringLiteral("/api/top250");
const QString kFilter = QStringLiteral("/api/filter");

void show(QWidget &view)
{
    view.resize(1100, 700);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
}

QStringList pagesAsked(const CatalogueFixture &f, const QString &path)
{
    QStringList out;
    for (const auto &query : f.queries(path))
        out.append(query.value(QStringLiteral("page")));
    return out;
}

// Page n holds the titles from n * 100 on.
FakeSite::Handler pagedReply(const CatalogueFixture &f, int pages, int total = -1)
{
    return [&f, pages, total](const FakeSite::Request &r) {
        const int page = r.query().queryItemValue(QStringLiteral("page")).toInt();
        return FakeSite::ok(itemsJson(f, page * 100, 7), metaJson(page, pages, total));
    };
}
}

// The Top 250 list and the filtered results share their loading; the Top 250 list stands for
// both where the filtered results add nothing of their own.
class TestPagedLists : public QObject
{
    Q_OBJECT
private slots:
    void top250FirstPage()
    {
        CatalogueFixture f;
        f.site.route(kTop, pagedReply(f, 3));
        Top250View view;
        QSignalSpy selected(&view, &Top250View::selected);
        QCOMPARE(view.shown(), Top250View::Shown::Placeholder);
        show(view);
        QVERIFY(waitFor([&] { return view.shown() == Top250View::Shown::List; }));
        QCOMPARE(f.requests(kTop).first().rawQuery, QByteArray("page=1"));
        auto *header = qobject_cast<SectionHeader *>(view.list()->header());
        QVERIFY(header);
        QCOMPARE(header->title(), QStringLiteral("豆瓣 Top250"));
        QCOMPARE(header->systemImage(), QStringLiteral("trophy"));
        QVERIFY(!view.list()->grid()->today());
        QCOMPARE(view.list()->pager()->currentModel().position, QStringLiteral("第 1 / 3 页"));
        QVERIFY(view.list()->pager()->isVisible());

        PosterGrid *grid = view.list()->grid();
        QTest::mouseClick(grid, Qt::LeftButton, {}, grid->cardRect(1).center());
        QCOMPARE(selected.size(), 1);
        QCOMPARE(selected.first().first().toString(), QStringLiteral("d101"));
    }

    void pagingAndThePageBar()
    {
        CatalogueFixture f;
        f.site.route(kTop, pagedReply(f, 3));
        Top250View view;
        show(view);
        QVERIFY(waitFor([&] { return view.shown() == Top250View::Shown::List; }));
        view.list()->pager()->nextButton()->click();
        QCOMPARE(view.page(), qint64(2));
        QCOMPARE(view.shown(), Top250View::Shown::Placeholder); // page 2 was never stored
        QVERIFY(waitFor([&] { return view.shown() == Top250View::Shown::List; }));
        QCOMPARE(view.items().first().did, QStringLiteral("d200"));
        view.list()->pager()->previousButton()->click();
        // Page 1 is stored now: it shows at once, and is asked for again all the same.
        QCOMPARE(view.shown(), Top250View::Shown::List);
        QCOMPARE(view.items().first().did, QStringLiteral("d100"));
        QVERIFY(waitFor([&] { return f.requests(kTop).size() == 3; }));
        QCOMPARE(pagesAsked(f, kTop), (QStringList{"1", "2", "1"}));
    }

    void noPageBarWithoutPages_data()
    {
        QTest::addColumn<QByteArray>("meta");
        QTest::newRow("no block") << QByteArray();
        QTest::newRow("one page") << QByteArray(R"({"page":1,"pages":1,"has_more":true})");
        QTest::newRow("no count") << QByteArray(R"({"page":1,"has_more":true})");
    }
    void noPageBarWithoutPages()
    {
        QFETCH(QByteArray, meta);
        CatalogueFixture f;
        f.site.route(kTop, FakeSite::ok(itemsJson(f, 1, 3), meta));
        Top250View view;
        show(view);
        QVERIFY(waitFor([&] { return view.shown() == Top250View::Shown::List; }));
        QVERIFY(view.list()->pager()->isHidden());
    }

    // A stored page shows at once (even an empty one) while it is at most an hour old.
    void storedPage_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("age");
        QTest::addColumn<int>("shown");
        QTest::newRow("titles, 3599 s") << 3 << 3599 << int(Top250View::Shown::List);
        QTest::newRow("empty, 60 s") << 0 << 60 << int(Top250View::Shown::Empty);
        QTest::newRow("titles, 3601 s") << 3 << 3601 << int(Top250View::Shown::Placeholder);
    }
    void storedPage()
    {
        QFETCH(int, count);
        QFETCH(int, age);
        QFETCH(int, shown);
        CatalogueFixture f;
        f.store(QStringLiteral("api/top250"), {{"page", "1"}}, itemsJson(f, 0, count), metaJson(1, 1));
        f.ageCache(age);
        f.site.route(kTop, FakeSite::ok(itemsJson(f, 50, 4)).withDelay(150));
        Top250View view;
        show(view);
        QCOMPARE(int(view.shown()), shown);
        if (view.shown() == Top250View::Shown::Empty)
            QCOMPARE(view.overlay()->messageText(), QStringLiteral("榜单还没有数据"));
        QVERIFY(waitFor([&] { return view.items().size() == 4; }));
        QCOMPARE(view.shown(), Top250View::Shown::List);
    }

    void emptyErrorAndRetry()
    {
        CatalogueFixture f;
        f.site.route(kTop, FakeSite::ok("[]"));
        Top250View empty;
        show(empty);
        QVERIFY(waitFor([&] { return empty.shown() == Top250View::Shown::Empty; }));
        QCOMPARE(empty.overlay()->messageText(), QStringLiteral("榜单还没有数据"));

        f.site.route(kTop, FakeSite::json(FakeSite::envelope(429, QStringLiteral("请求太频繁"))));
        Top250View failing;
        show(failing);
        QVERIFY(waitFor([&] { return failing.shown() == Top250View::Shown::Error; }));
        QCOMPARE(failing.overlay()->messageText(), QStringLiteral("请求太频繁（429）"));
        f.site.route(kTop, pagedReply(f, 2));
        failing.overlay()->retryButton()->click();
        QVERIFY(waitFor([&] { return failing.shown() == Top250View::Shown::List; }));
        QCOMPARE(pagesAsked(f, kTop).last(), QStringLiteral("1"));
    }

    // A page change that fails keeps the titles on screen, silently, and the page bar goes
    // back to their page.
    void failedPageChangeKeepsThePage()
    {
        CatalogueFixture f;
        f.site.route(kTop, pagedReply(f, 5));
        Top250View view;
        show(view);
        QVERIFY(waitFor([&] { return view.shown() == Top250View::Shown::List; }));
        view.changePage(2);
        QVERIFY(waitFor([&] { return view.items().first().did == QStringLiteral("d200") && !view.isLoading(); }));

        f.site.route(kTop, FakeSite::text("", 503));
        view.changePage(3);
        QCOMPARE(view.page(), qint64(3));
        QVERIFY(waitFor([&] { return !view.isLoading(); }));
        QCOMPARE(view.shown(), Top250View::Shown::List);
        QVERIFY(!view.error());
        QCOMPARE(view.page(), qint64(2));
        QCOMPARE(view.items().first().did, QStringLiteral("d200"));
        QCOMPARE(view.list()->pager()->currentModel().position, QStringLiteral("第 2 / 5 页"));
        QCOMPARE(view.list()->pager()->page(), qint64(2));

        // The stored page 1 showed at once, then its refresh failed: still page 1.
        view.changePage(1);
        QCOMPARE(view.items().first().did, QStringLiteral("d100"));
        QVERIFY(waitFor([&] { return !view.isLoading() && f.requests(kTop).size() == 4; }));
        QTest::qWait(50);
        QCOMPARE(view.page(), qint64(1));
        QCOMPARE(view.items().first().did, QStringLiteral("d100"));
    }

    // Two quick page changes: the second wins even when the first answers last.
    void onlyTheNewestPageWrites()
    {
        CatalogueFixture f;
        f.site.route(kTop, pagedReply(f, 5));
        Top250View view;
        show(view);
        QVERIFY(waitFor([&] { return view.shown() == Top250View::Shown::List; }));
        f.site.route(kTop, [&f](const FakeSite::Request &r) {
            const int page = r.query().queryItemValue(QStringLiteral("page")).toInt();
            auto reply = FakeSite::ok(itemsJson(f, page * 100, 7), metaJson(page, 5));
            return page == 2 ? reply.withDelay(200) : reply;
        });
        view.changePage(2);
        QVERIFY(waitFor([&] { return f.requests(kTop).size() == 2; }));
        view.changePage(3);
        QVERIFY(waitFor([&] { return view.items().first().did == QStringLiteral("d300"); }));
        QVERIFY(f.manager.quiet()); // the overtaken page is in too
        QCOMPARE(view.items().first().did, QStringLiteral("d300"));
        QCOMPARE(view.page(), qint64(3));
    }

    void anotherPageStartsAtTheTop()
    {
        CatalogueFixture f;
        f.site.route(kTop, [&f](const FakeSite::Request &r) {
            const int page = r.query().queryItemValue(QStringLiteral("page")).toInt();
            return FakeSite::ok(itemsJson(f, page * 100, 28), metaJson(page, 5));
        });
        Top250View view;
        show(view);
        QVERIFY(waitFor([&] { return view.shown() == Top250View::Shown::List; }));
        QScrollBar *bar = view.list()->verticalScrollBar();
        QVERIFY(waitFor([&] { return bar->maximum() > 300; }));
        bar->setValue(300);
        view.changePage(2);
        QVERIFY(waitFor([&] { return view.shown() == Top250View::Shown::List; }));
        QCOMPARE(bar->value(), 0);
    }

    // ---- Filtered results ---------------------------------------------------------------------

    void filterQueryAndHeading()
    {
        CatalogueFixture f;
        f.site.route(kFilter, pagedReply(f, 4, 37));
        const Params params{{"director", "王 伟&李"}, {"page", "9"}};
        FilterResultView view(QStringLiteral("导演：王 伟&李"), params);
        show(view);
        QVERIFY(waitFor([&] { return view.shown() == FilterResultView::Shown::List; }));
        QCOMPARE(f.queries(kFilter).size(), 1);
        QCOMPARE(f.queries(kFilter).first(),
                 (QMap<QString, QString>{{"director", "王 伟&李"}, {"page", "1"}}));
        auto *header = view.list()->header()->findChild<SectionHeader *>();
        QCOMPARE(header->title(), QStringLiteral("导演：王 伟&李"));
        QCOMPARE(header->systemImage(), QStringLiteral("line.3.horizontal.decrease.circle"));
        QCOMPARE(view.totalLabel()->text(), QStringLiteral("共 37 部"));
        QVERIFY(view.totalLabel()->isVisible());
        QCOMPARE(view.totalLabel()->textFormat(), Qt::PlainText);

        view.changePage(2);
        QVERIFY(waitFor([&] { return f.queries(kFilter).size() == 2; }));
        QCOMPARE(f.queries(kFilter).last().value(QStringLiteral("page")), QStringLiteral("2"));
    }

    void totalLine_data()
    {
        QTest::addColumn<QByteArray>("meta");
        QTest::addColumn<QString>("total");
        QTest::newRow("none") << QByteArray() << QString();
        QTest::newRow("no total") << QByteArray(R"({"pages":1})") << QString();
        QTest::newRow("zero") << QByteArray(R"({"total":0})") << QString();
        QTest::newRow("one") << QByteArray(R"({"total":1})") << QStringLiteral("共 1 部");
    }
    void totalLine()
    {
        QFETCH(QByteArray, meta);
        QFETCH(QString, total);
        CatalogueFixture f;
        f.site.route(kFilter, FakeSite::ok(itemsJson(f, 1, 2), meta));
        FilterResultView view(QStringLiteral("地区：日本"), Params{{"country", "日本"}});
        show(view);
        QVERIFY(waitFor([&] { return view.shown() == FilterResultView::Shown::List; }));
        QCOMPARE(view.totalLabel()->isVisible(), !total.isEmpty());
        if (!total.isEmpty())
            QCOMPARE(view.totalLabel()->text(), total);
    }

    void filterCacheAndEmptyText()
    {
        CatalogueFixture f;
        const Params params{{"showtime", "2024"}};
        f.store(QStringLiteral("api/filter"), {{"showtime", "2024"}, {"page", "1"}}, "[]");
        f.ageCache(599);
        f.site.route(kFilter, FakeSite::ok("[]").withDelay(100));
        FilterResultView view(QStringLiteral("年份：2024"), params);
        show(view);
        QCOMPARE(view.shown(), FilterResultView::Shown::Empty);
        QCOMPARE(view.overlay()->messageText(), QStringLiteral("没有找到相关影片"));
        QVERIFY(waitFor([&] { return f.requests(kFilter).size() == 1 && !view.isLoading(); }));

        // A different query has its own entry: nothing stored for it.
        FilterResultView other(QStringLiteral("年份：2023"), Params{{"showtime", "2023"}});
        show(other);
        QCOMPARE(other.shown(), FilterResultView::Shown::Placeholder);

        f.ageCache(601);
        FilterResultView stale(QStringLiteral("年份：2024"), params);
        show(stale);
        QCOMPARE(stale.shown(), FilterResultView::Shown::Placeholder);
    }

    void destroyedWhileLoading()
    {
        CatalogueFixture f;
        f.site.route(kFilter, FakeSite::ok("[]").withDelay(100));
        {
            FilterResultView view(QStringLiteral("x"), Params{{"tag", "x"}});
            show(view);
            QVERIFY(f.site.waitForRequests(1));
        }
        QTest::qWait(200);
    }
};

TOVRA_TEST(TestPagedLists)
#include "tst_pagedlists.moc"
