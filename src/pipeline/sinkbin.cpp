#include "pipeline/sinkbin.h"

#include <gst/audio/gstaudiobasesink.h>

#include <utility>

// A speed change made in place ends with the pipeline handing each sink the moment it takes
// effect (an instant-rate-sync-time event), on the thread that sent the change down: the
// demuxer's, which holds its scheduler lock meanwhile, so it fetches and parses nothing. The sound
// sink takes the change only between two writes to its device, and a write waits for room there:
// on a starved machine, or while the device wakes, for up to a second or more. Handed out as the
// pipeline does, the demuxer stood that long (the picture running dry), and the picture sink, asked
// after the sound one, went on at the old speed meanwhile; slowing down, it then stood as long as it
// had run ahead.
//
// So both sinks sit in bins of ours. The sound bin is asked first (playsink adds its sound chain
// after its picture chain, and a bin asks its newest sink first): it hands the change to the sound
// sink on a thread of its own, in order, and the demuxer goes on at once. The picture sink takes
// the change at once: the sound sink's wait holds nothing else back (a queue ahead of it takes the
// stream meanwhile, makeSoundBin), and a picture that waited for it ran on at the old speed, then
// jumped ahead by what it had missed (0.5-0.7 s, playing again at 1.25x as the device woke). The
// picture bin then lets the pipeline's own hand-out of a change the sound bin has taken go.

namespace {

struct TovraSinkBin
{
    GstBin parent;
    GstElement *sink;

    // The sound bin's: the picture bin, and the last change handed out (the pipeline hands a
    // change out once for each sink that asked).
    TovraSinkBin *picture;
    guint32 seqnum;
    // Changes still to hand to the sound sink, oldest first, and whether a call is handing them
    // out (under jobsLock; `settled` is signalled when both are done). `handing` is the change the
    // sound sink is taking at the moment, if any.
    GQueue jobs;
    bool running;
    bool handing;
    GMutex jobsLock;
    GCond settled;

