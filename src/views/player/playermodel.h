#pragma once

#include "models/hlsplaylist.h"
#include "models/playerlogic.h"
#include "models/title.h"
#include "views/engine/qualitysource.h"

#include <QCoroTask>
#include <QTimer>
#include <QUrl>
#include <chrono>
#include <optional>

class QAudioOutput;
class QMediaPlayer;
class QVideoFrame;

namespace tovra {

// One native playback of one episode: the authorised stream, the resume seek, the notices with
// their timed clearing, the quality choice, once-a-second position sampling and the progress
// reports. A model plays once; the player screen makes a new one each time it comes on screen.
class PlayerModel : public QualitySource
{
    Q_OBJECT
public:
    using Variant = hls::Variant;

    static constexpr std::chrono::milliseconds kSampleInterval{1000};
    static constexpr std::chrono::milliseconds kTrialNoticeTime{6000};
    static constexpr std::chrono::milliseconds kResumeNoticeTime{4000};
    // How long a quality change waits for the new stream to seek before playing it anyway.
    static constexpr std::chrono::milliseconds kSeekHoldLimit{4000};
    // Playback that moves on this far without a new picture has lost its video: it is opened
    // again where it is.
    static constexpr qint64 kStallLimitMs = 1500;
    static constexpr std::chrono::milliseconds kStallCheck{250};
    // Streams opened again in a row, without a picture between, for tracks the backend lost.
    static constexpr int kMaxTrackLosses = 3;
    // Playing this long without the position moving, and no word from the backend, is a failure
    // it did not report (a site gone quiet mid-stream): the user is told, and 播放 tries again.
    static constexpr qint64 kStuckLimitMs = 12000;
    // A master playlist is a few kilobytes; anything this big is not one.
    static constexpr qint64 kMaxPlaylistBytes = 4 * 1024 * 1024;

    PlayerModel(PlayAuth auth, PlayEntry entry, qint64 startAt, QObject *parent = nullptr);
    // Stops first, so a model dropped while playing still sends its final report.
    ~PlayerModel() override;

    QMediaPlayer *player() const { return m_player; }
    QAudioOutput *audio() const { return m_audio; }
    const std::optional<QString> &message() const { return m_message; }
    const QList<Variant> &variants() const override { return m_variants; }
    const std::optional<Variant> &selected() const override { return m_selected; }
    qint64 startAt() const { return m_startAt; }
    qint64 lastReported() const { return m_rule.lastReported(); }
    qint64 sampledPosition() const { return m_timeBox.load(); }
    bool didSeek() const { return m_didSeek; }
    bool isPlaying() const { return m_started && !m_stopped; }
    // The address handed to the media player, once play() has built it.
    const QUrl &streamUrl() const { return m_streamUrl; }

    void play();
    // The play buttons and Space: pauses what plays; after a failure or the end it opens the
    // stream again (from where it failed, or from the start), as pressing play is expected to.
    void togglePlay();
    // Playing as the user sees it: a backend that failed goes on saying "playing" over a frozen
    // picture.
    bool isShownPlaying() const;
    // The position counted from the stream's first picture, in milliseconds. The backend counts
    // from the transport stream's clock, which starts a little before the first picture (0.7 s
    // for FFmpeg's muxer), so its own position runs ahead of the picture by that much.
    qint64 position() const;
    qint64 duration() const;
    // To a position counted the same way.
    void seek(qint64 positionMs);
    // How many times the stream was opened again after its picture stopped.
    int reopenCount() const { return m_reopens; }
    // Sends the final report (when a whole second was sampled) and releases the stream. Only
    // the first call does anything.
    void stop();
    // None is "自动": back to the master playlist, letting the player choose.
    void select(std::optional<Variant> variant) override;

    // One sampling step with the given position in seconds; the timer calls it with the media
    // player's position.
    void samplePosition(qint64 seconds);
    // The resume step: one exact seek to the start position and its notice, at most once.
    void resume();

    // The longest the process waits on quitting for reports still on their way.
    static constexpr std::chrono::milliseconds kQuitWait{1000};
    // Quitting: stops every playing model (each sends its final report), then waits for the
    // reports in flight, at most `wait`. Runs on the application's aboutToQuit.
    static void finishAll(std::chrono::milliseconds wait = kQuitWait);
    static int reportsInFlight();

    // Tests shorten the notice times.
    void setNoticeTimes(std::chrono::milliseconds trial, std::chrono::milliseconds resume);

signals:
    void messageChanged();

private:
    QCoro::Task<void> loadVariants();
    void report(qint64 position);
    void setMessage(std::optional<QString> message);
    void clearLater(std::chrono::milliseconds after, const QString &prefix);
    void onStatusChanged();
    void applyPendingSeek();
    void holdForSeek(const QUrl &source, qint64 position);
    void switchSource(const QUrl &source);
    void reopen(qint64 position);
    void recover(qint64 position, const QString &what);
    void checkPicture();
    void onTrackLost(const QByteArray &source, quint64 pipeline, const QString &mediaType);
    void onFrame(const QVideoFrame &frame);
    void onFailure(const QString &text, int error);
    void fail(const QString &logText, player::Failure kind);

    QMediaPlayer *m_player = nullptr;
    QAudioOutput *m_audio = nullptr;
    std::optional<QString> m_message;
    QTimer m_sampler;
    player::TimeBox m_timeBox;
    PlayAuth m_auth;
    PlayEntry m_entry;
    QList<Variant> m_variants;
    std::optional<Variant> m_selected;
    qint64 m_startAt = 0;
    // The backend forgets the duration for a moment while a seek flushes its pipeline.
    qint64 m_knownDurationMs = 0;
    player::ProgressRule m_rule;
    bool m_didSeek = false;
    bool m_started = false;
    bool m_stopped = false;
    QUrl m_streamUrl;
    // A position to go to once the stream can seek: the resume point, or where the picture was
    // before a quality change.
    std::optional<qint64> m_pendingSeekMs;
    bool m_playAfterSeek = false;
    // The watchdog: position gained since the last picture, and where it was last looked at.
    QTimer m_watchdog;
    qint64 m_withoutPicture = 0;
    qint64 m_stuckFor = 0;
    qint64 m_furthest = 0;
    qint64 m_watchedAt = -1;
    int m_reopens = 0;
    bool m_recovering = false;
    int m_trackLosses = 0;
    quint64 m_lostPipeline = 0;
    // The backend's time of the stream's first picture; learnt from the first picture of a
    // pipeline before it seeks, which is the stream's first.
    qint64 m_originMs = -1;
    bool m_seekedSinceOpen = false;
    // The position last seen while playing.
    qint64 m_playingAt = -1;
    // Where playback failed, for the retry; the failure's notice stays until a picture comes.
    std::optional<qint64> m_failedAt;
    bool m_clearOnPicture = false;
    std::chrono::milliseconds m_trialNoticeTime = kTrialNoticeTime;
    std::chrono::milliseconds m_resumeNoticeTime = kResumeNoticeTime;
};

}
