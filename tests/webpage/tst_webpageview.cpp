#include "network/apiclient.h"
#include "store/authstore.h"
#include "network/diskcache.h"
#include "support/clientfixture.h"
#include "views/components/busyindicator.h"
#include "views/components/stateoverlay.h"
#include "views/webpageview.h"
#include "views/webprofile.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QNetworkAccessManager>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include "support/testmain.h"

using namespace tovra;
using namespace tovra::test;

namespace {
const QString kCookiePath = u"/api/web_cookie"_qs;
const QString kPagePath = u"/page"_qs;
const QString kBadAddress = u"页面地址不可用"_qs;
// A page load waits on the engine: its renderer process starts (at background priority while the
// page is made out of sight) and the page commits. Idle that takes about 60 ms, with four busy
// loops on the same two cores about 200 ms, and under a whole suite's load beside a CPU stress it
// has taken over 5 s. The client gives a load kLoadTimeout before it calls it failed; a test waits
// as long, so a load that really hangs fails with the view's own error.
constexpr int kPageLoadWait = int(WebPageView::kLoadTimeout.count()) + 1000;

// The fake site as both the API and the site the page shows, with a signed-in user.
struct PageFixture : SharedClientFixture
{
    PageFixture() : SharedClientFixture(u"tok"_qs)
    {
        // The profile outlives every case; its store is emptied so no case sees another's cookies.
        WebProfile::shared()->cookieStore()->deleteAllCookies();
        QAccessible::setActive(true); // heard only by a running engine, which then builds pages' trees
    }
    QString pageURL() const { return site.url(kPagePath).toString(); }
    void serve(const QString &path, const QByteArray &html = "<p>ok</p>")
    {
        site.route(path, FakeSite::text(html).withHeader("Content-Type", "text/html; charset=utf-8"));
    }
};

// Every name in the accessible tree under face, on show or not.
QString heardIn(QAccessibleInterface *face)
{
    QString text = face ? face->text(QAccessible::Name) + u'\n' : QString();
    for (int i = 0; face && i < face->childCount(); ++i)
        text += heardIn(face->child(i));
    return text;
}
}

class TestWebPageView : public QObject
{
    Q_OBJECT
private slots:
    // The cookie call goes out first, with the user's token; the page's first request then carries
    // exactly the cookies the reply named, in its order. A failed call still loads the page.
    void cookiesReachTheFirstRequest_data()
    {
        QTest::addColumn<FakeSite::Reply>("reply");
        QTest::addColumn<QByteArray>("cookieHeader");
        const QByteArray head = R"("name":"sid","value":"top","domain":"127.0.0.1","expires":4102444800)";
        QTest::newRow("no list") << FakeSite::ok("{" + head + "}") << QByteArray("sid=top");
        QTest::newRow("three") << FakeSite::ok("{" + head + R"(,"cookies":[{"name":"c","value":"3"},)"
                                               R"({"name":"a","value":"1"},{"name":"b","value":"2"}]})")
                               << QByteArray("c=3; a=1; b=2");
        QTest::newRow("empty list") << FakeSite::ok("{" + head + R"(,"cookies":[]})") << QByteArray();
        QTest::newRow("expired") << FakeSite::ok(R"({"name":"sid","value":"x","domain":"127.0.0.1","expires":0})")
                                 << QByteArray();
        QTest::newRow("no domain: undecodable")
            << FakeSite::ok(R"({"name":"s","value":"t","expires":4102444800,"cookies":[{"name":"a","value":"1"}]})")
            << QByteArray();
        QTest::newRow("server refusal") << FakeSite::json(FakeSite::envelope(401, u"未登录"_qs)) << QByteArray();
    }
    void cookiesReachTheFirstRequest()
    {
        QFETCH(FakeSite::Reply, reply);
        QFETCH(QByteArray, cookieHeader);
        PageFixture f;
        f.site.route(kCookiePath, reply);
        f.serve(kPagePath);
        WebPageView view(f.pageURL(), u"论坛"_qs);
        view.show();
        QVERIFY(view.isLoading() && !view.spinner()->isHidden());
        // The store confirms what it was given well within the cookie wait.
        QVERIFY(waitFor([&] { return !f.site.requestsTo(kCookiePath).isEmpty(); }, 5000));
        QVERIFY(waitFor([&] { return !f.site.requestsTo(kPagePath).isEmpty(); }, int(WebPageView::kCookieWait.count() / 2)));

        QVERIFY(waitFor([&] { return !view.isLoading() || view.error(); }, kPageLoadWait));
        QVERIFY2(!view.error(), qPrintable(view.error().value_or(QString())));
        QVERIFY(view.spinner()->isHidden() && view.errorView()->isHidden());
        QVERIFY(!view.backButton()->isEnabled());
        const auto api = f.site.requestsTo(kCookiePath);
        QCOMPARE(api.size(), 1);
        QCOMPARE(api.first().header("Authorization"), QByteArray("Bearer tok"));
        QCOMPARE(f.site.requests().first().path, kCookiePath);
        const auto pages = f.site.requestsTo(kPagePath);
        QCOMPARE(pages.size(), 1);
        QCOMPARE(pages.first().header("Cookie"), cookieHeader);
    }

