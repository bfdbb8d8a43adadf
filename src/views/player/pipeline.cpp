#include "views/player/pipeline.h"

#include "models/playerlogic.h"
#include "views/player/framescaler.h"

#include <QMetaObject>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

namespace tovra {

namespace {

// The longest a pause waits for the first picture drawn after play (see Core::pauseHeld).
constexpr std::chrono::milliseconds kPauseHoldLimit{300};

// playbin3's GstPlayFlags: subtitles are never shown, so no text stream is decoded.
constexpr guint kPlayFlagText = 0x4;

// The raw formats FrameScaler converts; the pipeline's own converter turns anything else into
// one of these before the sink.
constexpr char kSinkCaps[] = "video/x-raw, format=(string){ I420, YV12, NV12, NV21, Y42B, Y444, UYVY, YUY2, I420_10LE, "
                             "P010_10LE, BGRx, BGRA, RGBx, RGBA, xRGB, ARGB, xBGR, ABGR, GRAY8 }";

// Pipelines still shutting down on their threads: quitting waits a moment for them, so the
// process never ends under a streaming thread.
std::mutex &liveMutex()
{
    static std::mutex mutex;
    return mutex;
}
std::condition_variable &liveChanged()
{
    static std::condition_variable changed;
    return changed;
}
int &liveCount()
{
    static int count = 0;
    return count;
}
// Set once the process quits: a pipeline let go then is not freed, as the process ends anyway.
bool &quitting()
{
    static bool flag = false;
    return flag;
}

// GStreamer 1.22's adaptive demuxer can still be called back by its HTTP session for a request
// cancelled when the pipeline stopped (a playlist the site was slow with): freed at once, the
// demuxer is written to after it is gone. Its pipeline is freed only after this grace.
constexpr std::chrono::milliseconds kReleaseGrace{2000};

// GStreamer 1.22.0's adaptive demuxer can crash inside libsoup when it is stopped with a download
// in flight. A pipeline let go is first paused: the demuxer goes on fetching until it holds what
// it loads ahead, and then fetches no more. It is stopped once that has stayed put a moment, once
// nothing has come in for kDrainTime (a playlist fetch or a segment on a usual line takes less),
// or after kDrainLimit whatever comes.
constexpr std::chrono::milliseconds kDrainTime{1500};
constexpr std::chrono::milliseconds kDrainSettled{300};
constexpr std::chrono::milliseconds kDrainLimit{10000};
constexpr std::chrono::milliseconds kDrainPoll{50};

player::Failure failureKind(const GError *error)
{
    if (error->domain == GST_RESOURCE_ERROR) {
        switch (error->code) {
        case GST_RESOURCE_ERROR_NOT_AUTHORIZED: return player::Failure::AccessDenied;
        case GST_RESOURCE_ERROR_NOT_FOUND: return player::Failure::Resource;
        default: return player::Failure::Network;
        }
    }
    if (error->domain == GST_STREAM_ERROR) {
        switch (error->code) {
        case GST_STREAM_ERROR_CODEC_NOT_FOUND:
        case GST_STREAM_ERROR_DECODE:
        case GST_STREAM_ERROR_DEMUX:
        case GST_STREAM_ERROR_FORMAT:
        case GST_STREAM_ERROR_TYPE_NOT_FOUND:
        case GST_STREAM_ERROR_WRONG_TYPE: return player::Failure::Format;
        // The HLS demuxer reports fragments it could not download as a failed stream.
        default: return player::Failure::Network;
        }
    }
    return player::Failure::Other;
}

}

// What one of the demuxer's outputs has handed downstream, watched on its streaming thread under
// Core::outputMutex (see Core::splice).
struct DemuxOutput
{
    Pipeline::Core *core = nullptr;
    GstPad *pad = nullptr;
    // The segment as last sent downstream, running time moved by `offset`.
    GstSegment segment{};
    bool hasSegment = false;
    // The decoding time of the last buffer passed (its presentation time where it has none),
    // and that buffer's length.
    GstClockTime last = GST_CLOCK_TIME_NONE;
    GstClockTime length = 0;
    // Added to the demuxer's running time since the last splice, so that downstream it runs on.
    gint64 offset = 0;
    // The splice under way: its flushes stop here, and what the demuxer sends again is dropped.
    guint32 splice = GST_SEQNUM_INVALID;
    bool dropping = false;
    // Part of a splice that has not yet passed anything new.
    bool joining = false;
    // The end went down: nothing below takes more without a flush.
    bool ended = false;
    GstCaps *caps = nullptr;

