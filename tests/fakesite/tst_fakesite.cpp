#include "support/fakesite.h"
#include "support/testmain.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTest>
#include <memory>

using tovra::test::FakeSite;

namespace {

struct Fetched
{
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    int status = 0;
    QByteArray body;
    QNetworkReply *reply = nullptr; // valid until the manager goes; for header checks
};

Fetched fetch(QNetworkAccessManager &nam, QNetworkRequest request, const QByteArray &method = "GET",
              const QByteArray &body = {}, int timeoutMs = 5000)
{
    QNetworkReply *reply = nam.sendCustomRequest(request, method, body);
    QSignalSpy finished(reply, &QNetworkReply::finished);
    if (!reply->isFinished())
        finished.wait(timeoutMs);
    Fetched out;
    out.error = reply->error();
    out.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->isOpen())
        out.body = reply->readAll();
    out.reply = reply;
    return out;
}

Fetched get(QNetworkAccessManager &nam, const QUrl &url, int transferTimeoutMs = 0)
{
    QNetworkRequest request(url);
    if (transferTimeoutMs > 0)
        request.setTransferTimeout(transferTimeoutMs);
    return fetch(nam, request, "GET", {}, transferTimeoutMs > 0 ? transferTimeoutMs * 10 : 5000);
}

}

class TestFakeSite : public QObject
{
    Q_OBJECT
private slots:
    void logsRequestsWithExactBytes()
    {
        FakeSite site;
        QVERIFY(site.start());
        site.route("POST", "api/login", FakeSite::ok(R"({"token":"t"})"));
        QSignalSpy received(&site, &FakeSite::requestReceived);

        QNetworkAccessManager nam;
        QNetworkRequest request(site.url("api/login?from=%E4%B8%AD&x=1+2"));
        request.setRawHeader("X-Custom-Header", "Value One");
        request.setHeader(QNetworkRequest::ContentTypeHeader, "application/x-www-form-urlencoded");
        const QByteArray body = "email=a%40b.cn&password=p+w%26";
        const Fetched got = fetch(nam, request, "POST", body);
        QCOMPARE(got.error, QNetworkReply::NoError);
        QCOMPARE(got.status, 200);

        QCOMPARE(site.requests().size(), 1);
        QCOMPARE(received.size(), 1);
        const FakeSite::Request &r = site.requests().first();
        QCOMPARE(r.method, QByteArray("POST"));
        QCOMPARE(r.path, QStringLiteral("/api/login"));
        QCOMPARE(r.rawQuery, QByteArray("from=%E4%B8%AD&x=1+2"));
        QCOMPARE(r.target, QByteArray("/api/login?from=%E4%B8%AD&x=1+2"));
        QCOMPARE(r.query().queryItemValue("from", QUrl::FullyDecoded), QStringLiteral("中"));
        QCOMPARE(r.body, body);
        QCOMPARE(r.form().queryItemValue("email", QUrl::FullyDecoded), QStringLiteral("a@b.cn"));
        QCOMPARE(r.form().queryItemValue("password", QUrl::FullyDecoded), QStringLiteral("p w&"));
        QCOMPARE(r.header("x-custom-header"), QByteArray("Value One"));
        QCOMPARE(r.header("content-length"), QByteArray::number(body.size()));
        QVERIFY(r.header("X-Absent").isNull());
        // Header names keep the spelling the client used.
        bool sawName = false;
        for (const auto &h : r.headers)
            sawName = sawName || h.first == "X-Custom-Header";
        QVERIFY(sawName);
        QVERIFY(r.raw.startsWith("POST /api/login?from=%E4%B8%AD&x=1+2 HTTP/1.1\r\n"));
        QVERIFY(r.raw.endsWith("\r\n\r\n" + body));
        QCOMPARE(received.first().first().value<FakeSite::Request>().body, body);
    }

    void composesReplyHeadersAndBody()
    {
        FakeSite site;
        QVERIFY(site.start());
        FakeSite::Reply reply = FakeSite::json(FakeSite::envelope(403, QStringLiteral("禁止\"访问\"")), 500);
        reply.withHeader("X-Trace", "abc");
        site.route("api/x", reply);

        QNetworkAccessManager nam;
        const Fetched got = get(nam, site.url("/api/x"));
        QCOMPARE(got.status, 500);
        QCOMPARE(got.reply->rawHeader("X-Trace"), QByteArray("abc"));
        QVERIFY(got.reply->rawHeader("Content-Type").startsWith("application/json"));
        QJsonParseError parseError;
        const QJsonObject envelope = QJsonDocument::fromJson(got.body, &parseError).object();
        QCOMPARE(parseError.error, QJsonParseError::NoError);
        QCOMPARE(envelope.value("code").toInt(), 403);
        QCOMPARE(envelope.value("message").toString(), QStringLiteral("禁止\"访问\""));
        QVERIFY(!envelope.contains("data"));
    }

