#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include <gst/gst.h>

namespace tovra {

struct PipelineInbox;
struct Splice;

// What one of the demuxer's outputs has handed downstream, watched by a probe on its pad on the
// output's streaming thread, under Splice::outputMutex.
struct DemuxOutput
{
    Splice *splice = nullptr;
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
    guint32 seqnum = GST_SEQNUM_INVALID;
    bool dropping = false;
    // Between the splice's FLUSH_STOP and its SEGMENT: new caps there (the segment fetched
    // again is at the quality the demuxer has moved to) mean nothing is to be dropped.
    bool flushed = false;
    bool requalified = false;
    // Part of a splice and has not yet passed anything new.
    bool behind = false;
    // The splice's segment went down with nothing to drop: the next buffer is the first new one.
    bool passing = false;
    // The end went down: nothing below takes more without a flush.
    bool ended = false;
    GstCaps *caps = nullptr;

    ~DemuxOutput() { gst_caps_replace(&caps, nullptr); }
    // A seek through the whole pipeline: everything below starts again.
    void restart();
    // Done with the splice: the pipeline's thread may seek again.
    void caughtUp();
    static GstPadProbeReturn probe(GstPad *pad, GstPadProbeInfo *info, gpointer data);
};

// The demuxer and its outputs, as the splice needs them. The demuxer and its pads come and go on
// streaming threads (the element-setup and pad signals); the flags at the end are the pipeline
// thread's.
struct Splice
{
    explicit Splice(PipelineInbox &wakes) : inbox(&wakes) {}

    PipelineInbox *const inbox;
    std::mutex demuxMutex;
    GstElement *demuxer = nullptr;
    std::mutex outputMutex;
    std::vector<std::shared_ptr<DemuxOutput>> outputs;

    // News from streaming threads, each followed by PipelineInbox::nudge().
    // The queue before the decoders ran empty (its "underrun").
    std::atomic<bool> queueRanDry{false};
    // An output passed something new after a splice, or ended.
    std::atomic<bool> outputCaughtUp{false};
    // The demuxer's download of a segment failed with a server error (DownloadWatch, on the
    // demuxer's scheduler thread).
    std::atomic<bool> downloadFailed{false};
    // The halt in force (Core::onDownloadFailed): its flushes, segment and EOS go no further,
    // and the errors the demuxer posts meanwhile are dropped (pipelineretry.cpp). Cleared by the
    // seek that resumes it, which stops the demuxer's tasks before it returns.
    std::atomic<guint32> haltSeqnum{GST_SEQNUM_INVALID};
    // The demuxer asks again by itself 10 ms after a failed download, which a halt sent from the
    // pipeline's thread missed on a busy machine: its scheduler thread waits (DownloadWatch) until
    // the pipeline has dealt with the failure, at most kHaltWaitMs, so that a halt's seek is
    // queued on that thread before the demuxer's own try.
    std::mutex haltMutex;
    std::condition_variable haltDecided;
    guint64 failuresDealtWith = 0;
    static constexpr int kHaltWaitMs = 100;
    void dealtWithFailure()
    {
        {
            std::lock_guard lock(haltMutex);
            ++failuresDealtWith;
        }
        haltDecided.notify_all();
    }
    // Until when (g_get_monotonic_time) the picture sink's reports of a late picture are kept
    // from the elements above it (Core::build), set when a splice comes at another quality: its
    // pictures are decoded again from the segment's key frame, and those up to where the old ones
    // stopped come late by design.
    std::atomic<gint64> lateReportsHeldUntil{0};
    // Time for a segment's pictures to be decoded on a busy machine; a picture late after that is
    // the machine's.
    static constexpr gint64 kLateReportsHeldUs = 3 * G_USEC_PER_SEC;

    // A splice is under way until the demuxer has buffered again: meanwhile the pipeline waits
    // for it only once what was loaded below it has run out (see Core::onQueueRanDry).
    bool refilling = false;
    // Until every output has passed something new after a splice, a seek waits (see
    // Core::maySeekNow), kSeekWaitLimit at most from behindSince.
    bool outputsBehind = false;
    std::chrono::steady_clock::time_point behindSince;
    // Whether the outputs still hold seeks back; once past the limit they are let go (unmarked).
    bool holdsSeeks();

    // A new reference to the demuxer, or null before there is one.
    GstElement *demuxerRef();
    // The element-setup handler's part: a new demuxer replaces the old one and its outputs.
    void adopt(GstElement *element);
    // Drops the demuxer and every output's bookkeeping (the probes go with the pads).
    void release();
    // The stream time to fetch again from: the earliest any output last passed, or none when
    // some output has not yet passed anything to splice after.
    GstClockTime position();
    // Tags each output with the splice's seqnum, so that its flushes stop there; with a
    // position() to fetch again from, the outputs are behind and it is returned.
    GstClockTime mark(guint32 seqnum);
    void unmark();
    void clearBehind();
    // No output has passed a buffer since it was last flushed: nothing below to lose.
    bool nothingPassed();
    bool anyBehind();
};

}