    ~DemuxOutput() { gst_caps_replace(&caps, nullptr); }
    void restart()
    {
        hasSegment = false;
        last = GST_CLOCK_TIME_NONE;
        offset = 0;
        dropping = false;
        ended = false;
        join();
    }
    // Done with the splice: the pipeline's thread may seek again.
    void join();
};

struct Pipeline::Core
{
    // Shared between the GUI thread, the pipeline's thread and the streaming threads.
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> commands;
    bool quit = false;
    // Something for the pipeline's thread to look at: a streaming thread's news, or messages.
    bool busPending = false;
    // Taken off the bus by its sync handler as each is posted: a message left for the thread to
    // pop could be pushed just after it looked, and then wait there until something else woke it.
    std::deque<GstMessage *> messages;
    // The video sink has taken the end of its stream; under the mutex.
    bool pictureEnded = false;

    std::mutex postMutex;
    Pipeline *facade = nullptr;

    std::mutex targetMutex;
    FrameScaler *target = nullptr;

    std::atomic<qint64> framePosition{-1};
    std::atomic<qint64> duration{0};
    // Set while the pipeline prerolls at the start before seeking to the resume point: that
    // first picture is not the one the user is to see.
    std::atomic<bool> holdFrames{false};
    std::atomic<quint64> maxBitrate{0};
    // The queue before the decoders ran empty; set from a streaming thread.
    std::atomic<bool> drained{false};
    // An output of the demuxer is done with a splice; set from a streaming thread.
    std::atomic<bool> joined{false};

    // The demuxer of the stream playing, for the quality cap; set from a streaming thread.
    std::mutex demuxMutex;
    GstElement *demuxer = nullptr;
    std::mutex outputMutex;
    std::vector<std::shared_ptr<DemuxOutput>> outputs;

    // The pipeline's thread only.
    GstElement *playbin = nullptr;
    std::atomic<GstElement *> published{nullptr};
    GstBus *bus = nullptr;
    bool targetPlaying = true;
    bool prerolled = false;
    bool seekInFlight = false;
    bool buffering = false;
    bool failed = false;
    bool atEnd = false;
    // A splice is under way until the demuxer has buffered again: meanwhile the pipeline waits
    // for it only once what was loaded below it has run out (see watchSplice).
    bool spliceWatch = false;
    // Until every output has passed something new after a splice, a seek waits: the demuxer in
    // GStreamer 1.22.0 can assert when sought again while the fetch the splice began is starting.
    bool spliceJoining = false;
    quint64 opened = 0;
    GstState requested = GST_STATE_NULL;
    // Paused right after it was set playing, before its sink drew a picture, GStreamer 1.22's
    // sink goes on drawing in time while the pipeline reads paused (it takes the picture it was
    // about to draw for the preroll). The pause waits for that first picture, a moment at most.
    std::atomic<bool> rendered{false};
    std::atomic<bool> pauseHeld{false};
    std::chrono::steady_clock::time_point playingSince;
    std::optional<qint64> pendingSeek;
    qint64 seekTarget = 0;
    quint64 pendingSequence = 0;
    quint64 inFlightSequence = 0;
    std::optional<quint64> openSequence;
    double rate = 1.0;
    double volume = 1.0;
    bool muted = false;

    template<typename F>
    void toGui(F &&f)
    {
        std::lock_guard lock(postMutex);
        if (facade)
            QMetaObject::invokeMethod(facade, [f = std::forward<F>(f), facade = facade] { f(facade); }, Qt::QueuedConnection);
    }

    static void run(const std::shared_ptr<Core> &core);
    bool build();
    void teardown();
    void handle(GstMessage *message);
    void onAsyncDone();
    void onEnd();
    void doSeek();
    void applyState();
    void queryDuration();
    void deliver(GstSample *sample);

