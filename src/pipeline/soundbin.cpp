#include "pipeline/soundbin.h"

// A speed change made in place ends with the pipeline handing each sink the moment it takes
// effect, the sound first: playsink adds its sound chain after its picture chain, and a bin
// hands an upstream event to its newest sink first. The sound sink takes it only between two
// writes to its device, and a write waits for room there: on a starved machine the picture went
// on at the old speed for up to 0.6 s meanwhile. Slowing down, the picture then stood still as
// long as it had run ahead. So when the play slows down, the picture sink takes the change before
// the sound does; taking it twice is harmless, as the change is anchored at one running time.
// Speeding up keeps the pipeline's order: a picture already at the new speed would drain what
// the demuxer holds for both while the sound keeps the old one, and the two share one stream.

namespace {

struct TovraSoundBin
{
    GstBin parent;
    GstElement *picture;
    // The speed in force relative to the last flushing seek's, and the change that set it; a
    // change arrives once for each sink that asked for it.
    double multiplier;
    guint32 seqnum;
};

struct TovraSoundBinClass
{
    GstBinClass parent;
};

G_DEFINE_TYPE(TovraSoundBin, tovra_sound_bin, GST_TYPE_BIN)

void forget(TovraSoundBin *self)
{
    GST_OBJECT_LOCK(self);
    self->multiplier = 1.0;
    self->seqnum = GST_SEQNUM_INVALID;
    GST_OBJECT_UNLOCK(self);
}

gboolean sendEvent(GstElement *element, GstEvent *event)
{
    auto *self = reinterpret_cast<TovraSoundBin *>(element);
    if (GST_EVENT_TYPE(event) == GST_EVENT_INSTANT_RATE_SYNC_TIME) {
        double multiplier = 1.0;
        gst_event_parse_instant_rate_sync_time(event, &multiplier, nullptr, nullptr);
        const guint32 seqnum = gst_event_get_seqnum(event);
        GST_OBJECT_LOCK(self);
        const bool again = seqnum == self->seqnum;
        const bool slower = multiplier < self->multiplier;
        self->seqnum = seqnum;
        self->multiplier = multiplier;
        GST_OBJECT_UNLOCK(self);
        if (again) {
            gst_event_unref(event);
            return TRUE;
        }
        if (slower)
            gst_element_send_event(self->picture, gst_event_ref(event));
    }
    return GST_ELEMENT_CLASS(tovra_sound_bin_parent_class)->send_event(element, event);
}

GstStateChangeReturn changeState(GstElement *element, GstStateChange transition)
{
    if (transition == GST_STATE_CHANGE_PAUSED_TO_READY)
        forget(reinterpret_cast<TovraSoundBin *>(element));
    return GST_ELEMENT_CLASS(tovra_sound_bin_parent_class)->change_state(element, transition);
}

void dispose(GObject *object)
{
    auto *self = reinterpret_cast<TovraSoundBin *>(object);
    gst_clear_object(&self->picture);
    G_OBJECT_CLASS(tovra_sound_bin_parent_class)->dispose(object);
}

void tovra_sound_bin_class_init(TovraSoundBinClass *cls)
{
    G_OBJECT_CLASS(cls)->dispose = dispose;
    GST_ELEMENT_CLASS(cls)->send_event = sendEvent;
    GST_ELEMENT_CLASS(cls)->change_state = changeState;
}

void tovra_sound_bin_init(TovraSoundBin *self)
{
    self->picture = nullptr;
    self->multiplier = 1.0;
    self->seqnum = GST_SEQNUM_INVALID;
}

} // namespace

namespace tovra {

GstElement *makeSoundBin(GstElement *sink, GstElement *pictureSink)
{
    auto *self = static_cast<TovraSoundBin *>(g_object_new(tovra_sound_bin_get_type(), "name", "sound", nullptr));
    self->picture = GST_ELEMENT(gst_object_ref(pictureSink));
    gst_bin_add(GST_BIN(self), sink);
    GstPad *target = gst_element_get_static_pad(sink, "sink");
    GstPad *pad = gst_ghost_pad_new("sink", target);
    gst_object_unref(target);
    // A flushing seek that resets the time starts the sinks again at the seek's own speed.
    gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_EVENT_FLUSH, [](GstPad *, GstPadProbeInfo *info, gpointer data) {
                          GstEvent *event = GST_PAD_PROBE_INFO_EVENT(info);
                          gboolean resetTime = FALSE;
                          if (GST_EVENT_TYPE(event) == GST_EVENT_FLUSH_STOP) {
                              gst_event_parse_flush_stop(event, &resetTime);
                              if (resetTime)
                                  forget(static_cast<TovraSoundBin *>(data));
                          }
                          return GST_PAD_PROBE_OK;
                      },
                      self, nullptr);
    gst_element_add_pad(GST_ELEMENT(self), pad);
    return GST_ELEMENT(self);
}

}
