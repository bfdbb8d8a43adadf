#include "pipeline/pipelineretry.h"

#include "pipeline/pipelinecore.h"

#include <QScopeGuard>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

// Pacing a site that answers segments with server errors or drops the connection. GStreamer 1.22.0's adaptive demuxer
// retries a 5xx on a VOD stream after 10 ms, without end and without a word on the bus
// (on_download_error() in gstadaptivedemux-stream.c never counts those failures): a site in
// trouble is asked some 80 times a second until the player's watchdog gives up (a connection
// refused or dropped four times in a row is an ERROR, the play's end). Here each
// failure is noticed from the demuxer's debug log as it happens (DownloadWatch), the demuxer is
// halted, and it is sent on again after a wait that doubles from 0.3 s up to 5 s and starts
// over once a segment comes in.
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

struct Watch
{
    std::mutex mutex;
    std::vector<std::pair<GstElement *, Splice *>> demuxers;
    GstDebugCategory *category = nullptr;
    // What the user asked to see of the category (GST_DEBUG): passed on to GStreamer's own
    // output as before; the rest of its lines, raised for us, go nowhere else.
    GstDebugLevel shown = GST_LEVEL_NONE;
    bool forward = false;
    // Known once the first stream was made.
    std::atomic<GType> streamType{0};
};

Watch &watchState()
{
    static Watch w;
    return w;
}

void takeLine(GObject *object, GstDebugMessage *message)
{
    Watch &w = watchState();
    if (!object)
        return;
    if (!w.streamType)
        w.streamType = g_type_from_name("GstAdaptiveDemux2Stream");
    if (!w.streamType || !g_type_is_a(G_OBJECT_TYPE(object), w.streamType))
        return;
    const gchar *text = gst_debug_message_get(message);
    const char *status = text ? std::strstr(text, "http status ") : nullptr;
    // A client error is the address's fault, and the demuxer gives up on it by itself after a
    // few tries. Anything else is the site stumbling: a server error, or no answer at all (the
    // connection refused or dropped, status 0, or cut off mid-body after a 200).
    if (!status || std::strncmp(text, "Download finished with error", 28) != 0 || std::strtoul(status + 12, nullptr, 10) / 100 == 4)
        return;
    // A stream's first field after its GstObject is its demuxer (GstAdaptiveDemux2Stream,
    // gstadaptivedemux.h, 1.22 up to 1.26): only compared with the demuxers we know, never
    // followed, so a layout of another release finds nothing and the watchdog alone remains.
    const void *demuxer = *reinterpret_cast<void *const *>(reinterpret_cast<const char *>(object) + sizeof(GstObject));
    std::lock_guard lock(w.mutex);
    for (const auto &[element, splice] : w.demuxers) {
        if (element == demuxer) {
            splice->downloadFailed = true;
            splice->inbox->nudge();
        }
    }
}

// GstBin's post_message for the demuxer's class, which postFromDemuxer() stands in front of.
using PostFn = gboolean (*)(GstElement *, GstMessage *);
std::atomic<PostFn> demuxerPost{nullptr};

