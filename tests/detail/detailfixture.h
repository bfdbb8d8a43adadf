#pragma once

#include "catalogue/cataloguefixture.h"
#include "store/authstore.h"
#include "store/themestore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace tovra::test {

// The catalogue fixture plus a sign-in store of its own, so membership is decided per test.
struct DetailFixture : CatalogueFixture
{
    AuthStore auth{api.get(), home.dataHome() + QStringLiteral("/TovraClient")};

    DetailFixture() { AuthStore::setShared(&auth); }
    ~DetailFixture() { AuthStore::setShared(nullptr); }

    // Signs in through the site's own profile call.
    bool signIn(bool vip)
    {
        const QJsonObject user{{"uid", "u1"}, {"gold", 3}, {"vip_level", vip ? 1 : 0}, {"vip_expired", 0}, {"is_vip", vip}};
        site.route(QStringLiteral("/api/me"), FakeSite::ok(QJsonDocument(user).toJson(QJsonDocument::Compact)));
        auth.save(QStringLiteral("token-1"));
        return runTask(auth.refresh()) && auth.user().has_value();
    }
};

inline QJsonObject torrentJson(qint64 index, const QString &name, const QString &size, qint64 price)
{
    return {{"index", index}, {"name", name}, {"size", size}, {"price", price}, {"date", "2025-04-0" + QString::number(index + 1)}, {"heat", 100 * index}};
}

// A title as the site sends it; tweak lets a test change any field.
inline QByteArray detailJson(const CatalogueFixture &f, const QString &did, int episodes = 3,
                             const std::function<void(QJsonObject &)> &tweak = {})
{
    QJsonArray plays;
    for (int e = 1; e <= episodes; ++e)
        plays.append(QJsonObject{{"episode", e}, {"did", did}, {"token", "tk" + QString::number(e)}, {"expired", 1900000000}});
    QJsonArray related;
    for (int n = 1; n <= 4; ++n)
        related.append(itemJson(f, 40 + n));
    QJsonObject o{{"did", did},
                  {"title", "星河 & 往事"},
                  {"image", f.poster(7)},
                  {"alias", "Stellar Past"},
                  {"tags", QJsonArray{"剧情", "", "科幻"}},
                  {"stars", QJsonArray{"张三", "李四", "王五"}},
                  {"director", QJsonArray{"赵六"}},
                  {"country", QJsonArray{"中国大陆"}},
                  {"showdate", "2019-03-08"},
                  {"updated", "2025-05-01 08:00"},
                  {"score", 7.56},
                  {"text", "<p>一艘飞船&nbsp;迷失在星河。</p><p>第二段 &lt;b&gt;</p>"},
                  {"play_list", plays},
                  {"torrents", QJsonArray{torrentJson(0, "星河 第1集", "1.5 GB", 0),
                                          torrentJson(1, "星河 全24集", "30 GB", 5),
                                          torrentJson(2, "星河 第2-3集", "700 MB", 0)}},
                  {"interested", related}};
    if (tweak)
        tweak(o);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

}
