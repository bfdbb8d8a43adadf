#include "cataloguefixture.h"
#include "views/catalogue/posterlistpage.h"
#include "views/catalogue/searchview.h"
#include "views/components/pager.h"
#include "views/components/postergrid.h"
#include "views/components/stateoverlay.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include "support/testmain.h"

using namespace tovra;
using namespace tovra::test;

namespace {
const QString kSearch = QStringLiteral("/api/search");

void show(QWidget &view)
{
    view.resize(1100, 700);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
}

void servePages(CatalogueFixture &f, int pages)
{
    f.site.route(kSearch, [&f, pages](const FakeSite::Request &r) {
        const int page = r.query().queryItemValue(QStringLiteral("page")).toInt();
        return FakeSite::ok(itemsJson(f, page * 100, 5), metaJson(page, pages));
    });
}

QStringList sent(const CatalogueFixture &f)
{
    QStringList out;
    for (const auto &q : f.queries(kSearch))
        out.append(q.value(QStringLiteral("q")) + QLatin1Char('#') + q.value(QStringLiteral("page")));
    return out;
}
}

class TestSearchView : public QObject
{
    Q_OBJECT
private slots:
    void queryGoesOutUnchanged_data()
    {
        QTest::addColumn<QString>("query");
        QTest::newRow("spaces") << QStringLiteral("  流浪 地球 ");
        QTest::newRow("punctuation") << QStringLiteral("a&b=c+d?#%");
        QTest::newRow("markup") << QStringLiteral("<b>粗</b>");
    }
    void queryGoesOutUnchanged()
    {
        QFETCH(QString, query);
        CatalogueFixture f;
        f.site.route(kSearch, FakeSite::ok("[]"));
        SearchView view(query);
        QCOMPARE(view.shown(), SearchView::Shown::Placeholder);
        show(view);
        QVERIFY(waitFor([&] { return view.shown() == SearchView::Shown::Empty; }));
        QCOMPARE(f.queries(kSearch).size(), 1);
        QCOMPARE(f.queries(kSearch).first(), (QMap<QString, QString>{{"q", query}, {"page", "1"}}));
        QCOMPARE(view.overlay()->messageText(), QStringLiteral("没有找到「") + query + QStringLiteral("」相关的资源"));
        QVERIFY(view.list()->pager()->isHidden());
    }

    // Every page comes from the network, the placeholder showing meanwhile; a new text starts
    // again from page 1.
    void pagingAndNewText()
    {
        CatalogueFixture f;
        servePages(f, 4);
        SearchView view(QStringLiteral("星河"));
        QSignalSpy selected(&view, &SearchView::selected);
        show(view);
        QVERIFY(waitFor([&] { return view.shown() == SearchView::Shown::List; }));
        view.list()->pager()->nextButton()->click();
        QCOMPARE(view.shown(), SearchView::Shown::Placeholder);
        QVERIFY(waitFor([&] { return view.shown() == SearchView::Shown::List; }));
        view.changePage(3);
        QVERIFY(waitFor([&] { return view.shown() == SearchView::Shown::List && view.page() == 3; }));
        view.list()->pager()->previousButton()->click();
        QVERIFY(waitFor([&] { return view.shown() == SearchView::Shown::List && view.page() == 2; }));
        QCOMPARE(view.list()->pager()->currentModel().position, QStringLiteral("第 2 / 4 页"));

        view.setQuery(QStringLiteral("星河"));
        QCOMPARE(view.shown(), SearchView::Shown::List); // the same text: nothing to do
        view.setQuery(QStringLiteral("长安"));
        QCOMPARE(view.page(), qint64(1));
        QCOMPARE(view.shown(), SearchView::Shown::Placeholder);
        QVERIFY(waitFor([&] { return view.shown() == SearchView::Shown::List; }));
        QCOMPARE(sent(f), (QStringList{"星河#1", "星河#2", "星河#3", "星河#2", "长安#1"}));

        PosterGrid *grid = view.list()->grid();
        QVERIFY(!grid->today());
        QTest::mouseClick(grid, Qt::LeftButton, {}, grid->cardRect(0).center());
        QCOMPARE(selected.first().first().toString(), QStringLiteral("d100"));
    }

    // A failure replaces the list with the error, even with titles shown; retry asks for the
    // same page again.
    void failureOnAPageAndRetry()
    {
        CatalogueFixture f;
        servePages(f, 3);
        SearchView view(QStringLiteral("x"));
        show(view);
        QVERIFY(waitFor([&] { return view.shown() == SearchView::Shown::List; }));
        f.site.route(kSearch, FakeSite::json(FakeSite::envelope(503, QStringLiteral("搜索服务繁忙"))));
        view.changePage(2);
        QVERIFY(waitFor([&] { return view.shown() == SearchView::Shown::Error; }));
        QCOMPARE(view.overlay()->titleText(), QStringLiteral("加载失败"));
        QCOMPARE(view.overlay()->messageText(), QStringLiteral("搜索服务繁忙（503）"));
        QCOMPARE(view.page(), qint64(2));
        servePages(f, 3);
        view.overlay()->retryButton()->click();
        QVERIFY(waitFor([&] { return view.shown() == SearchView::Shown::List; }));
        QCOMPARE(sent(f), (QStringList{"x#1", "x#2", "x#2"}));
        QCOMPARE(view.items().first().did, QStringLiteral("d200"));
        QVERIFY(!view.error());
    }

    // A search overtaken by a newer text writes nothing when it ends, not even its failure.
    void overtakenSearchWritesNothing()
    {
        CatalogueFixture f;
        f.site.route(kSearch, [&f](const FakeSite::Request &r) {
            if (r.query().queryItemValue(QStringLiteral("q")) == QStringLiteral("慢"))
                return FakeSite::text("", 502).withDelay(200);
            return FakeSite::ok(itemsJson(f, 1, 3), metaJson(1, 1));
        });
        SearchView view(QStringLiteral("慢"));
        show(view);
        QVERIFY(f.site.waitForRequests(1));
        view.setQuery(QStringLiteral("快"));
        QVERIFY(waitFor([&] { return view.shown() == SearchView::Shown::List; }));
        QVERIFY(f.manager.quiet()); // the overtaken answer is in too
        QCOMPARE(view.shown(), SearchView::Shown::List);
        QVERIFY(!view.error());
    }

    // Hidden (a title page pushed over it) and shown again, the screen keeps its page.
    void comingBackKeepsThePage()
    {
        CatalogueFixture f;
        servePages(f, 3);
        SearchView view(QStringLiteral("y"));
        show(view);
        QVERIFY(waitFor([&] { return view.shown() == SearchView::Shown::List; }));
        view.changePage(2);
        QVERIFY(waitFor([&] { return view.shown() == SearchView::Shown::List && view.page() == 2; }));
        view.hide();
        view.show();
        QTest::qWait(100);
        QCOMPARE(view.page(), qint64(2));
        QCOMPARE(f.requests(kSearch).size(), 2);
    }
};

TOVRA_TEST(TestSearchView)
#include "tst_searchview.moc"
