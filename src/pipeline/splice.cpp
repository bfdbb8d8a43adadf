#include "pipeline/splice.h"

#include "pipeline/pipelinecore.h"
#include "pipeline/pipelineretry.h"

#include <algorithm>

// A quality chosen while playing. A flushing seek through the pipeline restarts every sink, and
// the sound server takes the better part of 100 ms to start a stream again. The demuxer alone is
// asked instead to fetch again from what it last handed down: the segment there comes once more
// at the quality it had (the demuxer picks the next one's as each arrives), and it is dropped up
// to where the stream left off, so the decoders and sinks below take it as one stream with a
// quality change in it, as when 自动 makes one.
//
// A splice, in order:
//  1. Core::startSplice (pipeline's thread): every output is tagged with a fresh seqnum and
//     marked behind; a flushing seek with that seqnum goes to the demuxer alone, to the earliest
//     stream time any output last passed. Splice::refilling and outputsBehind are set.
//  2. The demuxer flushes its outputs: DemuxOutput::probe drops FLUSH_START/STOP of that seqnum,
//     so nothing below the demuxer is flushed and the sinks play on from their queues.
//  3. Only if the segment fetched again is at another quality than what the output last passed
//     (the demuxer had moved on to another variant, or the cap moved it), CAPS come next, before
//     the SEGMENT: the output is requalified.
//  4. The demuxer sends a SEGMENT of that seqnum, its running time starting again at 0: the probe
//     works out the offset that makes it continue the old running time, moves this and every
//     later segment (and the sinks' QOS events going up) by it, and starts dropping unless the
//     output was requalified (then everything passes: the decoders need the key frame, decode
//     from it and clip what comes before the segment's start, and the output has caught up).
//  5. Buffers up to the last one passed before the splice are dropped; the first one past it
//     ends the dropping (its DISCONT cleared, as the stream below never broke). So do new caps
//     or EOS. The output has caught up: DemuxOutput::caughtUp nudges the pipeline's thread.
//  6. Core::onOutputCaughtUp: once no output is behind, a seek asked for meanwhile goes ahead.
//  7. Meanwhile the demuxer buffers from nothing. If the queue before the decoders runs dry
//     before it has (Core::onQueueRanDry), the pipeline pauses as buffering until the demuxer
//     reports 100 %; a BUFFERING of 100 % before that ends the watch (Core::handle).
// Paused, the sinks hold the streaming threads, which a flush must reach: the seek goes through
// the whole pipeline then (Core::seekHere).

namespace tovra {

namespace {

void watchOutput(GstElement *, GstPad *pad, gpointer data)
{
    if (GST_PAD_DIRECTION(pad) != GST_PAD_SRC)
        return;
    auto *splice = static_cast<Splice *>(data);
    auto out = std::make_shared<DemuxOutput>();
    out->splice = splice;
    out->pad = pad;
    {
        std::lock_guard lock(splice->outputMutex);
        splice->outputs.push_back(out);
    }
    const auto types = GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM | GST_PAD_PROBE_TYPE_EVENT_FLUSH
                                       | GST_PAD_PROBE_TYPE_EVENT_UPSTREAM);
    gst_pad_add_probe(pad, types, &DemuxOutput::probe, new std::shared_ptr<DemuxOutput>(std::move(out)),
                      [](gpointer p) { delete static_cast<std::shared_ptr<DemuxOutput> *>(p); });
}

void forgetOutput(GstElement *, GstPad *pad, gpointer data)
{
    auto *splice = static_cast<Splice *>(data);
    std::lock_guard lock(splice->outputMutex);
    std::erase_if(splice->outputs, [pad](const auto &out) { return out->pad == pad; });
}

}

void DemuxOutput::restart()
{
    flushed = requalified = passing = false;
    hasSegment = false;
    last = GST_CLOCK_TIME_NONE;
    offset = 0;
    dropping = false;
    ended = false;
    caughtUp();
}

void DemuxOutput::caughtUp()
{
    if (!std::exchange(behind, false))
        return;
    splice->outputCaughtUp = true;
    splice->inbox->nudge();
}

