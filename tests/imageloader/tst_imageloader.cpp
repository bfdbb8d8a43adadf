#include "network/imageloader.h"
#include "models/webaddress.h"
#include "support/fakesite.h"
#include "support/testenv.h"
#include "support/testmain.h"

#include <QBuffer>
#include <QImage>
#include <QNetworkAccessManager>
#include <QNetworkDiskCache>
#include <QTemporaryDir>
#include <QPainter>
#include <QTest>
#include <memory>

using tovra::ImageLoader;
using tovra::test::FakeSite;

namespace {

QByteArray encoded(QSize size, QColor colour, const char *format = "PNG")
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

FakeSite::Reply imageReply(const QByteArray &bytes, int delayMs = 0)
{
    FakeSite::Reply reply;
    reply.headers = {{"Content-Type", "image/png"}};
    reply.body = bytes;
    reply.delayMs = delayMs;
    return reply;
}

// Stores body in the HTTP cache as the network manager would have.
void putInCache(QNetworkDiskCache *cache, const QUrl &url, int status, int expiresIn, const QByteArray &cacheControl,
                const QByteArray &body)
{
    QNetworkCacheMetaData meta;
    meta.setUrl(url);
    meta.setSaveToDisk(true);
    meta.setAttributes({{QNetworkRequest::HttpStatusCodeAttribute, status}});
    if (expiresIn)
        meta.setExpirationDate(QDateTime::currentDateTimeUtc().addSecs(expiresIn));
    if (!cacheControl.isEmpty())
        meta.setRawHeaders({{"Cache-Control", cacheControl}});
    QIODevice *device = cache->prepare(meta);
    QVERIFY(device);
    device->write(body);
    cache->insert(device);
}

// Collects what a load answered.
struct Answer
{
    int calls = 0;
    QImage image;
};

}

class ImageLoaderTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<FakeSite> m_site;
    std::unique_ptr<QNetworkAccessManager> m_network;
    std::unique_ptr<ImageLoader> m_loader;

    ImageLoader::Callback into(Answer &answer)
    {
        return [&answer](const QImage &image) {
            ++answer.calls;
            answer.image = image;
        };
    }

