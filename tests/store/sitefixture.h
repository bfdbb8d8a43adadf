#pragma once

#include "network/apiclient.h"
#include "store/authstore.h"
#include "network/diskcache.h"

#include <QDir>
#include <QNetworkAccessManager>
#include <QTemporaryDir>
#include "support/fakesite.h"
#include "support/testenv.h"

// A real client against the loopback site, with its own home, response cache and data folder,
// and an AuthStore that the client asks for the token, as the application wires them.
struct SiteFixture
{
    tovra::test::IsolatedHome home;
    tovra::test::FakeSite site;
    QTemporaryDir dataDir;
    QNetworkAccessManager manager;
    std::unique_ptr<tovra::DiskCache> cache;
    std::unique_ptr<tovra::APIClient> client;
    std::unique_ptr<tovra::AuthStore> auth;

    bool start()
    {
        if (!home.isValid() || !dataDir.isValid() || !site.start())
            return false;
        cache = std::make_unique<tovra::DiskCache>(QDir(home.path()).filePath(QStringLiteral("responses")));
        const QString base = site.url().toString().chopped(1);
        client = std::make_unique<tovra::APIClient>([base] { return base; }, base + QStringLiteral("/search"),
                                                    &manager, cache.get());
        client->setTokenProvider([this]() -> std::optional<QString> {
            return auth ? auth->tokenValue() : std::nullopt;
        });
        restartAuth();
        return true;
    }

    // A new store over the same folder: what the next launch of the program sees.
    void restartAuth()
    {
        auth.reset();
        auth = std::make_unique<tovra::AuthStore>(client.get(), folder());
    }

    QString folder() const { return dataDir.filePath(QStringLiteral("TovraClient")); }
    QString file(const QString &name) const { return QDir(folder()).filePath(name); }
};
