#pragma once

#include <QList>
#include <atomic>

class QThread;
typedef struct _GstElement GstElement;

namespace tovra {

class LocalPipeline;

// While one lives, the client's native players are served on threads of this process instead of
// player processes (through Pipeline::setLauncher), the way the pipeline ran before it had a
// process of its own. For tests that look at what flows inside the pipeline, and benchmarks that
// set the two side by side; the client itself never does this. A served player's thread ends
// once its link closes and its pipeline has been let go (LocalPipeline's destructor waits for
// that), so when this is destroyed nothing of the plays it served is left running.
class InProcessPlayer
{
public:
    InProcessPlayer();
    ~InProcessPlayer();
    InProcessPlayer(const InProcessPlayer &) = delete;
    InProcessPlayer &operator=(const InProcessPlayer &) = delete;

    // The playbin of the player served last, once its thread has made it.
    GstElement *element() const;

private:
    std::atomic<LocalPipeline *> m_current{nullptr};
    QList<QThread *> m_threads;
};

}
