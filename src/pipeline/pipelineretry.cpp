#include "pipeline/pipelineretry.h"

#include "pipeline/pipelinecore.h"

#include "models/playerfailure.h"

#include <QScopeGuard>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

// Pacing a site that fails. GStreamer 1.22.0's adaptive demuxer retries a 5xx on a VOD stream
// after 10 ms, without end and without a word on the bus (on_download_error() in
// gstadaptivedemux-stream.c never counts those failures): a site in trouble is asked some 80
// times a second until the player's watchdog gives up. A segment cut off (the connection refused,
// dropped or reset mid-body) is tried four times 10 ms apart, then the demuxer posts an ERROR and
// its stream fetches nothing more until it is sought. And with a chosen variant pinned (min and
// max bit rate), a variant playlist that fails is fetched again at once, recursively, for as long
// as it fails (gst_hls_demux_change_playlist() "switches back" to a lower rate, which the pin
// turns into the same variant): hundreds of requests a second. Here each such failure is
// noticed from the demuxer's debug log as it happens (DownloadWatch), the demuxer is halted, and
// it is sent on again after the wait RetrySchedule gives, which starts over once what failed has
// come (a whole segment; a variant's playlist). A playlist failure first lifts the pin to the
// variant the demuxer had, so the recursion ends there; the resume sets the pin back.
//
// A halt is a flushing seek on the demuxer alone with start = stop = where the outputs are: it
// stops every stream (cancelling the request while the download thread still runs, so nothing
// is left in flight) and their restart ends at once at the segment's stop. Mid-play that sends
// an EOS of the halt's seqnum, which the output probes drop with the flushes (the stream below
// plays on from what it holds); before any output was exposed the demuxer posts an ERROR
// instead ("Can't push EOS on non-exposed pad"), which never leaves it (postFromDemuxer). Once
// what is below has played out the pipeline pauses as buffering, so that the clock waits with
// the picture. The resume is a splice from the same place whose stop is set back to none: a
// seek with the stop left unset would keep the halt's. For the same reason every seek the
// pipeline sends sets its stop.

