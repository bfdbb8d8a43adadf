#include "pipeline/playerservice.h"

#include "playerlink/playerlink.h"

#include <QSocketNotifier>
#include <QUrl>
#include <cstring>
#include <unistd.h>

#include <gst/gst.h>

namespace tovra {

using namespace playerlink;

PlayerService::PlayerService(int link, QObject *parent)
    : QObject(parent)
    , m_link(link)
    , m_pipeline(std::make_unique<LocalPipeline>())
    , m_writer(std::make_unique<FrameWriter>())
{
    m_pipeline->setFrameTarget(this);
    m_notifier = new QSocketNotifier(m_link, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &PlayerService::readCommands);
    // The pipeline names its own sequences; the client's run on from its earlier players, so
    // each is passed on shifted by what the client's open said.
    connect(m_pipeline.get(), &LocalPipeline::seeked, this, [this](quint64 sequence) { tell(pack(News::Seeked, sequence + m_sequenceShift)); });
    connect(m_pipeline.get(), &LocalPipeline::ended, this, [this](quint64 opened) { tell(pack(News::Ended, opened + m_sequenceShift)); });
    connect(m_pipeline.get(), &LocalPipeline::durationChanged, this, [this](qint64 ms) { tell(pack(News::Duration, ms)); });
    connect(m_pipeline.get(), &LocalPipeline::failed, this, [this](int kind, const QString &text) { tell(pack(News::Failed, qint32(kind), text)); });
    connect(m_pipeline.get(), &LocalPipeline::buffering, this, [this](int percent) { tell(pack(News::Buffering, qint32(percent))); });
}

void PlayerService::preloadElements()
{
    gst_init(nullptr, nullptr);
    for (const char *name : {"playback", "typefindfunctions", "hls", "adaptivedemux2", "mpegtsdemux", "videoparsersbad", "audioparsers",
                             "libav", "videoconvertscale", "audioconvert", "audioresample", "volume", "autodetect", "pulseaudio", "alsa",
                             "app", "soup"}) {
        if (GstPlugin *plugin = gst_plugin_load_by_name(name))
            gst_object_unref(plugin);
    }
}

PlayerService::~PlayerService()
{
    m_pipeline->setFrameTarget(nullptr);
    m_pipeline.reset();
    {
        std::lock_guard lock(m_writerMutex);
        m_writer.reset();
    }
    close(m_link);
}

void PlayerService::readCommands()
{
    QByteArray message;
    int passed = -1;
    for (;;) {
        switch (receive(m_link, message, passed)) {
        case Received::Message:
            if (passed >= 0)
                close(passed);
            handle(message);
            continue;
        case Received::Nothing: return;
        case Received::Closed:
            m_notifier->setEnabled(false);
            emit closed();
            return;
        }
    }
}

void PlayerService::handle(const QByteArray &message)
{
    QDataStream in(message);
    quint8 kind = 0;
    in >> kind;
    switch (Command(kind)) {
    case Command::Open: {
        QByteArray url;
        qint64 startMs = 0;
        quint64 sequence = 0;
        in >> url >> startMs >> sequence;
        if (in.status() != QDataStream::Ok)
            return;
        m_pipeline->open(QUrl::fromEncoded(url, QUrl::StrictMode), startMs);
        m_sequenceShift = sequence - m_pipeline->seekSequence();
        return;
    }
    case Command::Play: {
        bool playing = true;
        in >> playing;
        m_pipeline->setPlaying(playing);
        return;
    }
    case Command::Seek: {
        qint64 ms = 0;
        quint64 sequence = 0;
        in >> ms >> sequence;
        if (in.status() != QDataStream::Ok)
            return;
        m_pipeline->seek(ms);
        m_sequenceShift = sequence - m_pipeline->seekSequence();
        return;
    }
    case Command::Rate: {
        double rate = 1.0;
        in >> rate;
        if (in.status() == QDataStream::Ok && rate > 0)
            m_pipeline->setRate(rate);
        return;
    }
    case Command::Volume: {
        double volume = 1.0;
        in >> volume;
        if (in.status() == QDataStream::Ok)
            m_pipeline->setVolume(std::clamp(volume, 0.0, 1.0));
        return;
    }
    case Command::Muted: {
        bool muted = false;
        in >> muted;
        m_pipeline->setMuted(muted);
        return;
    }
    case Command::MaxBitrate: {
        quint64 bits = 0;
        bool fromHere = false;
        in >> bits >> fromHere;
        if (in.status() == QDataStream::Ok)
            m_pipeline->setMaxBitrate(bits, fromHere);
        return;
    }
    case Command::Frames: {
        bool wanted = true;
        in >> wanted;
        m_framesWanted = wanted;
        return;
    }
    case Command::Ping: {
        // Answered here, on the thread that never waits on the pipeline: a player that does not
        // answer is hung, whatever its pipeline is doing.
        quint64 serial = 0;
        in >> serial;
        tell(pack(News::Pong, serial, !m_pipeline || m_pipeline->waitsOnSite()));
        return;
    }
    }
}

void PlayerService::tell(const QByteArray &news)
{
    send(m_link, news);
}

void PlayerService::deliver(GstSample *sample, qint64 streamTimeUs)
{
    std::lock_guard lock(m_writerMutex);
    if (m_framesWanted && m_writer) {
        if (const auto written = m_writer->write(sample)) {
            // Never waits: a client too busy to read has a picture less, as its scaler would.
            // Only the ring's own news must not be lost: without it the client could read none
            // of the ring's pictures, so a ring it has not heard of is made again.
            if (written->newRing && !send(m_link, pack(News::Ring, written->ringId), written->ring->fd(), false))
                m_writer->forgetRing();
            else if (send(m_link, pack(News::Frame, written->ringId, qint32(written->slot), written->serial, streamTimeUs, written->shape), -1, false))
                return;
        }
    }
    send(m_link, pack(News::Position, streamTimeUs), -1, false);
}

}
