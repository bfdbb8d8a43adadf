#include "clientfixture.h"

#include <QNetworkReply>
#include <QTest>

#include "support/testmain.h"

using tovra::APIClient;
using tovra::APIError;
using tovra::Empty;
using tovra::test::ClientFixture;
using tovra::test::FakeSite;
using tovra::test::runTask;

Q_DECLARE_METATYPE(APIError)

class TestApiErrors : public QObject
{
    Q_OBJECT
private slots:
    void descriptions_data()
    {
        QTest::addColumn<APIError>("error");
        QTest::addColumn<QString>("text");
        QTest::newRow("server") << APIError::server(403, QStringLiteral("无权访问")) << QStringLiteral("无权访问（403）");
        QTest::newRow("server negative") << APIError::server(-1, QStringLiteral("x")) << QStringLiteral("x（-1）");
        QTest::newRow("transport") << APIError::transport(QStringLiteral("网络超时，请稍后重试")) << QStringLiteral("网络超时，请稍后重试");
        QTest::newRow("decoding") << APIError::decoding(QStringLiteral("缺少 code")) << QStringLiteral("数据解析失败：缺少 code");
        QTest::newRow("badURL") << APIError::badURL() << QStringLiteral("接口地址不合法");
        QTest::newRow("emptyData") << APIError::emptyData() << QStringLiteral("服务端没有返回数据");
    }
    void descriptions()
    {
        QFETCH(APIError, error);
        QFETCH(QString, text);
        QCOMPARE(error.description(), text);
    }

    void networkMessages_data()
    {
        QTest::addColumn<QNetworkReply::NetworkError>("error");
        QTest::addColumn<QString>("text");
        const QString offline = QStringLiteral("网络未连接，请检查网络");
        const QString noHost = QStringLiteral("连不上服务器，请检查网络连接（或稍后重试）");
        const QString timeout = QStringLiteral("网络超时，请稍后重试");
        const QString other = QStringLiteral("网络连接失败，请检查网络后重试");
        QTest::newRow("closed") << QNetworkReply::RemoteHostClosedError << offline;
        QTest::newRow("temporary") << QNetworkReply::TemporaryNetworkFailureError << offline;
        QTest::newRow("session") << QNetworkReply::NetworkSessionFailedError << offline;
        QTest::newRow("host") << QNetworkReply::HostNotFoundError << noHost;
        QTest::newRow("timeout") << QNetworkReply::TimeoutError << timeout;
        QTest::newRow("refused") << QNetworkReply::ConnectionRefusedError << other;
        QTest::newRow("cancelled") << QNetworkReply::OperationCanceledError << other;
        QTest::newRow("ssl") << QNetworkReply::SslHandshakeFailedError << other;
        QTest::newRow("redirect") << QNetworkReply::InsecureRedirectError << other;
        QTest::newRow("unknown") << QNetworkReply::UnknownNetworkError << other;
    }
    void networkMessages()
    {
        QFETCH(QNetworkReply::NetworkError, error);
        QFETCH(QString, text);
        QCOMPARE(APIClient::networkMessage(error), text);
    }

