#include "views/player/playermodel.h"

#include "network/apiclient.h"
#include "store/log.h"
#include "views/player/pipeline.h"

#include <QCoroNetworkReply>
#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QScopeGuard>
#include <memory>

namespace tovra {

namespace {

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
    , m_pipeline(std::make_unique<Pipeline>())
    , m_auth(std::move(auth))
    , m_entry(std::move(entry))
    , m_startAt(startAt)
{
    liveModels().append(this);
    // One hook for the whole process, made with the first model: quitting ends every playback
    // with its final report, whichever window or page still holds it.
    static const bool hooked = [] {
        if (QCoreApplication *app = QCoreApplication::instance())
            QObject::connect(app, &QCoreApplication::aboutToQuit, app, [] { finishAll(); });
        return true;
    }();
    Q_UNUSED(hooked);
    connect(m_pipeline.get(), &Pipeline::seeked, this, &PlayerModel::onSeeked);
    connect(m_pipeline.get(), &Pipeline::failed, this, &PlayerModel::onFailed);
    connect(m_pipeline.get(), &Pipeline::ended, this, &PlayerModel::onEnded);
    connect(m_pipeline.get(), &Pipeline::durationChanged, this, [this](qint64 duration) {
        m_knownDurationMs = duration;
        emit durationChanged();
    });
    m_sampler.setInterval(kSampleInterval);
    connect(&m_sampler, &QTimer::timeout, this, [this] { samplePosition(player::wholeSeconds(position())); });
    m_watchdog.setInterval(kStallCheck);
    connect(&m_watchdog, &QTimer::timeout, this, &PlayerModel::checkProgress);
    m_retryTimer.setSingleShot(true);
    // A coarse timer fires up to 5 % early: a retry is never sooner than its schedule says.
    m_retryTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_retryTimer, &QTimer::timeout, this, [this] {
        if (m_stopped || m_failedAt)
            return;
        // Where the picture stood, or where the user sought meanwhile.
        const auto stuck = m_stuckFor;
        open(position());
        m_stuckFor = stuck;
    });
    m_ticker.setInterval(kPositionTick);
    connect(&m_ticker, &QTimer::timeout, this, [this] {
        const qint64 now = position();
        if (now != m_shownPosition) {
            m_shownPosition = now;
            emit positionChanged();
        }
        const qint64 frame = m_pipeline ? m_pipeline->framePosition() : -1;
        if (frame != m_lastFrame) {
            m_lastFrame = frame;
            m_still.start();
            if (frame >= 0)
                endRetryChain();
        }
        updateWaiting();
    });
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
    // The wait starts once every final report is under way; the player processes ending have
    // what is left of it, so none outlives the client.
    const QDeadlineTimer deadline(wait);
    const auto shutdowns = qScopeGuard([&] { Pipeline::waitForShutdowns(int(std::max<qint64>(0, deadline.remainingTime()))); });
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
    if (APIClient *client = APIClient::shared())
        m_account = client->currentToken();
    const auto url = player::authedUrl(m_auth.url, m_auth.token, QDateTime::currentMSecsSinceEpoch());
    if (!url) {
        // Nothing was played, so there is nothing to sample, report or stop.
        m_stopped = true;
        m_pipeline.reset();
        setMessage(QStringView(player::kBadAddressText).toString());
        return;
    }
    m_streamUrl = *url;
    m_sampler.start();
    m_ticker.start();
    m_watchdog.start();
    setPlaying(true);
    // A resume point is sought while the stream is still paused at its start, so the picture
    // opens where the user left off rather than start over and jump.
    open(m_startAt >= player::kMinResume ? m_startAt * 1000 : 0);
    loadVariants();
    if (const auto notice = player::trialNotice(m_auth.et)) {
        setMessage(*notice);
        clearLater(m_trialNoticeTime, QStringLiteral("非会员"));
    }
}

void PlayerModel::open(qint64 positionMs)
{
    // Whatever opens now stands for a retry still waiting its turn: that one would be a try for
    // an open nobody waits for any more.
    m_retryTimer.stop();
    m_ended = false;
    m_seekingTo = positionMs;
    restartProgress(positionMs);
    m_pipeline->open(m_streamUrl, positionMs);
    m_openSequence = m_pipeline->seekSequence();
    m_openPending = true;
    expectPicture();
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
    m_ticker.stop();
    m_watchdog.stop();
    m_retryTimer.stop();
    // Its player process is ended; the page does not wait for it.
    m_pipeline.reset();
    m_playing = false;
    updateWaiting();
}

void PlayerModel::setPlaying(bool playing)
{
    if (m_pipeline)
        m_pipeline->setPlaying(playing);
    if (m_playing == playing)
        return;
    // The chain's clock stands while paused.
    if (m_retryLeft) {
        m_retryLeft = retryTimeLeft();
        m_retryClock.start();
    }
    m_playing = playing;
    if (playing)
        expectPicture();
    updateWaiting();
    emit playingChanged();
}

void PlayerModel::onSeeked(quint64 sequence)
{
    if (!m_pipeline)
        return;
    // The pipeline folds a seek asked for while another (or an open) is on its way into the
    // latest, and names only that one: a picture in for a sequence completes every one asked
    // before it. An open's own step must not wait for a sequence that never comes, or a retry's
    // failure notice stays over a playing picture for good.
    if (m_openPending && sequence >= m_openSequence) {
        m_openPending = false;
        // The stream's first picture is in, at the resume point when there is one.
        resume();
        if (std::exchange(m_clearOnPicture, false) && m_message && m_message->startsWith(QStringLiteral("播放失败")))
            setMessage(std::nullopt);
        // A master playlist the site failed to give at first is asked for again once it played.
        if (m_variants.isEmpty())
            loadVariants();
    }
    if (sequence == m_pipeline->seekSequence()) {
        m_seekingTo.reset();
        updateWaiting();
    }
}

void PlayerModel::resume()
{
    if (m_didSeek || m_startAt < player::kMinResume)
        return;
    m_didSeek = true;
    m_rule.resumedAt(m_startAt);
    setMessage(player::resumeNotice(m_startAt));
    clearLater(m_resumeNoticeTime, QStringLiteral("已从上次"));
}

bool PlayerModel::isShownPlaying() const
{
    return m_playing && !m_failedAt && !m_ended && !m_stopped;
}

void PlayerModel::togglePlay()
{
    if (isShownPlaying()) {
        // A retry waiting for its turn is a try nobody would wait for.
        if (m_retryTimer.isActive())
            holdForPlay();
        setPlaying(false);
        return;
    }
    if (!m_started || m_stopped || !m_pipeline)
        return;
    if (m_heldAt || m_failedAt) {
        // A failure held while paused, or shown: the stream is opened again where it stopped, as
        // a new chain of retries since the user asked. A shown failure's notice goes with the
        // first picture, or stays should this try fail too.
        m_clearOnPicture = m_failedAt.has_value();
        const qint64 at = m_heldAt ? *m_heldAt : *m_failedAt;
        m_heldAt.reset();
        m_failedAt.reset();
        endRetryChain();
        setPlaying(true);
        open(at);
        emit playingChanged();
        return;
    }
    // At its end the demuxer has let its stream go: playing again opens it afresh.
    if (m_ended)
        open(0);
    setPlaying(true);
    emit playingChanged();
}

void PlayerModel::onFailed(int kind, const QString &text)
{
    if (m_stopped)
        return;
    // The pipeline gives up on a site that stumbles where the demuxer does not pace it itself:
    // a playlist, the first request of all. Such a play is opened again where it stood, paced as
    // the player paces a segment, until the stall limit from the chain's first failure: the
    // waiting spinner shows meanwhile, and the failure only once that time is out. The stall
    // clock runs on across the retries.
    // The player mends a stand itself first (a seek where the picture stood); one it could not
    // mend is opened again there in a new player, the waiting spinner all the user sees. Only a
    // stand that outlasts kStandRounds of that is said.
    if (player::Failure(kind) == player::Failure::Stalled && !m_failedAt) {
        if (!m_playing) {
            logLine(QStringLiteral("播放停滞，继续播放时重试"), text);
            holdForPlay();
            return;
        }
        if (++m_standRounds < kStandRounds) {
            logLine(QStringLiteral("播放停滞，换新播放进程从停处继续"), text);
            const auto stuck = m_stuckFor;
            open(position());
            m_stuckFor = stuck;
            return;
        }
    }
    if (player::Failure(kind) == player::Failure::Network && !m_failedAt) {
        if (!m_playing) {
            logLine(QStringLiteral("播放中断，继续播放时重试"), text);
            holdForPlay();
            return;
        }
        if (!m_retryLeft) {
            m_retryLeft = std::max<std::chrono::milliseconds>(m_stallLimit - m_stuckFor, {});
            m_retryClock.start();
        }
        const auto wait = m_retries.next();
        if (retryTimeLeft() > wait) {
            logLine(QStringLiteral("播放中断，稍后重试"), text);
            m_seekingTo = position();
            // The pipeline has a spare player starting since it heard of the failure: the retry
            // takes one that is ready by then, even on a busy machine.
            m_retryTimer.start(wait);
            return;
        }
    }
    fail(kind, text);
}

void PlayerModel::holdForPlay()
{
    m_retryTimer.stop();
    m_heldAt = position();
    m_seekingTo.reset();
    m_openPending = false;
    updateWaiting();
}

void PlayerModel::endRetryChain()
{
    m_standRounds = 0;
    m_retries.restart();
    m_retryLeft.reset();
}

std::chrono::milliseconds PlayerModel::retryTimeLeft() const
{
    const auto ran = m_playing ? std::chrono::milliseconds(m_retryClock.elapsed()) : std::chrono::milliseconds{};
    return m_retryLeft ? *m_retryLeft - ran : std::chrono::milliseconds{};
}

void PlayerModel::fail(int kind, const QString &text)
{
    // The pipeline's sentence is English and technical: it goes to the log, the user reads ours.
    logLine(QStringLiteral("播放失败"), text);
    m_retryTimer.stop();
    setMessage(player::failureNotice(player::Failure(kind)));
    m_clearOnPicture = false;
    m_failedAt = position();
    m_seekingTo.reset();
    m_openPending = false;
    updateWaiting();
    emit playingChanged();
}

void PlayerModel::onEnded(quint64 opened)
{
    // The end of a stream since opened again is no news.
    if (m_stopped || opened != m_openSequence)
        return;
    m_ended = true;
    setPlaying(false);
    updateWaiting();
    emit playingChanged();
}

void PlayerModel::restartProgress(qint64 positionMs)
{
    // Progress is counted from the new position: played again, or sought back, the picture is
    // behind where it has been and still moving on.
    m_furthest = positionMs;
    m_stuckFor = {};
}

void PlayerModel::expectPicture()
{
    m_still.start();
}

void PlayerModel::updateWaiting()
{
    const bool expecting = m_started && !m_stopped && !m_failedAt && !m_ended && (m_playing || m_seekingTo);
    const bool waiting = expecting && m_still.isValid() && m_still.elapsed() >= kWaitingAfter.count();
    if (waiting == m_waiting)
        return;
    m_waiting = waiting;
    emit waitingChanged();
}

void PlayerModel::checkProgress()
{
    const qint64 at = position();
    // Paused, nothing is expected to move, and the stand goes on counting once play is pressed
    // again: a pause is no progress. Failed or at the end, the count is over. Buffering, the
    // position can waver: stuck is never getting further than before by a tenth of a second.
    if (!isShownPlaying() && !m_failedAt && !m_ended && !m_stopped && !m_heldAt)
        return;
    if (!isShownPlaying() || at > m_furthest + 100) {
        m_furthest = at;
        m_stuckFor = {};
        return;
    }
    m_stuckFor += kStallCheck;
    if (m_stuckFor < m_stallLimit)
        return;
    m_stuckFor = {};
    // The site owing the player an answer is the network's fault; with everything answered, the
    // play stood by itself, and a network failure would send the user to a line that works.
    const bool site = m_pipeline->waitsOnSite();
    m_pipeline->halt();
    fail(int(site ? player::Failure::Network : player::Failure::Stalled),
         QStringLiteral("播放停滞 %1 秒，画面停在 %2 ms，管线未报告错误，%3")
             .arg(m_stallLimit.count() / 1000.0)
             .arg(at)
             .arg(site ? QStringLiteral("站点有请求未应答或失败") : QStringLiteral("站点已应答全部请求")));
}

qint64 PlayerModel::position() const
{
    if (m_seekingTo)
        return *m_seekingTo;
    if (m_failedAt)
        return *m_failedAt;
    if (m_heldAt)
        return *m_heldAt;
    const qint64 shown = m_pipeline ? m_pipeline->framePosition() : m_timeBox.load() * 1000;
    return std::max<qint64>(0, shown);
}

qint64 PlayerModel::duration() const
{
    return m_knownDurationMs;
}

void PlayerModel::seek(qint64 positionMs)
{
    if (!m_pipeline || m_streamUrl.isEmpty())
        return;
    positionMs = std::max<qint64>(0, positionMs);
    if (m_knownDurationMs > 0)
        positionMs = std::min(positionMs, m_knownDurationMs);
    if (m_failedAt || m_heldAt) {
        // Nothing to seek in a failed stream: the retry starts there instead.
        (m_failedAt ? m_failedAt : m_heldAt) = positionMs;
        return;
    }
    // Paused, a seek to the end is the end: nothing plays on to reach it, and ▶ plays again from
    // the start, not the last moment before the end. Playing, the stream reaches it itself.
    m_ended = m_knownDurationMs > 0 && positionMs >= m_knownDurationMs && (m_ended || !m_playing);
    m_seekingTo = positionMs;
    restartProgress(positionMs);
    m_pipeline->seek(positionMs);
    expectPicture();
    emit positionChanged();
}

void PlayerModel::setRate(double rate)
{
    m_rate = rate;
    if (m_pipeline)
        m_pipeline->setRate(rate);
}

void PlayerModel::setVolume(double volume)
{
    m_volume = std::clamp(volume, 0.0, 1.0);
    if (m_pipeline)
        m_pipeline->setVolume(m_volume);
    emit audioChanged();
}

void PlayerModel::setMuted(bool muted)
{
    m_muted = muted;
    if (m_pipeline)
        m_pipeline->setMuted(muted);
    emit audioChanged();
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
    // A report belongs to the account that started this playback: once another one is signed
    // in, or none, it would land in someone else's history (or nobody's), so it is not sent.
    // The token is compared with what the post would carry, asked for before the post starts.
    if (client->currentToken() != m_account) {
        logLine(QStringLiteral("播放进度未上报"), QStringLiteral("开始播放的账号已不再登录"));
        return;
    }
    const qint64 duration = player::wholeSeconds(m_knownDurationMs);
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
    // A chosen quality shows from the next segment on, after a moment's stop like a seek's
    // (what was loaded ahead at the old quality is dropped). "自动" only lifts the cap: the
    // demuxer moves up as it goes, without a break.
    if (m_pipeline)
        m_pipeline->setMaxBitrate(m_selected ? quint64(std::max<qint64>(1, m_selected->bandwidth)) : 0, m_selected.has_value());
}

QCoro::Task<void> PlayerModel::loadVariants()
{
    const auto url = player::authedUrl(m_auth.url, m_auth.token, QDateTime::currentMSecsSinceEpoch());
    APIClient *client = APIClient::shared();
    QNetworkAccessManager *manager = client ? client->manager() : nullptr;
    if (!url || !manager || m_loadingVariants)
        co_return;
    m_loadingVariants = true;
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
    m_loadingVariants = false;
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