// An ERROR the demuxer posts about a site that stumbles never goes up. Every bin it passes on its
// way to the bus marks a state change under way as failed, so one posted while the pipeline
// prerolls leaves the playbin short of PAUSED for good, the picture standing on its first
// frame: and a halt before any output exists makes the demuxer post one ("Can't push EOS on
// non-exposed pad"). Errors of the site's are paced as a failed download instead (the demuxer
// gives up on a dropped connection after four tries 10 ms apart, should the halt come later).
gboolean postFromDemuxer(GstElement *element, GstMessage *message)
{
    const GstStructure *details = nullptr;
    guint status = 0;
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR && GST_MESSAGE_SRC(message) == GST_OBJECT(element)) {
        gst_message_parse_error_details(message, &details);
        if (details && gst_structure_get_uint(details, "http-status-code", &status) && status / 100 != 4) {
            Watch &w = watchState();
            std::lock_guard lock(w.mutex);
            for (const auto &[demuxer, splice] : w.demuxers) {
                if (demuxer != element)
                    continue;
                // The halt's own error needs no new halt.
                if (splice->haltSeqnum == GST_SEQNUM_INVALID) {
                    splice->downloadFailed = true;
                    splice->inbox->nudge();
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
    if (category == w.category) {
        if (level == GST_LEVEL_DEBUG && function && std::strcmp(function, "on_download_error") == 0)
            takeLine(object, message);
        if (level > w.shown)
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
        // The category is made with the demuxer's class, with the threshold GST_DEBUG gives it.
        Watch &w = watchState();
        w.category = findCategory("adaptivedemux2");
        if (!w.category)
            return;
        w.shown = gst_debug_category_get_threshold(w.category);
        if (w.shown >= GST_LEVEL_DEBUG) {
            // Shown anyway: GStreamer's own output stays as it is.
            gst_debug_add_log_function(&onLog, nullptr, nullptr);
            return;
        }
        // GStreamer's default output writes to GST_DEBUG_FILE when set, a file we cannot hand it
        // again: there it is left alone, and shows the category's debug lines as well.
        const char *file = std::getenv("GST_DEBUG_FILE");
        w.forward = !(file && *file) && gst_debug_remove_log_function(&gst_debug_log_default) > 0;
        gst_debug_add_log_function(&onLog, nullptr, nullptr);
        gst_debug_category_set_threshold(w.category, GST_LEVEL_DEBUG);
    });
}

void DownloadWatch::watch(GstElement *demuxer, Splice *splice)
{
    guardDemuxerErrors(demuxer);
    std::lock_guard lock(watchState().mutex);
    watchState().demuxers.emplace_back(demuxer, splice);
}

void DownloadWatch::forget(GstElement *demuxer)
{
    std::lock_guard lock(watchState().mutex);
    std::erase_if(watchState().demuxers, [demuxer](const auto &entry) { return entry.first == demuxer; });
}

void LocalPipeline::Core::onDownloadFailed()
{
    if (!playbin || failed || retry.halted || requested < GST_STATE_PAUSED)
        return;
    const bool flowing = sinksFlowing();
    const bool emptyBelow = splice.nothingPassed();
    const bool userPaused = prerolled && !seekInFlight && !targetPlaying;
    if (!flowing && !emptyBelow && !userPaused) {
        // Prerolling, or paused as buffering: held paused, the sinks hold the streaming threads
        // and a flush kept from them could wait for ever (sinksFlowing). The halt waits until the
        // pipeline plays, which it does now, as buffering means nothing while the site fails.
        retry.haltPending = true;
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
    const bool sent = gst_element_send_event(demux, seek);
    gst_object_unref(demux);
    // A halt fetches nothing to catch up with.
    splice.clearBehind();
    if (!sent) {
        splice.haltSeqnum = GST_SEQNUM_INVALID;
        splice.refilling = false;
        return;
    }
    retry.halted = true;
    retry.from = from;
    // The site answered since the last halt: this is a new stumble, paced from the start again.
    if (splice.fetched.exchange(false))
        retry.delay = RetryPacing::kFirst;
    retry.resumeAt = std::chrono::steady_clock::now() + retry.delay;
    retry.delay = std::min(retry.delay * 2, RetryPacing::kLongest);
}

void LocalPipeline::Core::paceRetries()
{
    if (splice.downloadFailed.exchange(false) || (retry.haltPending && sinksFlowing()))
        onDownloadFailed();
    if (retry.halted && std::chrono::steady_clock::now() >= retry.resumeAt)
        resumeDownloads();
}

void LocalPipeline::Core::resumeDownloads()
{
    retry.halted = false;
    // Whichever seek resumes, it stops the demuxer's tasks before returning: nothing of the halt
    // comes after it, and what the demuxer sends or posts from then on is let through.
    const auto resumed = qScopeGuard([this] { splice.haltSeqnum = GST_SEQNUM_INVALID; });
    if (!playbin || failed)
        return;
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
    const bool sent = gst_element_send_event(demux, seek);
    gst_object_unref(demux);
    if (!sent || !splicing) {
        splice.unmark();
        return;
    }
    splice.outputsBehind = true;
    splice.refilling = true;
    splice.queueRanDry = false;
}


}