namespace tovra {

namespace {

struct Watched
{
    GstElement *demuxer = nullptr;
    Splice *splice = nullptr;
    DownloadWatch::News news;
    // The rate of the variant the demuxer is moving from, while it moves.
    guint from = 0;
};

// A category whose lines the watch reads, raised to the level those lines are at.
struct Raised
{
    const char *name;
    GstDebugLevel needed;
    GstDebugCategory *category = nullptr;
    // What the user asked to see of the category (GST_DEBUG): passed on to GStreamer's own
    // output as before; the rest of its lines, raised for us, go nowhere else.
    GstDebugLevel shown = GST_LEVEL_NONE;
};

struct Watch
{
    std::mutex mutex;
    std::vector<Watched> demuxers;
    Raised adaptive{"adaptivedemux2", GST_LEVEL_LOG};
    Raised hls{"hlsdemux2", GST_LEVEL_INFO};
    bool forward = false;
    // Known once the first stream was made.
    std::atomic<GType> streamType{0};
};

Watch &watchState()
{
    static Watch w;
    return w;
}

// A stream's first field after its GstObject is its demuxer (GstAdaptiveDemux2Stream,
// gstadaptivedemux.h, 1.22 up to 1.26): only compared with the demuxers we know, never
// followed, so a layout of another release finds nothing and the watchdog alone remains.
const void *streamDemuxer(GObject *object)
{
    Watch &w = watchState();
    if (!object)
        return nullptr;
    if (!w.streamType)
        w.streamType = g_type_from_name("GstAdaptiveDemux2Stream");
    if (!w.streamType || !g_type_is_a(G_OBJECT_TYPE(object), w.streamType))
        return nullptr;
    return *reinterpret_cast<void *const *>(reinterpret_cast<const char *>(object) + sizeof(GstObject));
}

// Runs f on the watched entry of this demuxer, under the watch's lock, and wakes its pipeline.
template<typename F>
void withDemuxer(const void *demuxer, F &&f)
{
    if (!demuxer)
        return;
    Watch &w = watchState();
    std::lock_guard lock(w.mutex);
    for (Watched &entry : w.demuxers) {
        if (entry.demuxer == demuxer) {
            f(entry);
            entry.splice->inbox->nudge();
        }
    }
}

void takeDownloadError(GObject *object, GstDebugMessage *message)
{
    const void *demuxer = streamDemuxer(object);
    if (!demuxer)
        return;
    const gchar *text = gst_debug_message_get(message);
    const char *status = text ? std::strstr(text, "http status ") : nullptr;
    // A client error is the address's fault, and the demuxer gives up on it by itself after a
    // few tries. Anything else is the site stumbling: a server error, or no answer at all (the
    // connection refused or dropped, status 0, or cut off mid-body after a 200).
    if (!status || std::strncmp(text, "Download finished with error", 28) != 0 || std::strtoul(status + 12, nullptr, 10) / 100 == 4)
        return;
    Splice *splice = nullptr;
    guint64 seen = 0;
    withDemuxer(demuxer, [&](Watched &entry) {
        splice = entry.splice;
        std::lock_guard lock(splice->haltMutex);
        seen = splice->failuresDealtWith;
        splice->downloadFailed = true;
    });
    if (splice) {
        std::unique_lock lock(splice->haltMutex);
        splice->haltDecided.wait_for(lock, std::chrono::milliseconds(Splice::kHaltWaitMs), [&] { return splice->failuresDealtWith != seen; });
    }
}

// On the demuxer's scheduler thread, inside gst_hls_demux_change_playlist(), as it moves from one
// variant to another ("Client was on N bps, ...") and when the new one's playlist failed
// ("Unable to update playlist"), before it picks the next lower rate. There the pin is lifted to
// the variant it had (minimum none, maximum that variant's rate): that is what it picks, and it
// stays there, asking nothing, rather than try the chosen one again at once, here or at its next
// segment, before the halt. Setting the properties is a plain store the demuxer reads at its
// next pick; the resume pins the chosen variant again.
void takeVariantChange(GObject *object, GstDebugMessage *message)
{
    const gchar *text = gst_debug_message_get(message);
    if (text && std::strncmp(text, "Client was on ", 14) == 0) {
        const guint rate = guint(std::strtoul(text + 14, nullptr, 10));
        withDemuxer(object, [rate](Watched &entry) { entry.from = rate; });
    } else if (text && std::strncmp(text, "Unable to update playlist", 25) == 0) {
        withDemuxer(object, [](Watched &entry) {
            g_object_set(entry.demuxer, "min-bitrate", 0u, "max-bitrate", std::max(entry.from, 1u), nullptr);
            entry.news.variantFailed = true;
        });
    }
}

// GStreamer 1.22.0's download helper wakes a blocking fetch's waiter before it lets go of the
// request's lock when the transfer fails (on_read_ready() and on_request_sent() in
// downloadhelper.c: the connection dropped, refused or reset, before the headers or mid-body),
// and the HLS demuxer, fetching a variant's playlist that way, drops the failed request without
// taking that lock (download_media_playlist()). Once in a while the download thread then unlocks
// a request already freed: an abort in glibc's mutex code, or memory written after its free.
// Both failing callbacks say so in their log line while they still hold the lock ("Failed to
// read stream", "request errored"); from then until the download thread's main context turns
// again (an idle source of ours there, which runs only after the callback returned), the
// demuxer's own line about the failed playlist ("Couldn't get the playlist") holds it back.
struct FailedTransfers
{
    std::mutex mutex;
    std::condition_variable letGo;
    int held = 0;
    // Far longer than a download thread takes to return from its callback, even on a busy
    // machine; past it the demuxer goes on as it would have.
    static constexpr std::chrono::milliseconds kWaitBound{250};
};

FailedTransfers &failedTransfers()
{
    static FailedTransfers f;
    return f;
}

void transferFailing()
{
    GMainContext *context = g_main_context_get_thread_default();
    if (!context)
        return;
    FailedTransfers &f = failedTransfers();
    {
        std::lock_guard lock(f.mutex);
        ++f.held;
    }
    // Dropped when it has run, or with its context should the helper stop first.
    GSource *turn = g_idle_source_new();
    g_source_set_priority(turn, G_PRIORITY_HIGH);
    g_source_set_callback(
        turn, [](gpointer) { return gboolean(G_SOURCE_REMOVE); }, nullptr,
        [](gpointer) {
            FailedTransfers &f = failedTransfers();
            std::lock_guard lock(f.mutex);
            --f.held;
            f.letGo.notify_all();
        });
    g_source_attach(turn, context);
    g_source_unref(turn);
}

void awaitFailedTransfers()
{
    FailedTransfers &f = failedTransfers();
    std::unique_lock lock(f.mutex);
    f.letGo.wait_for(lock, FailedTransfers::kWaitBound, [&] { return f.held == 0; });
}

// GStreamer 1.22.0's download helper queues a transfer for its HTTP thread (the "Submitting
// transfer task" line of downloadhelper_submit_request), and that thread sends it a moment later
// (submit_transfer's line). A cancel in between finds no transfer and the request goes out anyway:
// its end then reaches the stream begun after a seek, which asserts in download_request_set_uri
// or fetches nothing more, the picture standing (fixed upstream in 1.22.7, "adaptivedemux2: Do
// not submit_transfer when cancelled"). Every seek on the demuxer waits for that moment to pass.
struct QueuedTransfers
{
    std::mutex mutex;
    std::condition_variable sent;
    int queued = 0;
    std::chrono::steady_clock::time_point lastQueued;
    // An HTTP thread takes a queued transfer within a turn of its loop; one stopped meanwhile never
    // does (its count is then never taken back), and the seek goes on as it would have.
    static constexpr std::chrono::milliseconds kWaitBound{100};
};

QueuedTransfers &queuedTransfers()
{
    static QueuedTransfers q;
    return q;
}

void countQueued(int delta)
{
    QueuedTransfers &q = queuedTransfers();
    {
        std::lock_guard lock(q.mutex);
        q.queued = std::max(0, q.queued + delta);
        if (delta > 0)
            q.lastQueued = std::chrono::steady_clock::now();
    }
    q.sent.notify_all();
}

// GstBin's post_message for the demuxer's class, which postFromDemuxer() stands in front of.
using PostFn = gboolean (*)(GstElement *, GstMessage *);
std::atomic<PostFn> demuxerPost{nullptr};

// An ERROR the demuxer posts about a site that stumbles never goes up. Every bin it passes on its
// way to the bus marks a state change under way as failed, so one posted while the pipeline
// prerolls leaves the playbin short of PAUSED for good, the picture standing on its first
// frame: and a halt before any output exists makes the demuxer post one ("Can't push EOS on
// non-exposed pad"). Errors of the site's are paced as a failed download instead (the demuxer
// gives up on a connection cut off after four tries 10 ms apart, should the halt come later).
// The statistics it posts on moving to another variant tell that the variant's playlist came.
gboolean postFromDemuxer(GstElement *element, GstMessage *message)
{
    const GstStructure *details = nullptr;
    guint status = 0;
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ELEMENT && GST_MESSAGE_SRC(message) == GST_OBJECT(element)) {
        const GstStructure *stats = gst_message_get_structure(message);
        if (stats && gst_structure_has_name(stats, "adaptive-streaming-statistics") && gst_structure_has_field(stats, "bitrate"))
            withDemuxer(element, [](Watched &entry) { entry.news.variantDone = true; });
    }
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR && GST_MESSAGE_SRC(message) == GST_OBJECT(element)) {
        gst_message_parse_error_details(message, &details);
        if (details && gst_structure_get_uint(details, "http-status-code", &status) && status / 100 != 4) {
            Watch &w = watchState();
            std::lock_guard lock(w.mutex);
            for (const Watched &entry : w.demuxers) {
                if (entry.demuxer != element)
                    continue;
                // The halt's own error needs no new halt.
                if (entry.splice->haltSeqnum == GST_SEQNUM_INVALID) {
                    entry.splice->downloadFailed = true;
                    entry.splice->inbox->nudge();
                }
                gst_message_unref(message);
                return TRUE;
            }
        }
    }
    return demuxerPost.load()(element, message);
}

