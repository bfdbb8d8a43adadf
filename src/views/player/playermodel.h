#pragma once

#include "models/hlsplaylist.h"
#include "models/playerlogic.h"
#include "models/title.h"
#include "playerlink/retrypolicy.h"
#include "views/engine/qualitysource.h"

#include <QCoroTask>
#include <QElapsedTimer>
#include <QTimer>
#include <QUrl>
#include <chrono>
#include <memory>
#include <optional>

namespace tovra {

class Pipeline;

// One native playback of one episode: the authorised stream, the resume seek, the notices with
// their timed clearing, the quality choice, once-a-second position sampling and the progress
// reports. A model plays once; the player screen makes a new one each time it comes on screen.
// The pipeline runs in a player process of its own: everything here only asks it and hears back,
// so nothing the user does waits on the stream.
class PlayerModel : public QualitySource
{
    Q_OBJECT
    Q_PROPERTY(qint64 position READ position NOTIFY positionChanged)
public:
    using Variant = hls::Variant;

    static constexpr std::chrono::milliseconds kSampleInterval{1000};
    static constexpr std::chrono::milliseconds kTrialNoticeTime{6000};
    static constexpr std::chrono::milliseconds kResumeNoticeTime{4000};
    // How often the bar looks at the picture's position: well inside a frame's worth of delay
    // at the frame rates the site serves.
    static constexpr std::chrono::milliseconds kPositionTick{40};
    // Playing this long without the picture moving on is a failure the pipeline does not report:
    // its HLS demuxer retries a site that answers 503, or waits on one gone silent, for as long
    // as it takes. Until then the model only waits (isWaiting()), and the picture moves on by
    // itself when data comes again: 30 s outlasts an ordinary hiccup of a home line or a mobile
    // hand-over, yet is short enough that a site that is really gone is said so before the user
    // gives up. After it the user is told, and 播放 tries again from there.
    static constexpr std::chrono::milliseconds kStallLimit{30000};
    static constexpr std::chrono::milliseconds kStallCheck{250};
    // Stands the player could not mend itself (player::Failure::Stalled) are opened again in a
    // new player where the picture stood; this many in a row, without the picture moving in
    // between, fail the play: about 8 s of standing, not the network's 30.
    static constexpr int kStandRounds = 3;
    // A picture expected and not moving for this long is waiting for data. Frames come at least
    // every 84 ms at the site's frame rates, even at half speed; shown within half a second.
    static constexpr std::chrono::milliseconds kWaitingAfter{250};
    // A master playlist is a few kilobytes; anything this big is not one.
    static constexpr qint64 kMaxPlaylistBytes = 4 * 1024 * 1024;

    PlayerModel(PlayAuth auth, PlayEntry entry, qint64 startAt, QObject *parent = nullptr);
    // Stops first, so a model dropped while playing still sends its final report.
    ~PlayerModel() override;

    // The pipeline while the model plays; none once it has stopped.
    Pipeline *pipeline() const { return m_pipeline.get(); }
    const std::optional<QString> &message() const { return m_message; }
    const QList<Variant> &variants() const override { return m_variants; }
    const std::optional<Variant> &selected() const override { return m_selected; }
    qint64 startAt() const { return m_startAt; }
    qint64 lastReported() const { return m_rule.lastReported(); }
    qint64 sampledPosition() const { return m_timeBox.load(); }
    bool didSeek() const { return m_didSeek; }
    bool isPlaying() const { return m_started && !m_stopped; }
    // The address handed to the pipeline, once play() has built it.
    const QUrl &streamUrl() const { return m_streamUrl; }

    void play();
    // The play buttons and Space: pauses what plays; after a failure it opens the stream again
    // where it failed, after the end it plays again from the start.
    void togglePlay();
    // Playing as the user sees it: not paused, failed or at the end.
    bool isShownPlaying() const;
    bool hasFailed() const { return m_failedAt.has_value(); }
    bool hasEnded() const { return m_ended; }
    // A picture is expected (playing, or a seek on its way) and has not moved for kWaitingAfter:
    // the stream is starting, stalled or seeking and waits for data. False again as soon as the
    // picture moves, or once nothing is expected any more (paused, failed, at the end).
    bool isWaiting() const { return m_waiting; }
    // Milliseconds from the stream's start: where a seek is going while it is on its way, else
    // the picture last shown.
    qint64 position() const;
    qint64 duration() const;
    void seek(qint64 positionMs);
    double rate() const { return m_rate; }
    void setRate(double rate);
    double volume() const { return m_volume; }
    void setVolume(double volume);
    bool isMuted() const { return m_muted; }
    void setMuted(bool muted);
    // Sends the final report (when a whole second was sampled) and lets the pipeline go (its
    // player process ends). Only the first call does anything.
    void stop();
    // None is "自动": the demuxer chooses by itself again.
    void select(std::optional<Variant> variant) override;

