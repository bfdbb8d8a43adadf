#pragma once

// The inside of LocalPipeline, shared by the files that make up its rooms:
//  - pipelineloop.cpp: the pipeline's thread, its inbox and the ways news reaches it (commands
//    from the GUI, bus messages, the sinks' and the demuxer's streaming threads);
//  - pipelinestate.cpp: the state machine (open, preroll, seek, play/pause, failure, end);
//  - splice.cpp: a quality change while playing, done on the demuxer alone (DemuxOutput);
//  - pipelineretry.cpp: pacing the demuxer's retries of a site that fails;
//  - pipelineshutdown.cpp: letting go of a pipeline, in a process that goes on after it.
// Nothing here is for the player's other classes: they use localpipeline.h.

#include "pipeline/localpipeline.h"
#include "pipeline/splice.h"
#include "playerlink/retrypolicy.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>

#include <gst/gst.h>

namespace tovra {


// The longest a pause waits for the first picture drawn after play (see Core::pauseHeld).
inline constexpr std::chrono::milliseconds kPauseHoldLimit{300};
// The longest a seek waits for the one before it to land, or for a splice's outputs to pass
// something new: past it the stream has lost what it waited for (GStreamer 1.22.0's demuxer can
// drop a download a flush met as it started), and the seek goes anyway.
inline constexpr std::chrono::milliseconds kSeekWaitLimit{1000};
// How far short of the end a seek to the end lands: the last segment holds that moment, and
// the play ends from there as it does at its own end. The end itself is in no segment, and
// GStreamer 1.22's demuxer refuses it only after it has flushed.
inline constexpr std::chrono::milliseconds kEndMargin{100};

// Everything that wakes the pipeline's thread, under one mutex: a wake-up looks at all of it,
// so nothing posted between two looks waits unseen.
struct PipelineInbox
{
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> commands;
    // Taken off the bus by its sync handler as each is posted: a message left for the thread to
    // pop could be pushed just after it looked, and then wait there until something else woke it.
    std::deque<GstMessage *> messages;
    // The facade is gone: the thread shuts the pipeline down and ends.
    bool closing = false;
    // A streaming thread left news in an atomic of the splice or the frame feed.
    bool nudged = false;
    // The video sink has taken the end of its stream.
    bool pictureEnded = false;

    void post(std::function<void()> command);
    // Takes the message over.
    void postMessage(GstMessage *message);
    void nudge();
    void endPicture();
    void close();
};

// The wait between the demuxer's download failing and its next try (pipelineretry.cpp), after
// the one schedule client and player share.
struct RetryPacing
{
    // The demuxer is halted until resumeAt.
    bool halted = false;
    // A failure came while the pipeline could not be halted without a flush reaching the sinks:
    // it is halted once they play.
    bool haltPending = false;
    // The halt's wait was over while the user had paused: it is sent on once the pipeline is set
    // playing, never meanwhile (a try nobody waits for).
    bool heldForPlay = false;
    std::chrono::steady_clock::time_point resumeAt;
    GstClockTime from = 0;
    // The halt's flushes went no further than the demuxer's outputs.
    bool spliced = false;
    // A segment and a chosen variant's playlist fail and come back each on its own (a try at the
    // playlist fetches a segment first): each starts over once what it asks for has come.
    RetrySchedule segments;
    RetrySchedule variant;
    // What the failure waiting for its halt (haltPending) was.
    bool pendingVariant = false;
    // A segment came whole since the stream was last sought (the seek named seekSeen, or a halt
    // or resume of ours): prerolling, the sinks have what they wait for.
    bool whole = false;
    quint64 seekSeen = 0;
};

struct LocalPipeline::Core
{
    explicit Core(LocalPipeline *owner) : facade(owner) {}

    PipelineInbox inbox;

    // Signals go out through the facade, which outlives the pipeline's thread.
    LocalPipeline *const facade;

    // What the appsink's streaming thread touches.
    std::mutex targetMutex;
    FrameSink *target = nullptr;
    std::atomic<qint64> framePosition{-1};
    // Set while the pipeline prerolls at the start before seeking to the resume point: that
    // first picture is not the one the user is to see.
    std::atomic<bool> holdFrames{false};
    // A picture has been drawn since the pipeline was last set playing (see pauseHeld).
    std::atomic<bool> rendered{false};

    std::atomic<qint64> duration{0};
    std::atomic<quint64> maxBitrate{0};

    Splice splice{inbox};
    RetryPacing retry;
    // The retry's state as other threads may read it: a download failed and is tried again.
    std::atomic<bool> siteFailing{false};