private slots:
    void init()
    {
        m_site = std::make_unique<FakeSite>();
        QVERIFY(m_site->start());
        m_network = std::make_unique<QNetworkAccessManager>();
        m_loader = std::make_unique<ImageLoader>(m_network.get());
    }

    void cleanup()
    {
        m_loader.reset();
        m_network.reset();
        m_site.reset();
    }

    void loadsAndDecodes()
    {
        m_site->route("/p.png", imageReply(encoded({40, 60}, Qt::red)));
        QObject receiver;
        Answer answer;
        m_loader->load(m_site->url("p.png"), &receiver, into(answer));
        QVERIFY(tovra::test::waitFor([&] { return answer.calls > 0; }));
        QCOMPARE(answer.calls, 1);
        QCOMPARE(answer.image.size(), QSize(40, 60));
        QCOMPARE(QColor(answer.image.pixel(5, 5)), QColor(Qt::red));
        QCOMPARE(m_site->requests().size(), 1);
        QCOMPARE(m_site->requests().first().method, QByteArray("GET"));
    }

    void concurrentRequestsShareOneDownload()
    {
        m_site->route("/shared.png", imageReply(encoded({400, 600}, Qt::blue), 150));
        QObject first;
        QObject second;
        Answer a, b, c;
        m_loader->load(m_site->url("shared.png"), &first, into(a));
        m_loader->load(m_site->url("shared.png"), &second, into(b));
        // Another size of the same address: same download, its own decode.
        m_loader->load(m_site->url("shared.png"), &second, into(c), QSize(100, 100));
        QCOMPARE(m_loader->activeDownloads(), 1);
        QVERIFY(tovra::test::waitFor([&] { return a.calls && b.calls && c.calls; }));
        QCOMPARE(m_site->requestsTo("/shared.png").size(), 1);
        QCOMPARE(a.image.size(), QSize(400, 600));
        QCOMPARE(b.image.size(), QSize(400, 600));
        // Scaled to cover 100 × 100 with the image's own proportions.
        QCOMPARE(c.image.size(), QSize(100, 150));
    }

    void memoryAnswersWithoutTheNetwork()
    {
        m_site->route("/m.png", imageReply(encoded({30, 30}, Qt::green)));
        QObject receiver;
        Answer first, second;
        m_loader->load(m_site->url("m.png"), &receiver, into(first));
        QVERIFY(tovra::test::waitFor([&] { return first.calls > 0; }));
        QVERIFY(!m_loader->cached(m_site->url("m.png")).isNull());

        bool returned = false;
        m_loader->load(m_site->url("m.png"), &receiver, [&](const QImage &image) {
            // Never from inside load(): callers may still be setting up.
            QVERIFY(returned);
            ++second.calls;
            second.image = image;
        });
        returned = true;
        QVERIFY(tovra::test::waitFor([&] { return second.calls > 0; }));
        QCOMPARE(second.image.size(), QSize(30, 30));
        QCOMPARE(m_site->requestsTo("/m.png").size(), 1);
    }

    void memoryIsCappedByBytes()
    {
        // Each decoded 200 × 300 RGB32 image takes 240,000 bytes; four fit under the cap.
        m_loader->setMemoryLimit(1000 * 1000);
        QObject receiver;
        QList<std::shared_ptr<Answer>> answers;
        for (int i = 0; i < 8; ++i) {
            const QString path = QStringLiteral("/big%1.png").arg(i);
            m_site->route(path, imageReply(encoded({200, 300}, QColor::fromHsv(i * 40, 200, 200))));
            auto answer = std::make_shared<Answer>();
            answers.append(answer);
            m_loader->load(m_site->url(path), &receiver, [answer](const QImage &image) {
                ++answer->calls;
                answer->image = image;
            });
        }
        QVERIFY(tovra::test::waitFor([&] {
            return std::all_of(answers.cbegin(), answers.cend(), [](const auto &a) { return a->calls > 0; });
        }));
        for (const auto &a : answers)
            QVERIFY(!a->image.isNull());
        QVERIFY(m_loader->memoryUsed() <= 1000 * 1000);
        QVERIFY(m_loader->memoryUsed() >= 3 * 240000);
        int inMemory = 0;
        for (int i = 0; i < 8; ++i)
            inMemory += m_loader->cached(m_site->url(QStringLiteral("big%1.png").arg(i))).isNull() ? 0 : 1;
        QVERIFY(inMemory >= 3 && inMemory <= 4);
    }

    void refusesAddressesOutsideTheWeb_data()
    {
        QTest::addColumn<QString>("address");
        QTest::newRow("file") << QStringLiteral("file:///etc/passwd");
        QTest::newRow("qrc") << QStringLiteral("qrc:/icons/tags.svg");
        QTest::newRow("data") << QStringLiteral("data:image/png;base64,iVBORw0KGgo=");
        QTest::newRow("ftp") << QStringLiteral("ftp://127.0.0.1/x.png");
        QTest::newRow("javascript") << QStringLiteral("javascript:alert(1)");
        QTest::newRow("empty") << QString();
        QTest::newRow("relative") << QStringLiteral("posters/1.png");
        QTest::newRow("no host") << QStringLiteral("http:///x.png");
    }

    void refusesAddressesOutsideTheWeb()
    {
        QFETCH(QString, address);
        QVERIFY(!tovra::isWebAddress(QUrl(address)));
        QObject receiver;
        Answer answer;
        m_loader->load(QUrl(address), &receiver, into(answer));
        QCOMPARE(answer.calls, 0);
        QVERIFY(tovra::test::waitFor([&] { return answer.calls > 0; }));
        QVERIFY(answer.image.isNull());
        QCOMPARE(m_loader->activeDownloads(), 0);
        QVERIFY(m_site->requests().isEmpty());
    }

    void allowsTheWeb()
    {
        QVERIFY(tovra::isWebAddress(QUrl(QStringLiteral("https://img.example/p/1.jpg"))));
        QVERIFY(tovra::isWebAddress(QUrl(QStringLiteral("HTTP://img.example/p/1.jpg"))));
    }

    void aDestroyedReceiverDropsItsRequest()
    {
        m_site->route("/slow.png", imageReply(encoded({20, 20}, Qt::red), 400));
        Answer answer;
        auto *receiver = new QObject;
        m_loader->load(m_site->url("slow.png"), receiver, into(answer));
        QVERIFY(m_site->waitForRequests(1));
        QCOMPARE(m_loader->activeDownloads(), 1);
        delete receiver;
        // Nobody else wanted it: the download is abandoned at once.
        QCOMPARE(m_loader->activeDownloads(), 0);
        QTest::qWait(600);
        QCOMPARE(answer.calls, 0);
    }

    void anotherReceiverKeepsTheDownloadAlive()
    {
        m_site->route("/both.png", imageReply(encoded({20, 20}, Qt::red), 200));
        Answer gone, stays;
        auto *leaving = new QObject;
        QObject staying;
        m_loader->load(m_site->url("both.png"), leaving, into(gone));
        m_loader->load(m_site->url("both.png"), &staying, into(stays));
        delete leaving;
        QCOMPARE(m_loader->activeDownloads(), 1);
        QVERIFY(tovra::test::waitFor([&] { return stays.calls > 0; }));
        QVERIFY(!stays.image.isNull());
        QCOMPARE(gone.calls, 0);
    }

    void aReceiverGoneBeforeAMemoryAnswerHearsNothing()
    {
        m_site->route("/hit.png", imageReply(encoded({10, 10}, Qt::red)));
        QObject keeper;
        Answer first;
        m_loader->load(m_site->url("hit.png"), &keeper, into(first));
        QVERIFY(tovra::test::waitFor([&] { return first.calls > 0; }));

        Answer late;
        auto *receiver = new QObject;
        m_loader->load(m_site->url("hit.png"), receiver, into(late));
        delete receiver;
        QTest::qWait(50);
        QCOMPARE(late.calls, 0);
    }

    void cancelledTicketsHearNothing()
    {
        m_site->route("/c.png", imageReply(encoded({20, 20}, Qt::red), 300));
        QObject receiver;
        Answer answer;
        const auto ticket = m_loader->load(m_site->url("c.png"), &receiver, into(answer));
        QVERIFY(m_site->waitForRequests(1));
        m_loader->cancel(ticket);
        QCOMPARE(m_loader->activeDownloads(), 0);
        QTest::qWait(500);
        QCOMPARE(answer.calls, 0);
    }

    void failuresAnswerANullImage_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("not found") << 404 << encoded({10, 10}, Qt::red);
        QTest::newRow("server error") << 500 << QByteArray("oops");
        QTest::newRow("not an image") << 200 << QByteArray("<html>hello</html>");
        QTest::newRow("truncated png") << 200 << encoded({50, 50}, Qt::red).left(40);
        QTest::newRow("empty body") << 200 << QByteArray();
    }

    void failuresAnswerANullImage()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        FakeSite::Reply reply = imageReply(body);
        reply.status = status;
        m_site->route("/bad.png", reply);
        QObject receiver;
        Answer answer;
        m_loader->load(m_site->url("bad.png"), &receiver, into(answer));
        QVERIFY(tovra::test::waitFor([&] { return answer.calls > 0; }));
        QCOMPARE(answer.calls, 1);
        QVERIFY(answer.image.isNull());
        QCOMPARE(m_loader->memoryUsed(), 0);
    }

    void oversizedBodiesAreAbandoned()
    {
        m_loader->setMaxBodyBytes(1000);
        m_site->route("/huge.png", imageReply(QByteArray(50000, 'x')));
        QObject receiver;
        Answer answer;
        m_loader->load(m_site->url("huge.png"), &receiver, into(answer));
        QVERIFY(tovra::test::waitFor([&] { return answer.calls > 0; }));
        QVERIFY(answer.image.isNull());
        QCOMPARE(m_loader->activeDownloads(), 0);
    }

    void followsRedirectsOnTheWeb()
    {
        m_site->route("/final.png", imageReply(encoded({12, 18}, Qt::red)));
        FakeSite::Reply redirect;
        redirect.status = 302;
        redirect.headers = {{"Location", m_site->url("final.png").toEncoded()}};
        m_site->route("/moved.png", redirect);
        QObject receiver;
        Answer answer;
        m_loader->load(m_site->url("moved.png"), &receiver, into(answer));
        QVERIFY(tovra::test::waitFor([&] { return answer.calls > 0; }));
        QCOMPARE(answer.image.size(), QSize(12, 18));
    }

    void decodeScalesToCoverWithoutEnlarging_data()
    {
        QTest::addColumn<QSize>("source");
        QTest::addColumn<QSize>("fit");
        QTest::addColumn<QSize>("decoded");
        QTest::newRow("exact proportions") << QSize(400, 600) << QSize(100, 150) << QSize(100, 150);
        QTest::newRow("square frame: cover") << QSize(400, 600) << QSize(100, 100) << QSize(100, 150);
        QTest::newRow("wide image in tall frame") << QSize(600, 300) << QSize(100, 150) << QSize(300, 150);
        QTest::newRow("already smaller") << QSize(80, 120) << QSize(160, 240) << QSize(80, 120);
        QTest::newRow("no fit size") << QSize(80, 120) << QSize() << QSize(80, 120);
    }

    void decodeScalesToCoverWithoutEnlarging()
    {
        QFETCH(QSize, source);
        QFETCH(QSize, fit);
        QFETCH(QSize, decoded);
        const QImage image = ImageLoader::decode(encoded(source, Qt::darkCyan, "JPEG"), fit);
        QCOMPARE(image.size(), decoded);
    }

    void decodesNowOnlyWhatTheCacheAnswersAlone_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("expiresIn"); // seconds; 0 for no expiry date
        QTest::addColumn<QByteArray>("cacheControl");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("decoded");
        const QByteArray jpeg = encoded({60, 90}, Qt::red, "JPEG");
        QTest::newRow("fresh") << 200 << 3600 << QByteArray("max-age=3600") << jpeg << true;
        QTest::newRow("png") << 200 << 3600 << QByteArray() << encoded({60, 90}, Qt::red) << true;
        QTest::newRow("expired") << 200 << -60 << QByteArray() << jpeg << false;
        QTest::newRow("no expiry date") << 200 << 0 << QByteArray() << jpeg << false;
        QTest::newRow("redirect") << 301 << 3600 << QByteArray() << jpeg << false;
        QTest::newRow("to revalidate") << 200 << 3600 << QByteArray("max-age=3600, Must-Revalidate") << jpeg << false;
        QTest::newRow("over the body limit") << 200 << 3600 << QByteArray() << jpeg + QByteArray(4000, '\0') << false;
        QTest::newRow("jpeg signature, no image") << 200 << 3600 << QByteArray() << QByteArray("\xFF\xD8\xFF junk") << false;
    }

    void decodesNowOnlyWhatTheCacheAnswersAlone()
    {
        QFETCH(int, status);
        QFETCH(int, expiresIn);
        QFETCH(QByteArray, cacheControl);
        QFETCH(QByteArray, body);
        QFETCH(bool, decoded);
        QTemporaryDir dir;
        auto *cache = new QNetworkDiskCache(m_network.get());
        cache->setCacheDirectory(dir.path());
        m_network->setCache(cache);
        m_loader->setMaxBodyBytes(3000);
        const QUrl url = m_site->url("c.jpg");
        putInCache(cache, url, status, expiresIn, cacheControl, body);

        QCOMPARE(m_loader->decodeCachedNow({url, url, QUrl("file:///c.jpg")}, QSize(30, 45)), decoded ? 1 : 0);
        QCOMPARE(m_loader->cached(url, QSize(30, 45)).size(), decoded ? QSize(30, 45) : QSize(0, 0));
        // Started ahead and never waited for, a decode still ends up in memory.
        m_loader->prefetchCached({url}, QSize(20, 30));
        if (decoded)
            QVERIFY(tovra::test::waitFor([&] { return !m_loader->cached(url, QSize(20, 30)).isNull(); }));
        QVERIFY(m_site->requests().isEmpty());
    }

    // More than the pool runs at once: some decodes started ahead are still queued, and waiting
    // for one runs it, with its continuation, on this thread.
    void decodesNowWhatWasStartedAheadOnce()
    {
        QTemporaryDir dir;
        auto *cache = new QNetworkDiskCache(m_network.get());
        cache->setCacheDirectory(dir.path());
        m_network->setCache(cache);
        QList<QUrl> urls;
        for (int i = 0; i < 24; ++i) {
            urls << m_site->url(QStringLiteral("p%1.png").arg(i));
            putInCache(cache, urls.last(), 200, 3600, {}, encoded({200, 300}, QColor(i * 10, 0, 0)));
        }
        m_loader->prefetchCached(urls, QSize(20, 30));
        const auto inMemory = [&] { return std::ranges::count_if(urls, [&](const QUrl &u) { return !m_loader->cached(u, QSize(20, 30)).isNull(); }); };
        const auto before = inMemory();
        // Asked for last first, as a screen asks for what it shows of what it prefetched.
        std::ranges::reverse(urls);
        QCOMPARE(m_loader->decodeCachedNow(urls, QSize(20, 30)), 24 - before);
        QCOMPARE(inMemory(), 24);
    }
};

TOVRA_TEST(ImageLoaderTest)
#include "tst_imageloader.moc"
