#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <chrono>
#include <memory>
#include <optional>
#include <thread>

typedef struct _GstElement GstElement;
typedef struct _GstSample GstSample;

namespace tovra {

// Where a pipeline's decoded pictures go. Called on the video sink's streaming thread, which must
// never wait for anyone.
class FrameSink
{
public:
    virtual ~FrameSink() = default;
    // streamTimeUs: 0 is the stream's start, as the position bar counts.
    virtual void deliver(GstSample *sample, qint64 streamTimeUs) = 0;
};

// The native player's GStreamer pipeline: playbin3 (so uridecodebin3 and the adaptive HLS
// demuxer, which moves between variants without rebuilding anything downstream), pictures into
// an appsink whose samples go straight to a FrameSink, sound to the desktop's sound server.
// The player process runs one (PlayerService); tests may drive one in their own process.
//
// Everything that touches the pipeline runs on a thread of the pipeline's own: a state change
// or a seek can wait for seconds on the demuxer while it fetches a playlist from a slow site,
// and the window must not wait with it. The calls below only queue work and return; the GUI
// hears back through the signals (queued to the thread this object lives in) and reads the
// position from the last picture handed to the sink, which needs no call into the pipeline.
// The player process never destroys one: it ends. A process that goes on (tests, benchmarks)
// does, and the destructor waits while the pipeline's thread lets go of it (a moment: see
// pipelineshutdown.cpp), so that nothing of it outlives the object.
class LocalPipeline : public QObject
{
    Q_OBJECT
public:
    explicit LocalPipeline(QObject *parent = nullptr);
    ~LocalPipeline() override;

    // Plays the address from startMs: the pipeline prerolls, seeks there exactly while paused
    // (nothing before it is shown), then plays or stays paused as setPlaying last said. Once
    // only: the client gives every open after the first (a retry, playing again after the end)
    // a new player, and a later open is ignored.
    void open(const QUrl &address, qint64 startMs);
    void setPlaying(bool playing);
    // Exact; seeks asked for while one is under way are folded into the latest.
    void seek(qint64 positionMs);
    void setRate(double rate);
    void setVolume(double volume);
    void setMuted(bool muted);
    // The highest variant bandwidth the demuxer may choose, bits per second; 0 lets it adapt
    // freely. The demuxer picks each segment's variant as the one before it arrives and loads
    // ahead, so a cap alone shows only once that has played. fromHere drops what the demuxer has
    // loaded ahead: the segment it last handed down is fetched once more and the next one comes
    // within the cap. While playing, everything below the demuxer plays on meanwhile, so neither
    // the sound nor the picture breaks; paused, the stream seeks to the picture on screen.
    void setMaxBitrate(quint64 bitsPerSecond, bool fromHere);
    // Where decoded pictures go; none drops them. After this returns the previous target is
    // handed no more frames.
    void setFrameTarget(FrameSink *target);

    // The stream time of the picture last handed to the sink, in milliseconds; -1 before any.
    qint64 framePosition() const;
    qint64 duration() const;
    // Whether the stream waits on the site: a request of the player's the site has not answered
    // yet, or one it failed that is still being tried again. Any thread; true when it cannot be
    // told (libsoup's requests could not be watched), as a stall was always the network's.
    bool waitsOnSite() const;
    // The sequence number of the last seek asked for (open's included); seeked() names it.
    quint64 seekSequence() const { return m_seekSequence; }

    // The playbin once the pipeline's thread has made it, else null; its video sink is named
    // "video" and its sound sink "audio". For tests and benchmarks that watch what flows: a call
    // that can wait on the pipeline has no place on the GUI thread.
    GstElement *element() const;

    // How long the demuxer buffers ahead; a cap set without fromHere shows once this has played.
    static constexpr qint64 kBufferAheadMs = 3000;
    // A picture the user wants moving that stands this long while the site owes nothing is mended
    // (see watchStand); one that stands as long again after the mend fails the play as
    // player::Failure::Stalled, which the client answers with a new player where it stood.
    static constexpr std::chrono::milliseconds kStandLimit{1000};

    struct Core;

signals:
    // A seek (or an open's first position) has landed; its picture has reached the sink.
    void seeked(quint64 sequence);
    void durationChanged(qint64 durationMs);
    // The stream could not go on; kind is a player::Failure. Nothing more is done with the
    // stream: its player is to be ended.
    void failed(int kind, const QString &text);
    // The stream played to its end; `opened` names the open() it belongs to, as seekSequence()
    // did right after that call.
    void ended(quint64 opened);
    void buffering(int percent);

private:
    void post(std::function<void()> command);
    // The user asked for something new: a stand counts from now.
    void asked();
    // Runs on this object's thread, which never waits on the pipeline's: a stand is seen and
    // told even while the pipeline's thread is held inside GStreamer.
    void watchStand();
    // The picture has stood, the site owing nothing, for `limit` since `since`.
    bool standsSince(std::chrono::steady_clock::time_point since, std::chrono::milliseconds limit) const;
    void mend(const QString &why);

    std::unique_ptr<Core> m_core;
    std::thread m_thread;
    quint64 m_seekSequence = 0;

    QTimer m_standWatch;
    bool m_wantPlay = true;
    bool m_ended = false;
    bool m_failed = false;
    qint64 m_lastFrame = -1;
    std::chrono::steady_clock::time_point m_lastMove;
    std::chrono::steady_clock::time_point m_lastAsked;
    std::optional<std::chrono::steady_clock::time_point> m_mendedAt;
    // Paused while the picture stood: play mends at once rather than wait out the stand again.
    bool m_pausedStanding = false;
    int m_soundRenewals = 0;
};

}