    // The picture bin's: the newest change the sound bin has taken, which the picture sink takes
    // from it; and whether the picture has reached its end since the last flush (atomic).
    guint32 claimed;
    gint ended;
};

struct TovraSinkBinClass
{
    GstBinClass parent;
};

G_DEFINE_TYPE(TovraSinkBin, tovra_sink_bin, GST_TYPE_BIN)

TovraSinkBin *sinkBin(gpointer p)
{
    return reinterpret_cast<TovraSinkBin *>(p);
}

// How long a seek waits for the sound sink to take the speed changes handed out before it: a
// device that takes sound late holds them for as long as it does (a second or more while it wakes,
// for ever from a stalled sound server), and the flush that would free the sink comes only after.
constexpr gint64 kSettleWaitUs = 150 * G_TIME_SPAN_MILLISECOND;
// Once the flush has let go of the sound sink's write, the change it was waiting to take needs only
// the sink's lock, a moment: the flush's end waits for it, since one taken after it retimes the
// seek's segment (the picture then stands). The bound is for a sink that never lets go (a sound
// server that stopped answering, which holds the flush's start anyway); should the change land
// after all, the picture standing is mended like any stand (LocalPipeline::watchStand).
constexpr gint64 kFlushHandOutWaitUs = G_TIME_SPAN_SECOND;

// Hands a speed change to a sink (or to the sinks inside a bin, as the desktop's sound sink is)
// as the pipeline does, less the element's state lock that gst_element_send_event() takes: a seek
// holds the sinks' state locks while its flush goes down, so a change handed out from here as it
// started would wait for the seek and land after its flush, retiming the seek's segment. A base
// sink takes a change under its own preroll lock.
void take(GstElement *sink, GstEvent *event)
{
    if (!GST_IS_BIN(sink)) {
        GST_ELEMENT_GET_CLASS(sink)->send_event(sink, event);
        return;
    }
    GstIterator *sinks = gst_bin_iterate_sinks(GST_BIN(sink));
    GValue child = G_VALUE_INIT;
    while (gst_iterator_next(sinks, &child) == GST_ITERATOR_OK) {
        take(GST_ELEMENT(g_value_get_object(&child)), gst_event_ref(event));
        g_value_reset(&child);
    }
    g_value_unset(&child);
    gst_iterator_free(sinks);
    gst_event_unref(event);
}

void handOut(GstElement *element, gpointer)
{
    TovraSinkBin *self = sinkBin(element);
    for (;;) {
        g_mutex_lock(&self->jobsLock);
        auto *event = static_cast<GstEvent *>(g_queue_pop_head(&self->jobs));
        if (!event) {
            self->running = false;
            g_cond_broadcast(&self->settled);
            g_mutex_unlock(&self->jobsLock);
            return;
        }
        self->handing = true;
        g_mutex_unlock(&self->jobsLock);
        take(self->sink, event);
        g_mutex_lock(&self->jobsLock);
        self->handing = false;
        g_cond_broadcast(&self->settled);
        g_mutex_unlock(&self->jobsLock);
    }
}

// What is still to be handed out belongs to the segment a flush ends: it must not reach the next.
void dropOwed(TovraSinkBin *self)
{
    g_mutex_lock(&self->jobsLock);
    g_queue_clear_full(&self->jobs, reinterpret_cast<GDestroyNotify>(gst_event_unref));
    g_mutex_unlock(&self->jobsLock);
}

// Waits, at most until `deadline` (monotonic microseconds), for the change the sound sink is
// taking to be taken, and for the rest too if `all`.
void waitForHandOut(TovraSinkBin *self, gint64 deadline, bool all)
{
    g_mutex_lock(&self->jobsLock);
    while ((all ? self->running : self->handing) && g_cond_wait_until(&self->settled, &self->jobsLock, deadline)) {
    }
    g_mutex_unlock(&self->jobsLock);
}

void forget(TovraSinkBin *self)
{
    GST_OBJECT_LOCK(self);
    self->seqnum = GST_SEQNUM_INVALID;
    GST_OBJECT_UNLOCK(self);
}

gboolean sendEvent(GstElement *element, GstEvent *event)
{
    TovraSinkBin *self = sinkBin(element);
    if (GST_EVENT_TYPE(event) != GST_EVENT_INSTANT_RATE_SYNC_TIME)
        return GST_ELEMENT_CLASS(tovra_sink_bin_parent_class)->send_event(element, event);
    const guint32 seqnum = gst_event_get_seqnum(event);
    if (!self->picture) {
        GST_OBJECT_LOCK(self);
        const bool taken = self->claimed != GST_SEQNUM_INVALID && gst_util_seqnum_compare(seqnum, self->claimed) <= 0;
        GST_OBJECT_UNLOCK(self);
        if (taken) {
            gst_event_unref(event);
            return TRUE;
        }
        return GST_ELEMENT_CLASS(tovra_sink_bin_parent_class)->send_event(element, event);
    }
    GST_OBJECT_LOCK(self);
    const bool again = seqnum == std::exchange(self->seqnum, seqnum);
    GST_OBJECT_UNLOCK(self);
    if (again) {
        gst_event_unref(event);
        return TRUE;
    }
    GST_OBJECT_LOCK(self->picture);
    self->picture->claimed = seqnum;
    GST_OBJECT_UNLOCK(self->picture);
    take(self->picture->sink, gst_event_ref(event));
    g_mutex_lock(&self->jobsLock);
    g_queue_push_tail(&self->jobs, event);
    const bool start = !std::exchange(self->running, true);
    g_mutex_unlock(&self->jobsLock);
    if (start)
        gst_element_call_async(element, handOut, nullptr, nullptr);
    return TRUE;
}

GstStateChangeReturn changeState(GstElement *element, GstStateChange transition)
{
    if (transition == GST_STATE_CHANGE_PAUSED_TO_READY)
        forget(sinkBin(element));
    return GST_ELEMENT_CLASS(tovra_sink_bin_parent_class)->change_state(element, transition);
}

void dispose(GObject *object)
{
    TovraSinkBin *self = sinkBin(object);
    gst_clear_object(&self->picture);
    G_OBJECT_CLASS(tovra_sink_bin_parent_class)->dispose(object);
}

void finalize(GObject *object)
{
    TovraSinkBin *self = sinkBin(object);
    g_mutex_clear(&self->jobsLock);
    g_cond_clear(&self->settled);
    G_OBJECT_CLASS(tovra_sink_bin_parent_class)->finalize(object);
}

void tovra_sink_bin_class_init(TovraSinkBinClass *cls)
{
    G_OBJECT_CLASS(cls)->dispose = dispose;
    G_OBJECT_CLASS(cls)->finalize = finalize;
    GST_ELEMENT_CLASS(cls)->send_event = sendEvent;
    GST_ELEMENT_CLASS(cls)->change_state = changeState;
}

void tovra_sink_bin_init(TovraSinkBin *self)
{
    self->sink = nullptr;
    self->picture = nullptr;
    self->seqnum = GST_SEQNUM_INVALID;
    g_queue_init(&self->jobs);
    self->running = false;
    self->handing = false;
    g_mutex_init(&self->jobsLock);
    g_cond_init(&self->settled);
    self->claimed = GST_SEQNUM_INVALID;
    self->ended = 0;
}

// `front`, if any, takes the stream ahead of the sink.
GstElement *wrap(GstElement *sink, const char *name, GstElement *front = nullptr)
{
    TovraSinkBin *self = sinkBin(g_object_new(tovra_sink_bin_get_type(), "name", name, nullptr));
    self->sink = sink;
    gst_bin_add(GST_BIN(self), sink);
    if (front) {
        gst_bin_add(GST_BIN(self), front);
        gst_element_link(front, sink);
    }
    GstPad *target = gst_element_get_static_pad(front ? front : sink, "sink");
    gst_element_add_pad(GST_ELEMENT(self), gst_ghost_pad_new("sink", target));
    gst_object_unref(target);
    return GST_ELEMENT(self);
}

} // namespace

