#pragma once

#include <QHash>
#include <QString>

class QHttpServer;
class QHttpServerRequest;
class QHttpServerResponse;

namespace tovra::samplesite {

// Playback on the sample site: the play authorisation, progress reports, the HTML5 player
// page's library and the test clip. Titles alternate between the HLS clip (the native player)
// and the DASH clip (the HTML5 page); one title in three carries a five-minute trial limit.
class MediaSite
{
public:
    explicit MediaSite(QString base);

    void registerOn(QHttpServer &server);

    // Which stream a title plays and how long its trial lasts (0: none); the same on every run.
    static bool playsHls(const QString &did);
    static int trialSeconds(const QString &did);
    // The length of the one clip every title plays, in whole seconds: watch-history positions
    // stay inside it.
    int clipSeconds() const;

private:
    QHttpServerResponse requestMpd(const QHttpServerRequest &request) const;
    QHttpServerResponse progress(const QHttpServerRequest &request);
    static QHttpServerResponse file(const QString &root, const QString &relative);

    static constexpr int kFallbackClipSeconds = 20;

    QString m_base;
    QString m_mediaRoot; // empty when the build folder has no clip
    QString m_shakaRoot; // empty when the player library was never installed
    QHash<QString, qint64> m_positions; // "did/ep" to the last reported second
};

}
