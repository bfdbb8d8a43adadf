#pragma once

#include <QHash>
#include <QString>

class QHttpServer;
class QHttpServerRequest;
class QHttpServerResponse;

namespace tovra::samplesite {

// Playback on the sample site: the play authorisation, progress reports, the HTML5 player
// page's library and the test clip. Titles alternate between the HLS clip (the native player)
// and the DASH clip (the HTML5 page); one title in three carries a 90-second trial limit.
class MediaSite
{
public:
    explicit MediaSite(QString base);

    void registerOn(QHttpServer &server);

    // Which stream a title plays and how long its trial lasts (0: none); the same on every run.
    static bool playsHls(const QString &did);
    static int trialSeconds(const QString &did);

private:
    QHttpServerResponse requestMpd(const QHttpServerRequest &request) const;
    QHttpServerResponse progress(const QHttpServerRequest &request);
    static QHttpServerResponse file(const QString &root, const QString &relative);

    QString m_base;
    QHash<QString, qint64> m_positions; // "did/ep" to the last reported second
};

}