namespace tovra {

GstElement *makePictureBin(GstElement *sink)
{
    GstElement *element = wrap(sink, "picture");
    GstPad *pad = gst_element_get_static_pad(element, "sink");
    gst_pad_add_probe(pad, GstPadProbeType(GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM | GST_PAD_PROBE_TYPE_EVENT_FLUSH),
                      [](GstPad *, GstPadProbeInfo *info, gpointer data) {
                          const GstEventType type = GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info));
                          if (type == GST_EVENT_EOS || type == GST_EVENT_FLUSH_STOP || type == GST_EVENT_STREAM_START)
                              g_atomic_int_set(&sinkBin(data)->ended, type == GST_EVENT_EOS);
                          return GST_PAD_PROBE_OK;
                      },
                      element, nullptr);
    gst_object_unref(pad);
    return element;
}

GstElement *makeSoundBin(GstElement *sink, GstElement *pictureBin)
{
    // A sound device waking from suspended takes nothing for a second or two (longer on a busy
    // machine). Meanwhile the sound sink's write waits, and the stream backs up to the demuxer,
    // which pushes sound and picture from one thread: the picture ran dry and stood 0.2-0.4 s at
    // 1.47 s on first plays, plays again after the end and new sound streams. The sound is slaved
    // to the machine's clock, so what came due before the device ran is skipped anyway: a queue
    // takes it instead, and lets the oldest go should the device take longer still (a sound server
    // that stopped answering). It holds well over what the demuxer lets the sound run ahead of the
    // picture, so nothing is let go while the device runs or while paused.
    GstElement *queue = gst_element_factory_make("queue", "sound-wait");
    g_object_set(queue, "max-size-buffers", 0u, "max-size-bytes", 0u, "max-size-time", guint64(3 * GST_SECOND), "leaky", 2, "silent", TRUE, nullptr);
    GstElement *element = wrap(sink, "sound", queue);
    TovraSinkBin *self = sinkBin(element);
    self->picture = sinkBin(gst_object_ref(pictureBin));
    // A flushing seek that resets the time starts the sinks again at the seek's own speed. A seek
    // that did not wait for every change to be taken (settleSpeedChanges) drops the rest as its
    // flush starts (it reaches every sink before any flush ends). The flush's end waits for the one
    // the sound sink is taking (kFlushHandOutWaitUs): the flush has let go of the sink's write, so
    // that is a moment, and the sink forgets it with the flush. Taken after, it would retime the
    // seek's segment.
    GstPad *pad = gst_element_get_static_pad(element, "sink");
    gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_EVENT_FLUSH, [](GstPad *, GstPadProbeInfo *info, gpointer data) {
                          GstEvent *event = GST_PAD_PROBE_INFO_EVENT(info);
                          TovraSinkBin *self = sinkBin(data);
                          gboolean resetTime = FALSE;
                          if (GST_EVENT_TYPE(event) == GST_EVENT_FLUSH_START)
                              dropOwed(self);
                          if (GST_EVENT_TYPE(event) == GST_EVENT_FLUSH_STOP) {
                              gst_event_parse_flush_stop(event, &resetTime);
                              if (resetTime) {
                                  waitForHandOut(self, g_get_monotonic_time() + kFlushHandOutWaitUs, false);
                                  forget(self);
                              }
                          }
                          return GST_PAD_PROBE_OK;
                      },
                      self, nullptr);
    // The play ends with its picture, and the pipeline pauses there. The sound track's own end
    // may come later (the HLS demuxer can hold it back) and the desktop's sound sink, handed an
    // end or an endless gap, starts its stream to play out what it holds, paused or not:
    // PulseAudio's then ran on with nothing to play, its device never let sleep, until the player
    // closed. Once the picture has ended, the sound's end goes no further.
    gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, [](GstPad *, GstPadProbeInfo *info, gpointer data) {
                          GstEvent *event = GST_PAD_PROBE_INFO_EVENT(info);
                          GstClockTime duration = 0;
                          if (GST_EVENT_TYPE(event) == GST_EVENT_GAP)
                              gst_event_parse_gap(event, nullptr, &duration);
                          const bool end = GST_EVENT_TYPE(event) == GST_EVENT_EOS || duration == GST_CLOCK_TIME_NONE;
                          return end && g_atomic_int_get(&sinkBin(data)->picture->ended) ? GST_PAD_PROBE_DROP : GST_PAD_PROBE_OK;
                      },
                      self, nullptr);
    gst_object_unref(pad);
    return element;
}

