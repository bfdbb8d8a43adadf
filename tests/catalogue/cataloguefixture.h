#pragma once

#include "network/apiclient.h"
#include "network/clientnetwork.h"
#include "network/imageloader.h"
#include "network/diskcache.h"
#include "support/fakesite.h"
#include "support/posterart.h"
#include "support/testenv.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSet>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <memory>

namespace tovra::test {

// The fixture's network manager, keeping count of the replies it has under way, so a test can
// wait until every answer it set off has come back and been acted on rather than sleep for a
// guessed time. A reply leaves the count when it finishes or is destroyed unfinished.
class CountingManager : public ClientNetwork
{
public:
    int inFlight() const { return int(m_open->size()); }

    // True once no reply has been under way over a few turns of the event loop: whatever a
    // finished reply set off from its handlers (a follow-up request, a posted retry) is then
    // counted too, or has happened.
    bool quiet(int timeoutMs = 5000)
    {
        int idleTurns = 0;
        return waitFor([&] { return (idleTurns = inFlight() == 0 ? idleTurns + 1 : 0) >= 3; }, timeoutMs);
    }

protected:
    QNetworkReply *createRequest(Operation op, const QNetworkRequest &request, QIODevice *data) override
    {
        QNetworkReply *reply = ClientNetwork::createRequest(op, request, data);
        // Connected before the client's own handlers, so the count drops first; they then run
        // in the same emission, before a waiting test looks again. The set is shared with the
        // handlers because the base destructor deletes the replies it still has after this
        // class's members are gone.
        m_open->insert(reply);
        const auto close = [open = m_open, reply] { open->remove(reply); };
        connect(reply, &QNetworkReply::finished, reply, close);
        connect(reply, &QObject::destroyed, close);
        return reply;
    }

private:
    std::shared_ptr<QSet<const QObject *>> m_open = std::make_shared<QSet<const QObject *>>();
};

// A fake site wired in as the process-wide client, response cache and image loader, with a
// home of its own. The catalogue screens reach all three through their shared instances.
struct CatalogueFixture
{
    IsolatedHome home;
    FakeSite site;
    CountingManager manager;
    QTemporaryDir cacheFolder;
    DiskCache cache{cacheFolder.path()};
    std::unique_ptr<APIClient> api;
    std::unique_ptr<ImageLoader> images;

    CatalogueFixture()
    {
        if (!site.start())
            qFatal("fake site did not start");
        const QString base = site.url().toString();
        api = std::make_unique<APIClient>([base] { return base; }, site.url(QStringLiteral("search")).toString(),
                                          &manager, &cache);
        images = std::make_unique<ImageLoader>(&manager);
        APIClient::setShared(api.get());
        DiskCache::setShared(&cache);
        ImageLoader::setShared(images.get());
        servePosters();
    }

    ~CatalogueFixture()
    {
        ImageLoader::setShared(nullptr);
        DiskCache::setShared(nullptr);
        APIClient::setShared(nullptr);
    }

    // Ages every stored entry by the given number of seconds.
    void ageCache(qint64 seconds)
    {
        const QDateTime later = QDateTime::currentDateTimeUtc().addSecs(seconds);
        cache.setClock([later] { return later; });
    }

    // Stores a reply as the client would have stored it for path and query.
    void store(const QString &path, const Params &query, const QByteArray &data, const QByteArray &meta = {})
    {
        cache.saveData(FakeSite::envelope(200, QStringLiteral("ok"), data, meta), APIClient::cacheKey(path, query));
    }

    QList<FakeSite::Request> requests(const QString &path) const { return site.requestsTo(path); }

    // The query of each request to path, decoded, in the order they came.
    QList<QMap<QString, QString>> queries(const QString &path) const
    {
        QList<QMap<QString, QString>> out;
        for (const FakeSite::Request &r : site.requestsTo(path)) {
            QMap<QString, QString> map;
            for (const auto &[k, v] : r.query().queryItems(QUrl::FullyDecoded))
                map.insert(k, v);
            out.append(map);
        }
        return out;
    }

    QString poster(int n) const { return site.url(QStringLiteral("poster.png?n=%1").arg(n)).toString(); }