    void open(const QByteArray &uri, qint64 startNs, quint64 sequence);
    void seek(qint64 ns, quint64 sequence);
    void setPlaying(bool playing);
    void setRate(double newRate);
    void seekHere();
    void applyAudio();
    void applyCap();
    bool splice();
    void watchSplice();
    void checkJoined();
    void drain();
    void stop();
    void notify();
    GstElement *demuxerRef();
    static GstPadProbeReturn onOutput(GstPad *pad, GstPadProbeInfo *info, gpointer data);
    static void watchOutput(GstElement *demuxer, GstPad *pad, gpointer data);
    static void forgetOutput(GstElement *demuxer, GstPad *pad, gpointer data);
    static void onDrained(GstElement *queue, gpointer data);
};

void Pipeline::Core::run(const std::shared_ptr<Core> &core)
{
    gst_init(nullptr, nullptr);
    for (;;) {
        std::function<void()> command;
        std::deque<GstMessage *> messages;
        bool quitting = false;
        bool pictureEnded = false;
        {
            std::unique_lock lock(core->mutex);
            const auto woken = [&] { return core->quit || core->busPending || !core->messages.empty() || !core->commands.empty(); };
            // A pause held back is looked at again soon even if no picture comes (a stream
            // without one).
            if (core->pauseHeld)
                core->wake.wait_for(lock, kPauseHoldLimit / 4, woken);
            else
                core->wake.wait(lock, woken);
            core->busPending = false;
            messages.swap(core->messages);
            pictureEnded = std::exchange(core->pictureEnded, false);
            if (core->quit)
                core->commands.clear();
            if (!core->commands.empty()) {
                command = std::move(core->commands.front());
                core->commands.pop_front();
            }
            quitting = core->quit;
        }
        for (GstMessage *message : messages) {
            if (!quitting)
                core->handle(message);
            gst_message_unref(message);
        }
        if (quitting)
            break;
        if (pictureEnded)
            core->onEnd();
        if (command)
            command();
        if (core->pauseHeld)
            core->applyState();
        if (core->drained.exchange(false))
            core->watchSplice();
        if (core->joined.exchange(false))
            core->checkJoined();
    }
    core->teardown();
    {
        std::lock_guard lock(liveMutex());
        --liveCount();
    }
    liveChanged().notify_all();
}

bool Pipeline::Core::build()
{
    playbin = gst_element_factory_make("playbin3", nullptr);
    GstElement *sink = gst_element_factory_make("appsink", "video");
    // The desktop's sound server where there is one; with none, a sink that keeps time alone.
    GstElement *audio = gst_element_factory_make("autoaudiosink", "audio");
    if (!playbin || !sink || !audio) {
        for (GstElement *element : {playbin, sink, audio}) {
            if (element)
                gst_object_unref(gst_object_ref_sink(element));
        }
        playbin = nullptr;
        return false;
    }
    GstCaps *caps = gst_caps_from_string(kSinkCaps);
    g_object_set(sink, "caps", caps, "sync", TRUE, "enable-last-sample", FALSE, "qos", TRUE, nullptr);
    gst_caps_unref(caps);
    GstAppSinkCallbacks callbacks{};
    callbacks.new_preroll = [](GstAppSink *appsink, gpointer data) {
        if (GstSample *sample = gst_app_sink_pull_preroll(appsink)) {
            static_cast<Core *>(data)->deliver(sample);
            gst_sample_unref(sample);
        }
        return GST_FLOW_OK;
    };
    // With its buffering capped, GStreamer 1.22's adaptive demuxer holds the end of the sound
    // track back some 10 s after the last picture: the end of the picture is the stream's.
    callbacks.eos = [](GstAppSink *, gpointer data) {
        auto *core = static_cast<Core *>(data);
        {
            std::lock_guard lock(core->mutex);
            core->pictureEnded = true;
            core->busPending = true;
        }
        core->wake.notify_one();
    };
    callbacks.new_sample = [](GstAppSink *appsink, gpointer data) {
        auto *core = static_cast<Core *>(data);
        if (GstSample *sample = gst_app_sink_pull_sample(appsink)) {
            core->deliver(sample);
            gst_sample_unref(sample);
        }
        if (!core->rendered.exchange(true) && core->pauseHeld)
            core->notify();
        return GST_FLOW_OK;
    };
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, this, nullptr);
    guint flags = 0;
    g_object_get(playbin, "flags", &flags, nullptr);
    g_object_set(playbin, "video-sink", sink, "audio-sink", audio, "flags", flags & ~kPlayFlagText, nullptr);

    // Every element of the pipeline passes here as it is made, on whichever thread makes it:
    // the demuxer is given the cap and the buffering before it fetches its first segment.
    g_signal_connect(playbin, "element-setup", G_CALLBACK(+[](GstElement *, GstElement *element, gpointer data) {
                         auto *core = static_cast<Core *>(data);
                         GObjectClass *cls = G_OBJECT_GET_CLASS(element);
                         if (!g_object_class_find_property(cls, "max-bitrate") || !g_object_class_find_property(cls, "max-buffering-time"))
                             return;
                         const guint64 ahead = guint64(kBufferAheadMs) * GST_MSECOND;
                         g_object_set(element, "max-buffering-time", ahead, "high-watermark-time", ahead, nullptr);
                         {
                             std::lock_guard lock(core->outputMutex);
                             core->outputs.clear();
                         }
                         g_signal_connect(element, "pad-added", G_CALLBACK(&Core::watchOutput), core);
                         g_signal_connect(element, "pad-removed", G_CALLBACK(&Core::forgetOutput), core);
                         std::lock_guard lock(core->demuxMutex);
                         if (core->demuxer)
                             gst_object_unref(core->demuxer);
                         core->demuxer = GST_ELEMENT(gst_object_ref(element));
                         g_object_set(element, "max-bitrate", guint(std::min<quint64>(core->maxBitrate, G_MAXUINT)), nullptr);
                     }),
                     this);

