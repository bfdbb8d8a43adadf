#include "cataloguefixture.h"
#include "views/catalogue/rankingrow.h"
#include "views/catalogue/rankingview.h"
#include "views/components/autorefresh.h"
#include "views/components/poster.h"
#include "views/components/stateoverlay.h"
#include "views/palette.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include "support/testmain.h"

using namespace tovra;
using namespace tovra::test;

namespace {
const QString kRanking = QStringLiteral("/api/ranking");

void show(QWidget &view)
{
    view.resize(900, 700);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
}
}

class TestRankingView : public QObject
{
    Q_OBJECT
private slots:
    void rowsInReplyOrder()
    {
        CatalogueFixture f;
        f.site.route(kRanking, FakeSite::ok(rankingJson(f, 5)).withDelay(100));
        RankingView view;
        QSignalSpy selected(&view, &RankingView::selected);
        show(view);
        QCOMPARE(view.shown(), RankingView::Shown::Loading);
        QCOMPARE(view.overlay()->titleText(), QStringLiteral("加载中…"));
        QVERIFY(waitFor([&] { return view.shown() == RankingView::Shown::List; }));
        QCOMPARE(f.requests(kRanking).size(), 1);
        QVERIFY(f.requests(kRanking).first().rawQuery.isEmpty());

        const auto rows = view.rows();
        QCOMPARE(rows.size(), 5);
        for (int i = 0; i < rows.size(); ++i) {
            QCOMPARE(rows[i]->place(), qint64(i + 1));
            QCOMPARE(rows[i]->item().did, QStringLiteral("r%1").arg(i));
            QCOMPARE(rows[i]->poster()->url(), f.poster(100 + i));
            QCOMPARE(rows[i]->poster()->width(), RankingRow::kPosterWidth);
        }
        QTest::mouseClick(rows[3], Qt::LeftButton, {}, rows[3]->rect().center());
        QTest::mouseClick(rows[1]->poster(), Qt::LeftButton, {}, rows[1]->poster()->rect().center());
        QCOMPARE(selected.size(), 2);
        QCOMPARE(selected.at(0).at(0).toString(), QStringLiteral("r3"));
        QCOMPARE(selected.at(1).at(0).toString(), QStringLiteral("r1"));
        QCOMPARE(view.autoRefresh()->interval(), std::chrono::milliseconds(600000));
    }

    // A stored ranking counts only when it has rows and is at most 600 s old.
    void storedRanking_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("age");
        QTest::addColumn<bool>("used");
        QTest::newRow("fresh") << 3 << 10 << true;
        QTest::newRow("599 s") << 3 << 599 << true;
        QTest::newRow("601 s") << 3 << 601 << false;
        QTest::newRow("empty") << 0 << 10 << false;
    }
    void storedRanking()
    {
        QFETCH(int, rows);
        QFETCH(int, age);
        QFETCH(bool, used);
        CatalogueFixture f;
        f.store(QStringLiteral("api/ranking"), {}, rankingJson(f, rows));
        f.ageCache(age);
        f.site.route(kRanking, FakeSite::ok(rankingJson(f, 7)).withDelay(150));
        RankingView view;
        show(view);
        QCOMPARE(view.shown(), used ? RankingView::Shown::List : RankingView::Shown::Loading);
        QCOMPARE(view.rows().size(), used ? rows : 0);
        QVERIFY(waitFor([&] { return view.rows().size() == 7; }));
        QCOMPARE(view.shown(), RankingView::Shown::List);
    }

    void emptyAndError()
    {
        CatalogueFixture f;
        f.site.route(kRanking, FakeSite::ok("[]"));
        RankingView view;
        show(view);
        QVERIFY(waitFor([&] { return view.shown() == RankingView::Shown::Empty; }));
        QCOMPARE(view.overlay()->titleText(), QStringLiteral("没有内容"));
        QCOMPARE(view.overlay()->messageText(), QStringLiteral("今日还没有下载记录"));
        QVERIFY(view.overlay()->retryButton()->isHidden());

        RankingView failing;
        f.site.route(kRanking, FakeSite::json(FakeSite::envelope(200, QStringLiteral("ok"))));
        show(failing);
        QVERIFY(waitFor([&] { return failing.shown() == RankingView::Shown::Error; }));
        QCOMPARE(failing.overlay()->messageText(), QStringLiteral("服务端没有返回数据"));
        f.site.route(kRanking, FakeSite::ok(rankingJson(f, 2)));
        failing.overlay()->retryButton()->click();
        QCOMPARE(failing.shown(), RankingView::Shown::Loading);
        QVERIFY(waitFor([&] { return failing.shown() == RankingView::Shown::List; }));
        QVERIFY(!failing.error());
    }

    // Refreshes update the rows in place: the same row widgets, a failure changes nothing,
    // and an empty reply replaces the rows with the empty text.
    void refreshes()
    {
        CatalogueFixture f;
        f.site.route(kRanking, FakeSite::ok(rankingJson(f, 4)));
        RankingView view;
        show(view);
        QVERIFY(waitFor([&] { return view.rows().size() == 4; }));
        const auto before = view.rows();

        f.site.route(kRanking, FakeSite::ok(rankingJson(f, 6)));
        view.refresh();
        QCOMPARE(view.shown(), RankingView::Shown::List);
        QVERIFY(waitFor([&] { return view.rows().size() == 6; }));
        QCOMPARE(view.rows().mid(0, 4), before);

        f.site.route(kRanking, FakeSite::text("", 500));
        const auto sent = f.requests(kRanking).size();
        view.refresh();
        QVERIFY(waitFor([&] { return f.requests(kRanking).size() == sent + 1; }));
        QTest::qWait(100);
        QCOMPARE(view.shown(), RankingView::Shown::List);
        QCOMPARE(view.rows().size(), 6);

        f.site.route(kRanking, FakeSite::ok("[]"));
        view.refresh();
        QVERIFY(waitFor([&] { return view.shown() == RankingView::Shown::Empty; }));
        QVERIFY(view.rows().isEmpty());
    }

    void staleLoadWritesNothing()
    {
        CatalogueFixture f;
        f.site.enqueue(kRanking, FakeSite::text("", 500).withDelay(200));
        f.site.route(kRanking, FakeSite::ok(rankingJson(f, 3)));
        RankingView view;
        show(view);
        QVERIFY(f.site.waitForRequests(1));
        view.reload();
        QVERIFY(waitFor([&] { return view.shown() == RankingView::Shown::List; }));
        QVERIFY(waitFor([&] { return f.requests(kRanking).size() == 2; }));
        QVERIFY(f.manager.quiet()); // the first answer is in too
        QCOMPARE(view.shown(), RankingView::Shown::List);
        QVERIFY(!view.error());
    }

    void placesAreColouredByRank()
    {
        CatalogueFixture f;
        f.site.route(kRanking, FakeSite::ok(rankingJson(f, 5)));
        RankingView view;
        show(view);
        QVERIFY(waitFor([&] { return view.rows().size() == 5; }));
        // The place digits are the only warn-coloured pixels of a row.
        const auto hasWarn = [](RankingRow *row) {
            const QImage image = row->grab(QRect(0, 0, 12 + RankingRow::kPlaceWidth, row->height())).toImage();
            const QColor warn = Palette::warn();
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    if (QColor(image.pixel(x, y)) == warn)
                        return true;
            return false;
        };
        for (int i = 0; i < 5; ++i)
            QCOMPARE(hasWarn(view.rows()[i]), i < 3);
    }
};

TOVRA_TEST(TestRankingView)
#include "tst_rankingview.moc"
