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

    // Waits at most this long for every pipeline's thread to end. Nothing is skipped for a quit:
    // a pipeline stopped with a download in flight can crash the process on its way out.
    static void waitForAll(std::chrono::milliseconds wait);
};

}