    // The queue decodebin3 keeps before the decoders, made with the playbin.
    GstIterator *children = gst_bin_iterate_recurse(GST_BIN(playbin));
    GValue child = G_VALUE_INIT;
    while (gst_iterator_next(children, &child) == GST_ITERATOR_OK) {
        GstElement *element = GST_ELEMENT(g_value_get_object(&child));
        if (g_object_class_find_property(G_OBJECT_GET_CLASS(element), "use-interleave")) {
            g_signal_connect(element, "underrun", G_CALLBACK(&Core::onDrained), this);
        }
        g_value_reset(&child);
    }
    g_value_unset(&child);
    gst_iterator_free(children);
    bus = gst_element_get_bus(playbin);
    gst_bus_set_sync_handler(
        bus,
        [](GstBus *, GstMessage *message, gpointer data) {
            auto *core = static_cast<Core *>(data);
            {
                std::lock_guard lock(core->mutex);
                core->messages.push_back(gst_message_ref(message));
            }
            core->wake.notify_one();
            return GST_BUS_DROP;
        },
        this, nullptr);
    published = playbin;
    return true;
}

void Pipeline::Core::teardown()
{
    if (!playbin)
        return;
    published = nullptr;
    if (!failed && requested >= GST_STATE_PAUSED) {
        gst_element_set_state(playbin, GST_STATE_PAUSED);
        drain();
    }
    gst_element_set_state(playbin, GST_STATE_NULL);
    gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
    {
        std::lock_guard lock(mutex);
        for (GstMessage *message : messages)
            gst_message_unref(message);
        messages.clear();
    }
    {
        std::unique_lock lock(liveMutex());
        if (liveChanged().wait_for(lock, kReleaseGrace, [] { return quitting(); }))
            return;
    }
    gst_object_unref(bus);
    {
        std::lock_guard lock(demuxMutex);
        if (demuxer)
            gst_object_unref(demuxer);
        demuxer = nullptr;
    }
    gst_object_unref(playbin);
    playbin = nullptr;
    bus = nullptr;
}

void Pipeline::Core::drain()
{
    // Stopped while a download is in flight, the demuxer can crash in cancelling it (see
    // kDrainTime): what it holds ahead grows while one comes in.
    GstElement *demux = demuxerRef();
    const auto start = std::chrono::steady_clock::now();
    auto changed = start;
    guint64 held = GST_CLOCK_TIME_NONE;
    for (;;) {
        {
            std::unique_lock lock(liveMutex());
            if (liveChanged().wait_for(lock, kDrainPoll, [] { return quitting(); }))
                break;
        }
        guint64 video = GST_CLOCK_TIME_NONE;
        guint64 audio = GST_CLOCK_TIME_NONE;
        if (demux)
            g_object_get(demux, "current-level-time-video", &video, "current-level-time-audio", &audio, nullptr);
        const auto now = std::chrono::steady_clock::now();
        if (const guint64 level = std::min(video, audio); level != held) {
            held = level;
            changed = now;
        }
        const bool full = GST_CLOCK_TIME_IS_VALID(held) && held >= guint64(kBufferAheadMs) * GST_MSECOND;
        if ((full && now - changed >= kDrainSettled) || now - changed >= kDrainTime || now - start >= kDrainLimit)
            break;
    }
    if (demux)
        gst_object_unref(demux);
}

void Pipeline::Core::deliver(GstSample *sample)
{
    if (holdFrames)
        return;
    const GstSegment *segment = gst_sample_get_segment(sample);
    GstBuffer *buffer = gst_sample_get_buffer(sample);
    if (!segment || !buffer || !GST_BUFFER_PTS_IS_VALID(buffer))
        return;
    const guint64 streamTime = gst_segment_to_stream_time(segment, GST_FORMAT_TIME, GST_BUFFER_PTS(buffer));
    if (streamTime == GST_CLOCK_TIME_NONE)
        return;
    framePosition = qint64(streamTime / GST_MSECOND);
    std::lock_guard lock(targetMutex);
    if (target)
        target->request(VideoFrame::fromSample(sample, qint64(streamTime / GST_USECOND)));
}

void Pipeline::Core::open(const QByteArray &uri, qint64 startNs, quint64 sequence)
{
    if (playbin) {
        gst_element_set_state(playbin, GST_STATE_NULL);
    } else if (!build()) {
        failed = true;
        toGui([](Pipeline *p) { emit p->failed(int(player::Failure::Format), QStringLiteral("no playbin3 or appsink element")); });
        return;
    }
    prerolled = false;
    seekInFlight = false;
    buffering = false;
    spliceWatch = false;
    spliceJoining = false;
    failed = false;
    atEnd = false;
    opened = sequence;
    pendingSeek.reset();
    openSequence = sequence;
    if (startNs > 0) {
        pendingSeek = startNs;
        pendingSequence = sequence;
    }
    holdFrames = startNs > 0;
    g_object_set(playbin, "uri", uri.constData(), nullptr);
    applyAudio();
    requested = GST_STATE_PAUSED;
    gst_element_set_state(playbin, GST_STATE_PAUSED);
}

