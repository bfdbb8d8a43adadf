#include "views/player/pipelineshutdown.h"

#include "views/player/pipelinecore.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>

namespace tovra {

namespace {

struct Registry
{
    std::mutex mutex;
    std::condition_variable changed;
    int running = 0;
    // Set once the process quits: a pipeline let go then is not freed, as the process ends anyway.
    bool quitting = false;
};

Registry &registry()
{
    static Registry r;
    return r;
}

// GStreamer 1.22.0's adaptive demuxer can still be called back by its HTTP session for a request
// cancelled when the pipeline stopped (a playlist the site was slow with): freed at once, the
// demuxer is written to after it is gone. Its pipeline is freed only after this grace.
constexpr std::chrono::milliseconds kReleaseGrace{2000};

// GStreamer 1.22.0's adaptive demuxer can crash inside libsoup when it is stopped with a download
// in flight. A pipeline let go is first paused: the demuxer goes on fetching until it holds what
// it loads ahead, and then fetches no more. It is stopped once that has stayed put a moment, once
// nothing has come in for kDownloadQuiet (a playlist fetch or a segment on a usual line takes
// less), or after kSettleLimit whatever comes.
constexpr std::chrono::milliseconds kDownloadQuiet{1500};
constexpr std::chrono::milliseconds kSettled{300};
constexpr std::chrono::milliseconds kSettleLimit{10000};
constexpr std::chrono::milliseconds kSettlePoll{50};

}

void PipelineRegistry::started()
{
    std::lock_guard lock(registry().mutex);
    ++registry().running;
}

void PipelineRegistry::ended()
{
    {
        std::lock_guard lock(registry().mutex);
        --registry().running;
    }
    registry().changed.notify_all();
}

int PipelineRegistry::running()
{
    std::lock_guard lock(registry().mutex);
    return registry().running;
}

void PipelineRegistry::quit(std::chrono::milliseconds wait)
{
    Registry &r = registry();
    std::unique_lock lock(r.mutex);
    r.quitting = true;
    r.changed.notify_all();
    r.changed.wait_for(lock, wait, [&] { return r.running == 0; });
}

bool PipelineRegistry::quitting()
{
    std::lock_guard lock(registry().mutex);
    return registry().quitting;
}

void PipelineRegistry::resume()
{
    std::lock_guard lock(registry().mutex);
    registry().quitting = false;
}

bool PipelineRegistry::sleepUnlessQuitting(std::chrono::milliseconds time)
{
    Registry &r = registry();
    std::unique_lock lock(r.mutex);
    return r.changed.wait_for(lock, time, [&] { return r.quitting; });
}

void Pipeline::Core::teardown()
{
    if (!playbin)
        return;
    published = nullptr;
    if (!failed && requested >= GST_STATE_PAUSED) {
        gst_element_set_state(playbin, GST_STATE_PAUSED);
        letDownloadsSettle();
    }
    gst_element_set_state(playbin, GST_STATE_NULL);
    gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
    {
        std::lock_guard lock(inbox.mutex);
        for (GstMessage *message : inbox.messages)
            gst_message_unref(message);
        inbox.messages.clear();
    }
    if (PipelineRegistry::sleepUnlessQuitting(kReleaseGrace))
        return;
    gst_object_unref(bus);
    splice.release();
    gst_object_unref(playbin);
    playbin = nullptr;
    bus = nullptr;
}

void Pipeline::Core::letDownloadsSettle()
{
    // Stopped while a download is in flight, the demuxer can crash in cancelling it (see
    // kDownloadQuiet): what it holds ahead grows while one comes in.
    GstElement *demux = splice.demuxerRef();
    const auto start = std::chrono::steady_clock::now();
    auto changed = start;
    guint64 held = GST_CLOCK_TIME_NONE;
    while (!PipelineRegistry::sleepUnlessQuitting(kSettlePoll)) {
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
        if ((full && now - changed >= kSettled) || now - changed >= kDownloadQuiet || now - start >= kSettleLimit)
            break;
    }
    if (demux)
        gst_object_unref(demux);
}

}