void guardDemuxerErrors(GstElement *demuxer)
{
    static std::once_flag once;
    std::call_once(once, [demuxer] {
        // The class stays referenced for the life of the process, as its plugin is never unloaded.
        auto *cls = static_cast<GstElementClass *>(g_type_class_ref(G_OBJECT_TYPE(demuxer)));
        demuxerPost = cls->post_message;
        g_atomic_pointer_set(&cls->post_message, &postFromDemuxer);
    });
}

void onLog(GstDebugCategory *category, GstDebugLevel level, const gchar *file, const gchar *function, gint line, GObject *object,
           GstDebugMessage *message, gpointer)
{
    Watch &w = watchState();
    if (category == w.adaptive.category) {
        if (level == GST_LEVEL_DEBUG && function && std::strcmp(function, "on_download_error") == 0)
            takeDownloadError(object, message);
        // Called only with the download complete (an error goes to on_download_error).
        if (level == GST_LEVEL_DEBUG && function && std::strcmp(function, "on_download_complete") == 0)
            withDemuxer(streamDemuxer(object), [](Watched &entry) { entry.news.segmentDone = true; });
        // The only lines these two have at these levels are the failures' (FailedTransfers).
        if (function && ((level == GST_LEVEL_ERROR && std::strcmp(function, "on_read_ready") == 0)
                         || (level == GST_LEVEL_LOG && std::strcmp(function, "on_request_sent") == 0)))
            transferFailing();
        // Each of these two has one line at this level (QueuedTransfers).
        if (level == GST_LEVEL_LOG && function && std::strcmp(function, "downloadhelper_submit_request") == 0)
            countQueued(1);
        if (level == GST_LEVEL_LOG && function && std::strcmp(function, "submit_transfer") == 0)
            countQueued(-1);
        if (level > w.adaptive.shown)
            return;
    } else if (category == w.hls.category) {
        if (level == GST_LEVEL_INFO && function && std::strcmp(function, "gst_hls_demux_change_playlist") == 0)
            takeVariantChange(object, message);
        if (level == GST_LEVEL_WARNING && function && std::strcmp(function, "download_media_playlist") == 0)
            awaitFailedTransfers();
        if (level > w.hls.shown)
            return;
    }
    if (w.forward)
        gst_debug_log_default(category, level, file, function, line, object, message, nullptr);
}

