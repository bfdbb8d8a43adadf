#pragma once

#include "pipeline/framewriter.h"
#include "pipeline/localpipeline.h"
#include "playerlink/framering.h"

#include <QObject>
#include <atomic>
#include <memory>
#include <mutex>

class QSocketNotifier;

namespace tovra {

// One pipeline served over a link to the client (playerlink.h): commands in, news and pictures
// out. The player process runs one for its whole life; tests may run one on a thread of their
// own. closed() means the client has let go (or is gone): nothing is left to do.
class PlayerService : public QObject, private FrameSink
{
    Q_OBJECT
public:
    // Takes the link's descriptor over.
    explicit PlayerService(int link, QObject *parent = nullptr);
    ~PlayerService() override;

    LocalPipeline *pipeline() const { return m_pipeline.get(); }
    // Starts GStreamer and loads the element plugins an HLS stream's pipeline is built from, with
    // their codec libraries: done by a player while the client still waits for the play's
    // authorisation, so none of it happens while the user waits.
    static void preloadElements();

signals:
    void closed();

private:
    void readCommands();
    void handle(const QByteArray &message);
    // Waits for room on the link, unlike a picture's news: a seek's or a failure's must not be lost,
    // and the client reads whenever its event loop turns.
    void tell(const QByteArray &news);
    // The video sink's streaming thread.
    void deliver(GstSample *sample, qint64 streamTimeUs) override;

    int m_link = -1;
    QSocketNotifier *m_notifier = nullptr;
    std::unique_ptr<LocalPipeline> m_pipeline;
    quint64 m_sequenceShift = 0;
    std::atomic<bool> m_framesWanted{true};

    // The streaming thread's own; the mutex only keeps it from going mid-copy at shutdown.
    std::mutex m_writerMutex;
    std::unique_ptr<FrameWriter> m_writer;
};

}