void Pipeline::Core::seek(qint64 ns, quint64 sequence)
{
    pendingSeek = std::max<qint64>(0, ns);
    pendingSequence = sequence;
    atEnd = false;
    if (prerolled && !seekInFlight && !spliceJoining && !failed)
        doSeek();
}

void Pipeline::Core::setPlaying(bool playing)
{
    targetPlaying = playing;
    applyState();
}

void Pipeline::Core::setRate(double newRate)
{
    if (rate == newRate)
        return;
    rate = newRate;
    // A rate takes a seek.
    seekHere();
}

void Pipeline::Core::seekHere()
{
    // From where the picture is, or where a seek under way is going, unless a seek is waiting
    // anyway; it lands as the last seek asked for, which the GUI already knows.
    if (!pendingSeek && (seekInFlight || framePosition >= 0)) {
        pendingSeek = seekInFlight ? seekTarget : framePosition * GST_MSECOND;
        pendingSequence = inFlightSequence;
    }
    if (prerolled && !seekInFlight && !spliceJoining && !failed && pendingSeek)
        doSeek();
}

void Pipeline::Core::applyAudio()
{
    if (playbin)
        g_object_set(playbin, "volume", volume, "mute", gboolean(muted), nullptr);
}

void Pipeline::Core::applyCap()
{
    std::lock_guard lock(demuxMutex);
    if (demuxer)
        g_object_set(demuxer, "max-bitrate", guint(std::min<quint64>(maxBitrate, G_MAXUINT)), nullptr);
}

bool Pipeline::Core::splice()
{
    // A flushing seek through the pipeline restarts every sink, and the sound server takes the
    // better part of 100 ms to start a stream again. The demuxer alone is asked instead to fetch
    // again from what it last handed down: the segment there comes once more at the quality it
    // had (the demuxer picks the next one's as each arrives), and it is dropped up to where the
    // stream left off, so the decoders and sinks below take it as one stream with a quality change
    // in it, as when 自动 makes one. Paused, the sinks hold the streaming threads, which a flush
    // must reach: the seek goes through the pipeline then.
    if (!playbin || failed || !prerolled || seekInFlight || spliceJoining || pendingSeek || atEnd || pauseHeld || buffering
        || rate != 1.0 || requested != GST_STATE_PLAYING)
        return false;
    GstState state = GST_STATE_NULL;
    if (gst_element_get_state(playbin, &state, nullptr, 0) != GST_STATE_CHANGE_SUCCESS || state != GST_STATE_PLAYING)
        return false;
    GstElement *demux = demuxerRef();
    if (!demux)
        return false;
    const guint32 seqnum = gst_util_seqnum_next();
    GstClockTime from = GST_CLOCK_TIME_NONE;
    {
        std::lock_guard lock(outputMutex);
        const bool known = !outputs.empty() && std::ranges::all_of(outputs, [](const auto &out) {
            return out->hasSegment && !out->ended && GST_CLOCK_TIME_IS_VALID(out->last);
        });
        if (known) {
            // The demuxer is sought in stream time; what it sends is timed in its own.
            for (const auto &out : outputs) {
                from = std::min(from, gst_segment_to_stream_time(&out->segment, GST_FORMAT_TIME, out->last));
                out->splice = seqnum;
                out->joining = true;
            }
        }
    }
    bool done = false;
    if (GST_CLOCK_TIME_IS_VALID(from)) {
        GstEvent *seek = gst_event_new_seek(1.0, GST_FORMAT_TIME, GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                                            GST_SEEK_TYPE_SET, gint64(from), GST_SEEK_TYPE_NONE, GST_CLOCK_TIME_NONE);
        gst_event_set_seqnum(seek, seqnum);
        done = gst_element_send_event(demux, seek);
    }
    gst_object_unref(demux);
    if (!done) {
        std::lock_guard lock(outputMutex);
        for (const auto &out : outputs) {
            out->splice = GST_SEQNUM_INVALID;
            out->joining = false;
        }
        return false;
    }
    spliceJoining = true;
    spliceWatch = true;
    drained = false;
    return true;
}

void Pipeline::Core::watchSplice()
{
    // The decoders hold a few pictures back until more comes in, and the sinks take each buffer
    // only when it is due: once the queue before the decoders is empty, what was loaded below the
    // demuxer is all but played, and paused now nothing comes too late to be shown.
    if (!spliceWatch || !playbin)
        return;
    spliceWatch = false;
    buffering = true;
    applyState();
    toGui([](Pipeline *p) { emit p->buffering(0); });
}

void Pipeline::Core::stop()
{
    failed = true;
    seekInFlight = false;
    pendingSeek.reset();
    spliceWatch = false;
    spliceJoining = false;
    // Stopped here, the sound stops with the picture rather than play out what was loaded.
    requested = GST_STATE_READY;
    gst_element_set_state(playbin, GST_STATE_READY);
}

