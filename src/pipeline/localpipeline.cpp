#include "pipeline/localpipeline.h"

#include "pipeline/pipelinecore.h"

#include "models/playerfailure.h"

#include <QDebug>

// The facade: the GUI thread's side. Every call only queues work for the pipeline's thread
// (pipelineloop.cpp) and returns; the few values the GUI reads are atomics.

namespace tovra {

namespace {

// The player's lines join the client's log (the player process writes to the client's stderr).
void logLine(const QString &line)
{
    QMessageLogger().warning().noquote().nospace() << QStringLiteral("[Tovra] ") << line;
}

}

LocalPipeline::LocalPipeline(QObject *parent)
    : QObject(parent)
    , m_core(std::make_unique<Core>(this))
    , m_thread(&Core::run, m_core.get())
{
    m_standWatch.setInterval(kStandLimit / 10);
    connect(&m_standWatch, &QTimer::timeout, this, &LocalPipeline::watchStand);
    connect(this, &LocalPipeline::ended, this, [this] { m_ended = true; });
    connect(this, &LocalPipeline::failed, this, [this] {
        m_failed = true;
        m_standWatch.stop();
    });
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
    m_lastFrame = -1;
    asked();
    m_standWatch.start();
}

void LocalPipeline::setPlaying(bool playing)
{
    post([core = m_core.get(), playing] { core->setPlaying(playing); });
    if (playing == m_wantPlay)
        return;
    const bool stood = m_wantPlay && !m_ended && m_lastFrame >= 0 && standsSince(std::max(m_lastMove, m_lastAsked), kStandLimit / 4);
    m_wantPlay = playing;
    if (!playing) {
        m_pausedStanding = stood || m_mendedAt.has_value();
        return;
    }
    asked();
    // Whatever held the picture (a buffering that never ends, a seek that never landed) holds it
    // still: play is the user's word that it should move, now.
    if (std::exchange(m_pausedStanding, false))
        mend(QStringLiteral("暂停前画面已停在 %1 ms，继续播放时修复").arg(m_lastFrame));
}

void LocalPipeline::seek(qint64 positionMs)
{
    const quint64 sequence = ++m_seekSequence;
    post([core = m_core.get(), ns = positionMs * qint64(GST_MSECOND), sequence] { core->seek(ns, sequence); });
    m_ended = m_pausedStanding = false;
    asked();
}

void LocalPipeline::setRate(double rate)
{
    post([core = m_core.get(), rate] { core->setRate(rate); });
    asked();
}

void LocalPipeline::asked()
{
    m_lastAsked = std::chrono::steady_clock::now();
    m_mendedAt.reset();
}

bool LocalPipeline::standsSince(std::chrono::steady_clock::time_point since, std::chrono::milliseconds limit) const
{
    // A request the site has not answered, or one it failed and the demuxer tries again, makes a
    // stand the network's, paced by the retry policy; once it has answered, the site owes the
    // stream nothing.
    return Core::watchingRequests() && Core::requestsInFlight() == 0 && !m_core->siteFailing
           && std::chrono::steady_clock::now() - std::max(since, Core::lastAnswer()) >= limit;
}

void LocalPipeline::watchStand()
{
    const qint64 frame = m_core->framePosition;
    if (frame != m_lastFrame) {
        m_lastFrame = frame;
        m_lastMove = std::chrono::steady_clock::now();
        m_mendedAt.reset();
    }
    if (m_failed || !m_wantPlay || m_ended)
        return;
    if (const int renewals = m_core->soundRenewals; renewals != m_soundRenewals) {
        m_soundRenewals = renewals;
        logLine(QStringLiteral("声音流的时钟失常，换用新的声音流，从 %1 ms 重新定位").arg(m_lastFrame));
        m_mendedAt = std::chrono::steady_clock::now();
    }
    post([core = m_core.get()] { core->checkSound(); });
    // Before its first picture a player may still be building its pipeline, which a busy machine
    // stretches: an open stands only once the site has answered since, and twice as long.
    const bool opening = m_lastFrame < 0;
    if (opening && Core::lastAnswer() < m_lastAsked)
        return;
    const auto limit = opening ? 2 * kStandLimit : kStandLimit;
    if (!m_mendedAt) {
        if (standsSince(std::max(m_lastMove, m_lastAsked), limit))
            mend(QStringLiteral("画面停在 %1 ms，站点已应答全部请求，从该处重新定位").arg(m_lastFrame));
        return;
    }
    if (!standsSince(*m_mendedAt, kStandLimit))
        return;
    // The seek did not move it either: only another pipeline can.
    m_failed = true;
    m_standWatch.stop();
    post([core = m_core.get()] { core->halt(); });
    emit failed(int(player::Failure::Stalled),
                QStringLiteral("画面停在 %1 ms，重新定位后仍未前进，站点已应答全部请求").arg(m_lastFrame));
}

void LocalPipeline::mend(const QString &why)
{
    logLine(QStringLiteral("播放停滞，自行修复: ") + why);
    m_mendedAt = std::chrono::steady_clock::now();
    post([core = m_core.get()] { core->mend(); });
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
    if (fromHere)
        asked();
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
