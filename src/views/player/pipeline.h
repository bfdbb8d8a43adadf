#pragma once

#include "models/playerfailure.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <map>
#include <memory>

class QProcess;
class QSocketNotifier;

namespace tovra {

class FrameRing;
class FrameScaler;

// The native player's pipeline as the window sees it. The pipeline itself (GStreamer's playbin3
// with the adaptive HLS demuxer, its HTTP and its sound) runs in a player process of its own,
// `tovra-player`, so that nothing in a stream or in the demuxer can take the client down, and so
// that leaving a play frees everything it held the moment that process ends. This object starts
// the process, sends it commands over a local socket and hears its news; pictures come through
// shared memory (playerlink/framering.h) straight to a FrameScaler.
//
// Nothing here waits on the player: calls only send, news comes through the event loop. Nothing
// the player says is trusted: its failure kinds, its pictures' shapes and formats are checked. A
// player that dies, stops answering or cannot be sent a command mid-play is a failure of its own
// kind (failed(), then 播放 opens a new player where the picture stood); one that dies before it
// was asked to open anything is replaced without a word.
class Pipeline : public QObject
{
    Q_OBJECT
public:
    explicit Pipeline(QObject *parent = nullptr);
    // Lets the player go: it is told to stop and ended if it has not within a moment.
    ~Pipeline() override;

    // The calls a LocalPipeline takes (see localpipeline.h), sent to the player. Opening again (a
    // retry after a failure, or playing again after the end) starts a new player; halt() ends it.
    void open(const QUrl &address, qint64 startMs);
    void setPlaying(bool playing);
    void halt();
    void seek(qint64 positionMs);
    void setRate(double rate);
    void setVolume(double volume);
    void setMuted(bool muted);
    void setMaxBitrate(quint64 bitsPerSecond, bool fromHere);
    // Where decoded pictures go; none drops them, and the player stops copying them.
    void setFrameTarget(FrameScaler *target);

    // The stream time of the picture last handed to the sink, in milliseconds; -1 before any.
    qint64 framePosition() const { return m_framePosition; }
    qint64 duration() const { return m_duration; }
    // Whether the stream waited on the site when the player last answered a ping: a request the
    // site has not answered, or failed. True until the player has said otherwise, and again
    // whenever a new player or a new open takes over: the last one's word is not this stream's.
    bool waitsOnSite() const { return m_waitsOnSite; }
    // The sequence number of the last seek asked for (open's included); seeked() names it.
    quint64 seekSequence() const { return m_seekSequence; }
    // The player process's id while one plays, else 0.
    qint64 processId() const;

    // Starts a spare player, which loads GStreamer and its elements while the play's
    // authorisation is still being asked for; the next pipeline takes it over. Ended here after a
    // minute unused (never by itself: a spare going as it is taken would fail the play).
    static void prepare();
    // The spare's process id while there is one, else 0.
    static qint64 spareProcessId();
    // Quitting: ends every player still running, waiting at most this long for them to go.
    static void waitForShutdowns(int milliseconds);
    // Player processes started for plays and not yet ended (a spare does not count).
    static int running();

    // Where a player is started: by default the `tovra-player` executable. Tests may serve the
    // link in their own process instead, to look inside the pipeline; the launcher takes the
    // player's end of the link over and answers whether it could start one.
    using Launcher = std::function<bool(int link)>;
    static void setLauncher(Launcher launcher);
    // The player executable: TOVRA_PLAYER if set, else beside the running executable, else (for
    // an executable inside the build folder) where the build puts it.
    static QString playerPath();

signals:
    // As LocalPipeline's; failed() also when the player ends, hangs or cannot be started
    // (player::Failure::PlayerEnded, PlayerHung, PlayerMissing), and only ever with a kind of
    // player::Failure.
    void seeked(quint64 sequence);
    void durationChanged(qint64 durationMs);
    void failed(int kind, const QString &text);
    void ended(quint64 opened);
    void buffering(int percent);

private:
    struct Player;
    // Takes the spare or starts a player; m_player is none if none could be had (why says so).
    void start(QString *why = nullptr);
    void retire();
    void send(const QByteArray &command);
    void readNews();
    void handle(const QByteArray &news, int passedFd);
    // The player is no use any more: retired, and the play fails, unless nothing was asked of it.
    void lose(player::Failure kind, const QString &why);
    // Why the link of a player closed: ended, or never started.
    player::Failure endedKind() const;
    void checkAlive();
    // A spare on trial that has not answered and has stopped is replaced.
    void checkTrial();
    // The play fails as one whose player could not be started.
    void failToStart(const QString &why);
    // The opened player is asked at once, then every second, whether it answers.
    void watchOpened();
    // A spare for this play's next player, which the play ends as it goes, unless another play
    // has asked for the spare since.
    void prepareNext();

    std::unique_ptr<Player> m_player;
    FrameScaler *m_target = nullptr;
    std::shared_ptr<FrameRing> m_ring;
    quint32 m_ringId = 0;
    qint64 m_framePosition = -1;
    qint64 m_duration = 0;
    bool m_waitsOnSite = true;
    quint64 m_seekSequence = 0;
    // Opens asked for: a failure found for one play is not told to the next.
    quint64 m_opens = 0;
    // Players replaced without a word since the last open: one, not a loop of them.
    int m_quietStarts = 0;
    // Which prepare() made the spare this play made ready, if one did.
    quint64 m_spareGeneration = 0;
    // Asks an open player whether it still answers.
    QTimer m_alive;
    // Looks at a spare on trial until it answers; stopped with the player it belongs to.
    QTimer m_trial;
    // What a new player is told before it opens, so a retry plays as the last one did.
    bool m_playing = true;
    double m_rate = 1.0;
    double m_volume = 1.0;
    bool m_muted = false;
    quint64 m_maxBitrate = 0;
};

}
