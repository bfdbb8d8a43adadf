#include "pipeline/pipelinecore.h"
#include "pipeline/sinkbin.h"

#include <algorithm>
#include <atomic>
#include <mutex>

#include <dlfcn.h>
// GIO's D-Bus headers name a member "signals", which Qt defines away.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")
#include <gst/app/gstappsink.h>

// The pipeline's thread. It waits on PipelineInbox and, each time it wakes, takes in order: the
// bus messages, the end of the picture, one command from the GUI, a pause held back, and the
// streaming threads' news left in the splice's atomics. Commands are taken one per turn so that
// a message posted while one ran (an ASYNC_DONE, say) is handled before the next command, which
// folds into what that message left (a seek after a seek, GstPlay's way).

namespace tovra {

namespace {

// playbin3's GstPlayFlags: subtitles are never shown, so no text stream is decoded.
constexpr guint kPlayFlagText = 0x4;

// The raw formats FrameScaler converts; the pipeline's own converter turns anything else into
// one of these before the sink.
constexpr char kSinkCaps[] = "video/x-raw, format=(string){ I420, YV12, NV12, NV21, Y42B, Y444, UYVY, YUY2, I420_10LE, "
                             "P010_10LE, BGRx, BGRA, RGBx, RGBA, xRGB, ARGB, xBGR, ABGR, GRAY8 }";

// libsoup before 3.6.6 (3.2.3 on Debian 12) closes a response stream by skipping the rest of its
// message's body through the message's I/O without checking that the message still has any. When
// a request is cancelled just as its headers come in, soup_session_send_finish() ends the
// message's I/O and reports the cancellation, but its send task still holds the response stream;
// when the demuxer's download thread drops that task, the stream is closed into a null pointer.
// The demuxer cancels the segment it has just asked for on every seek, stream selection and stop,
// and a reply on the loopback lands within that millisecond often enough. Only the stream class's
// close is swapped for one that does what the fixed library does when the I/O is gone: nothing.
// The I/O is the first member of SoupMessage's private part from 3.0 up to 3.7.0.
using SoupCloseFn = gboolean (*)(GInputStream *, GCancellable *, GError **);
std::atomic<SoupCloseFn> soupClose{nullptr};
std::atomic<gint> soupMessagePrivateOffset{0};

bool soupMessageIoGone(GInputStream *stream)
{
    GObject *message = nullptr;
    g_object_get(stream, "message", &message, nullptr);
    if (!message)
        return false;
    const bool gone = !*static_cast<gpointer *>(G_STRUCT_MEMBER_P(message, soupMessagePrivateOffset.load()));
    g_object_unref(message);
    return gone;
}

gboolean guardedSoupClose(GInputStream *stream, GCancellable *cancellable, GError **error)
{
    return soupMessageIoGone(stream) ? TRUE : soupClose.load()(stream, cancellable, error);
}

bool soupSkipsUnchecked()
{
    // Asked of the libsoup the HTTP source already loaded; never loads one itself.
    void *library = dlopen("libsoup-3.0.so.0", RTLD_LAZY | RTLD_NOLOAD);
    if (!library)
        return false;
    const auto version = [library](const char *name) {
        auto *get = reinterpret_cast<guint (*)()>(dlsym(library, name));
        return get ? get() : 0u;
    };
    const guint major = version("soup_get_major_version");
    const guint minor = version("soup_get_minor_version");
    const guint micro = version("soup_get_micro_version");
    dlclose(library);
    return major == 3 && (minor < 6 || (minor == 6 && micro < 6) || (minor == 7 && micro == 0));
}

// Called as each element is made: the stream class exists once the HTTP source has had its first
// reply, which is before the demuxer is made, so before anything of the demuxer is cancelled.
void guardSoupStreamClose()
{
    static std::mutex mutex;
    static bool settled = false;
    std::lock_guard lock(mutex);
    if (settled)
        return;
    const GType streamType = g_type_from_name("SoupClientInputStream");
    const GType messageType = g_type_from_name("SoupMessage");
    if (!streamType || !messageType)
        return;
    settled = true;
    if (!soupSkipsUnchecked())
        return;
    // Both classes stay referenced for the life of the process: libsoup is never unloaded.
    auto *streamClass = static_cast<GInputStreamClass *>(g_type_class_ref(streamType));
    soupMessagePrivateOffset = g_type_class_get_instance_private_offset(g_type_class_ref(messageType));
    soupClose = streamClass->close_fn;
    // Other download threads may be closing streams meanwhile: the pointer is swapped whole.
    // Only the blocking close is swapped: disposing a stream, the demuxer and the HTTP source
    // close that way, never asynchronously.
    g_atomic_pointer_set(&streamClass->close_fn, &guardedSoupClose);
}

std::atomic<int> soupRequests{0};
std::atomic<bool> soupWatched{false};
std::atomic<std::chrono::steady_clock::rep> soupLastAnswer{0};

gboolean countRequest(GSignalInvocationHint *, guint, const GValue *, gpointer delta)
{
    soupRequests.fetch_add(GPOINTER_TO_INT(delta), std::memory_order_relaxed);
    if (GPOINTER_TO_INT(delta) < 0)
        soupLastAnswer.store(std::chrono::steady_clock::now().time_since_epoch().count(), std::memory_order_relaxed);
    return TRUE;
}

// Every HTTP request of the player (the HTTP source's playlist, the demuxer's playlists and
// segments) is a libsoup session's from being queued until it is answered, failed or cancelled:
// counted from the session class's signals, whichever session sends it. A stall with none
// outstanding is the player's own, not the site's. libsoup 3 is the one GStreamer's loader picks
// when none is loaded yet; opened here first, it is the same library the elements use.
void watchSoupRequests()
{
    static std::once_flag once;
    std::call_once(once, [] {
        void *soup = dlopen("libsoup-3.0.so.0", RTLD_LAZY | RTLD_LOCAL);
        auto *sessionType = soup ? reinterpret_cast<GType (*)()>(dlsym(soup, "soup_session_get_type")) : nullptr;
        if (!sessionType)
            return;
        const GType type = sessionType();
        g_type_class_ref(type);
        const guint queued = g_signal_lookup("request-queued", type);
        const guint unqueued = g_signal_lookup("request-unqueued", type);
        if (!queued || !unqueued)
            return;
        g_signal_add_emission_hook(queued, 0, countRequest, GINT_TO_POINTER(1), nullptr);
        g_signal_add_emission_hook(unqueued, 0, countRequest, GINT_TO_POINTER(-1), nullptr);
        soupWatched = true;
    });
}

}

int LocalPipeline::Core::requestsInFlight()
{
    // A request queued before the count began may be let go after it.
    return std::max(0, soupRequests.load(std::memory_order_relaxed));
}

bool LocalPipeline::Core::watchingRequests()
{
    return soupWatched;
}

std::chrono::steady_clock::time_point LocalPipeline::Core::lastAnswer()
{
    return std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(soupLastAnswer.load(std::memory_order_relaxed)));
}