void Pipeline::Core::notify()
{
    {
        std::lock_guard lock(mutex);
        busPending = true;
    }
    wake.notify_one();
}

GstElement *Pipeline::Core::demuxerRef()
{
    std::lock_guard lock(demuxMutex);
    return demuxer ? GST_ELEMENT(gst_object_ref(demuxer)) : nullptr;
}

void Pipeline::Core::checkJoined()
{
    {
        std::lock_guard lock(outputMutex);
        if (std::ranges::any_of(outputs, [](const auto &out) { return out->joining; }))
            return;
    }
    spliceJoining = false;
    if (prerolled && !seekInFlight && !failed && pendingSeek)
        doSeek();
}

void DemuxOutput::join()
{
    if (!std::exchange(joining, false))
        return;
    core->joined = true;
    core->notify();
}

void Pipeline::Core::watchOutput(GstElement *, GstPad *pad, gpointer data)
{
    if (GST_PAD_DIRECTION(pad) != GST_PAD_SRC)
        return;
    auto *core = static_cast<Core *>(data);
    auto out = std::make_shared<DemuxOutput>();
    out->core = core;
    out->pad = pad;
    {
        std::lock_guard lock(core->outputMutex);
        core->outputs.push_back(out);
    }
    const auto types = GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM | GST_PAD_PROBE_TYPE_EVENT_FLUSH
                                       | GST_PAD_PROBE_TYPE_EVENT_UPSTREAM);
    gst_pad_add_probe(pad, types, &Core::onOutput, new std::shared_ptr<DemuxOutput>(std::move(out)),
                      [](gpointer p) { delete static_cast<std::shared_ptr<DemuxOutput> *>(p); });
}

void Pipeline::Core::forgetOutput(GstElement *, GstPad *pad, gpointer data)
{
    auto *core = static_cast<Core *>(data);
    std::lock_guard lock(core->outputMutex);
    std::erase_if(core->outputs, [pad](const auto &out) { return out->pad == pad; });
}

void Pipeline::Core::onDrained(GstElement *, gpointer data)
{
    auto *core = static_cast<Core *>(data);
    core->drained = true;
    core->notify();
}

GstPadProbeReturn Pipeline::Core::onOutput(GstPad *, GstPadProbeInfo *info, gpointer data)
{
    DemuxOutput &out = **static_cast<std::shared_ptr<DemuxOutput> *>(data);
    std::lock_guard lock(out.core->outputMutex);
    if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_BUFFER) {
        GstBuffer *buffer = GST_PAD_PROBE_INFO_BUFFER(info);
        const GstClockTime at = GST_BUFFER_DTS_OR_PTS(buffer);
        if (out.dropping) {
            // Sent again after a splice: what already went down, up to the last buffer passed
            // (half a buffer's grace, should the demuxer place the segment a hair apart).
            if (GST_CLOCK_TIME_IS_VALID(at) && at <= out.last + out.length / 2)
                return GST_PAD_PROBE_DROP;
            out.dropping = false;
            out.join();
            if (GST_BUFFER_IS_DISCONT(buffer)) {
                buffer = gst_buffer_make_writable(buffer);
                GST_BUFFER_FLAG_UNSET(buffer, GST_BUFFER_FLAG_DISCONT);
                GST_PAD_PROBE_INFO_DATA(info) = buffer;
            }
        }
        if (GST_CLOCK_TIME_IS_VALID(at)) {
            out.last = at;
            out.length = GST_BUFFER_DURATION_IS_VALID(buffer) ? GST_BUFFER_DURATION(buffer) : 0;
        }
        return GST_PAD_PROBE_OK;
    }
    GstEvent *event = GST_PAD_PROBE_INFO_EVENT(info);
    const guint32 seqnum = gst_event_get_seqnum(event);
    switch (GST_EVENT_TYPE(event)) {
    case GST_EVENT_FLUSH_START:
        return seqnum == out.splice ? GST_PAD_PROBE_DROP : GST_PAD_PROBE_OK;
    case GST_EVENT_FLUSH_STOP:
        if (seqnum == out.splice)
            return GST_PAD_PROBE_DROP;
        // A seek through the pipeline: every sink starts its running time again.
        out.restart();
        break;
    case GST_EVENT_SEGMENT: {
        GstSegment segment;
        gst_event_copy_segment(event, &segment);
        if (segment.format != GST_FORMAT_TIME)
            break;
        if (seqnum == out.splice) {
            // The demuxer starts its running time again; downstream it runs on from the old one.
            out.splice = GST_SEQNUM_INVALID;
            const guint64 was = out.hasSegment ? gst_segment_to_running_time(&out.segment, GST_FORMAT_TIME, segment.start) : GST_CLOCK_TIME_NONE;
            const guint64 now = gst_segment_to_running_time(&segment, GST_FORMAT_TIME, segment.start);
            if (GST_CLOCK_TIME_IS_VALID(was) && GST_CLOCK_TIME_IS_VALID(now)) {
                out.offset = gint64(was) - gint64(now);
                out.dropping = GST_CLOCK_TIME_IS_VALID(out.last);
            }
        }
        if (out.offset != 0) {
            gst_segment_offset_running_time(&segment, GST_FORMAT_TIME, out.offset);
            GstEvent *moved = gst_event_new_segment(&segment);
            gst_event_set_seqnum(moved, seqnum);
            gst_event_unref(event);
            GST_PAD_PROBE_INFO_DATA(info) = moved;
        }
        out.segment = segment;
        out.hasSegment = true;
        break;
    }
    case GST_EVENT_EOS:
        out.ended = true;
        out.dropping = false;
        out.join();
        break;
    case GST_EVENT_CAPS: {
        GstCaps *caps = nullptr;
        gst_event_parse_caps(event, &caps);
        // The segment sent again is at another quality after all (the demuxer moved on before
        // the seek reached it): its pictures need their key frame, so nothing more is dropped.
        if (out.dropping && out.caps && !gst_caps_is_equal(caps, out.caps)) {
            out.dropping = false;
            out.join();
        }
        gst_caps_replace(&out.caps, caps);
        break;
    }
    case GST_EVENT_QOS:
        // Timed by the sinks downstream, in the running time the demuxer no longer counts from.
        if (out.offset != 0) {
            event = gst_event_make_writable(event);
            gst_event_set_running_time_offset(event, gst_event_get_running_time_offset(event) - out.offset);
            GST_PAD_PROBE_INFO_DATA(info) = event;
        }
        break;
    default:
        break;
    }
    return GST_PAD_PROBE_OK;
}

