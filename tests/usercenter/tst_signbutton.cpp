#include "usercenterfixture.h"
#include "views/usercenter/signbutton.h"

#include <QSignalSpy>
#include <QTest>
#include "support/testmain.h"

using namespace tovra;
using namespace tovra::test;

namespace {
const QString kSign = QStringLiteral("/api/sign");
const QString kStatus = QStringLiteral("/api/sign_status");
}

class TestSignButton : public QObject
{
    Q_OBJECT
private slots:
    void statusDecidesLook_data()
    {
        QTest::addColumn<FakeSite::Reply>("status");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QString>("streak");
        QTest::newRow("not yet") << FakeSite::ok(R"({"signed":false,"days":1,"last_time":0})") << "签到领BT币" << true << "";
        QTest::newRow("done, streak") << FakeSite::ok(R"({"signed":true,"days":2,"last_time":5})") << "今日已签到" << false
                                      << "已连续签到 2 天";
        QTest::newRow("load failed") << FakeSite::json(FakeSite::envelope(500, "x")) << "签到领BT币" << true << "";
    }
    void statusDecidesLook()
    {
        QFETCH(FakeSite::Reply, status);
        QFETCH(QString, text);
        QFETCH(bool, enabled);
        QFETCH(QString, streak);
        UserCenterFixture f;
        f.site.route(kStatus, status);
        auto *b = f.show(new SignButton);
        QVERIFY(f.site.waitForRequests(1));
        QVERIFY(waitFor([&] { return b->button()->text() == text; }));
        QVERIFY(f.manager.quiet());
        QCOMPARE(b->button()->text(), text);
        QCOMPARE(b->button()->isEnabled(), enabled);
        QCOMPARE(b->streakLabel()->isVisible(), !streak.isEmpty());
        if (!streak.isEmpty())
            QCOMPARE(b->streakLabel()->text(), streak);
    }

    void signPostsOnceAndReloads_data()
    {
        QTest::addColumn<int>("gold");
        QTest::addColumn<QString>("message");
        QTest::newRow("granted") << 5 << "签到成功，+5 BT币";
        QTest::newRow("zero") << 0 << "今天已经签过了";
        QTest::newRow("negative") << -1 << "今天已经签过了";
    }
    void signPostsOnceAndReloads()
    {
        QFETCH(int, gold);
        QFETCH(QString, message);
        UserCenterFixture f;
        QVERIFY(f.signInAs(userObject("甲", 3, false)));
        f.site.route(kSign, FakeSite::ok(QStringLiteral(R"({"signed":true,"gold":%1})").arg(gold).toUtf8()).withDelay(150));
        auto *b = f.show(new SignButton);
        QVERIFY(waitFor([&] { return f.site.requestsTo(kStatus).size() == 1; }));
        f.site.route(kStatus, FakeSite::ok(R"({"signed":true,"days":3,"last_time":9})"));
        f.site.route(QStringLiteral("/api/me"), FakeSite::ok(compactUser(8)));
        f.site.clearLog();

        QTest::mouseClick(b->button(), Qt::LeftButton);
        QVERIFY(!b->button()->isEnabled());
        b->doSign(); // a second click while busy is swallowed
        QVERIFY(waitFor([&] { return !b->isBusy(); }));

        const auto posts = f.site.requestsTo(kSign);
        QCOMPARE(posts.size(), 1);
        QCOMPARE(posts[0].method, QByteArray("POST"));
        QCOMPARE(posts[0].body, QByteArray());
        QCOMPARE(posts[0].header("Content-Type"), QByteArray("application/x-www-form-urlencoded"));
        QCOMPARE(posts[0].header("Authorization"), QByteArray("Bearer tok-uc"));
        QCOMPARE(b->messageLabel()->text(), message);
        // The user, then the status, reloaded in that order.
        QStringList order;
        for (const auto &r : f.site.requests())
            order << r.path;
        QCOMPARE(order, (QStringList{kSign, "/api/me", kStatus}));
        QCOMPARE(f.auth.user()->gold, 8);
        QCOMPARE(b->button()->text(), QStringLiteral("今日已签到"));
        QVERIFY(!b->button()->isEnabled());
        QCOMPARE(b->streakLabel()->text(), QStringLiteral("已连续签到 3 天"));
    }

    void failureShowsDescriptionAndAllowsRetry()
    {
        UserCenterFixture f;
        f.site.route(kStatus, FakeSite::text("not json"));
        f.site.route(kSign, FakeSite::json(FakeSite::envelope(403, "请先登录")));
        auto *b = f.show(new SignButton);
        QVERIFY(f.site.waitForRequests(1));
        QVERIFY(f.manager.quiet());
        // A failed status load still lets the user sign in.
        QTest::mouseClick(b->button(), Qt::LeftButton);
        QVERIFY(waitFor([&] { return !b->isBusy(); }));
        QCOMPARE(b->messageLabel()->text(), QStringLiteral("请先登录（403）"));
        QVERIFY(b->button()->isEnabled());
        QCOMPARE(f.site.requestsTo("/api/me").size(), 0);
        QCOMPARE(f.site.requestsTo(kStatus).size(), 1);
        QTest::mouseClick(b->button(), Qt::LeftButton);
        QVERIFY(waitFor([&] { return f.site.requestsTo(kSign).size() == 2; }));
    }

    void signOutlivesTheButton()
    {
        UserCenterFixture f;
        QVERIFY(f.signInAs(userObject("甲", 3, false)));
        f.site.route(kSign, FakeSite::ok(R"({"signed":true,"gold":2})").withDelay(100));
        auto *b = f.show(new SignButton);
        QTest::mouseClick(b->button(), Qt::LeftButton);
        f.site.route(QStringLiteral("/api/me"), FakeSite::ok(compactUser(5)));
        delete b;
        // The coins were granted: the profile is reloaded even with the card gone.
        QVERIFY(waitFor([&] { return f.auth.user() && f.auth.user()->gold == 5; }));
    }

private:
    static QByteArray compactUser(qint64 gold)
    {
        return UserCenterFixture::compact(userObject("甲", gold, false));
    }
};

TOVRA_TEST(TestSignButton)
#include "tst_signbutton.moc"