    void repliesThatFail_data()
    {
        QTest::addColumn<FakeSite::Reply>("reply");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        const int decoding = int(APIError::Kind::Decoding);
        QTest::newRow("html with 200") << FakeSite::text("<html><body>502</body></html>", 200) << decoding << QString();
        QTest::newRow("empty body") << FakeSite::text("", 200) << decoding << QString();
        QTest::newRow("not an object") << FakeSite::json("[1]") << decoding << QString();
        QTest::newRow("message missing") << FakeSite::json(R"({"code":200,"data":{}})") << decoding << QString();
        QTest::newRow("code as text") << FakeSite::json(R"({"code":"200","message":"","data":{}})") << decoding << QString();
        QTest::newRow("data of wrong shape") << FakeSite::ok(R"({"adult":1})") << decoding << QString();
        QTest::newRow("meta of wrong shape") << FakeSite::ok("{}", R"({"has_more":1})") << decoding << QString();
        QTest::newRow("code 403") << FakeSite::json(FakeSite::envelope(403, QStringLiteral("没有权限"), "{}"))
                                  << int(APIError::Kind::Server) << QStringLiteral("没有权限（403）");
        QTest::newRow("code 401 with http 200") << FakeSite::json(FakeSite::envelope(401, QStringLiteral("请登录")))
                                                << int(APIError::Kind::Server) << QStringLiteral("请登录（401）");
        QTest::newRow("no data") << FakeSite::json(FakeSite::envelope(200, QStringLiteral("ok")))
                                 << int(APIError::Kind::EmptyData) << QStringLiteral("服务端没有返回数据");
        QTest::newRow("data null") << FakeSite::json(FakeSite::envelope(200, QStringLiteral("ok"), "null"))
                                   << int(APIError::Kind::EmptyData) << QStringLiteral("服务端没有返回数据");
    }
    void repliesThatFail()
    {
        QFETCH(FakeSite::Reply, reply);
        QFETCH(int, kind);
        QFETCH(QString, text);
        ClientFixture f;
        f.site.route(QStringLiteral("api/item"), reply);
        const auto result = runTask(f.client().item(QStringLiteral("1")));
        QVERIFY(!result);
        QCOMPARE(int(result.error().kind()), kind);
        if (kind == int(APIError::Kind::Decoding)) {
            QVERIFY(result.error().description().startsWith(QStringLiteral("数据解析失败：")));
            QVERIFY(result.error().description().size() > QStringLiteral("数据解析失败：").size());
        } else {
            QCOMPARE(result.error().description(), text);
        }
        // A failure never reaches the response cache.
        QVERIFY(!f.client().cachedItem(QStringLiteral("1")));
        QCOMPARE(f.cache.diskSize(), qint64(0));
    }

