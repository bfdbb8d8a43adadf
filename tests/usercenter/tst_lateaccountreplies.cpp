#include "community/communityfixture.h"
#include "usercenterfixture.h"
#include "views/community/communityview.h"
#include "views/community/postfeed.h"
#include "views/community/postslide.h"
#include "views/community/countbadge.h"
#include "views/usercenter/outcomeline.h"
#include "views/usercenter/signbutton.h"
#include "views/usercenter/vipexchangeview.h"

#include <QTest>
#include "support/testmain.h"

using namespace tovra;
using namespace tovra::test;

namespace {
constexpr int kLate = 400;
}

// A write sent by one account and answered after another signed in belongs to the first: the
// second account's screens and profile show nothing of it, and no reload of the profile follows.
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
    }
    void droppedAfterAChangeOfAccount()
    {
        QFETCH(QString, path);
        QFETCH(QByteArray, answer);
        UserCenterFixture f;
        f.site.route(u"/api/bbs_list"_qs, FakeSite::ok(postsJson(f, 0, 1)));
        QVERIFY(f.signInAs(userObject(u"甲"_qs, 800, false)));
        f.site.route(path, FakeSite::ok(answer).withDelay(kLate));
        const qsizetype written = f.site.requestsTo(path).size();

        auto *exchange = new VIPExchangeView;
        auto *sign = new SignButton;
        f.frame.layout()->addWidget(exchange);
        f.frame.layout()->addWidget(sign);
        auto *board = f.show(new CommunityView, {860, 900});
        QVERIFY(waitFor([&] { return !board->isLoading() && board->feed()->currentSlide() && !sign->isBusy(); }));
        if (path == u"/api/bbs_like")
            board->feed()->currentSlide()->likeButton()->click();
        else if (path == u"/api/vip_exchange")
            exchange->exchangeButtons().at(1)->click();
        else if (path == u"/api/sign")
            sign->button()->click();
        else
            QCoro::connect(f.auth.refresh(), &f.frame, [] {});
        QVERIFY(waitFor([&] { return f.site.requestsTo(path).size() > written; }));

        f.auth.logout();
        const QByteArray other = UserCenterFixture::compact(userObject(u"乙"_qs, 30, false, 0, u"u2"_qs));
        f.site.route(u"/api/me"_qs, FakeSite::ok(other));
        f.auth.save(u"tok-b"_qs);
        QVERIFY(runTask(f.auth.refresh()));
        f.site.clearLog();
        // Past the moment the write's answer comes back.
        QTest::qWait(kLate * 2);

        QCOMPARE(f.auth.user()->nickname, u"乙"_qs);
        QCOMPARE(f.auth.user()->gold, 30);
        QVERIFY(!f.auth.user()->isVip);
        QVERIFY(f.site.requestsTo(u"/api/me"_qs).isEmpty());
        QVERIFY(waitFor([&] { return !board->isLoading() && board->feed()->currentSlide(); }));
        QVERIFY(!board->posts().constFirst().liked);
        QCOMPARE(board->feed()->currentSlide()->likeButton()->count(), std::optional<qint64>(3));
        QVERIFY(exchange->outcomeLine()->text().isEmpty() && !exchange->isBusy());
        QVERIFY(!sign->message() && !sign->isBusy());
    }
};

TOVRA_TEST(TestLateAccountReplies)
#include "tst_lateaccountreplies.moc"