void Pipeline::Core::doSeek()
{
    const qint64 ns = *pendingSeek;
    seekTarget = ns;
    spliceWatch = false;
    pendingSeek.reset();
    inFlightSequence = pendingSequence;
    openSequence.reset();
    const bool ok = gst_element_seek(playbin, rate, GST_FORMAT_TIME, GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                                     GST_SEEK_TYPE_SET, ns, GST_SEEK_TYPE_NONE, GST_CLOCK_TIME_NONE);
    // The flush is done once the seek returns: whatever reaches the sink now is the target's.
    holdFrames = false;
    if (ok) {
        seekInFlight = true;
        return;
    }
    const quint64 sequence = inFlightSequence;
    toGui([sequence](Pipeline *p) { emit p->seeked(sequence); });
    applyState();
}

void Pipeline::Core::applyState()
{
    pauseHeld = false;
    if (!playbin || failed || !prerolled || seekInFlight)
        return;
    // A sink at its end posts the end again on every way back to playing.
    const GstState want = targetPlaying && !buffering && !atEnd ? GST_STATE_PLAYING : GST_STATE_PAUSED;
    if (want == requested)
        return;
    if (want == GST_STATE_PAUSED && requested == GST_STATE_PLAYING && !rendered
        && std::chrono::steady_clock::now() - playingSince < kPauseHoldLimit) {
        pauseHeld = true;
        return;
    }
    if (want == GST_STATE_PLAYING) {
        rendered = false;
        playingSince = std::chrono::steady_clock::now();
    }
    requested = want;
    gst_element_set_state(playbin, want);
}

void Pipeline::Core::queryDuration()
{
    gint64 ns = 0;
    if (!gst_element_query_duration(playbin, GST_FORMAT_TIME, &ns) || ns <= 0)
        return;
    const qint64 ms = ns / GST_MSECOND;
    if (duration.exchange(ms) != ms)
        toGui([ms](Pipeline *p) { emit p->durationChanged(ms); });
}

void Pipeline::Core::onEnd()
{
    if (!playbin || failed || atEnd || seekInFlight)
        return;
    atEnd = true;
    applyState();
    const quint64 sequence = opened;
    toGui([sequence](Pipeline *p) { emit p->ended(sequence); });
}

void Pipeline::Core::onAsyncDone()
{
    prerolled = true;
    if (seekInFlight) {
        seekInFlight = false;
        const quint64 sequence = inFlightSequence;
        toGui([sequence](Pipeline *p) { emit p->seeked(sequence); });
    } else if (openSequence && !pendingSeek) {
        const quint64 sequence = *openSequence;
        openSequence.reset();
        toGui([sequence](Pipeline *p) { emit p->seeked(sequence); });
    }
    queryDuration();
    if (pendingSeek) {
        doSeek();
        return;
    }
    applyState();
}

