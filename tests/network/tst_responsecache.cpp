#include "clientfixture.h"

#include "network/paths.h"

#include <QDir>
#include <QFile>
#include <QNetworkDiskCache>
#include <QNetworkReply>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include "support/testmain.h"

using namespace Qt::StringLiterals;
using tovra::APIClient;
using tovra::Params;
using tovra::test::ClientFixture;
using tovra::test::FakeSite;
using tovra::test::runTask;

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}

class TestResponseCache : public QObject
{
    Q_OBJECT
private slots:
    void cacheKey_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<Params>("query");
        QTest::addColumn<QString>("key");
        QTest::newRow("no query") << u"api/index"_s << Params{} << u"api_index"_s;
        QTest::newRow("underscore dropped") << u"api/top250"_s << Params{{"page", "2"}, {"_", "123"}} << u"api_top250?page=2"_s;
        QTest::newRow("space") << u"api/item"_s << Params{{"did", "x y"}} << u"api_item?did=x%20y"_s;
        QTest::newRow("only the bare underscore") << u"api/tags"_s << Params{{"_", "9"}, {"__", "1"}, {"a_b", "2"}}
                                                  << u"api_tags?__=1&a_b=2"_s;
        QTest::newRow("sorted") << u"api/down"_s << Params{{"n", "1"}, {"did", "7"}} << u"api_down?did=7&n=1"_s;
        QTest::newRow("underscore in value") << u"api/item"_s << Params{{"did", "a_b"}} << u"api_item?did=a_b"_s;
        QTest::newRow("dot and percent") << u"api/item"_s << Params{{"did", "1.5%"}} << u"api_item?did=1%2E5%25"_s;
        QTest::newRow("chinese raw") << u"api/search"_s << Params{{"q", "电影"}} << u"api_search?q=电影"_s;
        QTest::newRow("delimiters kept") << u"api/item"_s << Params{{"did", "a=b?c"}} << u"api_item?did=a=b?c"_s;
        QTest::newRow("plus escaped") << u"api/item"_s << Params{{"did", "a+b"}} << u"api_item?did=a%2Bb"_s;
        QTest::newRow("only underscore") << u"api/captcha"_s << Params{{"_", "1"}} << u"api_captcha"_s;
        // Keys that another query could share, or that have no UTF-8 form: none, never stored.
        QTest::newRow("slash in value") << u"api/item"_s << Params{{"did", "a/b"}} << QString();
        QTest::newRow("slash in name") << u"api/filter"_s << Params{{"a/b", "1"}} << QString();
        QTest::newRow("ampersand in value") << u"api/filter"_s << Params{{"a", "1&b=2"}} << QString();
        QTest::newRow("equals in name") << u"api/filter"_s << Params{{"a=1", "2"}} << QString();
        QTest::newRow("lone low surrogate") << u"api/item"_s << Params{{"did", QString(QChar(0xDC00))}} << QString();
        QTest::newRow("lone high surrogate") << u"api/item"_s << Params{{"did", u"1"_s + QChar(0xD800)}} << QString();
    }
    void cacheKey()
    {
        QFETCH(QString, path);
        QFETCH(Params, query);
        QFETCH(QString, key);
        QCOMPARE(APIClient::cacheKey(path, query), key);
    }

    void storedFetchKeepsTheBytesAsReceived()
    {
        ClientFixture f;
        // Escapes, spacing and an unknown member: anything re-encoded would differ.
        const QByteArray body = "{ \"code\" : 200, \"message\":\"\\u597d\",\n \"data\": {\"did\":\"9\", \"extra\": [1, 2.50]} }";
        f.site.route(QStringLiteral("api/item"), FakeSite::json(body));
        QVERIFY(runTask(f.client().item(QStringLiteral("9 x"))));
        f.cache.flush();
        const QString file = f.cacheFolder.path() + QStringLiteral("/api_item?did=9%20x.json");
        QCOMPARE(readFile(file), body);
        QCOMPARE(QDir(f.cacheFolder.path()).entryList(QDir::Files).size(), 1);
    }

    void readersAnswerFromTheStoredReply()
    {
        ClientFixture f;
        f.site.route(QStringLiteral("api/index"), FakeSite::ok(R"({"list":[{"did":"1"}]})"));
        f.site.route(QStringLiteral("api/item"), FakeSite::ok(R"({"title":"详情"})"));
        f.site.route(QStringLiteral("api/ranking"), FakeSite::ok(R"([{"did":"1","title":"t","image":"i","count":3}])"));
        f.site.route(QStringLiteral("api/top250"), FakeSite::ok(R"([{"did":"1"}])", R"({"page":2})"));
        QVERIFY(!f.client().cachedHome());
        QVERIFY(runTask(f.client().home()));
        QVERIFY(runTask(f.client().item(QStringLiteral("5"))));
        QVERIFY(runTask(f.client().ranking()));
        QVERIFY(runTask(f.client().top250(2)));
        const int sent = int(f.site.requests().size());

        QCOMPARE(f.client().cachedHome()->list.size(), 1);
        QCOMPARE(f.client().cachedItem(QStringLiteral("5"))->title, QStringLiteral("详情"));
        QVERIFY(!f.client().cachedItem(QStringLiteral("6")));
        QCOMPARE(f.client().cachedRanking()->first().count, qint64(3));
        QCOMPARE(f.client().cachedTop250(2)->meta->page, std::optional<qint64>(2));
        QVERIFY(!f.client().cachedTop250(1));
        // Readers never touch the network.
        QCOMPARE(f.site.requests().size(), sent);
    }

    void readersRespectTheirMaximumAge_data()
    {
        QTest::addColumn<int>("seconds");
        QTest::addColumn<bool>("item");
        QTest::addColumn<bool>("top250");
        QTest::newRow("599") << 599 << true << true;
        QTest::newRow("601") << 601 << false << true;
        QTest::newRow("3599") << 3599 << false << true;
        QTest::newRow("3601") << 3601 << false << false;
    }
    void readersRespectTheirMaximumAge()
    {
        QFETCH(int, seconds);
        QFETCH(bool, item);
        QFETCH(bool, top250);
        ClientFixture f;
        f.site.route(QStringLiteral("api/item"), FakeSite::ok("{}"));
        f.site.route(QStringLiteral("api/top250"), FakeSite::ok("[]"));
        QVERIFY(runTask(f.client().item(QStringLiteral("1"))));
        QVERIFY(runTask(f.client().top250(1)));
        const QDateTime later = QDateTime::currentDateTimeUtc().addSecs(seconds);
        f.cache.setClock([later] { return later; });
        QCOMPARE(f.client().cachedItem(QStringLiteral("1")).has_value(), item);
        QCOMPARE(f.client().cachedTop250(1).has_value(), top250);
    }

    void filterReaderFindsTheSamePage()
    {
        ClientFixture f;
        f.site.route(QStringLiteral("api/filter"), FakeSite::ok(R"([{"did":"1"}])"));
        const Params params{{"page", "9"}, {"sort", "2"}};
        QVERIFY(runTask(f.client().filter(params, 2)));
        QVERIFY(f.client().cachedFilter(params, 2));
        QVERIFY(f.client().cachedFilter(Params{{"sort", "2"}}, 2));
        QVERIFY(!f.client().cachedFilter(params, 9));
        QVERIFY(!f.client().cachedFilter(Params{{"sort", "3"}}, 2));
    }

    void readersIgnoreUnusableEntries_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::newRow("code 500") << FakeSite::envelope(500, QStringLiteral("x"), "{}");
        QTest::newRow("no data") << FakeSite::envelope(200, QStringLiteral("x"));
        QTest::newRow("not json") << QByteArray("<html>");
        QTest::newRow("wrong shape") << FakeSite::envelope(200, QStringLiteral("x"), "[]");
    }
    void readersIgnoreUnusableEntries()
    {
        QFETCH(QByteArray, stored);
        ClientFixture f;
        f.cache.saveData(stored, APIClient::cacheKey(QStringLiteral("api/item"), {{QStringLiteral("did"), QStringLiteral("1")}}));
        QVERIFY(!f.client().cachedItem(QStringLiteral("1")));
    }

    // Ids that would share a stored entry (or fall back to a shared one) are fetched and shown
    // but never stored, so no title page shows another title's stored detail.
    void idsThatCannotBeKeyedAreNotStored_data()
    {
        QTest::addColumn<QString>("did");
        QTest::addColumn<QString>("twin"); // the id whose entry it would have shared
        QTest::newRow("slash") << u"a/b"_s << u"a_b"_s;
        QTest::newRow("lone surrogate") << u"x"_s + QChar(0xD800) << u"y"_s + QChar(0xDBFF);
        QTest::newRow("ampersand") << u"1&x=2"_s << u"1"_s;
    }
    void idsThatCannotBeKeyedAreNotStored()
    {
        QFETCH(QString, did);
        QFETCH(QString, twin);
        ClientFixture f;
        f.site.route(QStringLiteral("api/item"), [](const FakeSite::Request &request) {
            const QString did = request.query().queryItemValue(QStringLiteral("did"), QUrl::FullyDecoded);
            return FakeSite::ok(QJsonDocument(QJsonObject{{u"title"_s, did}}).toJson(QJsonDocument::Compact));
        });
        const auto shown = runTask(f.client().item(did));
        QVERIFY(shown);
        QVERIFY(!f.client().cachedItem(did));
        QVERIFY(runTask(f.client().item(twin)));
        QVERIFY(!f.client().cachedItem(did));
        f.cache.flush();
        // Only the twin's entry, when it has a key of its own.
        const int expected = APIClient::cacheKey(u"api/item"_s, {{u"did"_s, twin}}).isEmpty() ? 0 : 1;
        QCOMPARE(QDir(f.cacheFolder.path()).entryList(QDir::Files | QDir::Hidden).size(), expected);
    }

    void onlyStoredFetchesWrite()
    {
        ClientFixture f;
        f.site.route(QStringLiteral("api/search"), FakeSite::ok("[]"));
        f.site.route(QStringLiteral("api/me"), FakeSite::ok("{}"));
        f.site.route(QStringLiteral("api/login"), FakeSite::ok(R"({"token":"t"})"));
        runTask(f.client().search(QStringLiteral("x"), 1));
        runTask(f.client().me());
        runTask(f.client().login(QStringLiteral("a"), QStringLiteral("b")));
        QCOMPARE(f.site.requests().size(), 3);
        QCOMPARE(f.cache.diskSize(), qint64(0));
        QCOMPARE(f.cache.memoryCount(), 0);
    }

    void resourceFetchDropsTheStoredTitleOnlyOnSuccess()
    {
        ClientFixture f;
        f.site.route(QStringLiteral("api/item"), FakeSite::ok(R"({"title":"t"})"));
        QVERIFY(runTask(f.client().item(QStringLiteral("7"))));
        f.cache.flush();
        const QString file = f.cache.filePath(APIClient::cacheKey(QStringLiteral("api/item"), {{QStringLiteral("did"), QStringLiteral("7")}}));
        QVERIFY(QFile::exists(file));

        f.site.enqueue(QStringLiteral("api/res"), FakeSite::json(FakeSite::envelope(402, QStringLiteral("余额不足"))));
        const auto refused = runTask(f.client().res(QStringLiteral("7"), 0, 0));
        QVERIFY(!refused);
        QCOMPARE(refused.error().description(), QStringLiteral("余额不足（402）"));
        QVERIFY(f.client().cachedItem(QStringLiteral("7")));

        f.site.enqueue(QStringLiteral("api/res"), FakeSite::ok(R"({"magnet":"magnet:?xt=1"})"));
        const auto granted = runTask(f.client().res(QStringLiteral("7"), 0, 0));
        QVERIFY(granted);
        QCOMPARE(granted->magnet, QStringLiteral("magnet:?xt=1"));
        // Gone the moment res() returns, from memory and from disk.
        QVERIFY(!f.client().cachedItem(QStringLiteral("7")));
        f.cache.flush();
        QVERIFY(!QFile::exists(file));
    }

    void clearCachesCountsBothCachesBeforeClearing()
    {
        ClientFixture f;
        auto *http = new QNetworkDiskCache(&f.manager);
        QTemporaryDir httpFolder;
        http->setCacheDirectory(httpFolder.path());
        f.manager.setCache(http);

        auto cacheable = FakeSite::ok(R"({"list":[]})");
        cacheable.headers.append(FakeSite::Header("Cache-Control", "public, max-age=3600"));
        cacheable.headers.append(FakeSite::Header("Last-Modified", "Mon, 01 Jan 2024 00:00:00 GMT"));
        f.site.route(QStringLiteral("api/index"), cacheable);
        f.site.route(QStringLiteral("poster.png"), cacheable);
        QVERIFY(runTask(f.client().home()));
        // The HTTP cache holds what went straight through the manager, as posters do.
        QNetworkReply *poster = f.manager.get(QNetworkRequest(f.site.url(QStringLiteral("poster.png"))));
        QVERIFY(QTest::qWaitFor([&] { return poster->isFinished(); }));
        poster->deleteLater();
        const qint64 response = f.cache.diskSize();
        const qint64 httpBytes = http->cacheSize();
        QVERIFY(response > 0);
        QVERIFY(httpBytes > 0);

        QCOMPARE(f.client().clearCaches(), response + httpBytes);
        QCOMPARE(f.cache.diskSize(), qint64(0));
        QCOMPARE(http->cacheSize(), qint64(0));
        QVERIFY(!f.client().cachedHome());
        QCOMPARE(f.client().clearCaches(), qint64(0));

        // Only what was stored in between counts the second time.
        f.cache.saveData(QByteArray(100, 'x'), QStringLiteral("nav"));
        QCOMPARE(f.client().clearCaches(), qint64(100));
    }

    void httpCacheLivesOutsideTheResponseCache()
    {
        tovra::test::IsolatedHome home;
        std::unique_ptr<QNetworkDiskCache> http(APIClient::makeHttpCache(nullptr));
        QVERIFY(http);
        QCOMPARE(http->maximumCacheSize(), APIClient::kHttpCacheBytes);
        QCOMPARE(APIClient::kHttpCacheBytes, qint64(536870912));
        QVERIFY(!http->cacheDirectory().startsWith(*tovra::cacheDir() + QLatin1Char('/')));
    }
};

TOVRA_TEST(TestResponseCache)
#include "tst_responsecache.moc"
