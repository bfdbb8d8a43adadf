#include "community/communityfixture.h"
#include "download/downloadfixture.h"
#include "usercenterfixture.h"
#include "views/community/communityview.h"
#include "views/community/countbadge.h"
#include "views/community/postfeed.h"
#include "views/community/postslide.h"
#include "views/usercenter/outcomeline.h"
#include "views/usercenter/signbutton.h"
#include "views/usercenter/vipexchangeview.h"

#include <QClipboard>
#include <QGuiApplication>

#include <QTest>
#include "support/testmain.h"

using namespace tovra;
using namespace tovra::test;
using namespace tovra::downloads;

// What account A asked for and the site answered after B signed in belongs to A: B's screens and
// profile show nothing of it, no profile reload follows it, and no request after the change
// carries a cookie of A's session, whether the client held it then or it came with the late reply,
// whatever asked for it: the API, a picture, a playlist or a file.
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
        // A's 复制磁力 done, then a 下载种子 whose links come after the change.
        QTest::newRow("resource links") << "/api/res" << QByteArray(R"({"magnet":"magnet:?xt=urn:btih:a","xl":"","bturl":""})");
        QTest::newRow("poster") << "/late.png" << posterJpeg(1, QSize(20, 30));
        // What the quality menu asks for: a plain fetch through the client's manager.
        QTest::newRow("playlist") << "/clip/master.m3u8" << QByteArray("#EXTM3U\n");
        QTest::newRow("torrent file") << "/t.torrent" << torrentBytes();
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
        const auto late = [&] {
            return (path.startsWith(u"/api/") ? FakeSite::ok(answer) : FakeSite::Reply().withBody(answer))
                .withDelay(kLate).withHeader("Set-Cookie", "late=A; Path=/");
        };
        f.site.route(path, late());
        const bool onPage = path == u"/api/res" || path == u"/t.torrent";
        DownloadView *page = nullptr;
        const QString folder = f.home.path() + u"/torrents"_qs;
        if (onPage) {
            f.site.route(u"/api/down"_qs, FakeSite::ok(torrentDetailJson()));
            const QString file = f.site.url(u"t.torrent"_qs).toString();
            const QJsonObject links{{"magnet", "magnet:?xt=urn:btih:a"}, {"xl", ""}, {"bturl", file}};
            f.site.route(u"/api/res"_qs, FakeSite::ok(UserCenterFixture::compact(links)));
            QDir().mkpath(folder);
            AppSettings::shared().setTorrentDirectory(folder);
            AppSettings::shared().setAskEverySave(false);
            page = new DownloadView(u"d1"_qs, Torrent{});
            DownloadView::Desktop desktop;
            desktop.openLink = [](const QString &) { return true; };
            desktop.reveal = [](const QString &) {};
            page->setDesktop(desktop);
            f.frame.layout()->addWidget(page);
        }
        auto *exchange = new VIPExchangeView;
        auto *sign = new SignButton;
        f.frame.layout()->addWidget(exchange);
        f.frame.layout()->addWidget(sign);
        auto *board = f.show(new CommunityView, {860, 900});
        QVERIFY(waitFor([&] { return !board->isLoading() && board->feed()->currentSlide() && !sign->isBusy(); }));
        QCOMPARE(f.site.requestsTo(u"/api/bbs_list"_qs).last().header("Cookie"), QByteArray("tovra_captcha=A"));

        if (page)
            QVERIFY(waitFor([&] { return page->shown() == DownloadView::Shown::Content; }));
        if (path == u"/api/res") {
            page->run(DownAction::Copy);
            QVERIFY(waitFor([&] { return page->actionState(DownAction::Copy) == successText(DownAction::Copy); }));
            f.site.route(path, late());
        }
        const qsizetype asked = f.site.requestsTo(path).size();
        if (path == u"/api/bbs_like")
            board->feed()->currentSlide()->likeButton()->click();
        else if (path == u"/api/vip_exchange")
            exchange->exchangeButtons().at(1)->click();
        else if (path == u"/api/sign")
            sign->button()->click();
        else if (path == u"/api/me")
            QCoro::connect(f.auth.refresh(), &f.frame, [] {});
        else if (page)
            page->run(DownAction::Bt);
        else if (path == u"/late.png")
            f.images->load(f.site.url(u"late.png"_qs), &f.frame, [](const QImage &) {});
        else if (path == u"/clip/master.m3u8")
            f.manager.get(QNetworkRequest(f.site.url(u"clip/master.m3u8"_qs)));
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
        if (page) {
            for (DownAction action : allActions())
                QVERIFY(!page->actionState(action));
            QVERIFY(!page->message() && QDir(folder).isEmpty());
            f.site.route(u"/api/res"_qs, FakeSite::ok(R"({"magnet":"magnet:?xt=urn:btih:b","xl":"","bturl":""})"));
            page->run(DownAction::Copy);
            QVERIFY(waitFor([&] { return page->actionState(DownAction::Copy) == successText(DownAction::Copy); }));
            QCOMPARE(f.site.requestsTo(u"/api/res"_qs).size(), 1);
            QCOMPARE(f.site.requestsTo(u"/api/res"_qs).constFirst().header("Authorization"), QByteArray("Bearer tok-b"));
            QCOMPARE(QGuiApplication::clipboard()->text(), u"magnet:?xt=urn:btih:b"_qs);
        }
        QCoro::connect(f.api->unread(), &f.frame, [](const auto &) {});
        QVERIFY(waitFor([&] { return !f.site.requestsTo(u"/api/unread"_qs).isEmpty(); }));
        for (const FakeSite::Request &request : f.site.requests())
            QVERIFY2(!request.hasHeader("Cookie"), qPrintable(request.path));
    }
};

TOVRA_TEST(TestLateAccountReplies)
#include "tst_lateaccountreplies.moc"