void PipelineInbox::post(std::function<void()> command)
{
    {
        std::lock_guard lock(mutex);
        commands.push_back(std::move(command));
    }
    wake.notify_one();
}

void PipelineInbox::postMessage(GstMessage *message)
{
    {
        std::lock_guard lock(mutex);
        messages.push_back(message);
    }
    wake.notify_one();
}

void PipelineInbox::nudge()
{
    {
        std::lock_guard lock(mutex);
        nudged = true;
    }
    wake.notify_one();
}

void PipelineInbox::endPicture()
{
    {
        std::lock_guard lock(mutex);
        pictureEnded = true;
    }
    wake.notify_one();
}

void PipelineInbox::close()
{
    {
        std::lock_guard lock(mutex);
        closing = true;
    }
    wake.notify_one();
}

void LocalPipeline::Core::run(Core *core)
{
    gst_init(nullptr, nullptr);
    PipelineInbox &inbox = core->inbox;
    for (;;) {
        std::function<void()> command;
        std::deque<GstMessage *> messages;
        bool closing = false;
        bool pictureEnded = false;
        {
            std::unique_lock lock(inbox.mutex);
            const auto woken = [&] {
                return inbox.closing || inbox.nudged || inbox.pictureEnded || !inbox.messages.empty() || !inbox.commands.empty();
            };
            // A pause held back is looked at again soon even if no picture comes (a stream
            // without one).
            if (core->pauseHeld)
                inbox.wake.wait_for(lock, kPauseHoldLimit / 4, woken);
            else if (core->retry.halted)
                inbox.wake.wait_until(lock, core->retry.resumeAt, woken);
            else if (core->waitsForTurn())
                inbox.wake.wait_for(lock, kSeekWaitLimit / 8, woken);
            else
                inbox.wake.wait(lock, woken);
            inbox.nudged = false;
            messages.swap(inbox.messages);
            pictureEnded = std::exchange(inbox.pictureEnded, false);
            if (inbox.closing)
                inbox.commands.clear();
            if (!inbox.commands.empty()) {
                command = std::move(inbox.commands.front());
                inbox.commands.pop_front();
            }
            closing = inbox.closing;
        }
        for (GstMessage *message : messages) {
            if (!closing)
                core->handle(message);
            gst_message_unref(message);
        }
        if (closing)
            break;
        if (pictureEnded)
            core->onEnd();
        if (command)
            command();
        if (core->pauseHeld)
            core->applyState();
        if (core->splice.queueRanDry.exchange(false))
            core->onQueueRanDry();
        if (core->splice.outputCaughtUp.exchange(false))
            core->onOutputCaughtUp();
        core->paceRetries();
        // Until the download that failed has come, between its tries too: the demuxer may send the
        // next a moment after the halt lets it go, and a stand mended meanwhile asked again at once.
        core->siteFailing = core->retry.halted || core->retry.haltPending || core->retry.segments.retried() > 0
                            || core->retry.variant.retried() > 0;
        core->startPendingSplice();
        core->startPendingRate();
        if (core->pendingSeek && core->maySeekNow())
            core->doSeek();
    }
    core->teardown();
}