    // One sampling step with the given position in seconds; the timer calls it with the
    // playback position.
    void samplePosition(qint64 seconds);
    // The resume step: the notice and the report mark of the seek to the start position that
    // play() asked for, at most once.
    void resume();

    // The longest the process waits on quitting for reports still on their way.
    static constexpr std::chrono::milliseconds kQuitWait{1000};
    // Quitting: stops every playing model (each sends its final report), then waits for the
    // reports in flight and the pipelines shutting down, at most `wait`. Runs on the
    // application's aboutToQuit.
    static void finishAll(std::chrono::milliseconds wait = kQuitWait);
    static int reportsInFlight();

    // Tests shorten the notice times and the stall limit.
    void setNoticeTimes(std::chrono::milliseconds trial, std::chrono::milliseconds resume);
    void setStallLimit(std::chrono::milliseconds limit) { m_stallLimit = limit; }

signals:
    void messageChanged();
    void playingChanged();
    void positionChanged();
    void durationChanged();
    void audioChanged();
    void waitingChanged();

private:
    QCoro::Task<void> loadVariants();
    void report(qint64 position);
    void setMessage(std::optional<QString> message);
    void clearLater(std::chrono::milliseconds after, const QString &prefix);
    void setPlaying(bool playing);
    void open(qint64 positionMs);
    void onSeeked(quint64 sequence);
    void onFailed(int kind, const QString &text);
    // A network failure while the user has paused waits for play, where it stood.
    void holdForPlay();
    // The chain of retries is over: the next failure starts a new one.
    void endRetryChain();
    std::chrono::milliseconds retryTimeLeft() const;
    // Shows the failure: 播放 tries again from here.
    void fail(int kind, const QString &text);
    void onEnded(quint64 opened);
    void restartProgress(qint64 positionMs);
    void checkProgress();
    // From now on a new picture is expected: the waiting clock starts again.
    void expectPicture();
    void updateWaiting();

    std::unique_ptr<Pipeline> m_pipeline;
    std::optional<QString> m_message;
    QTimer m_sampler;
    QTimer m_ticker;
    QTimer m_watchdog;
    qint64 m_furthest = -1;
    std::chrono::milliseconds m_stuckFor{0};
    std::chrono::milliseconds m_stallLimit = kStallLimit;
    // The retries of a play the network failed: paced by the schedule the player process keeps
    // too, and ending with the stall limit counted from the chain's first failure, in time played:
    // a try the site answers only after a long pause is not the chain's last for that. Both
    // start over once the picture moves, or when the user plays again after a held failure.
    RetrySchedule m_retries;
    int m_standRounds = 0;
    // What the chain has left as of m_retryClock's start; the clock runs only while playing.
    std::optional<std::chrono::milliseconds> m_retryLeft;
    QElapsedTimer m_retryClock;
    QTimer m_retryTimer;
    bool m_loadingVariants = false;
    player::TimeBox m_timeBox;
    PlayAuth m_auth;
    // The user's token when this playback started (none when signed out): every report goes out
    // under it or not at all.
    std::optional<QString> m_account;
    PlayEntry m_entry;
    QList<Variant> m_variants;
    std::optional<Variant> m_selected;
    qint64 m_startAt = 0;
    qint64 m_knownDurationMs = 0;
    player::ProgressRule m_rule;
    bool m_didSeek = false;
    bool m_started = false;
    bool m_stopped = false;
    bool m_playing = false;
    bool m_ended = false;
    double m_rate = 1.0;
    double m_volume = 1.0;
    bool m_muted = false;
    QUrl m_streamUrl;
    // Where a seek (or an opening at a position) is going, until its picture is in.
    std::optional<qint64> m_seekingTo;
    quint64 m_openSequence = 0;
    // The last open's first picture has not come yet: its resume step and a retry's notice wait
    // for it.
    bool m_openPending = false;
    // Since when the picture has stood still, or a new picture has been expected.
    QElapsedTimer m_still;
    qint64 m_lastFrame = -1;
    bool m_waiting = false;
    qint64 m_shownPosition = -1;
    // Where playback failed, for the retry; the failure's notice stays until a picture comes.
    std::optional<qint64> m_failedAt;
    // Where a play the network failed while the user had paused stands: no player is opened and
    // nothing is expected until play (togglePlay) opens it again there.
    std::optional<qint64> m_heldAt;
    bool m_clearOnPicture = false;
    std::chrono::milliseconds m_trialNoticeTime = kTrialNoticeTime;
    std::chrono::milliseconds m_resumeNoticeTime = kResumeNoticeTime;
};

}