GstPadProbeReturn DemuxOutput::probe(GstPad *, GstPadProbeInfo *info, gpointer data)
{
    DemuxOutput &out = **static_cast<std::shared_ptr<DemuxOutput> *>(data);
    std::lock_guard lock(out.splice->outputMutex);
    if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_BUFFER) {
        GstBuffer *buffer = GST_PAD_PROBE_INFO_BUFFER(info);
        const GstClockTime at = GST_BUFFER_DTS_OR_PTS(buffer);
        if (out.dropping) {
            // Sent again after a splice: what already went down, up to the last buffer passed
            // (half a buffer's grace, should the demuxer place the segment a hair apart).
            if (GST_CLOCK_TIME_IS_VALID(at) && at <= out.last + out.length / 2)
                return GST_PAD_PROBE_DROP;
            out.dropping = false;
            out.caughtUp();
            if (GST_BUFFER_IS_DISCONT(buffer)) {
                buffer = gst_buffer_make_writable(buffer);
                GST_BUFFER_FLAG_UNSET(buffer, GST_BUFFER_FLAG_DISCONT);
                GST_PAD_PROBE_INFO_DATA(info) = buffer;
            }
        }
        if (std::exchange(out.passing, false))
            out.caughtUp();
        if (GST_CLOCK_TIME_IS_VALID(at)) {
            out.last = at;
            out.length = GST_BUFFER_DURATION_IS_VALID(buffer) ? GST_BUFFER_DURATION(buffer) : 0;
        }
        return GST_PAD_PROBE_OK;
    }
    GstEvent *event = GST_PAD_PROBE_INFO_EVENT(info);
    const guint32 seqnum = gst_event_get_seqnum(event);
    // A halt (pipelineretry.cpp) ends the demuxer's streams where they are: nothing below takes
    // that end; its flushes stop here too while the sinks play (Splice::mark).
    if (seqnum == out.splice->haltSeqnum && (GST_EVENT_TYPE(event) == GST_EVENT_SEGMENT || GST_EVENT_TYPE(event) == GST_EVENT_EOS))
        return GST_PAD_PROBE_DROP;
    switch (GST_EVENT_TYPE(event)) {
    case GST_EVENT_FLUSH_START:
        return seqnum == out.seqnum ? GST_PAD_PROBE_DROP : GST_PAD_PROBE_OK;
    case GST_EVENT_FLUSH_STOP:
        if (seqnum == out.seqnum) {
            out.flushed = true;
            out.requalified = false;
            return GST_PAD_PROBE_DROP;
        }
        out.restart();
        break;
    case GST_EVENT_SEGMENT: {
        GstSegment segment;
        gst_event_copy_segment(event, &segment);
        if (segment.format != GST_FORMAT_TIME)
            break;
        if (seqnum == out.seqnum) {
            // The demuxer starts its running time again; downstream it runs on from the old one.
            out.seqnum = GST_SEQNUM_INVALID;
            const guint64 was = out.hasSegment ? gst_segment_to_running_time(&out.segment, GST_FORMAT_TIME, segment.start) : GST_CLOCK_TIME_NONE;
            const guint64 now = gst_segment_to_running_time(&segment, GST_FORMAT_TIME, segment.start);
            if (GST_CLOCK_TIME_IS_VALID(was) && GST_CLOCK_TIME_IS_VALID(now)) {
                out.offset = gint64(was) - gint64(now);
                out.dropping = GST_CLOCK_TIME_IS_VALID(out.last) && !out.requalified;
            }
            out.flushed = out.requalified = false;
            // At another quality, everything passes: the decoders take the segment from its key
            // frame and clip what comes before the segment's start, where the old one left off.
            // The output has caught up once its first buffer is through, not at the segment: a
            // seek let go earlier can meet the fetch the splice began still starting, which
            // GStreamer 1.22.0's demuxer does not survive (see Core::maySeekNow).
            out.passing = !out.dropping;
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
        out.caughtUp();
        break;
    case GST_EVENT_CAPS: {
        GstCaps *caps = nullptr;
        gst_event_parse_caps(event, &caps);
        // The segment sent again is at another quality after all (the demuxer moved on before
        // the seek reached it): its pictures need their key frame, so nothing more is dropped.
        // After a flush the demuxer sends caps before the segment, and only when they changed.
        const bool changed = out.caps && !gst_caps_is_equal(caps, out.caps);
        if (out.flushed && changed) {
            out.requalified = true;
            out.splice->lateReportsHeldUntil = g_get_monotonic_time() + Splice::kLateReportsHeldUs;
        }
        if (out.dropping && changed) {
            out.dropping = false;
            out.caughtUp();
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

GstElement *Splice::demuxerRef()
{
    std::lock_guard lock(demuxMutex);
    return demuxer ? GST_ELEMENT(gst_object_ref(demuxer)) : nullptr;
}

void Splice::adopt(GstElement *element)
{
    {
        std::lock_guard lock(outputMutex);
        outputs.clear();
    }
    g_signal_connect(element, "pad-added", G_CALLBACK(&watchOutput), this);
    g_signal_connect(element, "pad-removed", G_CALLBACK(&forgetOutput), this);
    DownloadWatch::install();
    DownloadWatch::watch(element, this);
    std::lock_guard lock(demuxMutex);
    if (demuxer) {
        DownloadWatch::forget(demuxer);
        gst_object_unref(demuxer);
    }
    demuxer = GST_ELEMENT(gst_object_ref(element));
}

void Splice::release()
{
    {
        std::lock_guard lock(outputMutex);
        outputs.clear();
    }
    std::lock_guard lock(demuxMutex);
    if (demuxer) {
        DownloadWatch::forget(demuxer);
        gst_object_unref(demuxer);
    }
    demuxer = nullptr;
}

namespace {

bool knowsPosition(const std::vector<std::shared_ptr<DemuxOutput>> &outputs)
{
    return !outputs.empty() && std::ranges::all_of(outputs, [](const auto &out) {
        return out->hasSegment && !out->ended && GST_CLOCK_TIME_IS_VALID(out->last);
    });
}

GstClockTime earliest(const std::vector<std::shared_ptr<DemuxOutput>> &outputs)
{
    // The demuxer is sought in stream time; what it sends is timed in its own.
    GstClockTime from = GST_CLOCK_TIME_NONE;
    for (const auto &out : outputs)
        from = std::min(from, gst_segment_to_stream_time(&out->segment, GST_FORMAT_TIME, out->last));
    return from;
}

}

GstClockTime Splice::position()
{
    std::lock_guard lock(outputMutex);
    return knowsPosition(outputs) ? earliest(outputs) : GST_CLOCK_TIME_NONE;
}

GstClockTime Splice::mark(guint32 seqnum)
{
    std::lock_guard lock(outputMutex);
    const bool known = knowsPosition(outputs);
    for (const auto &out : outputs) {
        out->seqnum = seqnum;
        out->behind = known;
    }
    return known ? earliest(outputs) : GST_CLOCK_TIME_NONE;
}

void Splice::unmark()
{
    std::lock_guard lock(outputMutex);
    for (const auto &out : outputs) {
        out->seqnum = GST_SEQNUM_INVALID;
        out->behind = false;
    }
}

void Splice::clearBehind()
{
    std::lock_guard lock(outputMutex);
    for (const auto &out : outputs)
        out->behind = false;
}

bool Splice::nothingPassed()
{
    std::lock_guard lock(outputMutex);
    return std::ranges::none_of(outputs, [](const auto &out) { return GST_CLOCK_TIME_IS_VALID(out->last); });
}

bool Splice::anyBehind()
{
    std::lock_guard lock(outputMutex);
    return std::ranges::any_of(outputs, [](const auto &out) { return out->behind; });
}

void LocalPipeline::Core::applyCap()
{
    // A chosen quality is pinned, not only capped: with the cap alone the demuxer still moves
    // beneath it on every low sample of the line, each move a switch the user never asked for.
    // 自动 clears both.
    const guint cap = guint(std::min<quint64>(maxBitrate, G_MAXUINT));
    std::lock_guard lock(splice.demuxMutex);
    if (splice.demuxer)
        g_object_set(splice.demuxer, "max-bitrate", cap, "min-bitrate", cap, nullptr);
}

bool Splice::holdsSeeks()
{
    if (outputsBehind && std::chrono::steady_clock::now() - behindSince >= kSeekWaitLimit) {
        unmark();
        outputsBehind = false;
    }
    return outputsBehind;
}

bool LocalPipeline::Core::sinksFlowing() const
{
    // Paused, the sinks hold the streaming threads: the demuxer's output task can sit in a push
    // that only a flush reaching them ends, and the demuxer's seek waits for that task to stop.
    GstState state = GST_STATE_NULL;
    return playbin && !failed && prerolled && !seekInFlight && !pauseHeld && !buffering && requested == GST_STATE_PLAYING
           && gst_element_get_state(playbin, &state, nullptr, 0) == GST_STATE_CHANGE_SUCCESS && state == GST_STATE_PLAYING;
}

bool LocalPipeline::Core::startSplice()
{
    if (splice.holdsSeeks() || pendingSeek || atEnd || retry.halted || rate != 1.0 || ratePending || !sinksFlowing())
        return false;
    GstElement *demux = splice.demuxerRef();
    if (!demux)
        return false;
    const guint32 seqnum = gst_util_seqnum_next();
    const GstClockTime from = splice.mark(seqnum);
    bool done = false;
    if (GST_CLOCK_TIME_IS_VALID(from)) {
        GstEvent *seek = gst_event_new_seek(demuxRate, GST_FORMAT_TIME, GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                                            GST_SEEK_TYPE_SET, gint64(from), GST_SEEK_TYPE_SET, gint64(GST_CLOCK_TIME_NONE));
        gst_event_set_seqnum(seek, seqnum);
        DownloadWatch::awaitQueuedTransfers();
        done = gst_element_send_event(demux, seek);
    }
    gst_object_unref(demux);
    if (!done) {
        splice.unmark();
        return false;
    }
    splice.outputsBehind = true;
    splice.behindSince = std::chrono::steady_clock::now();
    splice.refilling = true;
    splice.queueRanDry = false;
    return true;
}

void LocalPipeline::Core::startPendingSplice()
{
    if (!splicePending)
        return;
    if (atEnd || failed || !targetPlaying)
        splicePending = false;
    else if (startSplice())
        splicePending = false;
}

void LocalPipeline::Core::onQueueRanDry()
{
    // The decoders hold a few pictures back until more comes in, and the sinks take each buffer
    // only when it is due: once the queue before the decoders is empty, what was loaded below the
    // demuxer is all but played, and paused now nothing comes too late to be shown.
    // A seek's flush empties the queue too, before the target has come: no news of the stream.
    if (!splice.refilling || !playbin || seekInFlight)
        return;
    splice.refilling = false;
    buffering = true;
    applyState();
    toGui([](LocalPipeline *p) { emit p->buffering(0); });
}

void LocalPipeline::Core::onOutputCaughtUp()
{
    if (splice.anyBehind())
        return;
    splice.outputsBehind = false;
    if (maySeekNow() && pendingSeek)
        doSeek();
}

}