    // The site cookie stands for the account: after signing out, site pages go out without it.
    void signingOutForgetsSiteCookies()
    {
        PageFixture f;
        f.site.route(kCookiePath, FakeSite::ok(R"({"name":"sid","value":"top","domain":"127.0.0.1","expires":4102444800})"));
        f.serve(kPagePath);
        AuthStore::shared()->save(u"tok"_qs);
        {
            WebPageView view(f.pageURL(), u"论坛"_qs);
            view.show();
            QVERIFY(waitFor([&] { return !view.isLoading() || view.error(); }, kPageLoadWait));
            QCOMPARE(f.site.requestsTo(kPagePath).last().header("Cookie"), QByteArray("sid=top"));
        }
        QSignalSpy removed(WebProfile::shared()->cookieStore(), &QWebEngineCookieStore::cookieRemoved);
        AuthStore::shared()->logout();
        QVERIFY(removed.wait(5000) || removed.size() > 0);

        f.site.route(kCookiePath, FakeSite::json(FakeSite::envelope(401, u"未登录"_qs)));
        WebPageView again(f.pageURL(), u"论坛"_qs);
        again.show();
        QVERIFY(waitFor([&] { return !again.isLoading() || again.error(); }, kPageLoadWait));
        QCOMPARE(f.site.requestsTo(kPagePath).last().header("Cookie"), QByteArray());
    }

    // Refused and unreadable addresses: the text at once, nothing requested, not even the cookie;
    // a retry cannot make the address better and says so again rather than spin.
    void refusedAddresses_data()
    {
        QTest::addColumn<QString>("url");
        QTest::newRow("file") << "file:///etc/passwd";
        QTest::newRow("javascript") << "javascript:alert(document.cookie)";
        QTest::newRow("data") << "data:text/html,<b>x</b>";
        QTest::newRow("unparsable") << "http://exa mple.com/%zz";
    }
    void refusedAddresses()
    {
        QFETCH(QString, url);
        PageFixture f;
        WebPageView view(url, u"外链"_qs);
        view.show();
        QCOMPARE(view.error(), std::optional(kBadAddress));
        QVERIFY(!view.isLoading() && view.spinner()->isHidden());
        QCOMPARE(view.errorView()->messageText(), kBadAddress);
        view.errorView()->retryButton()->click();
        QCOMPARE(view.error(), std::optional(kBadAddress));
        QVERIFY(!view.isLoading());
        QTest::qWait(100);
        QVERIFY(f.site.requests().isEmpty());
    }

    void failedLoadShowsItsReason()
    {
        PageFixture f;
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const quint16 closed = probe.serverPort();
        probe.close();
        WebPageView view(u"http://127.0.0.1:%1/page"_qs.arg(closed), u"论坛"_qs);
        view.resize(900, 560);
        view.show();
        QVERIFY(waitFor([&] { return view.error().has_value(); }, kPageLoadWait));
        QCOMPARE(*view.error(), u"未能连接到服务器。"_qs);
        QCOMPARE(view.errorView()->messageText(), *view.error());
        QVERIFY(view.errorView()->isVisible() && view.spinner()->isHidden());
        QVERIFY(!grabToPng(&view, u"webpage-failed"_qs).isEmpty());
        QVERIFY(waitFor([&] { return heardIn(QAccessible::queryAccessibleInterface(view.webView())).contains(u"ERR_"_qs); }, 5000));
        const QString heard = heardIn(QAccessible::queryAccessibleInterface(&view));
        QVERIFY2(heard.contains(*view.error()) && !heard.contains(u"ERR_"_qs) && !heard.contains(u"refused"_qs), qPrintable(heard));
    }

    // The site's own error page is the page, as in a browser.
    void siteErrorPageIsShown()
    {
        PageFixture f;
        f.site.route(kPagePath, FakeSite::text("<h1>找不到页面</h1>", 404));
        WebPageView view(f.pageURL(), u"论坛"_qs);
        view.show();
        QVERIFY(waitFor([&] { return !f.site.requestsTo(kPagePath).isEmpty() && !view.isLoading(); }, kPageLoadWait));
        QVERIFY(!view.error() && view.errorView()->isHidden());
    }