GstDebugCategory *findCategory(const char *name)
{
    GSList *all = gst_debug_get_all_categories();
    GstDebugCategory *found = nullptr;
    for (GSList *item = all; item && !found; item = item->next) {
        auto *category = static_cast<GstDebugCategory *>(item->data);
        found = std::strcmp(gst_debug_category_get_name(category), name) == 0 ? category : nullptr;
    }
    g_slist_free(all);
    return found;
}

}

void DownloadWatch::install()
{
    static std::once_flag once;
    std::call_once(once, [] {
        // The categories are made with the demuxers' classes, with the thresholds GST_DEBUG gives.
        Watch &w = watchState();
        bool raised = false;
        for (Raised *r : {&w.adaptive, &w.hls}) {
            r->category = findCategory(r->name);
            if (!r->category)
                continue;
            r->shown = gst_debug_category_get_threshold(r->category);
            if (r->shown < r->needed) {
                gst_debug_category_set_threshold(r->category, r->needed);
                raised = true;
            }
        }
        // GStreamer's default output writes to GST_DEBUG_FILE when set, a file we cannot hand it
        // again: there it is left alone, and shows the raised lines as well. Nothing raised (all
        // shown anyway), the default output stays as it is.
        const char *file = std::getenv("GST_DEBUG_FILE");
        w.forward = raised && !(file && *file) && gst_debug_remove_log_function(&gst_debug_log_default) > 0;
        gst_debug_add_log_function(&onLog, nullptr, nullptr);
    });
}

void DownloadWatch::awaitQueuedTransfers()
{
    QueuedTransfers &q = queuedTransfers();
    std::unique_lock lock(q.mutex);
    q.sent.wait_until(lock, q.lastQueued + QueuedTransfers::kWaitBound, [&] { return q.queued == 0; });
}

