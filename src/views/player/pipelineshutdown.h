#pragma once

#include <chrono>

namespace tovra {

// The pipelines whose threads have not ended yet, process-wide: quitting waits a moment for
// them, so the process never ends under a streaming thread.
class PipelineRegistry
{
public:
    static void started();
    static void ended();
    static int running();

    // Quitting: pipelines shutting down skip their waits, and the caller waits at most this long
    // for them to end.
    static void quit(std::chrono::milliseconds wait);
    static bool quitting();
    // The process goes on after all (a test that rehearsed a quit): shutdowns wait in full again.
    static void resume();
    // Sleeps for the time given, or less if a quit comes meanwhile; true if it did.
    static bool sleepUnlessQuitting(std::chrono::milliseconds time);
};

}