    // A page that never answers is stopped and reported; the retry, pressed while the engine is
    // still winding the stalled navigation down, loads it without a second cookie call.
    void stalledLoadTimesOutAndRetries()
    {
        PageFixture f;
        f.site.route(kCookiePath, FakeSite::ok(R"({"name":"s","value":"1","domain":"127.0.0.1","expires":4102444800})"));
        int served = 0;
        f.site.route(kPagePath, [&served](const FakeSite::Request &) {
            return ++served == 1 ? FakeSite::Reply().stalling() : FakeSite::text("<p>ok</p>");
        });
        WebPageView view(f.pageURL(), u"论坛"_qs);
        view.show();
        QVERIFY(waitFor([&] { return served == 1; }, 5000));
        view.setLoadTimeout(std::chrono::milliseconds(100));
        QVERIFY(waitFor([&] { return view.error().has_value(); }, 2000));
        QCOMPARE(*view.error(), u"请求超时。"_qs);
        QVERIFY(!view.isLoading() && view.spinner()->isHidden());

        view.setLoadTimeout(WebPageView::kLoadTimeout);
        view.errorView()->retryButton()->click();
        QVERIFY(!view.error() && view.isLoading());
        QVERIFY(waitFor([&] { return !view.isLoading(); }, kPageLoadWait));
        QVERIFY2(!view.error(), qPrintable(view.error().value_or(QString())));
        QVERIFY(waitFor([&] { return heardIn(QAccessible::queryAccessibleInterface(&view)).contains(u"ok"_qs); }, 5000));
        QCOMPARE(served, 2);
        QCOMPARE(f.site.requestsTo(kCookiePath).size(), 1);
        QCOMPARE(f.site.requestsTo(kPagePath).last().header("Cookie"), QByteArray("s=1"));
    }

    // A's cookie, answered after A signed out and B signed in, is never stored: the page on
    // screen loads again at each change (the spinner alone while the cookie step waits), and its
    // reload sends B's cookie only.
    void lateCookieOfThePreviousAccountIsDropped()
    {
        PageFixture f;
        AuthStore::shared()->save(u"tok"_qs);
        const auto cookie = [](const QByteArray &value) {
            return FakeSite::ok(R"({"name":"sid","value":")" + value + R"(","domain":"127.0.0.1","expires":4102444800})");
        };
        f.site.enqueue(kCookiePath, cookie("A").withDelay(400));
        f.site.enqueue(kCookiePath, FakeSite::json(FakeSite::envelope(401, u"未登录"_qs)));
        f.site.route(kCookiePath, cookie("B"));
        f.serve(kPagePath);
        // The cookie calls are the manager's only replies: once all three are in, A's late one
        // has been dealt with.
        QSignalSpy answered(&f.manager, &QNetworkAccessManager::finished);
        WebPageView view(f.pageURL(), u"求片专区"_qs);
        view.show();
        QVERIFY(waitFor([&] { return f.site.requestsTo(kCookiePath).size() == 1; }, 5000));
        QVERIFY(view.isLoading() && view.spinner()->isVisible());
        QCOMPARE(QAccessible::queryAccessibleInterface(view.webView()->parentWidget())->childCount(), 0);

        AuthStore::shared()->logout();
        AuthStore::shared()->save(u"tok-b"_qs);
        QVERIFY(waitFor([&] { return answered.size() == 3 && !view.isLoading(); }, kPageLoadWait));
        view.reloadButton()->click();
        QVERIFY(waitFor([&] { return f.site.requestsTo(kPagePath).size() >= 2 && !view.isLoading(); }, kPageLoadWait));
        for (const auto &page : f.site.requestsTo(kPagePath))
            QVERIFY(!page.header("Cookie").contains("sid=A"));
        QCOMPARE(f.site.requestsTo(kPagePath).last().header("Cookie"), QByteArray("sid=B"));
    }

    // Reload goes back to the site; back is enabled only once a finished navigation has a page
    // behind it, and takes the page there.
    void reloadAndBack()
    {
        PageFixture f;
        f.site.route(kCookiePath, FakeSite::text("", 500));
        f.serve(kPagePath);
        f.serve(u"/next"_qs);
        WebPageView view(f.pageURL(), u"论坛"_qs);
        view.show();
        QVERIFY(waitFor([&] { return !view.isLoading(); }, kPageLoadWait));
        QCOMPARE(QAccessible::queryAccessibleInterface(view.backButton())->text(QAccessible::Name), u"后退"_qs);
        QCOMPARE(QAccessible::queryAccessibleInterface(view.reloadButton())->text(QAccessible::Name), u"刷新"_qs);
        view.reloadButton()->click();
        QVERIFY(waitFor([&] { return f.site.requestsTo(kPagePath).size() == 2 && !view.isLoading(); }, kPageLoadWait));
        QVERIFY(!view.backButton()->isEnabled());

        view.webView()->load(f.site.url(u"next"_qs));
        QVERIFY(waitFor([&] { return view.backButton()->isEnabled(); }, 5000));
        view.backButton()->click();
        QVERIFY(waitFor([&] { return !view.backButton()->isEnabled() && !view.isLoading(); }, kPageLoadWait));
        QCOMPARE(view.webView()->url().path(), kPagePath);
    }
};

TOVRA_TEST(TestWebPageView)
#include "tst_webpageview.moc"
