#include "usercenterfixture.h"
#include "models/usercenterlogic.h"
#include "views/components/pager.h"
#include "views/components/stateoverlay.h"
#include "views/usercenter/goldlogview.h"

#include <QTest>
#include "support/testmain.h"

using namespace tovra;
using namespace tovra::test;

namespace {
const QString kPath = QStringLiteral("/api/gold_log");

QByteArray logs()
{
    return R"([{"type":1,"type_name":"签到","sign":"+","explain":"每日签到","gold":5,"balance":25,"created":1700000000},
               {"type":2,"type_name":"兑换<b>会员</b>","sign":"-","explain":"","gold":20,"balance":5,"created":1700003600},
               {"type":9,"sign":"x","gold":1,"balance":6,"created":0}])";
}
}

class TestGoldLog : public QObject
{
    Q_OBJECT
private slots:
    void showsRowsOfFirstPage()
    {
        UserCenterFixture f;
        f.site.route(kPath, FakeSite::ok(logs(), metaJson(1, 1)).withDelay(100));
        auto *v = f.show(new GoldLogView);
        QVERIFY(v->overlay()->isVisible());
        QCOMPARE(v->overlay()->kind().kase, StateOverlay::Kind::Case::Loading);
        QVERIFY(waitFor([&] { return !v->isLoading(); }));
        QCOMPARE(f.queries(kPath), (QList<QMap<QString, QString>>{{{"page", "1"}}}));

        const auto rows = v->rows();
        QCOMPARE(rows.size(), 3);
        QCOMPARE(UserCenterFixture::textOf(rows[0], "kind"), QStringLiteral("签到"));
        QCOMPARE(UserCenterFixture::textOf(rows[0], "explain"), QStringLiteral("每日签到"));
        QCOMPARE(UserCenterFixture::textOf(rows[0], "amount"), QStringLiteral("+5"));
        QCOMPARE(UserCenterFixture::textOf(rows[0], "balance"), QStringLiteral("余 25"));
        QCOMPARE(UserCenterFixture::textOf(rows[0], "time"), GoldLogView::time(1700000000));
        // Server text stays text; an empty note leaves the kind alone on its line.
        auto *kind = rows[1]->findChild<QLabel *>("kind");
        QCOMPARE(kind->textFormat(), Qt::PlainText);
        QCOMPARE(kind->text(), QStringLiteral("兑换<b>会员</b>"));
        QCOMPARE(UserCenterFixture::textOf(rows[1], "explain"), QStringLiteral("<none>"));
        QCOMPARE(UserCenterFixture::textOf(rows[1], "amount"), QStringLiteral("-20"));
        QCOMPARE(UserCenterFixture::textOf(rows[2], "kind"), QStringLiteral("其他"));
        QCOMPARE(UserCenterFixture::textOf(rows[2], "amount"), QStringLiteral("x1"));

        const auto colour = [&](int i) { return rows[i]->findChild<QLabel *>("amount")->palette().color(QPalette::WindowText); };
        QCOMPARE(colour(1), Palette::error());
        QCOMPARE(colour(0), Palette::accent());
        QCOMPARE(colour(2), Palette::accent());
        QVERIFY(!v->pager()->isVisible());
    }

    void emptyShowsMessage_data()
    {
        QTest::addColumn<QByteArray>("meta");
        QTest::newRow("no meta") << QByteArray();
        QTest::newRow("later page") << metaJson(3, 3);
    }
    void emptyShowsMessage()
    {
        QFETCH(QByteArray, meta);
        UserCenterFixture f;
        f.site.route(kPath, FakeSite::ok("[]", meta));
        auto *v = f.show(new GoldLogView);
        QVERIFY(waitFor([&] { return !v->isLoading(); }));
        QCOMPARE(v->overlay()->kind().kase, StateOverlay::Kind::Case::Empty);
        QCOMPARE(v->overlay()->messageText(), QStringLiteral("还没有 BT币 记录"));
        QVERIFY(!v->pager()->isVisible());
    }

    void pagingReplacesRowsAndRetriesFailedPage()
    {
        UserCenterFixture f;
        f.site.route(kPath, FakeSite::ok(logs(), metaJson(1, 3)));
        auto *v = f.show(new GoldLogView);
        QVERIFY(waitFor([&] { return v->rows().size() == 3; }));
        QVERIFY(v->pager()->isVisible());
        QCOMPARE(v->pager()->positionLabel()->text(), QStringLiteral("第 1 / 3 页"));

        f.site.route(kPath, FakeSite::json(FakeSite::envelope(500, "服务繁忙")));
        QTest::mouseClick(v->pager()->nextButton(), Qt::LeftButton);
        QCOMPARE(v->overlay()->kind().kase, StateOverlay::Kind::Case::Loading);
        QVERIFY(waitFor([&] { return !v->isLoading(); }));
        QCOMPARE(v->overlay()->kind().kase, StateOverlay::Kind::Case::Error);
        QCOMPARE(v->overlay()->messageText(), QStringLiteral("服务繁忙（500）"));
        QVERIFY(v->overlay()->isVisible());

        f.site.route(kPath, FakeSite::ok(R"([{"type_name":"补偿","gold":2,"balance":7,"created":5}])", metaJson(2, 3)));
        QTest::mouseClick(v->overlay()->retryButton(), Qt::LeftButton);
        QVERIFY(waitFor([&] { return !v->isLoading(); }));
        QCOMPARE(v->rows().size(), 1);
        QCOMPARE(UserCenterFixture::textOf(v->rows()[0], "kind"), QStringLiteral("补偿"));
        QStringList pages;
        for (const auto &q : f.queries(kPath))
            pages << q.value("page");
        QCOMPARE(pages, (QStringList{"1", "2", "2"}));
        QCOMPARE(v->pager()->positionLabel()->text(), QStringLiteral("第 2 / 3 页"));
    }

    void timeIsLocal()
    {
        const QByteArray saved = qgetenv("TZ");
        qputenv("TZ", "Asia/Shanghai");
        tzset();
        const QString epoch = GoldLogView::time(0);
        const QString later = GoldLogView::time(1700000000);
        saved.isNull() ? qunsetenv("TZ") : qputenv("TZ", saved);
        tzset();
        QCOMPARE(epoch, QStringLiteral("1970-01-01 08:00"));
        QCOMPARE(later, QStringLiteral("2023-11-15 06:13"));
    }
};

TOVRA_TEST(TestGoldLog)
#include "tst_goldlog.moc"
