#pragma once

#include "network/apiclient.h"
#include "store/authstore.h"
#include "network/diskcache.h"
#include "store/telemetry.h"
#include "store/updateservice.h"

#include <QCryptographicHash>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <memory>
#include "support/fakesite.h"
#include "support/testenv.h"

// An update service wired to a real client, usage reports and a temporary folder of its own,
// all pointed at the loopback site.
struct UpdateFixture
{
    tovra::test::IsolatedHome home;
    tovra::test::FakeSite site;
    QNetworkAccessManager manager;
    std::unique_ptr<tovra::DiskCache> cache;
    std::unique_ptr<tovra::APIClient> client;
    std::unique_ptr<tovra::AuthStore> auth;
    std::unique_ptr<tovra::Telemetry> telemetry;
    std::unique_ptr<tovra::UpdateService> service;

    bool start()
    {
        if (!home.isValid() || !site.start())
            return false;
        cache = std::make_unique<tovra::DiskCache>(QDir(home.cacheHome()).filePath(QStringLiteral("responses")));
        const QString base = site.url().toString().chopped(1);
        client = std::make_unique<tovra::APIClient>([base] { return base; }, base + QStringLiteral("/search"),
                                                    &manager, cache.get());
        const QString data = QDir(home.dataHome()).filePath(QStringLiteral("TovraClient"));
        auth = std::make_unique<tovra::AuthStore>(client.get(), data);
        telemetry = std::make_unique<tovra::Telemetry>(client.get(), auth.get(), data);
        site.route(QStringLiteral("/api/client_report"), tovra::test::FakeSite::ok("null"));
        service = std::make_unique<tovra::UpdateService>();
        service->setClient(client.get());
        service->setTelemetry(telemetry.get());
        return true;
    }
    QString archivePath(qint64 build) const { return QDir(service->workFolder(build)).filePath(QStringLiteral("update.zip")); }

    static QString sha256(const QByteArray &bytes)
    {
        return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
    }

    // The offer as the server writes it.
    static QJsonObject offer(qint64 build, const QString &url, const QString &sha = {}, bool force = false)
    {
        return QJsonObject{{QStringLiteral("has_update"), true},
                           {QStringLiteral("force"), force},
                           {QStringLiteral("version"), QStringLiteral("2.4.0")},
                           {QStringLiteral("build"), build},
                           {QStringLiteral("url"), url},
                           {QStringLiteral("sha256"), sha},
                           {QStringLiteral("size"), 1536000},
                           {QStringLiteral("notes"), QStringLiteral("修复播放卡顿\n<b>不是粗体</b>")},
                           {QStringLiteral("published"), QStringLiteral("2026-12-01")}};
    }
    void serveCheck(const QJsonObject &reply)
    {
        site.route(QStringLiteral("/api/update"),
                   tovra::test::FakeSite::ok(QJsonDocument(reply).toJson(QJsonDocument::Compact)));
    }
    static tovra::UpdateInfo info(qint64 build, const QString &url, const QString &sha = {})
    {
        return tovra::UpdateInfo::fromJson(offer(build, url, sha)).value();
    }
    QList<QUrlQuery> reports(const QString &event) const
    {
        QList<QUrlQuery> found;
        for (const auto &request : site.requestsTo(QStringLiteral("/api/client_report")))
            if (request.form().queryItemValue(QStringLiteral("event")) == event)
                found.append(request.form());
        return found;
    }
};
