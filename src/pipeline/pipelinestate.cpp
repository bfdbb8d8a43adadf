#include "pipeline/pipelinecore.h"
#include "pipeline/pipelineretry.h"
#include "pipeline/sinkbin.h"

#include "models/playerfailure.h"

#include <QScopeGuard>

#include <algorithm>
#include <cstring>

// The state machine, on the pipeline's thread. An open sets the pipeline paused; at its
// ASYNC_DONE it is prerolled, and a pending seek (the resume point, or whatever the GUI asked for
// meanwhile) goes out; each later ASYNC_DONE lands the seek in flight. Seeks asked for while one
// is in flight, or while a splice's outputs are behind, fold into one pending seek that goes at
// the next chance. Playing or paused follows what the user wants, held paused while buffering or
// at the end. After a failure nothing more is done: the client ends the player on its news.

namespace tovra {

namespace {
player::Failure failureKind(const GError *error, const gchar *debug)
{
    // GStreamer 1.22's HLS demuxer reports a variant playlist it could not download when it
    // starts as a stream of the wrong type; whatever the site answered, it is the network's.
    if (error->domain == GST_STREAM_ERROR && error->code == GST_STREAM_ERROR_WRONG_TYPE && debug
        && std::strstr(debug, "Could not fetch media playlist"))
        return player::Failure::Network;
    if (error->domain == GST_RESOURCE_ERROR) {
        switch (error->code) {
        case GST_RESOURCE_ERROR_NOT_AUTHORIZED: return player::Failure::AccessDenied;
        case GST_RESOURCE_ERROR_NOT_FOUND: return player::Failure::Resource;
        default: return player::Failure::Network;
        }
    }
    if (error->domain == GST_STREAM_ERROR) {
        switch (error->code) {
        case GST_STREAM_ERROR_CODEC_NOT_FOUND:
        case GST_STREAM_ERROR_DECODE:
        case GST_STREAM_ERROR_DEMUX:
        case GST_STREAM_ERROR_FORMAT:
        case GST_STREAM_ERROR_TYPE_NOT_FOUND:
        case GST_STREAM_ERROR_WRONG_TYPE: return player::Failure::Format;
        // The HLS demuxer reports fragments it could not download as a failed stream.
        default: return player::Failure::Network;
        }
    }
    return player::Failure::Other;
}

}

void LocalPipeline::Core::open(const QByteArray &uri, qint64 startNs, quint64 sequence)
{
    // Once per pipeline: every open after the first gets a new player, so nothing of an earlier
    // stream is ever left to undo here.
    if (playbin || failed)
        return;
    if (!build()) {
        failed = true;
        toGui([](LocalPipeline *p) { emit p->failed(int(player::Failure::Format), QStringLiteral("no playbin3 or appsink element")); });
        return;
    }
    // What was asked for before the open (the client tells a player its state first) is the
    // open's to carry: a quality cap is in force from the first segment, a rate waits for the
    // stream to flow, and the open's own start replaces any seek.
    splicePending = false;
    opened = sequence;
    openSequence = sequence;
    pendingSeek.reset();
    if (startNs > 0) {
        pendingSeek = startNs;
        pendingSequence = sequence;
    }
    holdFrames = startNs > 0;
    ratePending = rate != 1.0;
    g_object_set(playbin, "uri", uri.constData(), nullptr);
    applyAudio();
    requested = GST_STATE_PAUSED;
    gst_element_set_state(playbin, GST_STATE_PAUSED);
}

void LocalPipeline::Core::seek(qint64 ns, quint64 sequence)
{
    pendingSeek = std::max<qint64>(0, ns);
    pendingSequence = sequence;
    atEnd = false;
    if (maySeekNow())
        doSeek();
}

void LocalPipeline::Core::setPlaying(bool playing)
{
    targetPlaying = playing;
    applyState();
}

void LocalPipeline::Core::setRate(double newRate)
{
    if (rate == newRate)
        return;
    rate = newRate;
    ratePending = false;
    if (changeRateInPlace())
        return;
    // Opening, buffering, paused or landing a seek: the change waits until the stream flows (each
    // turn of the loop), unless a seek still to go carries it.
    if (!failed && !atEnd && !pendingSeek)
        ratePending = true;
    else
        seekHere();
}

void LocalPipeline::Core::startPendingRate()
{
    if (ratePending && (failed || atEnd || changeRateInPlace()))
        ratePending = false;
}

bool LocalPipeline::Core::changeRateInPlace()
{
    // A flushing seek for a speed drops all the demuxer has loaded ahead and fetches it again (3-5
    // segments within 0.1 s); after such a burst GStreamer 1.22's demuxer could sit idle for good,
    // the picture standing until the watchdog's failure. An instant rate change (no flush, the
    // sinks retime from now on) keeps everything loaded. It goes to the demuxer itself: through
    // the playbin it meets the identity decodebin3 puts before its queue for a parsed stream,
    // which refuses any seek it cannot apply to a segment of its own ("identity: Don't refuse
    // seeks unless single-segment=true", 1.25). The demuxer takes it relative to the rate of its
    // last flushing seek, and every sink must see it before it applies, so this waits for a
    // stream that is flowing and has no seek or splice of its own under way; otherwise the seek
    // (at the picture) carries the rate.
    if (!sinksFlowing() || pendingSeek || atEnd || retry.halted || retry.haltPending || splice.holdsSeeks())
        return false;
    GstElement *demux = splice.demuxerRef();
    if (!demux)
        return false;
    // Sped up, the picture sink takes the change once the sound sink has (sinkbin.cpp), at the
    // running time the change was asked at: its pictures are then late, which a busy machine
    // can take a second or more to make up. Told of it, the decoder dropped every picture until
    // it had, the picture standing, then jumping seconds on; kept from it, each one is shown.
    splice.lateReportsHeldUntil = g_get_monotonic_time() + Splice::kLateReportsHeldUs;
    const bool done = gst_element_send_event(demux, gst_event_new_seek(rate, GST_FORMAT_TIME, GST_SEEK_FLAG_INSTANT_RATE_CHANGE, GST_SEEK_TYPE_NONE,
                                                                       -1, GST_SEEK_TYPE_NONE, -1));
    gst_object_unref(demux);
    return done;
}

void LocalPipeline::Core::seekHere()
{
    // From where the picture is, or where a seek under way is going, unless a seek is waiting
    // anyway; it lands as the last seek asked for, which the GUI already knows.
    if (!pendingSeek && (seekInFlight || framePosition >= 0)) {
        pendingSeek = seekInFlight ? seekTarget : framePosition * GST_MSECOND;
        pendingSequence = inFlightSequence;
    }
    if (maySeekNow() && pendingSeek)
        doSeek();
}

bool LocalPipeline::Core::maySeekNow()
{
    // GStreamer 1.22.0's demuxer can assert (request->in_use in download_request_set_uri) when
    // sought again while the fetch a splice began is being submitted: the cancelled request's
    // completion comes after the new one was set up. Fixed upstream by "adaptivedemux2: Do not
    // submit_transfer when cancelled" (1.22.7); the wait for outputsBehind can go once the
    // GStreamer we run on has it. Neither wait is for ever: what a flush made the demuxer lose
    // never comes, and the user's seek is then the way out.
    const bool seekLanding = seekInFlight && std::chrono::steady_clock::now() - seekSentAt < kSeekWaitLimit;
    return prerolled && !failed && !seekLanding && !splice.holdsSeeks();
}

bool LocalPipeline::Core::waitsForTurn() const
{
    return !failed && (pendingSeek || splice.outputsBehind || splicePending || ratePending);
}

void LocalPipeline::Core::mend()
{
    if (failed || !playbin || !prerolled)
        return;
    // Where the user is: a seek asked for and not sent, one sent that never landed or was
    // refused, else the picture on screen. It lands as the last seek asked for, which the GUI
    // already knows.
    if (!pendingSeek) {
        pendingSeek = seekInFlight || seekRefused ? seekTarget : std::max<qint64>(0, framePosition) * GST_MSECOND;
        pendingSequence = inFlightSequence;
    }
    if (splice.outputsBehind) {
        splice.unmark();
        splice.outputsBehind = false;
    }
    seekInFlight = false;
    atEnd = false;
    doSeek();
}

void LocalPipeline::Core::checkSound()
{
    if (failed || !playbin || !prerolled || seekInFlight || !soundBin)
        return;
    // With a minute to spare: a sound server's reading may run a little ahead of the machine's.
    const GstClockTime lived = (g_get_monotonic_time() - madeAtUs) * GST_USECOND + 60 * GST_SECOND;
    if (!audioSink)
        audioSink = audioSinkIn(soundBin);
    if (!audioSink || !soundClockLost(audioSink, lived))
        return;
    // Paused first: the sink then waits for a preroll as the whole pipeline does, which the seek
    // brings, and playing resumes as after any seek.
    requested = GST_STATE_PAUSED;
    gst_element_set_state(playbin, GST_STATE_PAUSED);
    renewSoundStream(audioSink);
    ++soundRenewals;
    mend();
}

void LocalPipeline::Core::applyAudio()
{
    if (playbin)
        g_object_set(playbin, "volume", volume, "mute", gboolean(muted), nullptr);
}

void LocalPipeline::Core::doSeek()
{
    qint64 ns = *pendingSeek;
    if (const qint64 end = duration * qint64(GST_MSECOND); end > 0)
        ns = std::clamp<qint64>(ns, 0, std::max<qint64>(0, end - std::chrono::nanoseconds(kEndMargin).count()));
    seekTarget = ns;
    // What the seek fetches is within the cap already.
    splicePending = false;
    // The seek carries the rate.
    ratePending = false;
    // The flush empties the demuxer, which then reports buffering from nothing until it holds
    // what it buffers ahead: a seek's, not a stall's. Paused for it, the picture stood on the
    // target's first frame for as long as the second segment took. The stream plays from the
    // first segment, and waits for the demuxer only should the queue before the decoders run dry
    // meanwhile (onQueueRanDry), as after a splice.
    splice.refilling = true;
    splice.queueRanDry = false;
    buffering = false;
    pendingSeek.reset();
    inFlightSequence = pendingSequence;
    openSequence.reset();
    // Restarts the demuxer too, should it be halted (pipelineretry.cpp): the stop is set, as
    // one left unset would keep the halt's.
    retry.halted = retry.haltPending = false;
    const auto resumed = qScopeGuard([this] { splice.haltSeqnum = GST_SEQNUM_INVALID; });
    settleSpeedChanges(soundBin);
    DownloadWatch::awaitQueuedTransfers();
    const bool ok = gst_element_seek(playbin, rate, GST_FORMAT_TIME, GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                                     GST_SEEK_TYPE_SET, ns, GST_SEEK_TYPE_SET, gint64(GST_CLOCK_TIME_NONE));
    // The flush is done once the seek returns: whatever reaches the sink now is the target's.
    holdFrames = false;
    seekRefused = !ok;
    if (ok) {
        demuxRate = rate;
        seekInFlight = true;
        seekSentAt = std::chrono::steady_clock::now();
        return;
    }
    // Refused, often after the demuxer has flushed: the picture is not at the target, and saying
    // it landed left the play where the user never asked. The stand is the facade's to mend.
    g_warning("seek to %" GST_TIME_FORMAT " refused", GST_TIME_ARGS(ns));
    applyState();
}

void LocalPipeline::Core::applyState()
{
    pauseHeld = false;
    if (!playbin || failed || !prerolled || seekInFlight)
        return;
    // A sink at its end posts the end again on every way back to playing.
    const GstState want = targetPlaying && !buffering && !atEnd ? GST_STATE_PLAYING : GST_STATE_PAUSED;
    if (want == requested)
        return;
    if (want == GST_STATE_PAUSED && requested == GST_STATE_PLAYING && !rendered
        && std::chrono::steady_clock::now() - playingSince < kPauseHoldLimit) {
        pauseHeld = true;
        return;
    }
    if (want == GST_STATE_PLAYING) {
        rendered = false;
        playingSince = std::chrono::steady_clock::now();
    }
    requested = want;
    if (want == GST_STATE_PLAYING) {
        gst_element_set_state(playbin, want);
        return;
    }
    // A flushing seek while playing takes the pipeline back to paused until the sinks have the
    // target's first picture; from there GStreamer goes on to playing by itself, on a thread of its
    // own, sampling a new base time. Paused before it has, GStreamer 1.22's set_state starts from
    // the playing it was heading for and snapshots the running time of the old base time (the
    // playing before the seek) as where to go on from: every picture after the seek was then as
    // late as the play had run before it, and was dropped until the clock caught up, the picture
    // standing on the target, then jumping seconds on. Paused from anything short of playing,
    // the pipeline keeps where it stood; the state lock keeps GStreamer's own move to playing out
    // meanwhile (a state change made meanwhile cancels it).
    GST_STATE_LOCK(playbin);
    GST_OBJECT_LOCK(playbin);
    const bool played = GST_STATE(playbin) == GST_STATE_PLAYING;
    const GstClockTime startTime = GST_ELEMENT_START_TIME(playbin);
    GST_OBJECT_UNLOCK(playbin);
    gst_element_set_state(playbin, GST_STATE_PAUSED);
    if (!played)
        gst_element_set_start_time(playbin, startTime);
    GST_STATE_UNLOCK(playbin);
}

void LocalPipeline::Core::queryDuration()
{
    gint64 ns = 0;
    if (!gst_element_query_duration(playbin, GST_FORMAT_TIME, &ns) || ns <= 0)
        return;
    const qint64 ms = ns / GST_MSECOND;
    if (duration.exchange(ms) != ms)
        toGui([ms](LocalPipeline *p) { emit p->durationChanged(ms); });
}

void LocalPipeline::Core::onEnd()
{
    if (!playbin || failed || atEnd || seekInFlight)
        return;
    atEnd = true;
    applyState();
    const quint64 sequence = opened;
    toGui([sequence](LocalPipeline *p) { emit p->ended(sequence); });
}

void LocalPipeline::Core::onAsyncDone()
{
    prerolled = true;
    if (seekInFlight) {
        seekInFlight = false;
        // The queue's running dry on the seek's flush may still be waiting to be looked at.
        splice.queueRanDry = false;
        const quint64 sequence = inFlightSequence;
        toGui([sequence](LocalPipeline *p) { emit p->seeked(sequence); });
    } else if (openSequence && !pendingSeek) {
        const quint64 sequence = *openSequence;
        openSequence.reset();
        toGui([sequence](LocalPipeline *p) { emit p->seeked(sequence); });
    }
    queryDuration();
    if (pendingSeek) {
        doSeek();
        return;
    }
    applyState();
}

void LocalPipeline::Core::handle(GstMessage *message)
{
    const bool fromPipeline = GST_MESSAGE_SRC(message) == GST_OBJECT(playbin);
    switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_ERROR: {
        if (failed)
            break;
        GError *error = nullptr;
        gchar *debug = nullptr;
        gst_message_parse_error(message, &error, &debug);
        const int kind = int(failureKind(error, debug));
        const QString text = QString::fromUtf8(error->message) + (debug ? QStringLiteral(" (%1)").arg(QString::fromUtf8(debug)) : QString());
        g_clear_error(&error);
        g_free(debug);
        toGui([kind, text](LocalPipeline *p) { emit p->failed(kind, text); });
        halt();
        break;
    }
    case GST_MESSAGE_EOS:
        onEnd();
        break;
    case GST_MESSAGE_ASYNC_DONE:
        if (fromPipeline && !failed)
            onAsyncDone();
        break;
    case GST_MESSAGE_BUFFERING: {
        gint percent = 0;
        gst_message_parse_buffering(message, &percent);
        // Halted, the demuxer buffers nothing and what it says means nothing: what is below
        // plays out meanwhile, and its running dry pauses the pipeline (see onDownloadFailed).
        if (retry.halted || (retry.haltPending && percent < 100))
            break;
        if (splice.refilling) {
            // After a splice the demuxer starts buffering from nothing, while below it what was
            // loaded plays on (see onQueueRanDry).
            if (percent < 100)
                break;
            splice.refilling = false;
        }
        const bool low = percent < 100;
        if (low != buffering) {
            buffering = low;
            applyState();
        }
        toGui([percent](LocalPipeline *p) { emit p->buffering(percent); });
        break;
    }
    case GST_MESSAGE_DURATION_CHANGED:
        if (prerolled)
            queryDuration();
        break;
    case GST_MESSAGE_CLOCK_LOST:
        // The sound server's clock went away: a new one is chosen on the way back to playing.
        if (requested == GST_STATE_PLAYING) {
            gst_element_set_state(playbin, GST_STATE_PAUSED);
            gst_element_set_state(playbin, GST_STATE_PLAYING);
        }
        break;
    default:
        break;
    }
}

void LocalPipeline::Core::halt()
{
    // Stopping the pipeline here would only wait on the demuxer (a stop with a download in flight
    // must wait for its cancellations, see pipelineshutdown.cpp) for a player about to end. The
    // retry's wait goes, so that the loop no longer wakes for it.
    failed = true;
    retry.halted = retry.haltPending = false;
}

}