    // "/poster.png?n=<n>": a coloured 2:3 poster numbered n.
    void servePosters()
    {
        site.route(QStringLiteral("/poster.png"), [](const FakeSite::Request &request) {
            const int n = request.query().queryItemValue(QStringLiteral("n")).toInt();
            return FakeSite::Reply().withHeader("Content-Type", "image/jpeg").withBody(posterJpeg(n, QSize(200, 300)));
        });
    }
};

// ---- Sample records, as the site sends them --------------------------------------------------

inline QString sampleTitle(int n)
{
    static const QStringList first = {"星河", "长安", "雾都", "北方", "沉默", "暗涌", "夏日", "归途", "无声", "烈火",
                                      "迷城", "山海", "孤岛", "深蓝", "风起", "追光", "白夜", "破晓"};
    static const QStringList second = {"之歌", "往事", "密码", "行动", "少年", "来信", "旅人", "守望", "谜案",
                                       "边境", "迷局", "回声", "信号", "日记", "风暴", "档案", "旧梦"};
    return first.at(n % first.size()) + second.at((n * 7) % second.size());
}

inline QJsonObject itemJson(const CatalogueFixture &f, int n)
{
    return QJsonObject{{"did", QStringLiteral("d%1").arg(n)},
                       {"title", sampleTitle(n)},
                       {"image", f.poster(n)},
                       {"score", QString::number(6.0 + (n % 40) / 10.0, 'f', 1)},
                       {"showdate", QStringLiteral("%1-05-01").arg(2005 + n % 20)},
                       {"torrent_count", n % 5},
                       {"watch_num", 100 * n}};
}

inline QByteArray itemsJson(const CatalogueFixture &f, int from, int count)
{
    QJsonArray out;
    for (int i = 0; i < count; ++i)
        out.append(itemJson(f, from + i));
    return QJsonDocument(out).toJson(QJsonDocument::Compact);
}

inline QByteArray metaJson(qint64 page, qint64 pages, qint64 total = -1)
{
    QJsonObject meta{{"page", page}, {"limit", 21}, {"pages", pages}, {"has_more", page < pages}};
    if (total >= 0)
        meta.insert("total", total);
    return QJsonDocument(meta).toJson(QJsonDocument::Compact);
}

inline QByteArray homeJson(const CatalogueFixture &f, int hotCount = 10, int salt = 0)
{
    QJsonArray hot;
    for (int i = 0; i < hotCount; ++i)
        hot.append(QJsonObject{{"did", QStringLiteral("h%1").arg(i)},
                               {"title", sampleTitle(i + 3 + salt)},
                               {"image", f.poster(i)},
                               {"count", 9800 - i * 613},
                               {"watch_num", 10 * i}});
    auto list = [&](int from, int count) {
        QJsonArray out;
        for (int i = 0; i < count; ++i)
            out.append(itemJson(f, from + i));
        return out;
    };
    QJsonObject home{{"hot", hot},
                     {"follow", list(1, 7)},
                     {"erotica", list(20, 7)},
                     {"tv", list(40, 7)},
                     {"new", list(60 + salt, 7)},
                     {"list", list(80, 14)},
                     {"category_ero", QStringLiteral("爱情")},
                     {"category_tv", QStringLiteral("电视剧")},
                     {"more_tv", 2},
                     {"year", QStringLiteral("2025")},
                     {"date", QStringLiteral("2025-05-01")}};
    return QJsonDocument(home).toJson(QJsonDocument::Compact);
}

inline QByteArray rankingJson(const CatalogueFixture &f, int count)
{
    QJsonArray out;
    for (int i = 0; i < count; ++i)
        out.append(QJsonObject{{"did", QStringLiteral("r%1").arg(i)},
                               {"title", sampleTitle(i * 3 + 1)},
                               {"image", f.poster(i + 100)},
                               {"count", 500 - i * 17}});
    return QJsonDocument(out).toJson(QJsonDocument::Compact);
}

inline QByteArray optionsJson()
{
    QJsonArray year{QJsonObject{{"value", 0}, {"label", "全部年份"}}};
    for (int y = 2025; y > 2015; --y)
        year.append(QJsonObject{{"value", y}, {"label", QString::number(y)}});
    QJsonArray country{QJsonObject{{"value", 0}, {"label", "全部地区"}},
                       QJsonObject{{"value", 1}, {"label", "中国大陆"}},
                       QJsonObject{{"value", 2}, {"label", "美国"}},
                       QJsonObject{{"value", 3}, {"label", "日本"}},
                       QJsonObject{{"value", -1}, {"label", "其他"}}};
    QJsonObject options{{"column", QJsonArray{QJsonObject{{"id", 1}, {"name", "电影"}}}},
                        {"country", country},
                        {"year", year},
                        {"sort", QJsonArray{"最近更新", "评分最高", "最多观看"}},
                        {"isbt", QJsonArray{"全部", "有种子"}},
                        {"isplay", QJsonArray{"全部", "可在线播放"}}};
    return QJsonDocument(options).toJson(QJsonDocument::Compact);
}

inline QByteArray tagsJson()
{
    return R"([{"id":101,"name":"剧情"},{"id":"102","name":"科幻"},{"id":103,"name":"悬疑 & 犯罪"},{"id":104,"name":"动作"}])";
}

}