void DownloadWatch::watch(GstElement *demuxer, Splice *splice)
{
    guardDemuxerErrors(demuxer);
    std::lock_guard lock(watchState().mutex);
    watchState().demuxers.push_back({demuxer, splice, {}});
}

void DownloadWatch::forget(GstElement *demuxer)
{
    std::lock_guard lock(watchState().mutex);
    std::erase_if(watchState().demuxers, [demuxer](const Watched &entry) { return entry.demuxer == demuxer; });
}

DownloadWatch::News DownloadWatch::take(Splice *splice)
{
    std::lock_guard lock(watchState().mutex);
    News news;
    for (Watched &entry : watchState().demuxers) {
        if (entry.splice == splice) {
            news.segmentDone |= std::exchange(entry.news.segmentDone, false);
            news.variantFailed |= std::exchange(entry.news.variantFailed, false);
            news.variantDone |= std::exchange(entry.news.variantDone, false);
        }
    }
    return news;
}

void LocalPipeline::Core::onDownloadFailed(bool variant)
{
    if (!playbin || failed || retry.halted || requested < GST_STATE_PAUSED)
        return;
    const bool flowing = sinksFlowing();
    // Prerolling on part of a segment (the rest cut off), the sinks may wait for data that never
    // comes (a seek's target past what came): a halt waiting for them to play would wait for
    // ever, as the demuxer gives up on a segment cut off after its fourth try. That is as good as
    // nothing below.
    const bool prerolling = !prerolled || seekInFlight;
    const bool emptyBelow = splice.nothingPassed() || (prerolling && !retry.whole);
    const bool userPaused = prerolled && !seekInFlight && !targetPlaying;
    if (!flowing && !emptyBelow && !userPaused) {
        // Prerolling, or paused as buffering: held paused, the sinks hold the streaming threads
        // and a flush kept from them could wait for ever (sinksFlowing). The halt waits until the
        // pipeline plays, which it does now, as buffering means nothing while the site fails.
        retry.haltPending = true;
        retry.pendingVariant = variant;
        if (std::exchange(buffering, false))
            applyState();
        return;
    }
    GstElement *demux = splice.demuxerRef();
    if (!demux)
        return;
    retry.haltPending = false;
    // Whatever a splice under way began is cancelled by the halt: nothing is behind any more.
    splice.unmark();
    splice.outputsBehind = false;
    const guint32 seqnum = gst_util_seqnum_next();
    // While the sinks play, the stream below plays on from what it holds. Otherwise they are
    // flushed too (they held nothing, or the user paused: the stream is sought again from the
    // picture on screen at the resume).
    GstClockTime from = flowing ? splice.mark(seqnum) : GST_CLOCK_TIME_NONE;
    retry.spliced = GST_CLOCK_TIME_IS_VALID(from);
    // Once what is below has played out, the pipeline pauses as buffering (onQueueRanDry): left
    // playing, its clock ran on through the outage and the stream, late by all of it when the
    // site came back, was dropped up to the clock (seconds never shown).
    splice.refilling = retry.spliced;
    splice.queueRanDry = false;
    if (!retry.spliced) {
        splice.unmark();
        from = seekInFlight ? GstClockTime(seekTarget) : prerolled && framePosition >= 0 ? framePosition * GST_MSECOND : 0;
    }
    splice.haltSeqnum = seqnum;
    GstEvent *seek = gst_event_new_seek(demuxRate, GST_FORMAT_TIME, GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                                        GST_SEEK_TYPE_SET, gint64(from), GST_SEEK_TYPE_SET, gint64(from));
    gst_event_set_seqnum(seek, seqnum);
    // Let go now, the demuxer's scheduler thread is back before its own try is due, and the
    // seek waits for it there.
    splice.dealtWithFailure();
    DownloadWatch::awaitQueuedTransfers();
    const bool sent = gst_element_send_event(demux, seek);
    gst_object_unref(demux);
    // A halt fetches nothing to catch up with.
    splice.clearBehind();
    if (!sent) {
        splice.haltSeqnum = GST_SEQNUM_INVALID;
        splice.refilling = false;
        // Unhalted, the demuxer would ask again at once or not at all (it has given up, or will):
        // a failure the model paces, in a new player, rather than silence or a flood.
        toGui([](LocalPipeline *p) { emit p->failed(int(player::Failure::Network), QStringLiteral("the demuxer's download failed and could not be halted")); });
        halt();
        return;
    }
    retry.halted = true;
    retry.whole = false;
    retry.from = from;
    retry.resumeAt = std::chrono::steady_clock::now() + (variant ? retry.variant : retry.segments).next();
}

