// How much the API pipeline adds to a request: one title-page GET on loopback through
// APIClient::item() (headers, envelope decoding, queuing the response-cache write) against a bare
// QNetworkAccessManager GET of the same reply, read and dropped. Prints both medians and the ratio.
// The cache's file write runs on its own thread; it is timed separately, waited for each time.
//
//   bench_pipeline [rounds] [requests-per-round]

#include "network/apiclient.h"
#include "network/diskcache.h"

#include <QCoreApplication>
#include <QCoroNetworkReply>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "support/fakesite.h"
#include "support/testenv.h"

namespace {

// A title page of typical size: a synopsis, a dozen torrents, episodes and related titles.
QByteArray sampleDetail()
{
    QByteArray torrents, episodes, related;
    for (int i = 0; i < 12; ++i) {
        torrents += (i ? "," : "") + QByteArray(R"({"index":)") + QByteArray::number(i)
            + R"(,"name":"流浪地球2.2023.2160p.WEB-DL.H265.DDP5.1-第)" + QByteArray::number(i)
            + R"(版","size":"24.6 GB","price":0,"date":"2023-04-05","heat":1234})";
        episodes += (i ? "," : "") + QByteArray(R"({"episode":)") + QByteArray::number(i)
            + R"(,"did":"12345","token":"0123456789abcdef0123456789abcdef","expired":1700000000})";
    }
    for (int i = 0; i < 18; ++i) {
        related += (i ? "," : "") + QByteArray(R"({"did":")") + QByteArray::number(20000 + i)
            + R"(","title":"相关影片","titles":["Related"],"image":"https://img.example/p/)" + QByteArray::number(i)
            + R"(.jpg","score":"8.1","showdate":"2021-01-01","tags":["科幻","冒险"],"torrent_count":5,)"
            + R"("watch_num":100,"playable":true,"episodes":1,"stars":["甲","乙","丙"],"director":["丁"],"country":["中国"]})";
    }
    const QByteArray synopsis = QByteArray("太阳即将毁灭，人类在地球表面建造出巨大的推进器，寻找新的家园。").repeated(12);
    return R"({"code":200,"message":"ok","data":{"did":"12345","title":"流浪地球2","titles":["The Wandering Earth II"],)"
           R"("image":"https://img.example/p/12345.jpg","tags":["科幻","冒险","灾难"],"director":["郭帆"],)"
           R"("stars":["吴京","刘德华","李雪健"],"country":["中国大陆"],"showdate":"2023-01-22","score":8.3,)"
           R"("updated":"2023-04-05","text":")" + synopsis + R"(","adult":false,"play_list":[)" + episodes
        + R"(],"torrents":[)" + torrents + R"(],"interested":[)" + related + "]}}";
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

QCoro::Task<double> timePipeline(tovra::APIClient &client, int count)
{
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < count; ++i) {
        const auto detail = co_await client.item(QStringLiteral("12345"));
        if (!detail)
            qFatal("pipeline request failed: %s", qPrintable(detail.error().description()));
    }
    const qint64 elapsed = timer.nsecsElapsed();
    // The file writes run behind the caller's back; they must not land in the next variant's time.
    client.cache()->flush();
    co_return double(elapsed) / count / 1000.0;
}

// Diagnostics: the same GET without the cache write, and the raw JSON decode alone.
template<class T>
QCoro::Task<double> timeUncached(tovra::APIClient &client, int count)
{
    QElapsedTimer timer;
    timer.start();
    const tovra::Params query{{QStringLiteral("did"), QStringLiteral("12345")}};
    for (int i = 0; i < count; ++i) {
        const auto detail = co_await client.get<T>(QStringLiteral("api/item"), query, false);
        if (!detail)
            qFatal("uncached request failed");
    }
    co_return double(timer.nsecsElapsed()) / count / 1000.0;
}

double timeDecode(const QByteArray &bytes, int count)
{
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < count; ++i) {
        if (!tovra::APIResponse<tovra::ItemDetail>::decode(bytes))
            qFatal("decode failed");
    }
    return double(timer.nsecsElapsed()) / count / 1000.0;
}

