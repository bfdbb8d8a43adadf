#include "pipeline/localpipeline.h"

#include "pipeline/pipelinecore.h"

// The facade: the GUI thread's side. Every call only queues work for the pipeline's thread
// (pipelineloop.cpp) and returns; the few values the GUI reads are atomics.

namespace tovra {

LocalPipeline::LocalPipeline(QObject *parent)
    : QObject(parent)
    , m_core(std::make_unique<Core>(this))
    , m_thread(&Core::run, m_core.get())
{
}

LocalPipeline::~LocalPipeline()
{
    setFrameTarget(nullptr);
    m_core->inbox.close();
    // News the thread queues meanwhile goes with this object, unread.
    m_thread.join();
}

void LocalPipeline::post(std::function<void()> command)
{
    m_core->inbox.post(std::move(command));
}

void LocalPipeline::open(const QUrl &address, qint64 startMs)
{
    const quint64 sequence = ++m_seekSequence;
    m_core->framePosition = -1;
    post([core = m_core.get(), uri = address.toEncoded(), ns = startMs * qint64(GST_MSECOND), sequence] { core->open(uri, ns, sequence); });
}

void LocalPipeline::setPlaying(bool playing)
{
    post([core = m_core.get(), playing] { core->setPlaying(playing); });
}

void LocalPipeline::seek(qint64 positionMs)
{
    const quint64 sequence = ++m_seekSequence;
    post([core = m_core.get(), ns = positionMs * qint64(GST_MSECOND), sequence] { core->seek(ns, sequence); });
}

void LocalPipeline::setRate(double rate)
{
    post([core = m_core.get(), rate] { core->setRate(rate); });
}

void LocalPipeline::setVolume(double volume)
{
    post([core = m_core.get(), volume] {
        core->volume = volume;
        core->applyAudio();
    });
}

void LocalPipeline::setMuted(bool muted)
{
    post([core = m_core.get(), muted] {
        core->muted = muted;
        core->applyAudio();
    });
}

void LocalPipeline::setMaxBitrate(quint64 bitsPerSecond, bool fromHere)
{
    m_core->maxBitrate = bitsPerSecond;
    post([core = m_core.get(), fromHere] {
        core->applyCap();
        if (!fromHere || core->atEnd || core->startSplice())
            return;
        // Not flowing yet (opening, a seek landing, buffering, a splice catching up): a seek
        // through the whole pipeline right after the first picture could leave the picture
        // standing (the sinks never took the stream on after it). The splice comes once they
        // play; meanwhile what comes next is fetched within the cap. Paused, or at another rate
        // (no splice then), the stream seeks to the picture on screen.
        if (core->targetPlaying && !core->failed && core->rate == 1.0)
            core->splicePending = true;
        else
            core->seekHere();
    });
}

void LocalPipeline::setFrameTarget(FrameSink *target)
{
    std::lock_guard lock(m_core->targetMutex);
    m_core->target = target;
}

qint64 LocalPipeline::framePosition() const
{
    return m_core->framePosition;
}

GstElement *LocalPipeline::element() const
{
    return m_core->published;
}

qint64 LocalPipeline::duration() const
{
    return m_core->duration;
}

bool LocalPipeline::waitsOnSite() const
{
    return !Core::watchingRequests() || Core::requestsInFlight() > 0 || m_core->siteFailing;
}

}
