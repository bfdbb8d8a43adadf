#include "samplesitefixture.h"
#include "models/playerlogic.h"
#include "support/mediafiles.h"

#include <QFile>

#include <QTest>
#include "support/testmain.h"

using namespace tovra;
using namespace tovra::test;

namespace {

// The picture's text, which the sample site writes to its log for whoever tries it by hand.
QString g_captcha;
QtMessageHandler g_previous = nullptr;
void keepCaptcha(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    static const QString prefix = QStringLiteral("[samplesite] 图片验证码: ");
    if (message.startsWith(prefix)) {
        g_captcha = message.mid(prefix.size());
        return;
    }
    if (g_previous)
        g_previous(type, context, message);
}

}

// The user centre's calls against the sample site through the client: what the site keeps
// between calls is what the screens show next.
class TestAccountRoutes : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { g_previous = qInstallMessageHandler(keepCaptcha); }
    void cleanupTestCase() { qInstallMessageHandler(g_previous); }

    // Exchanges take the plan's price and extend the membership, and the coin log says so with
    // the balance that follows; a price that is no plan, or more than the balance, is refused.
    void exchangeAndCoinLog()
    {
        SampleSiteFixture f;
        QVERIFY(f.start());
        QVERIFY(f.signIn());
        const User before = *f.auth->user();
        const auto bad = runTask(f.client->exchangeVIP(151));
        QVERIFY(!bad);
        QCOMPARE(bad.error().description(), QStringLiteral("没有这个会员套餐（400）"));
        const auto tooDear = runTask(f.client->exchangeVIP(1200));
        QCOMPARE(tooDear.error().description(), QStringLiteral("BT币余额不足（402）"));

        const auto done = runTask(f.client->exchangeVIP(150));
        QVERIFY(done);
        QCOMPARE(done->gold, before.gold - 150);
        QVERIFY(done->vipExpired >= before.vipExpired + 30 * 86400);
        runTask(f.auth->refresh());
        QCOMPARE(f.auth->user()->gold, done->gold);
        QCOMPARE(f.auth->user()->vipExpired, done->vipExpired);

        const auto log = runTask(f.client->goldLog(1));
        QVERIFY(log && log->meta);
        QCOMPARE(log->data.size(), 10);
        QCOMPARE(log->data.at(0).sign, QStringLiteral("-"));
        QCOMPARE(log->data.at(0).gold, 150);
        QCOMPARE(log->data.at(0).balance, done->gold);
        // Each entry's balance follows from the one before it.
        for (int i = 1; i < log->data.size(); ++i) {
            const GoldLog &newer = log->data.at(i - 1);
            QCOMPARE(log->data.at(i).balance, newer.balance - (newer.sign == u"-" ? -newer.gold : newer.gold));
            QVERIFY(log->data.at(i).balance >= 0);
        }
        QCOMPARE(*log->meta->pages, 3);
        QCOMPARE(runTask(f.client->goldLog(3))->data.size(), 5);
    }

    // The code of the last picture served renames the account, once; a wrong code uses the
    // picture up as well.
    void nicknameWithCaptcha()
    {
        SampleSiteFixture f;
        QVERIFY(f.start());
        QVERIFY(f.signIn());
        QCOMPARE(runTask(f.client->updateNickname(QStringLiteral("星河漫游者"), QStringLiteral("XXXX"))).error().description(),
                 QStringLiteral("请先获取图片验证码（400）"));
        QVERIFY(runTask(f.client->captcha(2)));
        QCOMPARE(runTask(f.client->updateNickname(QStringLiteral("星河漫游者"), QStringLiteral("0000"))).error().description(),
                 QStringLiteral("图片验证码错误（400）"));
        QVERIFY(runTask(f.client->captcha(2)));
        QVERIFY(runTask(f.client->updateNickname(QStringLiteral("星河漫游者"), g_captcha.toLower())));
        QCOMPARE(runTask(f.client->updateNickname(QStringLiteral("又一个"), g_captcha)).error().description(),
                 QStringLiteral("请先获取图片验证码（400）"));
        runTask(f.auth->refresh());
        QCOMPARE(f.auth->user()->nickname, std::optional(QStringLiteral("星河漫游者")));
    }

    // Replies, likes and board messages count as unread until a page has shown them.
    void unreadFallsAsPagesAreRead()
    {
        SampleSiteFixture f;
        QVERIFY(f.start());
        QVERIFY(f.signIn());
        const auto unread = [&] { return runTask(f.client->unread()).value(); };
        const UnreadCount start = unread();
        QVERIFY(start.reply > 0 && start.like > 0 && start.board > 0);
        QCOMPARE(start.total, start.reply + start.like + start.board);

        const auto likes = runTask(f.client->messages(QStringLiteral("notice"), QStringLiteral("like"), 1));
        QVERIFY(likes && likes->notice);
        QVERIFY(std::ranges::all_of(likes->notice->list, [](const NoticeItem &n) { return n.type == u"like"; }));
        QVERIFY(std::ranges::any_of(likes->notice->list, [](const NoticeItem &n) { return n.unread; }));
        QCOMPARE(unread().like, 0);
        QCOMPARE(unread().reply, start.reply);

        const auto board = runTask(f.client->messages(QStringLiteral("board"), QStringLiteral("all"), 1));
        QVERIFY(board && !board->board.isEmpty());
        QCOMPARE(unread().board, 0);
        QVERIFY(runTask(f.client->messages(QStringLiteral("notice"), QStringLiteral("all"), 1)));
        QCOMPARE(unread().total, 0);
        // Shown once, read for good.
        const auto again = runTask(f.client->messages(QStringLiteral("notice"), QStringLiteral("like"), 1));
        QVERIFY(std::ranges::none_of(again->notice->list, [](const NoticeItem &n) { return n.unread; }));
    }

    // Every title plays the one clip: history positions fall inside it, late enough to resume.
    void watchHistoryFitsTheClip()
    {
        SampleSiteFixture f;
        QVERIFY(f.start() && f.signIn());
        QFile mpd(mediaDir() + QStringLiteral("/dash/manifest.mpd"));
        const qint64 length = mpd.open(QIODevice::ReadOnly) ? QString::fromUtf8(mpd.readAll()).section(QStringLiteral("mediaPresentationDuration=\"PT"), 1).section(u'S', 0, 0).toDouble() : 0;
        const auto watching = runTask(f.client->watching());
        QVERIFY(length > 0 && watching && !watching->isEmpty());
        for (const WatchingItem &item : *watching)
            QVERIFY(item.pos >= player::kMinResume && item.pos < item.duration && item.duration == length);
    }
};

TOVRA_TEST(TestAccountRoutes)
#include "tst_accountroutes.moc"