    // The state machine: the pipeline's thread only.
    GstElement *playbin = nullptr;
    // The sound sink's bin (sinkbin.h), the playbin's, and the desktop's sound sink in it, found
    // once it is there (referenced).
    GstElement *soundBin = nullptr;
    GstElement *audioSink = nullptr;
    // The playbin as element() hands it out; null once shutdown has begun.
    std::atomic<GstElement *> published{nullptr};
    GstBus *bus = nullptr;
    GstState requested = GST_STATE_NULL;
    bool targetPlaying = true;
    bool prerolled = false;
    bool seekInFlight = false;
    bool buffering = false;
    bool failed = false;
    bool atEnd = false;
    // Paused right after it was set playing, before its sink drew a picture, GStreamer 1.22's
    // basesink goes on drawing in time while the pipeline reads paused (it takes the picture it
    // was about to draw for the preroll). The pause waits for that first picture, a moment at
    // most. No upstream change names this up to 1.24; try without the hold on a newer GStreamer.
    std::atomic<bool> pauseHeld{false};
    std::chrono::steady_clock::time_point playingSince;
    // The seek the GUI asked for last that has not gone to the pipeline yet (folded: a newer one
    // replaces it), the one under way, and the open whose first position is still to land.
    std::optional<qint64> pendingSeek;
    quint64 pendingSequence = 0;
    qint64 seekTarget = 0;
    std::chrono::steady_clock::time_point seekSentAt;
    // The last seek was refused: the picture is not where the user asked, and a mend goes there.
    bool seekRefused = false;
    quint64 inFlightSequence = 0;
    std::optional<quint64> openSequence;
    quint64 opened = 0;
    bool splicePending = false;
    bool ratePending = false;
    double rate = 1.0;
    // The rate of the last flushing seek through the whole pipeline: what the demuxer times its
    // segments by. A rate changed in place multiplies that in the demuxer and in every sink, and a
    // sink keeps its multiplier until a flush reaches it, so a seek on the demuxer alone (a splice,
    // a retry's halt) asks for this rate, not the one playing.
    double demuxRate = 1.0;
    double volume = 1.0;
    bool muted = false;
    // When this pipeline was made, and how many sound streams it has renewed (the facade says so
    // in the log).
    const gint64 madeAtUs = g_get_monotonic_time();
    std::atomic<int> soundRenewals{0};

    template<typename F>
    void toGui(F &&f)
    {
        QMetaObject::invokeMethod(facade, [f = std::forward<F>(f), facade = facade] { f(facade); }, Qt::QueuedConnection);
    }

    // pipelineloop.cpp
    static void run(Core *core);
    // The player's HTTP requests the site has not answered yet, all pipelines of the process
    // together; none if they cannot be counted (watchingRequests()).
    static int requestsInFlight();
    static bool watchingRequests();
    // When the site last answered (or failed) one of those requests.
    static std::chrono::steady_clock::time_point lastAnswer();
    // Something waits for its turn on a time limit rather than on news: the loop looks again soon.
    bool waitsForTurn() const;
    bool build();
    void deliver(GstSample *sample);

    // pipelinestate.cpp
    void open(const QByteArray &uri, qint64 startNs, quint64 sequence);
    void seek(qint64 ns, quint64 sequence);
    void setPlaying(bool playing);
    void setRate(double newRate);
    // Changes the rate without a flush or a fetch; false if the stream cannot take it now.
    bool changeRateInPlace();
    // A rate chosen while the stream could not take it: applied once it flows, each turn of the
    // loop.
    void startPendingRate();
    void seekHere();
    // The stream failed, its news gone out: nothing it posts from now on is acted on. The client
    // ends the player on that news, so the pipeline is left as it is.
    void halt();
    void applyAudio();
    void applyState();
    void handle(GstMessage *message);
    void onAsyncDone();
    void onEnd();
    void doSeek();
    bool maySeekNow();
    // The picture stands while the site owes nothing: whatever the stream waits for (a seek that
    // never landed, a splice's outputs, a buffering that never ends) is let go, and it is sought
    // again where the user is.
    void mend();
    // A sound stream whose clock lost its count (soundClockLost) is replaced, and the stream
    // sought where the user is: checked by the facade's stand watch while playing.
    void checkSound();
    void queryDuration();

    // splice.cpp
    void applyCap();
    bool startSplice();
    // A quality chosen while the stream is still on its way to playing (opening, a seek landing,
    // buffering): the splice waits until the sinks play, each turn of the loop.
    void startPendingSplice();
    // Playing and taking what comes: the demuxer may be sought alone, its flushes kept from
    // everything below.
    bool sinksFlowing() const;
    void onQueueRanDry();
    void onOutputCaughtUp();

    // pipelineretry.cpp
    // A segment download failed (or the demuxer gave up on one), or a chosen variant's playlist
    // could not be fetched (variant).
    void onDownloadFailed(bool variant);
    void resumeDownloads();
    // News from the download watch, a halt pending or due to end; each turn of the loop.
    void paceRetries();

    // pipelineshutdown.cpp
    // Stops and frees the pipeline with no download in flight, and nothing of it left behind;
    // only a process that goes on after the pipeline (tests, benchmarks) gets here.
    void teardown();
    // Has the demuxer cancel what it is fetching and fetch nothing more; false if it had nothing
    // to be asked (no demuxer, or none of its outputs made yet).
    bool stopDownloads();
};

}