void LocalPipeline::Core::paceRetries()
{
    if (std::exchange(retry.seekSeen, inFlightSequence) != inFlightSequence)
        retry.whole = false;
    const DownloadWatch::News news = DownloadWatch::take(&splice);
    // What failed has come: the next failure is a new stumble, paced from the start again.
    if (news.segmentDone) {
        retry.segments.restart();
        retry.whole = true;
    }
    if (news.variantDone)
        retry.variant.restart();
    const bool segmentFailed = splice.downloadFailed.exchange(false);
    if (segmentFailed || news.variantFailed)
        onDownloadFailed(!segmentFailed);
    else if (retry.haltPending && sinksFlowing())
        onDownloadFailed(retry.pendingVariant);
    // Halted, held back or not halted at all: the demuxer waits no longer.
    if (segmentFailed)
        splice.dealtWithFailure();
    // A seek or an open has sent the demuxer on.
    retry.heldForPlay = retry.heldForPlay && retry.halted;
    const auto now = std::chrono::steady_clock::now();
    if (retry.halted && targetPlaying && (retry.heldForPlay || now >= retry.resumeAt)) {
        // Held while paused, the user asking to play again starts a new chain.
        if (std::exchange(retry.heldForPlay, false)) {
            retry.segments.restart();
            retry.variant.restart();
        }
        resumeDownloads();
    } else if (retry.halted && !targetPlaying && now >= retry.resumeAt) {
        // Nobody waits for a try while the user has paused: the pipeline's thread sleeps until a
        // command comes (the play that sends it on).
        retry.heldForPlay = true;
        retry.resumeAt = now + std::chrono::hours(1);
    }
}

void LocalPipeline::Core::resumeDownloads()
{
    retry.halted = false;
    // Whichever seek resumes, it stops the demuxer's tasks before returning: nothing of the halt
    // comes after it, and what the demuxer sends or posts from then on is let through.
    const auto resumed = qScopeGuard([this] { splice.haltSeqnum = GST_SEQNUM_INVALID; });
    if (!playbin || failed)
        return;
    // A variant's playlist that failed lifted the pin (takeVariantChange): the demuxer tries the
    // chosen variant again at its next pick.
    applyCap();
    retry.whole = false;
    // What is below was flushed by the halt, or the sinks stopped taking meanwhile: the whole
    // stream is sought again from the picture on screen, as when the user seeks there.
    if (prerolled && !seekInFlight && (!retry.spliced || !sinksFlowing())) {
        seekHere();
        return;
    }
    GstElement *demux = splice.demuxerRef();
    if (!demux)
        return;
    const guint32 seqnum = gst_util_seqnum_next();
    // Outputs that know what they passed take the segment fetched again as a splice does; the
    // others (none passed anything yet) only keep its flushes from going further.
    const GstClockTime from = retry.spliced ? splice.mark(seqnum) : GST_CLOCK_TIME_NONE;
    const bool splicing = GST_CLOCK_TIME_IS_VALID(from);
    GstEvent *seek = gst_event_new_seek(demuxRate, GST_FORMAT_TIME, GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                                        GST_SEEK_TYPE_SET, gint64(splicing ? from : retry.from), GST_SEEK_TYPE_SET,
                                        gint64(GST_CLOCK_TIME_NONE));
    gst_event_set_seqnum(seek, seqnum);
    DownloadWatch::awaitQueuedTransfers();
    const bool sent = gst_element_send_event(demux, seek);
    gst_object_unref(demux);
    if (!sent || !splicing) {
        splice.unmark();
        return;
    }
    splice.outputsBehind = true;
    splice.behindSince = std::chrono::steady_clock::now();
    splice.refilling = true;
    splice.queueRanDry = false;
}


}