bool LocalPipeline::Core::build()
{
    watchSoupRequests();
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
    // track back some 10 s after the last picture: the end of the picture is the stream's. Kept
    // whatever the GStreamer: a stream whose sound runs past its picture ends with the picture.
    callbacks.eos = [](GstAppSink *, gpointer data) { static_cast<Core *>(data)->inbox.endPicture(); };
    callbacks.new_sample = [](GstAppSink *appsink, gpointer data) {
        auto *core = static_cast<Core *>(data);
        if (GstSample *sample = gst_app_sink_pull_sample(appsink)) {
            core->deliver(sample);
            gst_sample_unref(sample);
        }
        if (!core->rendered.exchange(true) && core->pauseHeld)
            core->inbox.nudge();
        return GST_FLOW_OK;
    };
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, this, nullptr);
    // A splice at another quality decodes its segment again from the key frame, and the pictures
    // up to where the old ones stopped reach the sink late, in a burst; so do those after a speed
    // up (changeRateInPlace). Told of it, the converter and the decoder above dropped the pictures
    // after them (on a busy machine a visible jump); kept from them for a moment
    // (Splice::lateReportsHeldUntil), every one is shown.
    GstPad *sinkPad = gst_element_get_static_pad(sink, "sink");
    gst_pad_add_probe(sinkPad, GST_PAD_PROBE_TYPE_EVENT_UPSTREAM, [](GstPad *, GstPadProbeInfo *info, gpointer data) {
                          GstEvent *event = GST_PAD_PROBE_INFO_EVENT(info);
                          if (GST_EVENT_TYPE(event) != GST_EVENT_QOS || g_get_monotonic_time() >= static_cast<Core *>(data)->splice.lateReportsHeldUntil)
                              return GST_PAD_PROBE_OK;
                          GstClockTimeDiff late = 0;
                          gst_event_parse_qos(event, nullptr, nullptr, &late, nullptr);
                          return late > 0 ? GST_PAD_PROBE_DROP : GST_PAD_PROBE_OK;
                      },
                      this, nullptr);
    gst_object_unref(sinkPad);
    // The picture keeps the machine's time, and the sound follows it. The sound sink's own clock
    // (the pipeline's choice otherwise) counts what the sound server says it has played, but the
    // server starts a new stream only once its device has (PulseAudio: up to the end of an idle
    // sink's 2 s period, longer from suspended) and meanwhile reports a time it later takes back:
    // the picture ran ahead, then stood still as long as it had run (0.5-1.9 s near 0:01, on every
    // start, replay and retry). Slaved, the sound sink skips what came due before its device ran
    // and keeps within its drift tolerance after.
    GstClock *systemClock = gst_system_clock_obtain();
    gst_pipeline_use_clock(GST_PIPELINE(playbin), systemClock);
    gst_object_unref(systemClock);
    guint flags = 0;
    g_object_get(playbin, "flags", &flags, nullptr);
    GstElement *pictureBin = makePictureBin(sink);
    soundBin = makeSoundBin(audio, pictureBin);
    g_object_set(playbin, "video-sink", pictureBin, "audio-sink", soundBin, "flags", flags & ~kPlayFlagText, nullptr);

    // Every element of the pipeline passes here as it is made, on whichever thread makes it:
    // the demuxer is given the cap and the buffering before it fetches its first segment.
    g_signal_connect(playbin, "element-setup", G_CALLBACK(+[](GstElement *, GstElement *element, gpointer data) {
                         guardSoupStreamClose();
                         auto *core = static_cast<Core *>(data);
                         GObjectClass *cls = G_OBJECT_GET_CLASS(element);
                         if (!g_object_class_find_property(cls, "max-bitrate") || !g_object_class_find_property(cls, "max-buffering-time"))
                             return;
                         const guint64 ahead = guint64(kBufferAheadMs) * GST_MSECOND;
                         g_object_set(element, "max-buffering-time", ahead, "high-watermark-time", ahead, nullptr);
                         core->splice.adopt(element);
                         core->applyCap();
                     }),
                     this);

    // The queue decodebin3 keeps before the decoders, made with the playbin: a splice watches it
    // run dry.
    GstIterator *children = gst_bin_iterate_recurse(GST_BIN(playbin));
    GValue child = G_VALUE_INIT;
    while (gst_iterator_next(children, &child) == GST_ITERATOR_OK) {
        GstElement *element = GST_ELEMENT(g_value_get_object(&child));
        if (g_object_class_find_property(G_OBJECT_GET_CLASS(element), "use-interleave")) {
            g_signal_connect(element, "underrun", G_CALLBACK(+[](GstElement *, gpointer data) {
                                 auto *core = static_cast<Core *>(data);
                                 core->splice.queueRanDry = true;
                                 core->inbox.nudge();
                             }),
                             this);
        }
        g_value_reset(&child);
    }
    g_value_unset(&child);
    gst_iterator_free(children);
    bus = gst_element_get_bus(playbin);
    // A sync handler that answers GST_BUS_DROP owns the message. Taking a ref of our own as
    // well left every message, and through its source every element that ever posted one,
    // alive after the pipeline was let go: the demuxer with its HTTP session, sockets and thread.
    gst_bus_set_sync_handler(
        bus,
        [](GstBus *, GstMessage *message, gpointer data) {
            static_cast<Core *>(data)->inbox.postMessage(message);
            return GST_BUS_DROP;
        },
        this, nullptr);
    published = playbin;
    return true;
}

void LocalPipeline::Core::deliver(GstSample *sample)
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
        target->deliver(sample, qint64(streamTime / GST_USECOND));
}

}
