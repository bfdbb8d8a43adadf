#include "clientfixture.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkDiskCache>
#include <QTest>

#include "support/testmain.h"

using tovra::APIClient;
using tovra::test::ClientFixture;
using tovra::test::FakeSite;
using tovra::test::runTask;

namespace {

// A size line of this process's /proc status ("VmHWM", "VmRSS") in bytes, or -1.
qint64 statusBytes(QByteArrayView field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field) && line.mid(field.size()).startsWith(':'))
            return line.mid(field.size() + 1).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return -1;
}
// The high-water mark since resetPeak(), and the size now.
qint64 peakBytes() { return statusBytes("VmHWM"); }
qint64 residentBytes() { return statusBytes("VmRSS"); }
// Starts a new high-water mark at the current size.
void resetPeak()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
}

constexpr qint64 kMiB = 1024 * 1024;

}

// The API pipeline against a server that means harm: every reply ends in its Chinese error within
// its time limit, with the client's memory bounded by the reply cap rather than by the server.
class TestHostileServer : public QObject
{
    Q_OBJECT
private slots:
    void hostileReplies_data()
    {
        QTest::addColumn<FakeSite::Reply>("reply");
        QTest::addColumn<QString>("text"); // the whole error text, or its start when it ends in "："
        QTest::addColumn<int>("withinMs");
        const QString tooLarge = QStringLiteral("服务器返回的数据过大，已停止接收");
        const QString timeout = QStringLiteral("网络超时，请稍后重试");
        const QByteArray filler(64 * 1024, 'x');
        // Fast enough to reach any cap within a second on loopback, and bounded so that a client
        // without a cap still finishes the test instead of swapping.
        QTest::newRow("endless body") << FakeSite::Reply().streaming(filler, 0, 256 * kMiB) << tooLarge << 5000;
        QTest::newRow("endless trickle") << FakeSite::Reply().streaming("{", 20, 400) << timeout << 2500;
        QTest::newRow("oversized body") << FakeSite::ok("\"" + QByteArray(APIClient::kMaxReplyBytes, 'a') + "\"")
                                        << tooLarge << 5000;
        QTest::newRow("oversized announced") << FakeSite::ok("{}").withHeader("Content-Length", "999999999999").stallingMidBody()
                                             << tooLarge << 1000;
        QTest::newRow("stall mid-body") << FakeSite::ok(R"({"title":"a long enough body to cut"})").stallingMidBody()
                                        << timeout << 1500;
        QTest::newRow("close mid-body") << FakeSite::ok(R"({"title":"a long enough body to cut"})").closingMidBody()
                                        << QStringLiteral("网络未连接，请检查网络") << 1000;
        QTest::newRow("inflates past the cap") << FakeSite::text(qCompress(QByteArray(64 * kMiB, ' ')).mid(4))
                                                      .withHeader("Content-Encoding", "deflate") << tooLarge << 5000;
        QTest::newRow("compressed answer with a rare status") << FakeSite::text(qCompress(R"({"code":429,"message":"太频繁"})").mid(4))
                                                                     .withHeader("Content-Encoding", "deflate").withStatus(429)
                                                              << QStringLiteral("太频繁（429）") << 1000;
        QTest::newRow("html instead of json") << FakeSite::text("<!DOCTYPE html><html><body>维护中</body></html>")
                                              << QStringLiteral("数据解析失败：") << 1000;
        QTest::newRow("wrong types") << FakeSite::json(R"({"code":"200","message":7,"data":[1]})")
                                     << QStringLiteral("数据解析失败：") << 1000;
        QTest::newRow("data of the wrong type") << FakeSite::ok("[1,2,3]") << QStringLiteral("数据解析失败：") << 1000;
    }
    void hostileReplies()
    {
        QFETCH(FakeSite::Reply, reply);
        QFETCH(QString, text);
        QFETCH(int, withinMs);
        ClientFixture f;
        // Idle and whole-request limits shrunk from 20 s and 60 s; the reply cap is the real one.
        f.client().setRequestTimeout(std::chrono::milliseconds(400));
        f.client().setRequestDeadline(std::chrono::milliseconds(1200));
        f.site.route(QStringLiteral("api/item"), reply);

        resetPeak();
        const qint64 before = residentBytes();
        QElapsedTimer clock;
        clock.start();
        const auto result = runTask(f.client().item(QStringLiteral("1")), 20000);
        const qint64 elapsed = clock.elapsed();
        const qint64 grown = peakBytes() - before;
        if (QByteArray(QTest::currentDataTag()) == "endless body")
            qInfo("endless body: peak growth %.1f MiB after %lld ms, %.1f MiB sent by the server",
                  double(grown) / kMiB, elapsed, double(f.site.streamedBytes()) / kMiB);

        QVERIFY(!result);
        if (text.endsWith(QStringLiteral("：")))
            QVERIFY2(result.error().description().startsWith(text), qPrintable(result.error().description()));
        else
            QCOMPARE(result.error().description(), text);
        QVERIFY2(elapsed < withinMs, qPrintable(QString::number(elapsed)));
        // The cap plus what the stack buffers around it; an uncapped client holds the whole flood.
        // AddressSanitizer keeps freed memory in quarantine (256 MiB), so there the peak says nothing.
#if !defined(__SANITIZE_ADDRESS__)
        QVERIFY2(grown < 2 * APIClient::kMaxReplyBytes, qPrintable(QString::number(grown)));
#endif
        QVERIFY(!f.client().cachedItem(QStringLiteral("1")));
        QCOMPARE(f.cache.diskSize(), qint64(0));
    }