    void emptyPayloadSucceedsWithoutData_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("stored");
        QTest::newRow("no data") << FakeSite::envelope(200, QStringLiteral("ok")) << false;
        QTest::newRow("null") << FakeSite::envelope(200, QStringLiteral("ok"), "null") << false;
        QTest::newRow("object") << FakeSite::envelope(200, QStringLiteral("ok"), R"({"x":1})") << true;
        QTest::newRow("array") << FakeSite::envelope(200, QStringLiteral("ok"), "[1,2]") << true;
        QTest::newRow("string") << FakeSite::envelope(200, QStringLiteral("ok"), R"("s")") << true;
    }
    void emptyPayloadSucceedsWithoutData()
    {
        QFETCH(QByteArray, body);
        QFETCH(bool, stored);
        ClientFixture f;
        f.site.route(QStringLiteral("api/nickname"), FakeSite::json(body));
        f.site.route(QStringLiteral("api/check_captcha"), FakeSite::json(body));
        f.site.route(QStringLiteral("api/send_email_code"), FakeSite::json(body));
        f.site.route(QStringLiteral("api/resetpwd"), FakeSite::json(body));
        QVERIFY(runTask(f.client().updateNickname(QStringLiteral("n"), QStringLiteral("c"))));
        QVERIFY(runTask(f.client().checkCaptcha(QStringLiteral("c"), QStringLiteral("e"), QStringLiteral("reset"))));
        QVERIFY(runTask(f.client().sendEmailCode(QStringLiteral("e"))));
        QVERIFY(runTask(f.client().resetPassword(QStringLiteral("e"), QStringLiteral("c"), QStringLiteral("p"))));
        // A data-less success stores nothing, even for a GET that asked to be cached; one that
        // carries data is stored like any other.
        f.site.route(QStringLiteral("api/index"), FakeSite::json(body));
        QVERIFY(runTask(f.client().get<Empty>(QStringLiteral("api/index"), {}, true)));
        QCOMPARE(f.cache.diskSize() > 0, stored);
    }

    void stalledServerTimesOut_data()
    {
        QTest::addColumn<FakeSite::Reply>("reply");
        FakeSite::Reply stall;
        stall.stall = true;
        QTest::newRow("no answer") << stall;
        FakeSite::Reply half = FakeSite::ok(R"({"title":"a long enough body to cut in half"})");
        half.stallMidBody = true;
        QTest::newRow("half a body") << half;
    }
    void stalledServerTimesOut()
    {
        QFETCH(FakeSite::Reply, reply);
        ClientFixture f;
        f.client().setRequestTimeout(std::chrono::milliseconds(300));
        f.site.route(QStringLiteral("api/item"), reply);
        QElapsedTimer clock;
        clock.start();
        const auto result = runTask(f.client().item(QStringLiteral("1")));
        QVERIFY(!result);
        QCOMPARE(result.error().kind(), APIError::Kind::Transport);
        QCOMPARE(result.error().description(), QStringLiteral("网络超时，请稍后重试"));
        QVERIFY(clock.elapsed() < 2000);
    }

    void slowButSteadyReplyIsNoTimeout()
    {
        ClientFixture f;
        f.client().setRequestTimeout(std::chrono::milliseconds(400));
        auto slow = FakeSite::ok(R"({"title":"t"})");
        slow.delayMs = 150;
        f.site.route(QStringLiteral("api/item"), slow);
        QVERIFY(runTask(f.client().item(QStringLiteral("1"))));
    }

    void connectionCutMidBody()
    {
        ClientFixture f;
        auto cut = FakeSite::ok(R"({"title":"a long enough body to cut in half"})");
        cut.closeMidBody = true;
        f.site.route(QStringLiteral("api/item"), cut);
        const auto result = runTask(f.client().item(QStringLiteral("1")));
        QVERIFY(!result);
        QCOMPARE(result.error().description(), QStringLiteral("网络未连接，请检查网络"));
    }

    void refusedConnection()
    {
        ClientFixture f;
        f.base = QStringLiteral("http://127.0.0.1:%1").arg(ClientFixture::closedPort());
        const auto result = runTask(f.client().me());
        QVERIFY(!result);
        QCOMPARE(result.error().kind(), APIError::Kind::Transport);
        QCOMPARE(result.error().description(), QStringLiteral("网络连接失败，请检查网络后重试"));
    }

    void unknownHost()
    {
        ClientFixture f;
        f.base = QStringLiteral("http://no-such-host.invalid");
        const auto result = runTask(f.client().me(), 30000);
        QVERIFY(!result);
        QCOMPARE(result.error().description(), QStringLiteral("连不上服务器，请检查网络连接（或稍后重试）"));
    }

    void cancelledRequest()
    {
        ClientFixture f;
        FakeSite::Reply stall;
        stall.stall = true;
        f.site.route(QStringLiteral("api/me"), stall);
        std::optional<tovra::Result<tovra::User>> result;
        auto task = [](APIClient &client, std::optional<tovra::Result<tovra::User>> &out) -> QCoro::Task<> {
            out = co_await client.me();
        }(f.client(), result);
        QVERIFY(f.site.waitForRequests(1));
        const auto replies = f.manager.findChildren<QNetworkReply *>();
        QCOMPARE(replies.size(), 1);
        replies.first()->abort();
        QVERIFY(tovra::test::waitFor([&] { return result.has_value(); }));
        QVERIFY(!*result);
        QCOMPARE(result->error().description(), QStringLiteral("网络连接失败，请检查网络后重试"));
    }

    void tokenNeverFollowsARedirectToAnotherOrigin()
    {
        ClientFixture f;
        f.token = QStringLiteral("secret");
        FakeSite elsewhere;
        QVERIFY(elsewhere.start());
        elsewhere.route(QStringLiteral("api/me"), FakeSite::ok("{}"));
        FakeSite::Reply away;
        away.status = 302;
        // Another port is another origin.
        away.headers = {{"Location", elsewhere.url(QStringLiteral("api/me")).toEncoded()}};
        f.site.route(QStringLiteral("api/me"), away);
        const auto result = runTask(f.client().get<Empty>(QStringLiteral("api/me"), {}));
        QVERIFY(!result);
        QCOMPARE(result.error().kind(), APIError::Kind::Transport);
        QCOMPARE(elsewhere.requests().size(), 0);
    }

    void redirectWithinTheSiteIsFollowed()
    {
        ClientFixture f;
        f.token = QStringLiteral("secret");
        FakeSite::Reply moved;
        moved.status = 301;
        moved.headers = {{"Location", "/api/me2"}};
        f.site.route(QStringLiteral("api/me"), moved);
        f.site.route(QStringLiteral("api/me2"), FakeSite::ok("{}"));
        QVERIFY(runTask(f.client().get<Empty>(QStringLiteral("api/me"), {})));
        QCOMPARE(f.site.requestsTo(QStringLiteral("api/me2")).size(), 1);
        QCOMPARE(f.site.requestsTo(QStringLiteral("api/me2")).first().header("Authorization"), QByteArray("Bearer secret"));
    }
};

TOVRA_TEST(TestApiErrors)
#include "tst_errors.moc"
