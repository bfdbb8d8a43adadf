#include "clientfixture.h"

#include <QNetworkReply>
#include <QTest>

#include "support/testmain.h"

using tovra::APIClient;
using tovra::APIError;
using tovra::Empty;
using tovra::Params;
using tovra::test::ClientFixture;
using tovra::test::FakeSite;
using tovra::test::runTask;

namespace {

// The payload most tests ask for: any object reads.
using Detail = tovra::ItemDetail;

}

class TestPipeline : public QObject
{
    Q_OBJECT
private slots:
    void baseAddressLosesOneTrailingSlash_data()
    {
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("wire");
        QTest::newRow("none") << QString() << QStringLiteral("/api/index") << QByteArray("/api/index");
        QTest::newRow("one slash") << QStringLiteral("/") << QStringLiteral("/api/index") << QByteArray("/api/index");
        // Qt's HTTP layer collapses the doubled separator when it writes the request line.
        QTest::newRow("two slashes") << QStringLiteral("//") << QStringLiteral("//api/index") << QByteArray("/api/index");
        QTest::newRow("with a path") << QStringLiteral("/v1/") << QStringLiteral("/v1/api/index") << QByteArray("/v1/api/index");
    }
    void baseAddressLosesOneTrailingSlash()
    {
        QFETCH(QString, suffix);
        QFETCH(QString, path);
        QFETCH(QByteArray, wire);
        ClientFixture f;
        f.base = QStringLiteral("http://127.0.0.1:%1").arg(f.site.port()) + suffix;
        const auto url = f.client().makeURL(QStringLiteral("api/index"));
        QVERIFY(url);
        QCOMPARE(url->path(), path);
        QVERIFY(!url->hasQuery());

        f.site.route(QString::fromLatin1(wire), FakeSite::ok("{}"));
        const auto result = runTask(f.client().get<Empty>(QStringLiteral("api/index"), {}));
        QVERIFY(result);
        QCOMPARE(f.site.requests().size(), 1);
        QCOMPARE(f.site.requests().first().target, wire);
    }

    void baseAddressIsReadForEveryRequest()
    {
        ClientFixture f;
        FakeSite other;
        QVERIFY(other.start());
        runTask(f.client().get<Empty>(QStringLiteral("api/me"), {}));
        f.base = other.url().toString();
        runTask(f.client().get<Empty>(QStringLiteral("api/me"), {}));
        QCOMPARE(f.site.requests().size(), 1);
        QCOMPARE(other.requests().size(), 1);
    }

    void unusableBaseAddressSendsNothing_data()
    {
        QTest::addColumn<QString>("base");
        QTest::newRow("space") << QStringLiteral("http://127.0.0.1:1/a b");
        QTest::newRow("empty") << QString();
        QTest::newRow("no scheme") << QStringLiteral("127.0.0.1");
        QTest::newRow("file") << QStringLiteral("file:///etc");
        QTest::newRow("data") << QStringLiteral("data:text/plain,x");
        QTest::newRow("no host") << QStringLiteral("http:");
    }
    void unusableBaseAddressSendsNothing()
    {
        QFETCH(QString, base);
        ClientFixture f;
        f.base = base;
        const auto result = runTask(f.client().get<Detail>(QStringLiteral("api/item"), {{QStringLiteral("did"), QStringLiteral("1")}}));
        QVERIFY(!result);
        QCOMPARE(result.error(), APIError::badURL());
        QCOMPARE(result.error().description(), QStringLiteral("接口地址不合法"));
        QVERIFY(f.manager.findChildren<QNetworkReply *>().isEmpty());
        QCOMPARE(f.site.requests().size(), 0);
    }

