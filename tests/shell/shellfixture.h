#pragma once

#include "catalogue/cataloguefixture.h"
#include "network/apiclient.h"
#include "store/authstore.h"
#include "network/diskcache.h"
#include "views/catalogue/browseview.h"
#include "views/catalogue/homeview.h"
#include "views/catalogue/rankingview.h"
#include "views/catalogue/top250view.h"
#include "views/contentview.h"
#include "views/navigationstack.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QTemporaryDir>
#include <memory>

#include "support/fakesite.h"
#include "support/testenv.h"

namespace tovra::test {

// The process-wide services as the composition root wires them, pointed at a fresh fake site and
// a throw-away home, installed as the shared instances for as long as the fixture lives.
struct ShellFixture
{
    IsolatedHome home;
    FakeSite site;
    CountingManager manager;
    std::unique_ptr<DiskCache> cache;
    std::unique_ptr<APIClient> client;
    std::unique_ptr<AuthStore> auth;

    bool start()
    {
        if (!home.isValid() || !site.start())
            return false;
        cache = std::make_unique<DiskCache>(QDir(home.cacheHome()).filePath(QStringLiteral("responses")));
        const QString base = site.url().toString().chopped(1);
        client = std::make_unique<APIClient>([base] { return base; }, base + QStringLiteral("/search"), &manager,
                                             cache.get());
        auth = std::make_unique<AuthStore>(client.get(), QDir(home.dataHome()).filePath(QStringLiteral("TovraClient")));
        client->setTokenProvider([this]() -> std::optional<QString> { return auth->tokenValue(); });
        DiskCache::setShared(cache.get());
        APIClient::setShared(client.get());
        AuthStore::setShared(auth.get());
        return true;
    }

    ~ShellFixture()
    {
        AuthStore::setShared(nullptr);
        APIClient::setShared(nullptr);
        DiskCache::setShared(nullptr);
    }

    QString navCacheFile() const { return cache->filePath(QStringLiteral("nav")); }
};

// One sidebar entry as the server writes it.
inline QByteArray navJson(const QString &id, const QString &name, const QString &icon = QStringLiteral("film"),
                          const QString &url = {}, bool external = false, int newCount = 0)
{
    QJsonObject object{{QStringLiteral("id"), id},
                       {QStringLiteral("name"), name},
                       {QStringLiteral("icon"), icon},
                       {QStringLiteral("external"), external},
                       {QStringLiteral("new_count"), newCount}};
    if (!url.isEmpty())
        object.insert(QStringLiteral("url"), url);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

inline QByteArray jsonArray(const QList<QByteArray> &elements)
{
    return '[' + elements.join(',') + ']';
}

// Which screen is the root, named the way the sidebar names its section.
inline QString rootTitle(const ContentView &window)
{
    QWidget *root = window.navigationStack()->root();
    if (qobject_cast<HomeView *>(root))
        return QStringLiteral("首页");
    if (qobject_cast<RankingView *>(root))
        return QStringLiteral("每日下载排行");
    if (qobject_cast<Top250View *>(root))
        return QStringLiteral("Top 250");
    if (auto *browse = qobject_cast<BrowseView *>(root))
        return browse->category().name;
    return QString();
}

}