void Pipeline::Core::handle(GstMessage *message)
{
    const bool fromPipeline = GST_MESSAGE_SRC(message) == GST_OBJECT(playbin);
    switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_ERROR: {
        if (failed)
            break;
        GError *error = nullptr;
        gchar *debug = nullptr;
        gst_message_parse_error(message, &error, &debug);
        const int kind = int(failureKind(error));
        const QString text = QString::fromUtf8(error->message) + (debug ? QStringLiteral(" (%1)").arg(QString::fromUtf8(debug)) : QString());
        g_clear_error(&error);
        g_free(debug);
        stop();
        toGui([kind, text](Pipeline *p) { emit p->failed(kind, text); });
        break;
    }
    case GST_MESSAGE_EOS:
        onEnd();
        break;
    case GST_MESSAGE_ASYNC_DONE:
        if (fromPipeline && !failed)
            onAsyncDone();
        break;
    case GST_MESSAGE_BUFFERING: {
        gint percent = 0;
        gst_message_parse_buffering(message, &percent);
        if (spliceWatch) {
            // After a splice the demuxer starts buffering from nothing, while below it what was
            // loaded plays on (see watchSplice).
            if (percent < 100)
                break;
            spliceWatch = false;
        }
        const bool low = percent < 100;
        if (low != buffering) {
            buffering = low;
            applyState();
        }
        toGui([percent](Pipeline *p) { emit p->buffering(percent); });
        break;
    }
    case GST_MESSAGE_DURATION_CHANGED:
        if (prerolled)
            queryDuration();
        break;
    case GST_MESSAGE_CLOCK_LOST:
        // The sound server's clock went away: a new one is chosen on the way back to playing.
        if (requested == GST_STATE_PLAYING) {
            gst_element_set_state(playbin, GST_STATE_PAUSED);
            gst_element_set_state(playbin, GST_STATE_PLAYING);
        }
        break;
    default:
        break;
    }
}

Pipeline::Pipeline(QObject *parent)
    : QObject(parent)
    , m_core(std::make_shared<Core>())
{
    m_core->facade = this;
    {
        std::lock_guard lock(liveMutex());
        ++liveCount();
    }
    std::thread([core = m_core] { Core::run(core); }).detach();
}

Pipeline::~Pipeline()
{
    {
        std::lock_guard lock(m_core->postMutex);
        m_core->facade = nullptr;
    }
    setFrameTarget(nullptr);
    {
        std::lock_guard lock(m_core->mutex);
        m_core->quit = true;
    }
    m_core->wake.notify_one();
}

void Pipeline::waitForShutdowns(int milliseconds)
{
    std::unique_lock lock(liveMutex());
    quitting() = true;
    liveChanged().notify_all();
    liveChanged().wait_for(lock, std::chrono::milliseconds(milliseconds), [] { return liveCount() == 0; });
}

int Pipeline::running()
{
    std::lock_guard lock(liveMutex());
    return liveCount();
}

void Pipeline::post(std::function<void()> command)
{
    {
        std::lock_guard lock(m_core->mutex);
        m_core->commands.push_back(std::move(command));
    }
    m_core->wake.notify_one();
}

void Pipeline::open(const QUrl &address, qint64 startMs)
{
    const quint64 sequence = ++m_seekSequence;
    m_core->framePosition = -1;
    post([core = m_core.get(), uri = address.toEncoded(), ns = startMs * qint64(GST_MSECOND), sequence] { core->open(uri, ns, sequence); });
}

void Pipeline::halt()
{
    post([core = m_core.get()] {
        if (core->playbin)
            core->stop();
    });
}

void Pipeline::setPlaying(bool playing)
{
    post([core = m_core.get(), playing] { core->setPlaying(playing); });
}

void Pipeline::seek(qint64 positionMs)
{
    const quint64 sequence = ++m_seekSequence;
    post([core = m_core.get(), ns = positionMs * qint64(GST_MSECOND), sequence] { core->seek(ns, sequence); });
}

void Pipeline::setRate(double rate)
{
    post([core = m_core.get(), rate] { core->setRate(rate); });
}

void Pipeline::setVolume(double volume)
{
    post([core = m_core.get(), volume] {
        core->volume = volume;
        core->applyAudio();
    });
}

void Pipeline::setMuted(bool muted)
{
    post([core = m_core.get(), muted] {
        core->muted = muted;
        core->applyAudio();
    });
}

void Pipeline::setMaxBitrate(quint64 bitsPerSecond, bool fromHere)
{
    m_core->maxBitrate = bitsPerSecond;
    post([core = m_core.get(), fromHere] {
        core->applyCap();
        if (fromHere && !core->atEnd && !core->splice())
            core->seekHere();
    });
}

void Pipeline::setFrameTarget(FrameScaler *target)
{
    std::lock_guard lock(m_core->targetMutex);
    m_core->target = target;
}

qint64 Pipeline::framePosition() const
{
    return m_core->framePosition;
}

GstElement *Pipeline::element() const
{
    return m_core->published;
}

qint64 Pipeline::duration() const
{
    return m_core->duration;
}

}
