#include "pipeline/pipelinecore.h"

#include <thread>

// Letting go of a pipeline, in a process that goes on after it: the tests' and benchmarks'
// players served in their own process (InProcessPlayer), and bench_start's pipelines. The player
// process never comes here: it ends on the link closing, and the kernel frees what the pipeline
// held. What is below is what made letting go safe and complete in a process that runs many
// plays; none of it is needed where the process ends.

namespace tovra {

namespace {

// Letting go of a pipeline with a download in flight. In GStreamer 1.22.0 the demuxer's PAUSED to
// READY calls downloadhelper_stop(), which cancels each transfer in flight and at once quits and
// joins the download thread, then hands the transfers back and frees them: the cancellations,
// which libsoup completes on that thread's main context, are never run. The HTTP session keeps
// them, and when the demuxer is finalized its session completes them into transfers already
// freed: the crash inside libsoup. No release up to 1.22.12 changes this order (later fixes in
// downloadhelper.c: "Do not submit_transfer when cancelled", 1.22.7; "Ensure all download tasks
// call g_task_return_*()", 1.27.1). So nothing may be in flight when the demuxer stops: first it
// is asked to select no stream, which stops each of its streams the way a seek does
// (downloadhelper_cancel_request() with the download thread still running, so libsoup completes
// every cancellation there), and it fetches nothing more; a moment later it is stopped with no
// transfer left. The line is free within that moment, instead of after the segment in flight
// came in whole.
constexpr std::chrono::milliseconds kCancelSettle{200};

}

void LocalPipeline::Core::teardown()
{
    if (!playbin)
        return;
    published = nullptr;
    // GStreamer 1.22's playsink keeps a reference to the software volume it makes when the sound
    // sink has none of its own (no sound server): upstream "playsink: Fix volume leak" (1.24).
    // The volume is in the bin only while the sound chain is, which leaves on the way to READY,
    // so it is taken now and let go by hand once the pipeline is freed; drop this with a
    // GStreamer that has the fix.
    GstElement *volume = gst_bin_get_by_name(GST_BIN(playbin), "volume");
    // Paused first: the sound stops now rather than with the rest.
    gst_element_set_state(playbin, GST_STATE_PAUSED);
    if (stopDownloads())
        std::this_thread::sleep_for(kCancelSettle);
    gst_element_set_state(playbin, GST_STATE_NULL);
    gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
    {
        std::lock_guard lock(inbox.mutex);
        for (GstMessage *message : inbox.messages)
            gst_message_unref(message);
        inbox.messages.clear();
    }
    gst_object_unref(bus);
    bus = nullptr;
    splice.release();
    g_clear_pointer(&audioSink, gst_object_unref);
    gst_object_unref(playbin);
    playbin = nullptr;
    soundBin = nullptr;
    if (volume) {
        // Out of every bin, a volume still referenced by someone other than us is playsink's leak.
        if (!GST_OBJECT_PARENT(volume) && GST_OBJECT_REFCOUNT_VALUE(volume) == 2)
            gst_object_unref(volume);
        gst_object_unref(volume);
    }
}

bool LocalPipeline::Core::stopDownloads()
{
    // An empty selection, made by hand: gst_event_new_select_streams() takes no empty list. It is
    // an upstream event, answered by the demuxer on any of its outputs.
    GstElement *demux = splice.demuxerRef();
    if (!demux)
        return false;
    bool sent = false;
    GstIterator *pads = gst_element_iterate_src_pads(demux);
    GValue item = G_VALUE_INIT;
    if (gst_iterator_next(pads, &item) == GST_ITERATOR_OK) {
        GValue none = G_VALUE_INIT;
        g_value_init(&none, GST_TYPE_LIST);
        GstStructure *selection = gst_structure_new_empty("GstEventSelectStreams");
        gst_structure_take_value(selection, "streams", &none);
        sent = gst_pad_send_event(GST_PAD(g_value_get_object(&item)), gst_event_new_custom(GST_EVENT_SELECT_STREAMS, selection));
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(pads);
    gst_object_unref(demux);
    return sent;
}

}