    // A cacheable reply larger than the cap never reaches the HTTP disk cache either, whether its
    // length was announced or only counted as it came.
    void httpCacheKeepsNoOversizedBody_data()
    {
        QTest::addColumn<FakeSite::Reply>("reply");
        QTest::addColumn<bool>("kept");
        const QByteArray big = FakeSite::ok("\"" + QByteArray(APIClient::kMaxReplyBytes, 'a') + "\"").body;
        const QByteArray small = FakeSite::ok("{}").body;
        const auto cacheable = [](FakeSite::Reply reply) {
            return reply.withHeader("Cache-Control", "public, max-age=3600").withHeader("Content-Type", "application/json");
        };
        QTest::newRow("small") << cacheable(FakeSite::text(small)) << true;
        QTest::newRow("announced") << cacheable(FakeSite::text(big)) << false;
        QTest::newRow("streamed") << cacheable(FakeSite::Reply().streaming(big.left(1024 * 1024), 0, big.size())) << false;
    }
    void httpCacheKeepsNoOversizedBody()
    {
        QFETCH(FakeSite::Reply, reply);
        QFETCH(bool, kept);
        ClientFixture f;
        QNetworkDiskCache *http = APIClient::makeHttpCache(&f.manager);
        QVERIFY(http);
        f.manager.setCache(http);
        f.site.route(QStringLiteral("api/index"), reply);

        // Straight through the manager, as the image loader and the other fetches go.
        QNetworkReply *direct = f.manager.get(QNetworkRequest(f.site.url(QStringLiteral("api/index"))));
        QVERIFY(QTest::qWaitFor([&] { return direct->isFinished(); }, 10000));
        direct->deleteLater();
        QCOMPARE(http->metaData(f.site.url(QStringLiteral("api/index"))).isValid(), kept);
        QVERIFY(http->cacheSize() < APIClient::kMaxReplyBytes);
        // Through the client, which gives up at the cap.
        runTask(f.client().home());
        QVERIFY(http->cacheSize() < APIClient::kMaxReplyBytes);
    }

    // An error page after a cacheable success is read at once, and no API reply is kept there.
    void apiRepliesBypassHttpCache()
    {
        ClientFixture f;
        f.token = QStringLiteral("secret");
        QNetworkDiskCache *http = APIClient::makeHttpCache(&f.manager);
        f.manager.setCache(http);
        f.site.enqueue(QStringLiteral("api/index"), FakeSite::ok("{}").withHeader("Cache-Control", "max-age=3600"));
        f.site.route(QStringLiteral("api/index"), FakeSite::text("<html>", 500));
        runTask(f.client().home());
        QElapsedTimer clock;
        clock.start();
        const auto result = runTask(f.client().home(), 30000);
        QVERIFY(clock.elapsed() < 1000 && !result && result.error().description().contains(QStringLiteral("JSON")));
        QVERIFY(!QDirIterator(http->cacheDirectory(), QDir::Files, QDirIterator::Subdirectories).hasNext());
    }
};

TOVRA_TEST(TestHostileServer)
#include "tst_hostile.moc"
