#pragma once

#include "catalogue/cataloguefixture.h"
#include "network/apiclient.h"
#include "network/imageloader.h"
#include "samplesite/sampleserver.h"
#include "store/authstore.h"
#include "network/diskcache.h"
#include "views/components/stateoverlay.h"

#include <QDir>
#include <QNetworkAccessManager>
#include <memory>

#include "support/testenv.h"

namespace tovra::test {

// The sample site served in-process on loopback, with the process-wide services wired to it as
// scripts/run-client.sh wires the client (the same environment variables), and an account
// signed in through the site's own log-in.
struct SampleSiteFixture
{
    IsolatedHome home;
    samplesite::SampleServer server;
    QString base;
    CountingManager manager;
    std::unique_ptr<DiskCache> cache;
    std::unique_ptr<APIClient> client;
    std::unique_ptr<AuthStore> auth;
    std::unique_ptr<ImageLoader> images;
    QList<std::pair<const char *, QByteArray>> savedEnvironment;

    bool start()
    {
        const quint16 port = home.isValid() ? server.listen(0) : 0;
        if (port == 0)
            return false;
        base = QStringLiteral("http://127.0.0.1:%1").arg(port);
        for (const auto &[name, path] : {std::pair{"TOVRA_SEARCH_URL", "/index"}, std::pair{"TOVRA_MEDIA_URL", "/media"},
                                         std::pair{"TOVRA_WEB_URL", "/web"}}) {
            savedEnvironment.append({name, qgetenv(name)});
            qputenv(name, (base + QLatin1String(path)).toUtf8());
        }
        cache = std::make_unique<DiskCache>(QDir(home.cacheHome()).filePath(QStringLiteral("responses")));
        const QString address = base;
        client = std::make_unique<APIClient>([address] { return address; }, base + QStringLiteral("/index"), &manager,
                                             cache.get());
        auth = std::make_unique<AuthStore>(client.get(), QDir(home.dataHome()).filePath(QStringLiteral("TovraClient")));
        client->setTokenProvider([this]() -> std::optional<QString> { return auth->tokenValue(); });
        images = std::make_unique<ImageLoader>(&manager);
        DiskCache::setShared(cache.get());
        APIClient::setShared(client.get());
        AuthStore::setShared(auth.get());
        ImageLoader::setShared(images.get());
        return true;
    }

    bool signIn()
    {
        const auto login = runTask(client->login(QStringLiteral("walker@example.com"), QStringLiteral("secret1")));
        if (!login)
            return false;
        auth->save(login->token);
        runTask(auth->refresh());
        return auth->user().has_value();
    }

    // True once no reply has been under way over a few turns of the event loop and every
    // picture that came has been decoded and handed to the screen that asked for it.
    bool settled(int timeoutMs = 5000)
    {
        int idleTurns = 0;
        return waitFor(
            [&] {
                const bool idle = manager.inFlight() == 0 && images->activeDownloads() == 0
                                  && images->pendingWithoutNetwork() == 0;
                return (idleTurns = idle ? idleTurns + 1 : 0) >= 3;
            },
            timeoutMs);
    }

    ~SampleSiteFixture()
    {
        ImageLoader::setShared(nullptr);
        AuthStore::setShared(nullptr);
        APIClient::setShared(nullptr);
        DiskCache::setShared(nullptr);
        for (const auto &[name, value] : savedEnvironment) {
            if (value.isNull())
                qunsetenv(name);
            else
                qputenv(name, value);
        }
    }
};

// Overlays on show inside page, of one kind.
inline QList<StateOverlay *> overlaysOn(QWidget *page, StateOverlay::Kind::Case kase)
{
    QList<StateOverlay *> out;
    for (StateOverlay *overlay : page->findChildren<StateOverlay *>()) {
        if (overlay->kind().kase == kase && overlay->isVisibleTo(page->window()))
            out.append(overlay);
    }
    return out;
}

// Waits for the page to stop loading, then answers the texts of the error overlays it shows
// (none when it is fine); "still loading" when it never settled.
inline QStringList errorsOnceSettled(SampleSiteFixture &f, QWidget *page, int timeoutMs = 15000)
{
    if (!waitFor([&] { return overlaysOn(page, StateOverlay::Kind::Case::Loading).isEmpty(); }, timeoutMs))
        return {QStringLiteral("still loading")};
    // A reply that lands right after the loading overlay went may still raise an error.
    if (!f.settled(timeoutMs))
        return {QStringLiteral("still talking to the site")};
    QStringList out;
    for (StateOverlay *overlay : overlaysOn(page, StateOverlay::Kind::Case::Error))
        out.append(overlay->titleText() + QStringLiteral(" / ") + overlay->messageText());
    return out;
}

}
