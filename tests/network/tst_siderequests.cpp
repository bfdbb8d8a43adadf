#include "clientfixture.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkDiskCache>
#include <QRegularExpression>
#include <QTest>

#include "support/testmain.h"

using tovra::APIClient;
using tovra::APIError;
using tovra::test::ClientFixture;
using tovra::test::FakeSite;
using tovra::test::runTask;

class TestSideRequests : public QObject
{
    Q_OBJECT
private slots:
    void suggestionRequestOnTheWire()
    {
        ClientFixture f;
        f.token = QStringLiteral("secret");
        f.site.route(QString::fromLatin1(ClientFixture::kSearchPath), FakeSite::json(R"({"hits":[]})"));
        const QString query = QStringLiteral(" 流浪\"地球\"/2 ");
        const auto result = runTask(f.client().suggest(query));
        QVERIFY(result);
        QVERIFY(result->isEmpty());
        QCOMPARE(f.site.requests().size(), 1);
        const auto &request = f.site.requests().first();
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.target, QByteArray(ClientFixture::kSearchPath));
        QCOMPARE(request.header("Content-Type"), QByteArray("application/json"));
        QVERIFY(!request.hasHeader("Authorization"));
        QVERIFY(!request.hasHeader("Accept"));

        const QJsonObject body = QJsonDocument::fromJson(request.body).object();
        const QJsonObject expected{
            {QStringLiteral("q"), query},
            {QStringLiteral("limit"), 10},
            {QStringLiteral("attributesToHighlight"), QJsonArray{QStringLiteral("title"), QStringLiteral("stars")}},
            {QStringLiteral("highlightPreTag"), QStringLiteral("<b>")},
            {QStringLiteral("highlightPostTag"), QStringLiteral("</b>")},
        };
        QCOMPARE(body, expected);
        QVERIFY(body.value(QStringLiteral("limit")).isDouble());
    }

    void suggestionsIgnoreTheBaseAddress()
    {
        ClientFixture f;
        f.base = QStringLiteral("http://127.0.0.1:%1").arg(ClientFixture::closedPort());
        f.site.route(QString::fromLatin1(ClientFixture::kSearchPath), FakeSite::json(R"({"hits":[]})"));
        QVERIFY(runTask(f.client().suggest(QStringLiteral("x"))));
    }

    void suggestionReplies_data()
    {
        QTest::addColumn<FakeSite::Reply>("reply");
        QTest::addColumn<int>("count");
        QTest::newRow("one hit") << FakeSite::json(R"({"hits":[{"did":"1","title":"甲","torrents":3}],"estimatedTotalHits":1})") << 1;
        QTest::newRow("no hits member") << FakeSite::json(R"({"results":[]})") << 0;
        QTest::newRow("hits not an array") << FakeSite::json(R"({"hits":{}})") << 0;
        QTest::newRow("a hit that fails") << FakeSite::json(R"({"hits":[{"did":"1"},7]})") << 0;
        QTest::newRow("not json") << FakeSite::text("<html>") << 0;
        QTest::newRow("empty") << FakeSite::text("") << 0;
    }
    void suggestionReplies()
    {
        QFETCH(FakeSite::Reply, reply);
        QFETCH(int, count);
        ClientFixture f;
        f.site.route(QString::fromLatin1(ClientFixture::kSearchPath), reply);
        const auto result = runTask(f.client().suggest(QStringLiteral("x")));
        QVERIFY(result);
        QCOMPARE(result->size(), count);
    }

    void suggestionRefusedByStatus()
    {
        ClientFixture f;
        f.site.route(QString::fromLatin1(ClientFixture::kSearchPath), FakeSite::json(R"({"hits":[]})", 503));
        const auto result = runTask(f.client().suggest(QStringLiteral("x")));
        QVERIFY(!result);
        QVERIFY(result.error().isServer(503));
        QCOMPARE(result.error().description(), QStringLiteral("搜索建议请求失败（503）"));
    }

    void suggestionTransportFailureKeepsThePlatformText()
    {
        ClientFixture f;
        f.client().setRequestTimeout(std::chrono::milliseconds(200));
        FakeSite::Reply stall;
        stall.stall = true;
        f.site.route(QString::fromLatin1(ClientFixture::kSearchPath), stall);
        const auto result = runTask(f.client().suggest(QStringLiteral("x")));
        QVERIFY(!result);
        QCOMPARE(result.error().kind(), APIError::Kind::Transport);
        QVERIFY(!result.error().description().isEmpty());
        QVERIFY(result.error().description() != QStringLiteral("网络超时，请稍后重试"));
    }

    void uploadBodyByteForByte_data()
    {
        QTest::addColumn<std::optional<QString>>("token");
        QTest::newRow("signed in") << std::optional<QString>(QStringLiteral("tk"));
        QTest::newRow("signed out") << std::optional<QString>();
    }
    void uploadBodyByteForByte()
    {
        QFETCH(std::optional<QString>, token);
        ClientFixture f;
        f.token = token;
        f.site.route(QStringLiteral("api/photo_upload"),
                     FakeSite::ok("{\"photo\":\"p.jpg\",\"photo_url\":\"https://img.example/p.jpg\"}"));
        const QByteArray image("\xFF\xD8\x00", 3);
        const auto result = runTask(f.client().uploadPhoto(image, QStringLiteral("avatar.jpg"), QStringLiteral("image/jpeg")));
        QVERIFY(result);
        QCOMPARE(*result, QStringLiteral("https://img.example/p.jpg"));

        const auto &request = f.site.requests().first();
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.target, QByteArray("/api/photo_upload"));
        QCOMPARE(request.header("Accept"), QByteArray("application/json"));
        QCOMPARE(request.hasHeader("Authorization"), token.has_value());
        if (token)
            QCOMPARE(request.header("Authorization"), QByteArray("Bearer tk"));
        const QByteArray contentType = request.header("Content-Type");
        const QByteArray prefix = "multipart/form-data; boundary=";
        QVERIFY(contentType.startsWith(prefix));
        const QByteArray boundary = contentType.mid(prefix.size());
        QVERIFY(QRegularExpression(QStringLiteral("^Boundary-[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"))
                    .match(QString::fromLatin1(boundary)).hasMatch());
        const QByteArray expected = "--" + boundary + "\r\n"
            + "Content-Disposition: form-data; name=\"image\"; filename=\"avatar.jpg\"\r\n"
            + "Content-Type: image/jpeg\r\n\r\n" + image + "\r\n--" + boundary + "--\r\n";
        QCOMPARE(request.body, expected);
        QCOMPARE(request.header("Content-Length"), QByteArray::number(expected.size()));
    }

    void uploadRefusesHeaderBreakingNames_data()
    {
        QTest::addColumn<QString>("filename");
        QTest::addColumn<QString>("mime");
        QTest::newRow("quote in name") << QStringLiteral("a\".jpg") << QStringLiteral("image/jpeg");
        QTest::newRow("line feed in name") << QStringLiteral("a\n.jpg") << QStringLiteral("image/jpeg");
        QTest::newRow("carriage return in type") << QStringLiteral("a.jpg") << QStringLiteral("image/jpeg\r\nX-Evil: 1");
    }
    void uploadRefusesHeaderBreakingNames()
    {
        QFETCH(QString, filename);
        QFETCH(QString, mime);
        ClientFixture f;
        const auto result = runTask(f.client().uploadPhoto("a", filename, mime));
        QVERIFY(!result);
        // The client's own refusal, with no server code after it.
        QCOMPARE(result.error().description(), QStringLiteral("图片的文件名或类型不合法"));
        QCOMPARE(f.site.requests().size(), 0);
    }

    void uploadReplies_data()
    {
        QTest::addColumn<FakeSite::Reply>("reply");
        QTest::addColumn<QString>("text");
        QTest::newRow("code 200 without data") << FakeSite::json(FakeSite::envelope(200, QStringLiteral("没有图片")))
                                               << QStringLiteral("没有图片（200）");
        QTest::newRow("code 403 with status 200") << FakeSite::json(FakeSite::envelope(403, QStringLiteral("禁止")))
                                                  << QStringLiteral("禁止（403）");
        QTest::newRow("status 500 is not examined") << FakeSite::json(FakeSite::envelope(413, QStringLiteral("太大")), 500)
                                                    << QStringLiteral("太大（413）");
    }
    void uploadReplies()
    {
        QFETCH(FakeSite::Reply, reply);
        QFETCH(QString, text);
        ClientFixture f;
        f.site.route(QStringLiteral("api/photo_upload"), reply);
        const auto result = runTask(f.client().uploadPhoto("a", QStringLiteral("a.jpg"), QStringLiteral("image/jpeg")));
        QVERIFY(!result);
        QCOMPARE(result.error().kind(), APIError::Kind::Server);
        QCOMPARE(result.error().description(), text);
    }

    void uploadUnreadableReply()
    {
        ClientFixture f;
        f.site.route(QStringLiteral("api/photo_upload"), FakeSite::text("<html>", 200));
        const auto result = runTask(f.client().uploadPhoto("a", QStringLiteral("a.jpg"), QStringLiteral("image/jpeg")));
        QVERIFY(!result);
        QCOMPARE(result.error().kind(), APIError::Kind::Decoding);
    }

    void captchaOnTheWire()
    {
        ClientFixture f;
        f.token = QStringLiteral("secret");
        auto *http = new QNetworkDiskCache(&f.manager);
        QTemporaryDir httpFolder;
        http->setCacheDirectory(httpFolder.path());
        f.manager.setCache(http);
        auto image = FakeSite::text("GIF89a-image", 200);
        image.headers = {{"Content-Type", "image/gif"}, {"Cache-Control", "public, max-age=3600"}};
        f.site.route(QStringLiteral("api/captcha"), image);

        const qint64 before = QDateTime::currentSecsSinceEpoch();
        const auto first = runTask(f.client().captcha(2));
        const auto second = runTask(f.client().captcha(2));
        const qint64 after = QDateTime::currentSecsSinceEpoch();
        QVERIFY(first && second);
        QCOMPARE(first->bytes, QByteArray("GIF89a-image"));
        // Both went to the server although the reply allowed caching for an hour.
        QCOMPARE(f.site.requests().size(), 2);
        for (const auto &request : f.site.requests()) {
            QCOMPARE(request.path, QStringLiteral("/api/captcha"));
            const auto query = request.query();
            QCOMPARE(query.queryItemValue(QStringLiteral("scale")), QStringLiteral("2"));
            const qint64 stamp = query.queryItemValue(QStringLiteral("_")).toLongLong();
            QVERIFY(stamp >= before && stamp <= after);
            QVERIFY(!request.hasHeader("Accept"));
            QVERIFY(!request.hasHeader("Authorization"));
        }
    }

    void captchaFailures_data()
    {
        QTest::addColumn<FakeSite::Reply>("reply");
        QTest::addColumn<qint64>("code");
        QTest::newRow("404") << FakeSite::text("GIF89a", 404) << qint64(404);
        QTest::newRow("empty 200") << FakeSite::text("", 200) << qint64(200);
        QTest::newRow("500") << FakeSite::text("oops", 500) << qint64(500);
    }
    void captchaFailures()
    {
        QFETCH(FakeSite::Reply, reply);
        QFETCH(qint64, code);
        ClientFixture f;
        f.site.route(QStringLiteral("api/captcha"), reply);
        const auto result = runTask(f.client().captcha(2));
        QVERIFY(!result);
        QVERIFY(result.error().isServer(code));
        QCOMPARE(result.error().text(), QStringLiteral("验证码获取失败"));
    }

    // The captcha and the avatar upload end on the screen: their network failures read as the
    // pipeline's Chinese texts, never the stack's English words.
    void captchaAndUploadNetworkFailures_data()
    {
        QTest::addColumn<bool>("upload");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<QString>("text");
        const QString failed = QStringLiteral("网络连接失败，请检查网络后重试");
        const QString timeout = QStringLiteral("网络超时，请稍后重试");
        QTest::newRow("captcha refused") << false << true << failed;
        QTest::newRow("captcha stalled") << false << false << timeout;
        QTest::newRow("upload refused") << true << true << failed;
        QTest::newRow("upload stalled") << true << false << timeout;
    }
    void captchaAndUploadNetworkFailures()
    {
        QFETCH(bool, upload);
        QFETCH(bool, refused);
        QFETCH(QString, text);
        ClientFixture f;
        f.client().setRequestTimeout(std::chrono::milliseconds(200));
        if (refused)
            f.base = QStringLiteral("http://127.0.0.1:%1").arg(ClientFixture::closedPort());
        f.site.route(upload ? QStringLiteral("api/photo_upload") : QStringLiteral("api/captcha"), FakeSite::Reply().stalling());
        const APIError error = upload
            ? runTask(f.client().uploadPhoto("a", QStringLiteral("a.jpg"), QStringLiteral("image/jpeg"))).error()
            : runTask(f.client().captcha(2)).error();
        QCOMPARE(error.kind(), APIError::Kind::Transport);
        QCOMPARE(error.description(), text);
    }
};

TOVRA_TEST(TestSideRequests)
#include "tst_siderequests.moc"