    void queryReachesTheServerIntact_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("wire");
        QTest::newRow("plus") << QStringLiteral("a+b") << QByteArray("a%2Bb");
        QTest::newRow("delimiters") << QStringLiteral("a&b=c#d") << QByteArray("a%26b%3Dc%23d");
        QTest::newRow("percent") << QStringLiteral("100%25") << QByteArray("100%2525");
        QTest::newRow("space") << QStringLiteral(" x ") << QByteArray("%20x%20");
        QTest::newRow("chinese") << QStringLiteral("中文") << QByteArray("%E4%B8%AD%E6%96%87");
        QTest::newRow("slash and question") << QStringLiteral("a/b?c") << QByteArray("a%2Fb%3Fc");
        QTest::newRow("unreserved") << QStringLiteral("a-b_c.d~e") << QByteArray("a-b_c.d~e");
    }
    void queryReachesTheServerIntact()
    {
        QFETCH(QString, value);
        QFETCH(QByteArray, wire);
        ClientFixture f;
        f.site.route(QStringLiteral("api/search"), FakeSite::ok("[]"));
        runTask(f.client().get<QList<tovra::Item>>(QStringLiteral("api/search"), {{QStringLiteral("q+&="), value}}));
        QCOMPARE(f.site.requests().size(), 1);
        const auto &request = f.site.requests().first();
        QCOMPARE(request.rawQuery, QByteArray("q%2B%26%3D=") + wire);
        QCOMPARE(QString::fromUtf8(QByteArray::fromPercentEncoding(wire)), value);
    }

    void emptyQueryHasNoQuestionMark()
    {
        ClientFixture f;
        f.site.route(QStringLiteral("api/nav"), FakeSite::ok("[]"));
        QVERIFY(runTask(f.client().nav()));
        QCOMPARE(f.site.requests().first().target, QByteArray("/api/nav"));
    }

    void headersFollowTheToken_data()
    {
        QTest::addColumn<std::optional<QString>>("token");
        QTest::addColumn<QByteArray>("authorization");
        QTest::newRow("signed out") << std::optional<QString>() << QByteArray();
        QTest::newRow("empty token") << std::optional<QString>(QString()) << QByteArray("Bearer ");
        QTest::newRow("token") << std::optional<QString>(QStringLiteral("tok.en-1")) << QByteArray("Bearer tok.en-1");
    }
    void headersFollowTheToken()
    {
        QFETCH(std::optional<QString>, token);
        QFETCH(QByteArray, authorization);
        ClientFixture f;
        f.token = token;
        f.site.route(QStringLiteral("api/me"), FakeSite::ok("{}"));
        f.site.route(QStringLiteral("api/sign"), FakeSite::ok("{}"));
        runTask(f.client().get<Empty>(QStringLiteral("api/me"), {}));
        runTask(f.client().post<Empty>(QStringLiteral("api/sign"), {}));
        QCOMPARE(f.site.requests().size(), 2);
        for (const auto &request : f.site.requests()) {
            QCOMPARE(request.header("Accept"), QByteArray("application/json"));
            QCOMPARE(request.hasHeader("Authorization"), token.has_value());
            // The raw bytes: a header parser trims the trailing space of "Bearer ".
            if (token)
                QVERIFY(request.raw.contains("\r\nAuthorization: " + authorization + "\r\n"));
        }
    }

    void tokenIsReadForEveryRequest()
    {
        ClientFixture f;
        f.site.route(QStringLiteral("api/me"), FakeSite::ok("{}"));
        f.token = QStringLiteral("first");
        runTask(f.client().get<Empty>(QStringLiteral("api/me"), {}));
        f.token.reset();
        runTask(f.client().get<Empty>(QStringLiteral("api/me"), {}));
        QCOMPARE(f.site.requests().at(0).header("Authorization"), QByteArray("Bearer first"));
        QVERIFY(!f.site.requests().at(1).hasHeader("Authorization"));
    }

    void formBodyEscaping_data()
    {
        QTest::addColumn<Params>("form");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("space and ampersand") << Params{{"v", "a b&c"}} << QByteArray("v=a%20b%26c");
        QTest::newRow("chinese raw") << Params{{"nickname", "昵称"}} << QByteArray("nickname=昵称");
        QTest::newRow("unreserved escaped") << Params{{"v", "-_.~"}} << QByteArray("v=%2D%5F%2E%7E");
        QTest::newRow("plus equals percent") << Params{{"v", "+=%"}} << QByteArray("v=%2B%3D%25");
        QTest::newRow("mark and number") << Params{{"v", "é٣Ⅻ"}} << QByteArray("v=é٣Ⅻ");
        QTest::newRow("emoji") << Params{{"v", "😀"}} << QByteArray("v=%F0%9F%98%80");
        QTest::newRow("key verbatim") << Params{{"k y/", "1"}} << QByteArray("k y/=1");
        QTest::newRow("two fields") << Params{{"a", "1"}, {"b", "2"}} << QByteArray("a=1&b=2");
        QTest::newRow("lone surrogate") << Params{{"v", QString(QChar(0xD800))}} << QByteArray("v=");
        QTest::newRow("empty form") << Params{} << QByteArray();
    }
    void formBodyEscaping()
    {
        QFETCH(Params, form);
        QFETCH(QByteArray, body);
        QCOMPARE(APIClient::formBody(form), body);

        ClientFixture f;
        f.site.route(QStringLiteral("api/bbs_like"), FakeSite::ok("{}"));
        QVERIFY(runTask(f.client().post<Empty>(QStringLiteral("api/bbs_like"), form)));
        const auto &request = f.site.requests().first();
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.target, QByteArray("/api/bbs_like"));
        QCOMPARE(request.header("Content-Type"), QByteArray("application/x-www-form-urlencoded"));
        QCOMPARE(request.body, body);
    }

    void httpStatusIsNotExamined_data()
    {
        QTest::addColumn<int>("status");
        QTest::newRow("500") << 500;
        QTest::newRow("404") << 404;
        QTest::newRow("401") << 401;
        QTest::newRow("503") << 503;
    }
    void httpStatusIsNotExamined()
    {
        QFETCH(int, status);
        ClientFixture f;
        f.site.route(QStringLiteral("api/item"), FakeSite::json(FakeSite::envelope(200, QStringLiteral("ok"), R"({"title":"好"})"), status));
        const auto result = runTask(f.client().get<Detail>(QStringLiteral("api/item"), {}));
        QVERIFY(result);
        QCOMPARE(result->data.title, QStringLiteral("好"));
    }

    void repliesMayFinishInAnyOrder()
    {
        ClientFixture f;
        auto slow = FakeSite::ok(R"({"title":"slow"})");
        slow.delayMs = 300;
        f.site.route(QStringLiteral("api/slow"), slow);
        f.site.route(QStringLiteral("api/fast"), FakeSite::ok(R"({"title":"fast"})"));
        QStringList finished;
        auto run = [&](QString path) -> QCoro::Task<> {
            auto result = co_await f.client().get<Detail>(path, {});
            finished.append(result ? result->data.title : QStringLiteral("error"));
        };
        auto a = run(QStringLiteral("api/slow"));
        auto b = run(QStringLiteral("api/fast"));
        QVERIFY(tovra::test::waitFor([&] { return finished.size() == 2; }));
        QCOMPARE(finished, (QStringList{QStringLiteral("fast"), QStringLiteral("slow")}));
    }
};

TOVRA_TEST(TestPipeline)
#include "tst_pipeline.moc"
