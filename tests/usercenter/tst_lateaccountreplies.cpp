#include "community/communityfixture.h"
#include "usercenterfixture.h"
#include "views/community/communityview.h"
#include "views/community/countbadge.h"
#include "views/community/postfeed.h"
#include "views/community/postslide.h"
#include "views/usercenter/outcomeline.h"
#include "views/usercenter/signbutton.h"
#include "views/usercenter/vipexchangeview.h"

#include <QTest>
#include "support/testmain.h"

using namespace tovra;
using namespace tovra::test;

// What account A asked for and the site answered after B signed in belongs to A: B's screens and
// profile show nothing of it, no profile reload follows it, and no request after the change
// carries a cookie of A's session, whether the client held it then or it came with the late reply.
class TestLateAccountReplies : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { Palette::installApplicationTheme(); }

    void droppedAfterAChangeOfAccount_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("answer");
        QTest::newRow("like") << "/api/bbs_like" << QByteArray(R"({"did":"p0","liked":true,"likes_num":9})");
        QTest::newRow("VIP exchange") << "/api/vip_exchange" << QByteArray(R"({"gold":0,"vip_expired":1900000000})");
        QTest::newRow("check-in") << "/api/sign" << QByteArray(R"({"signed":true,"gold":5})");
        QTest::newRow("profile") << "/api/me" << UserCenterFixture::compact(userObject(u"甲"_qs, 0, true, 1900000000));
        QTest::newRow("captcha") << "/api/captcha" << QByteArray("{}");
    }
    void droppedAfterAChangeOfAccount()
    {
        QFETCH(QString, path);
        QFETCH(QByteArray, answer);
        constexpr int kLate = 250;
        UserCenterFixture f;
        f.site.route(u"/api/bbs_list"_qs, FakeSite::ok(postsJson(f, 0, 1)));
        f.site.route(u"/api/me"_qs, FakeSite::ok(UserCenterFixture::compact(userObject(u"甲"_qs, 800, false)))
                                        .withHeader("Set-Cookie", "tovra_captcha=A"));
        f.auth.save(u"tok-a"_qs);
        QVERIFY(runTask(f.auth.refresh()));
        f.site.route(path, FakeSite::ok(answer).withDelay(kLate).withHeader("Set-Cookie", "late=A"));
        auto *exchange = new VIPExchangeView;
        auto *sign = new SignButton;
        f.frame.layout()->addWidget(exchange);
        f.frame.layout()->addWidget(sign);
        auto *board = f.show(new CommunityView, {860, 900});
        QVERIFY(waitFor([&] { return !board->isLoading() && board->feed()->currentSlide() && !sign->isBusy(); }));
        QCOMPARE(f.site.requestsTo(u"/api/bbs_list"_qs).last().header("Cookie"), QByteArray("tovra_captcha=A"));

        const qsizetype asked = f.site.requestsTo(path).size();
        if (path == u"/api/bbs_like")
            board->feed()->currentSlide()->likeButton()->click();
        else if (path == u"/api/vip_exchange")
            exchange->exchangeButtons().at(1)->click();
        else if (path == u"/api/sign")
            sign->button()->click();
        else if (path == u"/api/me")
            QCoro::connect(f.auth.refresh(), &f.frame, [] {});
        else
            QCoro::connect(f.api->captcha(1), &f.frame, [](const auto &) {});
        QVERIFY(waitFor([&] { return f.site.requestsTo(path).size() > asked; }));
        f.site.clearLog();
        f.auth.logout();
        f.site.route(u"/api/me"_qs, FakeSite::ok(UserCenterFixture::compact(userObject(u"乙"_qs, 30, false, 0, u"u2"_qs))));
        f.auth.save(u"tok-b"_qs);
        QVERIFY(runTask(f.auth.refresh()));
        // Past the late answer and whatever its handlers set off.
        QVERIFY(f.manager.quiet());

        QCOMPARE(f.auth.user()->nickname, u"乙"_qs);
        QVERIFY(f.auth.user()->gold == 30 && !f.auth.user()->isVip);
        QCOMPARE(f.site.requestsTo(u"/api/me"_qs).size(), 1);
        QVERIFY(!board->posts().constFirst().liked);
        QCOMPARE(board->feed()->currentSlide()->likeButton()->count(), std::optional<qint64>(3));
        QVERIFY(exchange->outcomeLine()->text().isEmpty() && !exchange->isBusy() && !sign->message() && !sign->isBusy());
        QCoro::connect(f.api->unread(), &f.frame, [](const auto &) {});
        QVERIFY(waitFor([&] { return !f.site.requestsTo(u"/api/unread"_qs).isEmpty(); }));
        for (const FakeSite::Request &request : f.site.requests())
            QVERIFY2(!request.hasHeader("Cookie"), qPrintable(request.path));
    }
};

TOVRA_TEST(TestLateAccountReplies)
#include "tst_lateaccountreplies.moc"
