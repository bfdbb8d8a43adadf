#pragma once

#include "models/catalogue.h"
#include "network/imageloader.h"
#include "support/fakesite.h"
#include "support/posterart.h"

#include <QNetworkAccessManager>
#include <QUrlQuery>

namespace tovra::test {

// Serves "/poster.png?n=<number>" with a coloured 300 × 450 poster numbered n, and counts
// nothing itself: the site's request log does.
inline void servePosters(FakeSite &site, int delayMs = 0)
{
    site.route("/poster.png", [delayMs](const FakeSite::Request &request) {
        const int n = request.query().queryItemValue(QStringLiteral("n")).toInt();
        FakeSite::Reply reply;
        reply.headers = {{"Content-Type", "image/jpeg"}};
        reply.body = posterJpeg(n, QSize(300, 450));
        reply.delayMs = delayMs;
        return reply;
    });
}

inline Item sampleItem(const FakeSite &site, int n)
{
    Item item;
    item.did = QStringLiteral("d%1").arg(n);
    item.title = QStringLiteral("样片 %1").arg(n);
    item.image = site.url(QStringLiteral("poster.png?n=%1").arg(n)).toString();
    item.showdate = QStringLiteral("20%1-01-01").arg(10 + n % 15);
    return item;
}

inline QList<Item> sampleItems(const FakeSite &site, int count)
{
    QList<Item> items;
    items.reserve(count);
    for (int i = 0; i < count; ++i)
        items.append(sampleItem(site, i));
    return items;
}

// A poster site wired in as the process-wide image loader for as long as it lives.
struct PosterSite
{
    FakeSite site;
    QNetworkAccessManager network;
    ImageLoader loader{&network};

    PosterSite() { ImageLoader::setShared(&loader); }
    ~PosterSite() { ImageLoader::setShared(nullptr); }
    PosterSite(const PosterSite &) = delete;
    PosterSite &operator=(const PosterSite &) = delete;

    bool start()
    {
        if (!site.start())
            return false;
        servePosters(site);
        return true;
    }
};

}
