#pragma once

#include "network/apiclient.h"
#include "network/diskcache.h"
#include "support/fakesite.h"
#include "support/testenv.h"

#include <QNetworkAccessManager>
#include <QTemporaryDir>
#include <memory>
#include <optional>

namespace tovra::test {

// A home of its own and the fake site wired in as the process-wide client, serving both the API
// and the search host, signed in with the given token. Screens reach the client through its
// shared instance, so the fixture owns it for exactly as long as a case runs.
struct SharedClientFixture
{
    IsolatedHome home;
    FakeSite site;
    QNetworkAccessManager manager;
    QTemporaryDir cacheFolder;
    DiskCache cache{cacheFolder.path()};
    std::unique_ptr<APIClient> api;

    explicit SharedClientFixture(const QString &token)
    {
        if (!site.start())
            qFatal("fake site did not start");
        const QString base = site.url().toString();
        api = std::make_unique<APIClient>([base] { return base; }, base, &manager, &cache);
        api->setTokenProvider([token] { return std::optional<QString>(token); });
        APIClient::setShared(api.get());
    }
    ~SharedClientFixture() { APIClient::setShared(nullptr); }

    SharedClientFixture(const SharedClientFixture &) = delete;
    SharedClientFixture &operator=(const SharedClientFixture &) = delete;
};

}
