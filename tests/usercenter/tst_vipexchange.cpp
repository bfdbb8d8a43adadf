#include "ucbfixture.h"
#include "views/usercenter/vipexchangeview.h"

#include <QLabel>
#include "support/screentext.h"
#include "support/testmain.h"

using namespace tovra;
using namespace tovra::test;

namespace {
using Fixture = PageFixture<VIPExchangeView>;

QList<bool> enabledMask(const VIPExchangeView &view)
{
    QList<bool> mask;
    for (const QPushButton *b : view.exchangeButtons())
        mask.append(b->isEnabled());
    return mask;
}

// 2026-01-01 12:00 UTC: the same calendar day in every time zone within eleven hours of UTC.
constexpr qint64 kNewYearNoon = 1767268800;
}

class TestVIPExchange : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { Palette::installApplicationTheme(); }

    void affordablePlans_data()
    {
        QTest::addColumn<qint64>("gold");
        QTest::addColumn<QList<bool>>("enabled");
        QTest::newRow("signed out") << qint64(-1) << QList<bool>{false, false, false};
        QTest::newRow("149") << qint64(149) << QList<bool>{false, false, false};
        QTest::newRow("exactly 150") << qint64(150) << QList<bool>{true, false, false};
        QTest::newRow("1199") << qint64(1199) << QList<bool>{true, true, false};
        QTest::newRow("1200") << qint64(1200) << QList<bool>{true, true, true};
    }
    void affordablePlans()
    {
        QFETCH(qint64, gold);
        QFETCH(QList<bool>, enabled);
        Fixture f;
        if (gold >= 0)
            QVERIFY(f.signInAs(userJson(gold)));
        auto &view = f.open();
        QCOMPARE(enabledMask(view), enabled);
        QCOMPARE(view.balanceLabel()->text(), QStringLiteral("当前 BT币：") + QString::number(qMax(gold, qint64(0))));
        // A press on a plan the balance cannot pay sends nothing.
        view.exchange(100000);
        QCOMPARE(f.count("/api/vip_exchange"), 0);
    }

    // The plan goes by price alone; the page is locked until the account has been reloaded, and
    // the balance shown is the reloaded one, not the reply's.
    void successReloadsAccount()
    {
        Fixture f;
        QVERIFY(f.signInAs(userJson(800)));
        const QByteArray result = R"({"gold":999,"vip_expired":)" + QByteArray::number(kNewYearNoon) + "}";
        f.site.route(QStringLiteral("/api/vip_exchange"), FakeSite::ok(result));
        f.site.route(QStringLiteral("/api/me"), FakeSite::ok(userJson(100, "阿明", true, kNewYearNoon)).withDelay(300));
        const int meBefore = f.count("/api/me");
        auto &view = f.open();

        view.exchangeButtons().at(1)->click();
        QVERIFY(view.isBusy());
        QCOMPARE(enabledMask(view), (QList<bool>{false, false, false}));
        QVERIFY(waitFor([&] { return !view.outcomeLine()->text().isEmpty(); }));
        QCOMPARE(view.outcomeLine()->text(), QStringLiteral("兑换成功，会员有效期至 2026-01-01"));
        QVERIFY(!view.outcomeLine()->isError());
        QCOMPARE(view.outcomeLine()->iconName(), QStringLiteral("checkmark.circle"));
        QVERIFY(view.isBusy());
        QCOMPARE(view.balanceLabel()->text(), QStringLiteral("当前 BT币：800"));

        QVERIFY(waitFor([&] { return !view.isBusy(); }));
        QCOMPARE(f.count("/api/me"), meBefore + 1);
        QCOMPARE(view.balanceLabel()->text(), QStringLiteral("当前 BT币：100"));
        QCOMPARE(enabledMask(view), (QList<bool>{false, false, false}));

        const auto sent = f.site.requestsTo("/api/vip_exchange");
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent.at(0).method, QByteArray("POST"));
        QCOMPARE(sent.at(0).body, QByteArray("bt=700"));
        QCOMPARE(sent.at(0).header("Authorization"), QByteArray("Bearer token-7"));
    }

    void outcomes_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("isError");
        QTest::newRow("no expiry") << QByteArray(R"({"code":200,"message":"ok","data":{"gold":1,"vip_expired":0}})")
                                   << QStringLiteral("兑换成功，会员有效期至 -") << false;
        QTest::newRow("refused") << QByteArray(R"({"code":402,"message":"BT币不足 <b>x</b>"})")
                                 << QStringLiteral("BT币不足 <b>x</b>（402）") << true;
        QTest::newRow("no data") << QByteArray(R"({"code":200,"message":"ok"})") << QStringLiteral("服务端没有返回数据") << true;
    }
    void outcomes()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, line);
        QFETCH(bool, isError);
        Fixture f;
        QVERIFY(f.signInAs(userJson(200)));
        f.site.route(QStringLiteral("/api/vip_exchange"), FakeSite::json(reply));
        const int meBefore = f.count("/api/me");
        auto &view = f.open();
        view.exchange(150);
        QVERIFY(waitFor([&] { return !view.isBusy(); }));
        QCOMPARE(view.outcomeLine()->text(), line);
        QCOMPARE(view.outcomeLine()->isError(), isError);
        // Only a success reloads the account.
        QCOMPARE(f.count("/api/me"), meBefore + (isError ? 0 : 1));
        QCOMPARE(enabledMask(view).first(), true);
    }

    // A new press clears the last outcome before its own answer arrives.
    void secondPressClearsLine()
    {
        Fixture f;
        QVERIFY(f.signInAs(userJson(5000)));
        f.site.enqueue("/api/vip_exchange", FakeSite::json(FakeSite::envelope(500, "稍后再试")));
        f.site.enqueue("/api/vip_exchange", FakeSite::json(FakeSite::envelope(500, "再等等")).withDelay(300));
        auto &view = f.open();
        view.exchange(150);
        QVERIFY(waitFor([&] { return !view.isBusy(); }));
        QCOMPARE(view.outcomeLine()->text(), QStringLiteral("稍后再试（500）"));
        view.exchange(1200);
        QVERIFY(view.outcomeLine()->isHidden());
        QVERIFY(waitFor([&] { return !view.isBusy(); }));
        QCOMPARE(view.outcomeLine()->text(), QStringLiteral("再等等（500）"));
        QCOMPARE(f.form("/api/vip_exchange", 1), (QMap<QString, QString>{{"bt", "1200"}}));
    }

    // Leaving the tab mid-exchange still reloads the account: the coins are spent either way.
    void closedPageStillReloads()
    {
        Fixture f;
        QVERIFY(f.signInAs(userJson(700)));
        f.site.route(QStringLiteral("/api/vip_exchange"), FakeSite::ok(R"({"gold":0,"vip_expired":5})").withDelay(200));
        f.site.route(QStringLiteral("/api/me"), FakeSite::ok(userJson(0, "阿明", true, 5)));
        auto &view = f.open();
        view.exchange(700);
        delete &view;
        QVERIFY(waitFor([&] { return f.auth.user() && f.auth.user()->gold == 0; }));
    }

    void grab()
    {
        Fixture f;
        QVERIFY(f.signInAs(userJson(860)));
        f.site.route(QStringLiteral("/api/vip_exchange"), FakeSite::json(FakeSite::envelope(409, "你已经是包年会员")));
        auto &view = f.open();
        view.exchange(700);
        QVERIFY(waitFor([&] { return !view.isBusy(); }));
        QVERIFY(f.grabBoth(QStringLiteral("usercenter-vip")));
        QCOMPARE(view.outcomeLine()->text(), QStringLiteral("你已经是包年会员（409）"));
        QVERIFY(shownTexts(&f.frame).contains(QStringLiteral("包年会员")));
        QVERIFY(view.balanceLabel()->text().contains(QStringLiteral("860")));
    }
};

TOVRA_TEST(TestVIPExchange)
#include "tst_vipexchange.moc"