    void envelopeInsertsDataVerbatim()
    {
        QCOMPARE(FakeSite::envelope(200, "ok", "[1,2]", R"({"page":1})"),
                 QByteArray(R"({"code":200,"message":"ok","data":[1,2],"meta":{"page":1}})"));
        QCOMPARE(FakeSite::envelope(200, "ok", "null"), QByteArray(R"({"code":200,"message":"ok","data":null})"));
    }

    void routesByMethodAndPath_data()
    {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("method route wins") << QByteArray("POST") << "/api/sign" << 200 << QByteArray("post");
        QTest::newRow("any-method route") << QByteArray("GET") << "/api/sign" << 200 << QByteArray("any");
        QTest::newRow("exact path only") << QByteArray("GET") << "/api/sign/" << 404 << QByteArray();
        QTest::newRow("no prefix match") << QByteArray("GET") << "/api" << 404 << QByteArray();
        QTest::newRow("unknown") << QByteArray("DELETE") << "/nowhere" << 404 << QByteArray();
    }
    void routesByMethodAndPath()
    {
        QFETCH(QByteArray, method);
        QFETCH(QString, path);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        FakeSite site;
        QVERIFY(site.start());
        site.route("api/sign", FakeSite::Reply().withBody("any"));
        site.route("POST", "/api/sign", FakeSite::Reply().withBody("post"));

        QNetworkAccessManager nam;
        const Fetched got = fetch(nam, QNetworkRequest(site.url(path)), method);
        QCOMPARE(got.status, status);
        QCOMPARE(got.body, body);
    }

    void handlerSeesTheRequest()
    {
        FakeSite site;
        QVERIFY(site.start());
        site.route("api/echo", [](const FakeSite::Request &r) {
            return FakeSite::Reply().withStatus(201).withBody(r.query().queryItemValue("q").toUtf8());
        });
        QNetworkAccessManager nam;
        const Fetched got = get(nam, site.url("api/echo?q=hello"));
        QCOMPARE(got.status, 201);
        QCOMPARE(got.body, QByteArray("hello"));
    }

    void queueAnswersInOrderThenFallsBack()
    {
        FakeSite site;
        QVERIFY(site.start());
        site.route("api/q", FakeSite::Reply().withBody("route"));
        site.enqueue("api/q", FakeSite::Reply().withBody("first"));
        site.enqueue("api/q", FakeSite::Reply().withStatus(503).withBody("second"));
        site.enqueue("GET", "api/q", FakeSite::Reply().withBody("get-only"));

        QNetworkAccessManager nam;
        QList<QByteArray> bodies;
        QList<int> statuses;
        for (int i = 0; i < 4; ++i) {
            const Fetched got = get(nam, site.url("api/q"));
            bodies.append(got.body);
            statuses.append(got.status);
        }
        // The method-specific queue is served before the any-method one.
        QCOMPARE(bodies, (QList<QByteArray>{"get-only", "first", "second", "route"}));
        QCOMPARE(statuses, (QList<int>{200, 200, 503, 200}));
    }

    void delaysTheReply()
    {
        FakeSite site;
        QVERIFY(site.start());
        site.route("slow", FakeSite::Reply().withBody("late").withDelay(300));
        QNetworkAccessManager nam;
        QElapsedTimer clock;
        clock.start();
        const Fetched got = get(nam, site.url("slow"));
        QCOMPARE(got.body, QByteArray("late"));
        QVERIFY2(clock.elapsed() >= 290, qPrintable(QString::number(clock.elapsed())));
        // The request is logged on arrival, not when answered.
        QCOMPARE(site.requests().size(), 1);
    }

    void stalledReplyTimesOutTheClient()
    {
        FakeSite site;
        QVERIFY(site.start());
        site.route("stall", FakeSite::Reply().stalling());
        QNetworkAccessManager nam;
        const Fetched got = get(nam, site.url("stall"), 200);
        QVERIFY2(got.error == QNetworkReply::OperationCanceledError || got.error == QNetworkReply::TimeoutError,
                 qPrintable(QString::number(got.error)));
        QCOMPARE(site.requests().size(), 1);
    }

    void stalledConnectionSurvivesSiteDestruction()
    {
        auto site = std::make_unique<FakeSite>();
        QVERIFY(site->start());
        site->route("stall", FakeSite::Reply().stalling());
        site->route("cut", FakeSite::Reply().withBody(QByteArray(1000, 'x')).stallingMidBody());
        QNetworkAccessManager nam;
        QNetworkReply *stalled = nam.get(QNetworkRequest(site->url("stall")));
        QNetworkReply *cut = nam.get(QNetworkRequest(site->url("cut")));
        QVERIFY(site->waitForRequests(2, 5000));
        QTRY_COMPARE(cut->bytesAvailable(), 500);
        site.reset();
        QTRY_VERIFY(stalled->isFinished());
        QTRY_VERIFY(cut->isFinished());
        QVERIFY(stalled->error() != QNetworkReply::NoError);
        QVERIFY(cut->error() != QNetworkReply::NoError);
    }

