#pragma once

#include "../shell/shellfixture.h"
#include "views/toolbar/searchbox.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTest>

namespace tovra::test {

// Counts the replies a manager has finished. The manager says so before the client's own handlers
// of that reply run, but in the same emission: once the count is reached, so has the client.
struct FinishedReplies
{
    QSignalSpy spy;
    explicit FinishedReplies(QNetworkAccessManager &manager) : spy(&manager, &QNetworkAccessManager::finished) {}
    bool reach(int count) { return waitFor([&] { return spy.count() >= count; }); }
};

// The search pause for tests that are not about it: short enough not to count, while keys sent in
// one go still make a single lookup.
inline constexpr std::chrono::milliseconds kQuickDebounce{10};
// How long a test waits to see that no lookup goes out or comes back after a quickened pause: the
// pause plus a round trip to the fake site with room to spare.
inline constexpr int kQuietMs = kQuickDebounce.count() + 140;

inline void quickenSearch(const ContentView &window)
{
    window.findChild<SearchBox *>()->setDebounce(kQuickDebounce);
}

// One hit of the search service as it sends it: plain fields plus the highlighted "_formatted"
// copies of title and cast.
inline QJsonObject hitJson(const QString &did, const QString &titleMarked, const QString &showdate = {},
                           const QString &score = {}, int torrents = 0, const QStringList &starsMarked = {})
{
    QJsonObject formatted{{QStringLiteral("title"), QJsonArray{titleMarked}}};
    if (!starsMarked.isEmpty())
        formatted.insert(QStringLiteral("stars"), QJsonArray::fromStringList(starsMarked));
    QJsonObject hit{{QStringLiteral("did"), did},
                    {QStringLiteral("title"), QJsonArray{QString(titleMarked).remove(QStringLiteral("<b>")).remove(QStringLiteral("</b>"))}},
                    {QStringLiteral("torrents"), torrents},
                    {QStringLiteral("_formatted"), formatted}};
    if (!showdate.isEmpty())
        hit.insert(QStringLiteral("showdate"), showdate);
    if (!score.isEmpty())
        hit.insert(QStringLiteral("score"), score);
    return hit;
}

inline QByteArray hitsBody(const QList<QJsonObject> &hits)
{
    QJsonArray array;
    for (const QJsonObject &hit : hits)
        array.append(hit);
    return QJsonDocument(QJsonObject{{QStringLiteral("hits"), array}}).toJson(QJsonDocument::Compact);
}

// n hits whose titles carry the query, dids "<prefix>1".."<prefix>n".
inline QByteArray hitsFor(const QString &prefix, int n)
{
    QList<QJsonObject> hits;
    for (int i = 1; i <= n; ++i) {
        hits.append(hitJson(prefix + QString::number(i), QStringLiteral("<b>%1</b> 第%2部").arg(prefix).arg(i),
                            QStringLiteral("2014-11-07"), QStringLiteral("8.%1").arg(i), i));
    }
    return hitsBody(hits);
}

// The query each suggestion request carried, in order.
inline QStringList suggestQueries(const FakeSite &site)
{
    QStringList queries;
    for (const FakeSite::Request &request : site.requestsTo(QStringLiteral("/search")))
        queries << QJsonDocument::fromJson(request.body).object().value(QStringLiteral("q")).toString();
    return queries;
}

inline QByteArray userJson(const QString &uid, const std::optional<QString> &nickname, qint64 gold, qint64 vipExpired,
                           bool isVip)
{
    QJsonObject user{{QStringLiteral("uid"), uid},
                     {QStringLiteral("gold"), gold},
                     {QStringLiteral("vip_level"), isVip ? 1 : 0},
                     {QStringLiteral("vip_expired"), vipExpired},
                     {QStringLiteral("is_vip"), isVip}};
    if (nickname)
        user.insert(QStringLiteral("nickname"), *nickname);
    return QJsonDocument(user).toJson(QJsonDocument::Compact);
}

}
