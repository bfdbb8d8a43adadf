#pragma once

#include <gst/gst.h>

namespace tovra {

struct Splice;

// Tells a pipeline, at once, when its demuxer's segment download fails with a server error or
// without an answer; keeps the demuxer's errors about such failures from going up (see
// postFromDemuxer in pipelineretry.cpp). GStreamer 1.22's HLS demuxer retries a segment answered with a 5xx every 10 ms, for
// ever, and says nothing on the bus: the only place the failure shows is its own debug log
// ("Download finished with error, ... http status N"). So that one category's debug lines are
// taken in by a log function of ours (see pipelineretry.cpp), which costs a pointer compare per
// line and formats only the one line it looks for. Upstream added a back-off of its own in 1.26
// ("retry-backoff-factor", "retry-backoff-max"); with it, this watch and Core's pacing can go.
class DownloadWatch
{
public:
    // Once a demuxer has been made (its class makes the log category); the first call installs
    // the log function, later ones do nothing.
    static void install();
    // The splice's downloadFailed follows this demuxer until forget().
    static void watch(GstElement *demuxer, Splice *splice);
    static void forget(GstElement *demuxer);
};

}
