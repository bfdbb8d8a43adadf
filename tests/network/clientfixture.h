#pragma once

#include "network/apiclient.h"
#include "network/clientnetwork.h"
#include "network/diskcache.h"

#include <QNetworkAccessManager>
#include <QTcpServer>
#include <QTemporaryDir>
#include <memory>

#include "support/fakesite.h"
#include "support/testenv.h"

namespace tovra::test {

// One client wired to a fresh fake site, with its own home, response cache folder and token.
// The site serves the API at its root and the search service under kSearchPath.
struct ClientFixture
{
    static constexpr char kSearchPath[] = "/indexes/items/search";

    IsolatedHome home;
    FakeSite site;
    ClientNetwork manager;
    QTemporaryDir cacheFolder;
    DiskCache cache{cacheFolder.path()};
    // Read by the client for every request, like the real settings.
    QString base;
    std::optional<QString> token;
    std::unique_ptr<APIClient> api;

    ClientFixture()
    {
        if (!site.start())
            qFatal("fake site did not start");
        base = site.url().toString();
        api = std::make_unique<APIClient>([this] { return base; }, site.url(QString::fromLatin1(kSearchPath)).toString(),
                                          &manager, &cache);
        api->setTokenProvider([this] { return token; });
    }

    APIClient &client() { return *api; }

    // A loopback port with nothing listening on it.
    static quint16 closedPort()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        const quint16 port = probe.serverPort();
        probe.close();
        return port;
    }
};

}