void settleSpeedChanges(GstElement *soundBin)
{
    waitForHandOut(sinkBin(soundBin), g_get_monotonic_time() + kSettleWaitUs, true);
}

GstElement *audioSinkIn(GstElement *soundBin)
{
    GstIterator *it = gst_bin_iterate_recurse(GST_BIN(soundBin));
    GValue item = G_VALUE_INIT;
    GstElement *found = nullptr;
    while (!found && gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
        if (auto *element = GST_ELEMENT(g_value_get_object(&item)); GST_IS_AUDIO_BASE_SINK(element))
            found = GST_ELEMENT(gst_object_ref(element));
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(it);
    return found;
}

bool soundClockLost(GstElement *audioSink, GstClockTime lived)
{
    GstClock *clock = GST_AUDIO_BASE_SINK(audioSink)->provided_clock;
    // The stream's own reading: the clock's time as GStreamer hands it on is kept from going back,
    // and would hold a wrong reading too.
    const GstClockTime time = clock && GST_IS_AUDIO_CLOCK(clock) ? gst_audio_clock_get_time(GST_AUDIO_CLOCK(clock)) : GST_CLOCK_TIME_NONE;
    return GST_CLOCK_TIME_IS_VALID(time) && time > lived;
}

void renewSoundStream(GstElement *audioSink)
{
    // Ready lets the stream go; back with its bin, the sink's pad asks for the stream's format
    // again and the next sample opens a new stream.
    gst_element_set_state(audioSink, GST_STATE_READY);
    gst_element_sync_state_with_parent(audioSink);
}

}
