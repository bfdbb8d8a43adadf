#include "views/player/playermodel.h"

#include "models/webaddress.h"
#include "network/apiclient.h"
#include "store/log.h"
#include "views/player/decoderloss.h"
#include "views/player/demuxercap.h"
#include "views/player/latepads.h"

#include <QAudioOutput>
#include <QCoroNetworkReply>
#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QMediaPlayer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QVideoFrame>
#include <QVideoSink>
#include <memory>

namespace tovra {

namespace {

// The states in which the backend takes a seek rather than drop it.
bool takesSeek(QMediaPlayer::MediaStatus status)
{
    return status == QMediaPlayer::LoadedMedia || status == QMediaPlayer::BufferedMedia
        || status == QMediaPlayer::BufferingMedia;
}

player::Failure failureKind(QMediaPlayer::Error error)
{
    switch (error) {
    case QMediaPlayer::ResourceError: return player::Failure::Resource;
    case QMediaPlayer::FormatError: return player::Failure::Format;
    case QMediaPlayer::NetworkError: return player::Failure::Network;
    case QMediaPlayer::AccessDeniedError: return player::Failure::AccessDenied;
    default: return player::Failure::Other;
    }
}

// A report on its way, and the client carrying it: only reports of the live client are
// waited for on quitting (a client that is gone never finishes its posts).
struct Flight
{
    QPointer<APIClient> client;
    bool done = false;
};

QList<std::shared_ptr<Flight>> &flights()
{
    static QList<std::shared_ptr<Flight>> list;
    return list;
}

int pendingFlights()
{
    auto &list = flights();
    list.removeIf([](const std::shared_ptr<Flight> &f) { return f->done || !f->client || f->client != APIClient::shared(); });
    return int(list.size());
}

// Set while quitting waits for the last reports, so the last one to land ends the wait.
QPointer<QEventLoop> &quitWait()
{
    static QPointer<QEventLoop> loop;
    return loop;
}

QList<QPointer<PlayerModel>> &liveModels()
{
    static QList<QPointer<PlayerModel>> models;
    return models;
}

// Nothing waits for a report while the client runs, and nothing is done with its outcome; only
// quitting waits a moment, so the position since the last report is not lost. The client is
// process-wide, so the post may outlive the model that started it.
QCoro::Task<void> postProgress(APIClient *client, Params form)
{
    auto flight = std::make_shared<Flight>(Flight{client});
    flights().append(flight);
    co_await client->post<Empty>(QStringView(player::kProgressPath).toString(), std::move(form));
    flight->done = true;
    if (QEventLoop *loop = quitWait(); loop && pendingFlights() == 0)
        loop->quit();
}

}

PlayerModel::PlayerModel(PlayAuth auth, PlayEntry entry, qint64 startAt, QObject *parent)
    : QualitySource(parent)
    , m_player(new QMediaPlayer(this))
    , m_audio(new QAudioOutput(this))
    , m_auth(std::move(auth))
    , m_entry(std::move(entry))
    , m_startAt(startAt)
{
    m_player->setAudioOutput(m_audio);
    DemuxerCap::watch();
    LatePads::watch();
    liveModels().append(this);
    // One hook for the whole process, made with the first model: quitting ends every playback
    // with its final report, whichever window or page still holds it.
    static const bool hooked = [] {
        if (QCoreApplication *app = QCoreApplication::instance())
            QObject::connect(app, &QCoreApplication::aboutToQuit, app, [] { finishAll(); });
        return true;
    }();
    Q_UNUSED(hooked);
    m_sampler.setInterval(kSampleInterval);
    connect(&m_sampler, &QTimer::timeout, this, [this] {
        // While the stream is being opened again its position reads 0 until the seek lands.
        if (!m_pendingSeekMs)
            samplePosition(player::wholeSeconds(position()));
    });
    m_watchdog.setInterval(kStallCheck);
    connect(&m_watchdog, &QTimer::timeout, this, &PlayerModel::checkPicture);
    connect(DecoderLoss::instance(), &DecoderLoss::lost, this, &PlayerModel::onTrackLost);
}

PlayerModel::~PlayerModel()
{
    stop();
    liveModels().removeAll(this);
}

int PlayerModel::reportsInFlight()
{
    return pendingFlights();
}

void PlayerModel::finishAll(std::chrono::milliseconds wait)
{
    for (const QPointer<PlayerModel> &model : QList(liveModels())) {
        if (model)
            model->stop();
    }
    // The wait starts once every final report is under way: letting go of a stream can take a
    // while, and that time must not eat into the report's.
    const QDeadlineTimer deadline(wait);
    if (pendingFlights() == 0)
        return;
    // The main loop has ended: a local loop lets the posts go out and their replies come in,
    // until the last reply or the deadline.
    QEventLoop loop;
    quitWait() = &loop;
    QTimer::singleShot(std::max<qint64>(0, deadline.remainingTime()), &loop, &QEventLoop::quit);
    loop.exec();
    quitWait() = nullptr;
}

void PlayerModel::setNoticeTimes(std::chrono::milliseconds trial, std::chrono::milliseconds resume)
{
    m_trialNoticeTime = trial;
    m_resumeNoticeTime = resume;
}

void PlayerModel::play()
{
    if (m_started)
        return;
    m_started = true;
    const auto url = player::authedUrl(m_auth.url, m_auth.token, QDateTime::currentMSecsSinceEpoch());
    if (!url) {
        // Nothing was played, so there is nothing to sample, report or stop.
        m_stopped = true;
        setMessage(QStringView(player::kBadAddressText).toString());
        return;
    }
    m_streamUrl = *url;
    m_player->setSource(m_streamUrl);
    connect(m_player, &QMediaPlayer::mediaStatusChanged, this, &PlayerModel::onStatusChanged);
    connect(m_player, &QMediaPlayer::seekableChanged, this, &PlayerModel::applyPendingSeek);
    connect(m_player, &QMediaPlayer::durationChanged, this, [this](qint64 duration) {
        if (duration > 0)
            m_knownDurationMs = duration;
    });
    m_sampler.start();
    connect(m_player, &QMediaPlayer::errorOccurred, this, [this](QMediaPlayer::Error error, const QString &text) {
        onFailure(text, error);
    });
    if (QVideoSink *sink = m_player->videoSink())
        connect(sink, &QVideoSink::videoFrameChanged, this, &PlayerModel::onFrame);
    m_watchdog.start();
    if (m_startAt >= player::kMinResume)
        holdForSeek(m_streamUrl, m_startAt * 1000);
    else
        m_player->play();
    loadVariants();
    if (const auto notice = player::trialNotice(m_auth.et)) {
        setMessage(*notice);
        clearLater(m_trialNoticeTime, QStringLiteral("非会员"));
    }
}

void PlayerModel::stop()
{
    if (!m_started || m_stopped)
        return;
    m_stopped = true;
    const qint64 position = m_timeBox.load();
    if (player::ProgressRule::worthFinalReport(position))
        report(position);
    m_sampler.stop();
    m_watchdog.stop();
    disconnect(m_player, nullptr, this, nullptr);
    if (QVideoSink *sink = m_player->videoSink())
        disconnect(sink, nullptr, this, nullptr);
    // Letting the source go releases the stream as well as stopping it. Either way Qt 6.4's backend
    // sends the pipeline an event holding its state lock, and a switch of streams under way in the
    // decoder (a quality change) can then deadlock it; that is out of our reach.
    m_player->setSource(QUrl());
    DemuxerCap::forget(m_streamUrl);
}

void PlayerModel::onStatusChanged()
{
    const QMediaPlayer::MediaStatus status = m_player->mediaStatus();
    // A demuxer that lost its way after a seek or a quality change ends the stream where it is:
    // an end well before the duration is a stall, not the end of the episode.
    if (status == QMediaPlayer::EndOfMedia && m_player->error() == QMediaPlayer::NoError && m_knownDurationMs > 0
        && m_playingAt >= 0 && m_playingAt + 2 * kStallLimitMs < m_knownDurationMs) {
        recover(m_playingAt, QStringLiteral("播放提前结束"));
        return;
    }
    if (!takesSeek(status))
        return;
    // A seek held for a quality change has no resume to apply it.
    resume();
    applyPendingSeek();
}

void PlayerModel::applyPendingSeek()
{
    // The backend drops a seek made before the stream can seek: a resume or a quality change
    // waits for that moment.
    if (!m_pendingSeekMs || !m_player->isSeekable() || !takesSeek(m_player->mediaStatus()))
        return;
    // A demuxer made for the stream opened again takes the chosen cap only once it plays; set
    // before the seek, the seek's flush then fetches the chosen quality.
    if (m_selected && m_player->source() == m_streamUrl)
        DemuxerCap::cap(m_streamUrl, m_selected->bandwidth);
    seek(*m_pendingSeekMs);
    m_pendingSeekMs.reset();
    if (m_playAfterSeek) {
        m_playAfterSeek = false;
        m_player->play();
    }
}

void PlayerModel::resume()
{
    if (m_didSeek || m_startAt < player::kMinResume)
        return;
    m_didSeek = true;
    m_pendingSeekMs = m_startAt * 1000;
    applyPendingSeek();
    m_rule.resumedAt(m_startAt);
    setMessage(player::resumeNotice(m_startAt));
    clearLater(m_resumeNoticeTime, QStringLiteral("已从上次"));
}

bool PlayerModel::isShownPlaying() const
{
    return m_player->playbackState() == QMediaPlayer::PlayingState && m_player->error() == QMediaPlayer::NoError;
}

void PlayerModel::togglePlay()
{
    if (isShownPlaying()) {
        m_player->pause();
        return;
    }
    if (!m_started || m_stopped || m_streamUrl.isEmpty())
        return;
    // A failed pipeline takes no play; one that ended plays again from the start in a fresh
    // one, since the old demuxer, having reached its end, no longer follows a quality change.
    if (m_failedAt || m_player->error() != QMediaPlayer::NoError) {
        const qint64 at = m_failedAt.value_or(position());
        m_failedAt.reset();
        m_clearOnPicture = true;
        reopen(at);
        return;
    }
    if (m_player->mediaStatus() == QMediaPlayer::EndOfMedia) {
        reopen(0);
        return;
    }
    m_player->play();
}

void PlayerModel::onFailure(const QString &text, int error)
{
    if (error == QMediaPlayer::NoError || m_stopped)
        return;
    // The backend's sentence is English and technical: it goes to the log, the user reads ours.
    fail(text, failureKind(QMediaPlayer::Error(error)));
}

void PlayerModel::fail(const QString &logText, player::Failure kind)
{
    logLine(QStringLiteral("播放失败"), logText);
    setMessage(player::failureNotice(kind));
    m_clearOnPicture = false;
    if (!m_failedAt)
        m_failedAt = m_playingAt >= 0 ? m_playingAt : position();
    // The backend plays on what it had loaded: the picture stops when the bar says it did.
    m_player->pause();
}

qint64 PlayerModel::position() const
{
    return std::max<qint64>(0, m_player->position() - std::max<qint64>(0, m_originMs));
}

qint64 PlayerModel::duration() const
{
    return std::max(m_player->duration(), m_knownDurationMs);
}

void PlayerModel::seek(qint64 positionMs)
{
    m_seekedSinceOpen = true;
    // A seek to the end ends the stream before the watchdog looks again: that end is no stall.
    m_playingAt = std::max<qint64>(0, positionMs);
    m_furthest = m_playingAt;
    m_stuckFor = 0;
    // The demuxer seeks on the playlist's own clock, which ends at the duration: a target past
    // it, as the first picture's offset makes the end, is refused, and the picture stays where
    // the refused seek left it while the sound plays on.
    qint64 target = m_playingAt + std::max<qint64>(0, m_originMs);
    if (m_player->duration() > 0)
        target = std::min(target, m_player->duration() - 1);
    m_player->setPosition(target);
}

void PlayerModel::onFrame(const QVideoFrame &frame)
{
    if (!frame.isValid())
        return;
    if (m_originMs < 0 && !m_seekedSinceOpen && frame.startTime() >= 0)
        m_originMs = frame.startTime() / 1000;
    m_withoutPicture = 0;
    m_recovering = false;
    m_trackLosses = 0;
    if (m_clearOnPicture) {
        m_clearOnPicture = false;
        if (m_message && m_message->startsWith(QStringLiteral("播放失败")))
            setMessage(std::nullopt);
    }
}

void PlayerModel::checkPicture()
{
    // A stream opened again can keep the states of the one before, and then no change tells
    // that it can seek.
    if (m_pendingSeekMs)
        applyPendingSeek();
    if (m_player->playbackState() != QMediaPlayer::PlayingState) {
        m_watchedAt = -1;
        return;
    }
    const qint64 at = position();
    // Buffering, the backend's position wavers back and forth: stuck is never getting further
    // than before, by a tenth of a second, for the whole time, whatever else the backend says.
    if (at > m_furthest + 100) {
        m_furthest = at;
        m_stuckFor = 0;
    } else {
        m_stuckFor += kStallCheck.count();
    }
    if (m_stuckFor >= kStuckLimitMs) {
        m_stuckFor = 0;
        if (!m_message || !m_message->startsWith(QStringLiteral("播放失败")))
            fail(QStringLiteral("播放停滞 %1 秒，后端未报告错误").arg(kStuckLimitMs / 1000), player::Failure::Network);
        return;
    }
    if (m_player->error() != QMediaPlayer::NoError || m_pendingSeekMs) {
        m_watchedAt = -1;
        return;
    }
    m_playingAt = at;
    const qint64 step = m_watchedAt < 0 ? 0 : at - m_watchedAt;
    m_watchedAt = at;
    // Only steady playback counts: a seek moves the position further than one look's worth.
    const qint64 steady = qint64(4 * kStallCheck.count() * std::max(1.0, m_player->playbackRate()));
    // A stream whose video decoder never came up has no video as far as the backend knows; a
    // picture seen before, or a master playlist of qualities, says it has one.
    const bool hasPicture = m_player->hasVideo() || m_originMs >= 0 || !m_variants.isEmpty();
    if (hasPicture && step > 0 && step <= steady)
        m_withoutPicture += step;
    if (m_withoutPicture >= kStallLimitMs)
        recover(at, QStringLiteral("画面停止"));
}

void PlayerModel::onTrackLost(const QByteArray &source, quint64 pipeline, const QString &mediaType)
{
    if (!m_started || m_stopped || source != m_player->source().toEncoded() || pipeline <= m_lostPipeline)
        return;
    // Only the picture or the sound of a playback that has shown pictures was lost to the
    // backend's race: a stream carrying something else besides (timed metadata, say), or one
    // never decodable here, plays on as it is.
    if (m_originMs < 0 || !(mediaType.startsWith(u"video/") || mediaType.startsWith(u"audio/")))
        return;
    // The race can meet the seek of a stream just opened again, so this is not the one attempt
    // a stopped picture gets; a few in a row without a picture, though, and the backend is
    // given up on.
    if (m_trackLosses >= kMaxTrackLosses)
        return;
    ++m_trackLosses;
    m_lostPipeline = pipeline;
    m_recovering = false;
    // A stream opened again reads 0 until its seek lands.
    recover(m_pendingSeekMs.value_or(std::max(position(), m_playingAt)), QStringLiteral("%1 解码器丢失").arg(mediaType));
}

void PlayerModel::recover(qint64 position, const QString &what)
{
    m_withoutPicture = 0;
    // One attempt until a picture comes: a stream whose video never arrives is not reopened in
    // a loop.
    if (m_recovering)
        return;
    m_recovering = true;
    ++m_reopens;
    logLine(QStringLiteral("%1，从 %2 秒处重新打开").arg(what, QString::number(position / 1000.0, 'f', 1)));
    reopen(position);
}

void PlayerModel::reopen(qint64 position)
{
    const QUrl source = m_player->source().isEmpty() ? m_streamUrl : m_player->source();
    m_pendingSeekMs.reset();
    m_playAfterSeek = false;
    m_watchedAt = -1;
    m_withoutPicture = 0;
    m_playingAt = position;
    m_furthest = position;
    m_stuckFor = 0;
    // The backend ignores the address it already has: letting it go first builds a new decoder.
    m_player->setSource(QUrl());
    m_player->setSource(source);
    m_seekedSinceOpen = false;
    if (position > 0)
        holdForSeek(source, position);
    else
        m_player->play();
}

void PlayerModel::samplePosition(qint64 seconds)
{
    if (!m_started || m_stopped)
        return;
    m_timeBox.store(seconds);
    if (const auto position = m_rule.sample(seconds))
        report(*position);
}

void PlayerModel::report(qint64 position)
{
    APIClient *client = APIClient::shared();
    if (!client)
        return;
    const qint64 durationMs = m_player->source().isEmpty() ? 0 : duration();
    const qint64 duration = player::wholeSeconds(durationMs);
    postProgress(client, player::progressForm(m_entry.did, m_entry.episode, position, duration));
}

void PlayerModel::setMessage(std::optional<QString> message)
{
    if (m_message == message)
        return;
    m_message = std::move(message);
    emit messageChanged();
}

void PlayerModel::clearLater(std::chrono::milliseconds after, const QString &prefix)
{
    // Each notice clears only itself: a newer notice of another kind, or a failure, stays.
    QTimer::singleShot(after, this, [this, prefix] {
        if (m_message && m_message->startsWith(prefix))
            setMessage(std::nullopt);
    });
}

void PlayerModel::select(std::optional<Variant> variant)
{
    if (m_selected == variant && (!variant || m_selected->uri == variant->uri))
        return;
    m_selected = std::move(variant);
    emit selectedChanged();
    if (!m_started || m_stopped || m_streamUrl.isEmpty())
        return;
    // The playing stream's demuxer takes the cap; a seek to where the picture is then drops what
    // was loaded ahead in the old quality and fetches the chosen variant from the segment playing
    // on, so nothing before the position is loaded again. Qt ignores a seek to the position it
    // reads as it takes the seek, hence the millisecond; back, since playback may have moved on
    // by one between the two reads and a step forward would land on it. "自动" lifts the cap and
    // lets the player move up or down as it goes.
    if (m_player->source() == m_streamUrl && DemuxerCap::cap(m_streamUrl, m_selected ? m_selected->bandwidth : 0)) {
        if (m_selected && m_player->isSeekable())
            seek(std::max<qint64>(0, position() - 1));
        return;
    }
    // Without a demuxer to cap, a chosen quality plays that variant's own playlist; "自动" goes
    // back to the master. The position carries over.
    QUrl target = m_streamUrl;
    if (m_selected) {
        const QUrl resolved = m_streamUrl.resolved(QUrl(m_selected->uri));
        if (m_selected->uri.isEmpty() || !isWebAddress(resolved))
            return;
        target = resolved;
    }
    switchSource(target);
}

void PlayerModel::switchSource(const QUrl &source)
{
    if (m_player->source() == source)
        return;
    const qint64 position = this->position();
    // Set after the new source: the old one reports its last states while it is let go, and
    // those must not take the seek.
    m_player->setSource(source);
    m_seekedSinceOpen = false;
    if (position <= 0) {
        m_player->play();
        return;
    }
    holdForSeek(source, position);
}

void PlayerModel::holdForSeek(const QUrl &source, qint64 position)
{
    // The stream stays still until it can seek, so the picture does not start over and then
    // jump; a stream that never becomes seekable plays from where it can.
    m_pendingSeekMs = position;
    m_playAfterSeek = true;
    m_player->pause();
    QTimer::singleShot(kSeekHoldLimit, this, [this, source] {
        if (!m_playAfterSeek || m_stopped || m_player->source() != source)
            return;
        m_playAfterSeek = false;
        m_pendingSeekMs.reset();
        m_player->play();
    });
}

QCoro::Task<void> PlayerModel::loadVariants()
{
    const auto url = player::authedUrl(m_auth.url, m_auth.token, QDateTime::currentMSecsSinceEpoch());
    APIClient *client = APIClient::shared();
    QNetworkAccessManager *manager = client ? client->manager() : nullptr;
    if (!url || !manager)
        co_return;
    // A plain fetch: none of the API client's headers and no bearer token go to the media host.
    QNetworkRequest request(*url);
    request.setTransferTimeout(int(APIClient::kRequestTimeout.count()));
    QNetworkReply *reply = manager->get(request);
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > kMaxPlaylistBytes)
            reply->abort();
    });
    QPointer self = this;
    co_await reply;
    reply->deleteLater();
    if (!self)
        co_return;
    // Any answer from the server is read whatever its status; only a failed transfer is dropped.
    if (!reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid()
        || reply->error() == QNetworkReply::OperationCanceledError)
        co_return;
    const auto variants = hls::parseVariants(reply->readAll());
    if (!variants)
        co_return;
    m_variants = *variants;
    emit variantsChanged();
}

}
