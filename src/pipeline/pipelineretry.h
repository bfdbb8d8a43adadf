#pragma once

#include <gst/gst.h>

namespace tovra {

struct Splice;

// Tells a pipeline, at once, when its demuxer's download fails in a way GStreamer 1.22's HLS demuxer
// does not pace itself; keeps the demuxer's errors about such failures from going up (see
// postFromDemuxer in pipelineretry.cpp). The demuxer retries a segment answered with a 5xx every
// 10 ms, for ever, and a segment cut off (a connection refused, dropped or reset mid-body) four
// times 10 ms apart before giving up, and says nothing on the bus; a chosen variant whose
// playlist fails is asked again at once for as long as it fails. The only place these show is
// the demuxer's own debug log ("Download finished with error, ... http status N", "Unable to
// update playlist"). So those two categories' lines are taken in by a log function of ours (see
// pipelineretry.cpp), which costs a pointer compare per line and formats only the lines it
// looks for. Upstream added a back-off of its own in 1.26 ("retry-backoff-factor",
// "retry-backoff-max"); with it, the segments' part of this watch can go.
class DownloadWatch
{
public:
    // Once a demuxer has been made (its class makes the log categories); the first call installs
    // the log function, later ones do nothing.
    static void install();
    // The splice's downloadFailed follows this demuxer until forget().
    static void watch(GstElement *demuxer, Splice *splice);
    static void forget(GstElement *demuxer);

    // What the site did since the last look, besides a segment failing (Splice::downloadFailed).
    struct News
    {
        // A segment came whole.
        bool segmentDone = false;
        // A chosen variant's playlist could not be fetched: the demuxer was sent on with the
        // variant it had (its pin lifted to that one, which the pipeline sets back).
        bool variantFailed = false;
        // The demuxer moved to another variant: its playlist came.
        bool variantDone = false;
    };
    static News take(Splice *splice);
    // Waits, a moment at most, until no transfer the demuxer queued is still to be sent by its
    // HTTP thread: a seek must not cancel one in between (see QueuedTransfers).
    static void awaitQueuedTransfers();
};

}
