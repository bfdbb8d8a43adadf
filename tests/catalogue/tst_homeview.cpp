#include "cataloguefixture.h"
#include "models/cataloguelogic.h"
#include "views/catalogue/homeview.h"
#include "views/catalogue/hotlist.h"
#include "views/components/autorefresh.h"
#include "views/components/postergrid.h"
#include "views/components/sectionheader.h"
#include "views/components/stateoverlay.h"

#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include "support/testmain.h"

using namespace tovra;
using namespace tovra::test;

namespace {
constexpr char kIndex[] = "/api/index";

void show(QWidget &view)
{
    view.resize(1200, 800);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
}

QStringList headings(const HomeView &view)
{
    QStringList out;
    for (const auto *section : view.visibleSections())
        out.append(section->header->title());
    return out;
}
}

class TestHomeView : public QObject
{
    Q_OBJECT
private slots:
    void firstFrameIsThePlaceholderThenTheRecord()
    {
        CatalogueFixture f;
        f.site.route(QString::fromLatin1(kIndex), FakeSite::ok(homeJson(f)).withDelay(150));
        HomeView view;
        QCOMPARE(view.shown(), HomeView::Shown::Placeholder);
        show(view);
        QCOMPARE(view.shown(), HomeView::Shown::Placeholder);
        QVERIFY(waitFor([&] { return view.shown() == HomeView::Shown::Content; }));

        const auto sent = f.requests(QString::fromLatin1(kIndex));
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent.first().method, QByteArray("GET"));
        QVERIFY(sent.first().rawQuery.isEmpty());
        QCOMPARE(headings(view), (QStringList{"热门关注", "人间情暖", "狂热追剧", "2025年最新", "最近更新"}));
        QCOMPARE(view.hotList()->items().size(), 10);
        QVERIFY(view.hotList()->isVisible());
        QCOMPARE(view.autoRefresh()->interval(), std::chrono::milliseconds(600000));
    }

    void sectionsFollowTheRecord()
    {
        CatalogueFixture f;
        // Only two lists, no categories, no year.
        f.site.route(QString::fromLatin1(kIndex),
                     FakeSite::ok("{\"erotica\":" + itemsJson(f, 1, 3) + ",\"new\":" + itemsJson(f, 5, 2) + ",\"more_tv\":\"7\"}"));
        HomeView view;
        show(view);
        QVERIFY(waitFor([&] { return view.shown() == HomeView::Shown::Content; }));
        QCOMPARE(headings(view), (QStringList{"人间情暖", "年最新"}));
        for (const auto *section : view.visibleSections())
            QVERIFY2(section->more->isHidden(), qPrintable(section->header->title()));
        QVERIFY(view.hotList()->parentWidget()->isHidden());
    }

    void anAllEmptyRecordDrawsNothing()
    {
        CatalogueFixture f;
        f.site.route(QString::fromLatin1(kIndex), FakeSite::ok("{}"));
        HomeView view;
        show(view);
        QVERIFY(waitFor([&] { return view.shown() == HomeView::Shown::Content; }));
        QVERIFY(headings(view).isEmpty());
        QVERIFY(view.hotList()->parentWidget()->isHidden());
        QVERIFY(!view.error());
    }

    void choicesAreReported()
    {
        CatalogueFixture f;
        f.site.route(QString::fromLatin1(kIndex), FakeSite::ok(homeJson(f)));
        HomeView view;
        QSignalSpy selected(&view, &HomeView::selected);
        QSignalSpy more(&view, &HomeView::moreRequested);
        show(view);
        QVERIFY(waitFor([&] { return view.shown() == HomeView::Shown::Content; }));

        const auto sections = view.visibleSections();
        sections.at(1)->more->click();
        sections.at(2)->more->click();
        QCOMPARE(more.size(), 2);
        QCOMPARE(more.at(0).at(0).toString(), QStringLiteral("爱情"));
        QCOMPARE(more.at(1).at(0).toString(), QStringLiteral("电视剧"));
        QVERIFY(sections.at(0)->more->isHidden());

        HotList *hot = view.hotList();
        QVERIFY(waitFor([&] { return hot->width() > 0 && hot->rowRect(3).isValid(); }));
        QTest::mouseClick(hot, Qt::LeftButton, {}, hot->rowRect(3).center());
        PosterGrid *grid = sections.at(4)->grid;
        QTest::mouseClick(grid, Qt::LeftButton, {}, grid->cardRect(2).center());
        QCOMPARE(selected.size(), 2);
        QCOMPARE(selected.at(0).at(0).toString(), QStringLiteral("h3"));
        QCOMPARE(selected.at(1).at(0).toString(), QStringLiteral("d82"));
        QCOMPARE(grid->today(), std::optional<QString>(QStringLiteral("2025-05-01")));
    }

    void hotColumnsFollowTheWidth()
    {
        CatalogueFixture f;
        f.site.route(QString::fromLatin1(kIndex), FakeSite::ok(homeJson(f, 12)));
        HomeView view;
        show(view);
        QVERIFY(waitFor([&] { return view.shown() == HomeView::Shown::Content; }));
        HotList *hot = view.hotList();
        QVERIFY(waitFor([&] { return hot->columns() == catalogue::hotColumns(hot->width()); }));
        QCOMPARE(hot->columns(), 4); // 1200 less the padding and the scroll bar
        view.resize(700, 800);
        QVERIFY(waitFor([&] { return hot->columns() == 2; }));
        QCOMPARE(hot->height(), hot->heightForWidth(hot->width()));
        QCOMPARE(hot->rowRect(1).top(), hot->rowRect(0).top());
        QCOMPARE(hot->rowRect(2).top(), HotList::kRowHeight + catalogue::kHotRowSpacing);
    }

    // The normal load: a stored record at most 600 s old shows at once and a failing network
    // then changes nothing; an older one is ignored.
    void storedRecord_data()
    {
        QTest::addColumn<int>("age");
        QTest::addColumn<bool>("used");
        QTest::newRow("599 s") << 599 << true;
        QTest::newRow("601 s") << 601 << false;
    }
    void storedRecord()
    {
        QFETCH(int, age);
        QFETCH(bool, used);
        CatalogueFixture f;
        f.store(QStringLiteral("api/index"), {}, homeJson(f));
        f.ageCache(age);
        f.site.route(QString::fromLatin1(kIndex), FakeSite::text("", 502).withDelay(100));
        HomeView view;
        show(view);
        QCOMPARE(view.shown(), used ? HomeView::Shown::Content : HomeView::Shown::Placeholder);
        QVERIFY(waitFor([&] { return f.requests(QString::fromLatin1(kIndex)).size() == 1 && !view.isLoading(); }));
        QTest::qWait(50);
        if (used) {
            QCOMPARE(view.shown(), HomeView::Shown::Content);
            QVERIFY(!view.error());
        } else {
            QCOMPARE(view.shown(), HomeView::Shown::Error);
            QCOMPARE(view.overlay()->titleText(), QStringLiteral("加载失败"));
        }
    }

    void errorStateAndRetry()
    {
        CatalogueFixture f;
        f.site.enqueue(QString::fromLatin1(kIndex), FakeSite::json(FakeSite::envelope(500, QStringLiteral("服务维护中"))));
        f.site.route(QString::fromLatin1(kIndex), FakeSite::ok(homeJson(f)).withDelay(100));
        HomeView view;
        show(view);
        QVERIFY(waitFor([&] { return view.shown() == HomeView::Shown::Error; }));
        QCOMPARE(view.overlay()->titleText(), QStringLiteral("加载失败"));
        QCOMPARE(view.overlay()->messageText(), QStringLiteral("服务维护中（500）"));
        QVERIFY(view.overlay()->retryButton()->isVisible());

        view.overlay()->retryButton()->click();
        QCOMPARE(view.shown(), HomeView::Shown::Placeholder);
        QVERIFY(waitFor([&] { return view.shown() == HomeView::Shown::Content; }));
        QVERIFY(!view.error());
        QCOMPARE(f.requests(QString::fromLatin1(kIndex)).size(), 2);
    }

    void connectionFailureText()
    {
        CatalogueFixture f;
        f.site.route(QString::fromLatin1(kIndex), FakeSite::Reply().withRaw("garbage\r\n\r\n").closingAfter());
        HomeView view;
        show(view);
        QVERIFY(waitFor([&] { return view.shown() == HomeView::Shown::Error; }));
        QVERIFY(!view.overlay()->messageText().isEmpty());
        QCOMPARE(view.overlay()->messageText(), *view.error());
    }

    // A silent refresh after a failure replaces the error with the record, never passing
    // through the placeholder; a failed one while the record shows changes nothing.
    void silentRefresh()
    {
        CatalogueFixture f;
        const QString index = QString::fromLatin1(kIndex);
        f.site.route(index, FakeSite::text("", 503));
        HomeView view;
        show(view);
        QVERIFY(waitFor([&] { return view.shown() == HomeView::Shown::Error; }));

        f.site.route(index, FakeSite::ok(homeJson(f)).withDelay(100));
        view.refresh();
        QCOMPARE(view.shown(), HomeView::Shown::Error);
        QVERIFY(waitFor([&] { return view.shown() == HomeView::Shown::Content; }));
        QVERIFY(!view.error());

        f.site.route(index, FakeSite::text("", 503));
        const auto sent = f.requests(index).size();
        view.refresh();
        QCOMPARE(view.shown(), HomeView::Shown::Content);
        QVERIFY(waitFor([&] { return f.requests(index).size() == sent + 1; }));
        QTest::qWait(100);
        QCOMPARE(view.shown(), HomeView::Shown::Content);
        QVERIFY(!view.error());
    }

    // With nothing to show, a failed refresh puts its own description in place of the old one.
    void failedRefreshRenewsTheError()
    {
        CatalogueFixture f;
        const QString index = QString::fromLatin1(kIndex);
        f.site.route(index, FakeSite::json(FakeSite::envelope(401, QStringLiteral("未登录"))));
        HomeView view;
        show(view);
        QVERIFY(waitFor([&] { return view.shown() == HomeView::Shown::Error; }));
        QCOMPARE(view.overlay()->messageText(), QStringLiteral("未登录（401）"));
        f.site.route(index, FakeSite::json(FakeSite::envelope(500, QStringLiteral("换了"))));
        view.refresh();
        QVERIFY(waitFor([&] { return view.overlay()->messageText() == QStringLiteral("换了（500）"); }));
    }

    // A refresh while a load is on its way sends nothing more.
    void refreshWaitsForTheLoadInFlight()
    {
        CatalogueFixture f;
        const QString index = QString::fromLatin1(kIndex);
        f.site.route(index, FakeSite::ok(homeJson(f)).withDelay(300));
        HomeView view;
        show(view);
        QVERIFY(f.site.waitForRequests(1));
        view.refresh();
        QVERIFY(waitFor([&] { return view.shown() == HomeView::Shown::Content; }));
        QCOMPARE(f.requests(index).size(), 1);
        view.refresh();
        QVERIFY(waitFor([&] { return f.requests(index).size() == 2; }));
    }

    // The refresh keeps the scroll position and the grids, and hands a grid its list only
    // when the list changed, so unchanged cards keep their loaded posters.
    void refreshUpdatesInPlace()
    {
        CatalogueFixture f;
        f.site.route(QString::fromLatin1(kIndex), FakeSite::ok(homeJson(f)));
        HomeView view;
        view.resize(1200, 600);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QVERIFY(waitFor([&] { return view.shown() == HomeView::Shown::Content; }));
        QScrollBar *bar = view.contentArea()->verticalScrollBar();
        QVERIFY(waitFor([&] { return bar->maximum() > 400; }));
        bar->setValue(400);
        QList<PosterGrid *> grids;
        for (const auto *section : view.visibleSections())
            grids.append(section->grid);
        QVERIFY(waitFor([&] { return f.images->activeDownloads() == 0 && !f.requests("/poster.png").isEmpty(); }));
        QTest::qWait(100);
        const int postersBefore = int(f.requests("/poster.png").size());

        // Same record but for the "new" section.
        f.site.route(QString::fromLatin1(kIndex), FakeSite::ok(homeJson(f, 10, 1)));
        view.refresh();
        QVERIFY(waitFor([&] { return view.data() && view.data()->new_.first().did == QStringLiteral("d61"); }));
        QTest::qWait(100);
        QCOMPARE(bar->value(), 400);
        QList<PosterGrid *> after;
        for (const auto *section : view.visibleSections())
            after.append(section->grid);
        QCOMPARE(after, grids);
        QCOMPARE(view.visibleSections().at(0)->grid->items().first().did, QStringLiteral("d1"));
        // Only the posters of titles new to the page may be fetched again.
        QVERIFY(f.requests("/poster.png").size() - postersBefore <= 1);
    }

    // Only the newest load writes: an older load failing after a newer one succeeded leaves
    // the record and no error on screen.
    void staleLoadWritesNothing()
    {
        CatalogueFixture f;
        f.site.enqueue(QString::fromLatin1(kIndex), FakeSite::text("", 500).withDelay(200));
        f.site.route(QString::fromLatin1(kIndex), FakeSite::ok(homeJson(f)));
        HomeView view;
        show(view);
        QVERIFY(f.site.waitForRequests(1));
        // The retry goes over a second connection while the first is held back.
        view.reload();
        QVERIFY(waitFor([&] { return view.shown() == HomeView::Shown::Content; }));
        QVERIFY(waitFor([&] { return f.requests(QString::fromLatin1(kIndex)).size() == 2; }));
        QVERIFY(f.manager.quiet()); // the first answer is in too
        QCOMPARE(view.shown(), HomeView::Shown::Content);
        QVERIFY(!view.error());
    }

    void destroyedWhileLoading()
    {
        CatalogueFixture f;
        f.site.route(QString::fromLatin1(kIndex), FakeSite::ok(homeJson(f)).withDelay(100));
        {
            HomeView view;
            show(view);
            QVERIFY(f.site.waitForRequests(1));
        }
        QVERIFY(f.manager.quiet()); // the reply lands on nothing, and nothing crashes
    }
};

TOVRA_TEST(TestHomeView)
#include "tst_homeview.moc"