// saveData() only queues the file write for the cache's writer thread. toDisk: each save is
// waited for, so the figure is the file write itself (with its hand-over to the writer); else it
// is what a request pays on the UI thread. changing: every other save carries different bytes,
// so the file is really replaced rather than found unchanged.
double timeCacheWrite(tovra::DiskCache &cache, const QByteArray &bytes, int count, bool toDisk, bool changing)
{
    QByteArray other = bytes;
    other[other.size() - 2] = ' ';
    cache.flush();
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < count; ++i) {
        cache.saveData(changing && i % 2 ? other : bytes, QStringLiteral("bench"));
        if (toDisk)
            cache.flush();
    }
    const qint64 elapsed = timer.nsecsElapsed();
    cache.flush();
    return double(elapsed) / count / 1000.0;
}

QCoro::Task<double> timeBare(QNetworkAccessManager &manager, QUrl url, int count)
{
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < count; ++i) {
        QNetworkReply *reply = manager.get(QNetworkRequest(url));
        co_await reply;
        const QByteArray body = reply->readAll();
        if (body.isEmpty())
            qFatal("bare request failed");
        reply->deleteLater();
    }
    co_return double(timer.nsecsElapsed()) / count / 1000.0;
}

}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // Many short rounds, alternating, so that load from elsewhere on the machine hits every
    // variant alike; the median round is reported.
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 25;
    const int perRound = argc > 2 ? std::max(1, atoi(argv[2])) : 50;

    tovra::test::IsolatedHome home;
    tovra::test::FakeSite site;
    if (!site.start())
        qFatal("fake site did not start");
    const QByteArray reply = sampleDetail();
    site.route(QStringLiteral("api/item"), tovra::test::FakeSite::json(reply));

    QNetworkAccessManager manager;
    QTemporaryDir folder;
    tovra::DiskCache cache(folder.path());
    const QString base = site.url().toString();
    tovra::APIClient client([base] { return base; }, QString(), &manager, &cache);
    const QUrl url = site.url(QStringLiteral("api/item?did=12345"));

    std::vector<double> pipeline, bare, uncached, envelopeOnly;
    // One warm-up round of each: connections, first allocations, the cache file.
    tovra::test::runTask(timePipeline(client, 20), 60000);
    tovra::test::runTask(timeBare(manager, url, 20), 60000);
    for (int round = 0; round < rounds; ++round) {
        pipeline.push_back(tovra::test::runTask(timePipeline(client, perRound), 600000));
        bare.push_back(tovra::test::runTask(timeBare(manager, url, perRound), 600000));
        uncached.push_back(tovra::test::runTask(timeUncached<tovra::ItemDetail>(client, perRound), 600000));
        envelopeOnly.push_back(tovra::test::runTask(timeUncached<tovra::Empty>(client, perRound), 600000));
    }

    const double decode = timeDecode(reply, 500);
    const double queued = timeCacheWrite(cache, reply, 200, false, true);
    const double write = timeCacheWrite(cache, reply, 200, true, false);
    const double replace = timeCacheWrite(cache, reply, 200, true, true);

    const double p = median(pipeline);
    const double b = median(bare);
    QTextStream out(stdout);
    out << "reply size:          " << reply.size() << " bytes\n";
    out << "bare GET:            " << QString::number(b, 'f', 1) << " us/request\n";
    out << "pipeline GET:        " << QString::number(p, 'f', 1) << " us/request (decoded, cache write queued)\n";
    out << "  without the cache: " << QString::number(median(uncached), 'f', 1) << " us/request\n";
    out << "  envelope only:     " << QString::number(median(envelopeOnly), 'f', 1) << " us/request (payload skipped)\n";
    out << "  envelope decode:   " << QString::number(decode, 'f', 1) << " us\n";
    out << "  cache write:       " << QString::number(queued, 'f', 1) << " us on the UI thread (queued); on disk "
        << QString::number(write, 'f', 1) << " us unchanged, " << QString::number(replace, 'f', 1)
        << " us changed\n";
    out << "ratio:               " << QString::number(p / b, 'f', 2) << "x (goal <= 1.20x)\n";
    return 0;
}