    void closeMidBodyFailsTheClient()
    {
        FakeSite site;
        QVERIFY(site.start());
        site.route("cut", FakeSite::Reply().withBody(QByteArray(4000, 'y')).closingMidBody());
        QNetworkAccessManager nam;
        const Fetched got = get(nam, site.url("cut"));
        QCOMPARE(got.error, QNetworkReply::RemoteHostClosedError);
        QVERIFY(got.body.size() <= 2000);
    }

    void rawReplyIsWrittenVerbatim()
    {
        FakeSite site;
        QVERIFY(site.start());
        site.route("raw", FakeSite::Reply().withRaw("HTTP/1.1 299 Odd\r\nContent-Length: 3\r\nX-A: b\r\n\r\nabc"));
        QNetworkAccessManager nam;
        const Fetched got = get(nam, site.url("raw"));
        QCOMPARE(got.status, 299);
        QCOMPARE(got.body, QByteArray("abc"));
        QCOMPARE(got.reply->rawHeader("X-A"), QByteArray("b"));
    }

    void keepsConnectionsAlive()
    {
        FakeSite site;
        QVERIFY(site.start());
        site.route("a", FakeSite::Reply().withBody("A"));
        site.route("b", FakeSite::Reply().withStatus(404).withBody("B"));
        site.route("POST", "c", FakeSite::Reply().withBody("C").withDelay(50));
        QNetworkAccessManager nam;
        QByteArray bodies;
        for (int i = 0; i < 3; ++i) {
            bodies += get(nam, site.url("a")).body;
            bodies += get(nam, site.url("b")).body;
            QNetworkRequest post(site.url("c"));
            post.setHeader(QNetworkRequest::ContentTypeHeader, "application/x-www-form-urlencoded");
            bodies += fetch(nam, post, "POST", "k=v").body;
        }
        QCOMPARE(bodies, QByteArray("ABCABCABC"));
        QCOMPARE(site.requests().size(), 9);
        QCOMPARE(site.connectionsAccepted(), 1);
        for (const auto &r : site.requests())
            QCOMPARE(r.connection, 1);
        QCOMPARE(site.requestsTo("/c").size(), 3);
        QCOMPARE(site.requestsTo("c").first().body, QByteArray("k=v"));
    }

    void parallelRequestsAllAnswered()
    {
        // The manager opens several connections at once; each must be answered independently,
        // and a slow one must not hold up the others.
        FakeSite site;
        QVERIFY(site.start());
        site.route("slow", FakeSite::Reply().withBody("slow").withDelay(400));
        site.route("fast", [](const FakeSite::Request &r) { return FakeSite::Reply().withBody(r.rawQuery); });
        QNetworkAccessManager nam;
        QNetworkReply *slow = nam.get(QNetworkRequest(site.url("slow")));
        QList<QNetworkReply *> fast;
        for (int i = 0; i < 5; ++i)
            fast.append(nam.get(QNetworkRequest(site.url(QStringLiteral("fast?%1").arg(i)))));
        for (int i = 0; i < 5; ++i) {
            QTRY_VERIFY(fast.at(i)->isFinished());
            QCOMPARE(fast.at(i)->readAll(), QByteArray::number(i));
        }
        QVERIFY(!slow->isFinished());
        QTRY_VERIFY(slow->isFinished());
        QCOMPARE(slow->readAll(), QByteArray("slow"));
    }

    void clearLogAndWait()
    {
        FakeSite site;
        QVERIFY(site.start());
        QNetworkAccessManager nam;
        get(nam, site.url("x"));
        QCOMPARE(site.requests().size(), 1);
        site.clearLog();
        QVERIFY(site.requests().isEmpty());
        nam.get(QNetworkRequest(site.url("y")));
        QVERIFY(site.waitForRequests(1, 5000));
        QCOMPARE(site.requests().first().path, QStringLiteral("/y"));
        QVERIFY(!site.waitForRequests(2, 100));
    }

    void urlIsLoopbackWithPort()
    {
        FakeSite site;
        QVERIFY(site.start());
        QVERIFY(site.port() > 0);
        QCOMPARE(site.url().toString(), QStringLiteral("http://127.0.0.1:%1/").arg(site.port()));
        QCOMPARE(site.url("/api/nav").toString(), QStringLiteral("http://127.0.0.1:%1/api/nav").arg(site.port()));
        QCOMPARE(site.url("api/list?page=2").query(), QStringLiteral("page=2"));
    }
};

TOVRA_TEST(TestFakeSite)
#include "tst_fakesite.moc"
