#include "views/player/pipeline.h"

#include "models/playerlogic.h"
#include "playerlink/playerlink.h"
#include "store/log.h"
#include "views/player/framescaler.h"
#include "views/player/playerprocesses.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QProcess>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace tovra {

using namespace playerlink;
using namespace playerprocess;

namespace {

// How often an open player is asked whether it still answers.
constexpr std::chrono::milliseconds kPingEvery{1000};
// A player that has not answered for this long is hung. Its main thread only reads the link and
// passes its pipeline's news on, and never waits on the pipeline (the demuxer's locks are the
// pipeline thread's to wait on): even on a machine busy enough to leave it without a core for a
// moment it answers within a fraction of a second. 4 s is far beyond such a moment and far short
// of the 30 s the stall watchdog gives the network, which would name the wrong culprit.
constexpr std::chrono::milliseconds kAnswerBound{4000};
// Before its first answer a player may still be loading GStreamer's elements (a fresh one, or a
// spare taken just after it started), which a busy machine stretches to seconds.
constexpr std::chrono::milliseconds kFirstAnswerBound{15000};
// How often a spare taken is looked at until it answers. A spare left waiting through the play
// before may have stopped with it, and one that has stopped is replaced, not given the hung-player
// bound; this only sets how soon a stop is seen, as the stop itself is what condemns the spare.
constexpr std::chrono::milliseconds kSpareAnswerBound{500};

}

struct Pipeline::Player
{
    int link = -1;
    QPointer<QProcess> process;
    QSocketNotifier *notifier = nullptr;
    bool opened = false;
    quint64 pingSerial = 0;
    bool pingOutstanding = false;
    QElapsedTimer pingSent;
    int turnsUnanswered = 0;
    bool answered = false;
    // A spare taken stays on trial until it answers the ping sent as it was taken (its serial);
    // what it was sent meanwhile goes to the player that replaces it.
    quint64 trialPing = 0;
    QList<QByteArray> sentOnTrial;
};

Pipeline::Pipeline(QObject *parent)
    : QObject(parent)
{
    m_alive.setInterval(kPingEvery);
    m_alive.setTimerType(Qt::PreciseTimer);
    connect(&m_alive, &QTimer::timeout, this, &Pipeline::checkAlive);
    m_trial.setInterval(kSpareAnswerBound);
    connect(&m_trial, &QTimer::timeout, this, &Pipeline::checkTrial);
    start();
}

Pipeline::~Pipeline()
{
    retire();
    // What a play opened goes with it; the next play's own start makes a spare ready again.
    if (m_spareGeneration != 0 && spare().generation == m_spareGeneration)
        endSpare();
}

void Pipeline::prepareNext()
{
    prepare();
    if (spareAlive())
        m_spareGeneration = spare().generation;
}

qint64 Pipeline::processId() const
{
    return m_player && m_player->process ? m_player->process->processId() : 0;
}

void Pipeline::start(QString *why)
{
    auto player = std::make_unique<Player>();
    bool spareTaken = false;
    bool loaded = false;
    if (spareAlive()) {
        spareTaken = true;
        player->link = std::exchange(spare().link, -1);
        player->process = std::exchange(spare().process, nullptr);
        pollfd p{player->link, POLLIN, 0};
        loaded = poll(&p, 1, 0) > 0 && (p.revents & POLLIN);
        // The next one is made ready at once: a stream that fails as it opens (its master
        // playlist) is tried again 0.3 s later, and a player started then is seldom ready by
        // then on a busy machine.
        prepareNext();
    } else {
        // A spare that is going would take the play down with it: a new player instead.
        endSpare();
        const auto link = makeLink();
        if (!link) {
            if (why)
                *why = QStringLiteral("no link: ") + QString::fromLocal8Bit(std::strerror(errno));
            return;
        }
        player->link = link->first;
        if (launcher()) {
            if (!launcher()(link->second)) {
                close(link->first);
                if (why)
                    *why = QStringLiteral("the launcher could not start a player");
                return;
            }
        } else {
            player->process = startProcess(link->second);
        }
    }
    if (QProcess *process = player->process) {
        connect(process, &QProcess::errorOccurred, this, [this, process](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart && m_player && m_player->process == process)
                lose(player::Failure::PlayerMissing, process->program() + QStringLiteral(": ") + process->errorString());
        });
    }
    player->notifier = new QSocketNotifier(player->link, QSocketNotifier::Read, this);
    connect(player->notifier, &QSocketNotifier::activated, this, &Pipeline::readNews);
    m_player = std::move(player);
    m_ring.reset();
    m_waitsOnSite = true;
    if (spareTaken) {
        // A spare still loading is on trial too: one stopped before it loaded would otherwise be
        // waited on for the whole first-answer bound.
        m_player->answered = loaded;
        send(pack(Command::Ping, ++m_player->pingSerial));
        m_player->trialPing = m_player->pingSerial;
        m_trial.start();
    }
    send(pack(Command::Frames, m_target != nullptr));
}

void Pipeline::checkTrial()
{
    // What came while this thread was busy first: a busy client does not take its spare for hung.
    readNews();
    if (!m_player || !m_player->trialPing) {
        m_trial.stop();
        return;
    }
    // One that runs is slow, not gone: still loading, or short of a core. Replacing it would only
    // start one slower still, in a loop on a busy machine; the answer bounds judge a hang.
    if (!stopped(processId()))
        return;
    // Replaced as one that ended before it opened would be, without a word; an open already sent
    // to it goes to the new player as it was, sequence and all.
    const bool opened = m_player->opened;
    const QList<QByteArray> sent = std::move(m_player->sentOnTrial);
    logLine(QStringLiteral("备用播放进程已停止，另起一个"), QStringLiteral("the spare %1 stopped before it answered").arg(processId()));
    retire();
    QString why;
    start(&why);
    if (!opened)
        return;
    // The play was asked for: it fails now, not when the stall watchdog gives up on it.
    if (!m_player) {
        failToStart(why);
        return;
    }
    m_player->opened = true;
    for (const QByteArray &command : sent) {
        if (quint8(command.front()) != quint8(Command::Ping))
            send(command);
    }
    watchOpened();
}

void Pipeline::retire()
{
    if (!m_player)
        return;
    m_alive.stop();
    m_trial.stop();
    const std::unique_ptr<Player> player = std::move(m_player);
    // Often called from the notifier's own signal (news that ends the play): it goes later.
    player->notifier->setEnabled(false);
    player->notifier->deleteLater();
    // The player reads the link closing and ends; one that does not is killed.
    close(player->link);
    if (QProcess *process = player->process) {
        QTimer::singleShot(kStopGrace, process, [process] {
            if (process->state() != QProcess::NotRunning)
                process->kill();
        });
    }
    m_ring.reset();
}

void Pipeline::send(const QByteArray &command)
{
    if (m_player && m_player->trialPing)
        m_player->sentOnTrial << command;
    if (!m_player || playerlink::send(m_player->link, command, -1, false))
        return;
    const int error = errno;
    // Never waits: a player that has not read a link's worth of commands is hung. A command lost
    // would leave the play somewhere the user did not ask for (a seek that never lands), so the
    // play fails there instead, and 播放 opens a new player where the user asked to be.
    if (error == EAGAIN || error == EWOULDBLOCK)
        lose(player::Failure::PlayerHung, QStringLiteral("a command found the link full: the player reads nothing"));
    else
        lose(endedKind(), QStringLiteral("a command could not be sent: ") + QString::fromLocal8Bit(std::strerror(error)));
}

player::Failure Pipeline::endedKind() const
{
    QProcess *process = m_player ? m_player->process.data() : nullptr;
    if (!process)
        return player::Failure::PlayerEnded;
    // The link closes once the child has gone; by then its start-up pipe already says whether the
    // executable ran (closed at exec) or not (the error written before it exits), so this does
    // not wait.
    if (process->state() == QProcess::Starting)
        process->waitForStarted(1000);
    return process->error() == QProcess::FailedToStart ? player::Failure::PlayerMissing : player::Failure::PlayerEnded;
}

void Pipeline::lose(player::Failure kind, const QString &why)
{
    if (!m_player)
        return;
    const bool opened = m_player->opened;
    retire();
    if (!opened) {
        // Nothing was asked of it: the user need not hear of it. Another takes its place, once;
        // one that could not start is started again only by the next open.
        logLine(QStringLiteral("播放进程未开始播放即结束"), why);
        if (kind != player::Failure::PlayerMissing && m_quietStarts++ < 1)
            start();
        return;
    }
    // The model's retry of a network failure comes 0.3 s later: a player that has loaded
    // GStreamer is waiting for it by then, even on a busy machine.
    if (kind != player::Failure::PlayerMissing)
        prepareNext();
    // Often found inside one of the model's own calls (a seek that could not be sent): it hears
    // of it from the event loop, and only if it has not opened again since.
    QMetaObject::invokeMethod(
        this,
        [this, kind, why, opens = m_opens] {
            if (opens == m_opens)
                emit failed(int(kind), why);
        },
        Qt::QueuedConnection);
}

void Pipeline::checkAlive()
{
    if (!m_player || !m_player->opened)
        return;
    // What came while this thread was busy is read first: a client too busy to listen does not
    // take its player for hung.
    readNews();
    if (!m_player)
        return;
    // The spare this play made ready is looked at with its player: one stopped with it (a hang
    // that stopped both) is replaced now, so the retry 播放 makes takes one that has loaded by
    // then; found only as it was taken, its successor would still be loading GStreamer, seconds on
    // a busy machine.
    if (m_spareGeneration == spare().generation && spare().process && stopped(spare().process->processId())) {
        logLine(QStringLiteral("备用播放进程已停止，另起一个"), QStringLiteral("the spare %1 stopped while it waited").arg(spare().process->processId()));
        endSpare();
        prepareNext();
    }
    Player &player = *m_player;
    if (!player.pingOutstanding) {
        player.pingOutstanding = true;
        player.turnsUnanswered = 0;
        player.pingSent.start();
        send(pack(Command::Ping, ++player.pingSerial));
        return;
    }
    // Counted in this thread's turns too: one long busy moment of the client is one turn, not a
    // player that stopped answering.
    const auto bound = player.answered ? kAnswerBound : kFirstAnswerBound;
    if (++player.turnsUnanswered >= bound / kPingEvery && player.pingSent.elapsed() >= bound.count())
        lose(player::Failure::PlayerHung, QStringLiteral("the player has not answered for %1 ms").arg(player.pingSent.elapsed()));
}

void Pipeline::open(const QUrl &address, qint64 startMs)
{
    const quint64 sequence = ++m_seekSequence;
    ++m_opens;
    m_quietStarts = 0;
    m_framePosition = -1;
    // A player opens once: a retry or a new play from the start gets a new one, so nothing of
    // the last (a demuxer wedged on a silent site, a sound chain a failure left behind) is in it.
    if (m_player && m_player->opened)
        retire();
    // One that went before it was asked anything (a spare that was ending, a crash at start-up)
    // and whose news has not been read yet is replaced now, without a word.
    if (m_player && (linkClosed(m_player->link) || (m_player->process && m_player->process->state() == QProcess::NotRunning)))
        lose(endedKind(), QStringLiteral("the player ended before it opened"));
    QString why;
    if (!m_player)
        start(&why);
    if (!m_player) {
        failToStart(why);
        return;
    }
    m_player->opened = true;
    m_waitsOnSite = true;
    send(pack(Command::Play, m_playing));
    if (m_rate != 1.0)
        send(pack(Command::Rate, m_rate));
    send(pack(Command::Volume, m_volume));
    send(pack(Command::Muted, m_muted));
    if (m_maxBitrate)
        send(pack(Command::MaxBitrate, m_maxBitrate, false));
    send(pack(Command::Open, address.toEncoded(), startMs, sequence));
    watchOpened();
}

void Pipeline::failToStart(const QString &why)
{
    logLine(QStringLiteral("播放进程无法启动"), why);
    // Heard from the event loop, as a failure found inside one of the model's own calls is.
    QMetaObject::invokeMethod(
        this,
        [this, why, opens = m_opens] {
            if (opens == m_opens)
                emit failed(int(player::Failure::PlayerMissing), why);
        },
        Qt::QueuedConnection);
}

void Pipeline::watchOpened()
{
    if (!m_player)
        return;
    m_player->pingOutstanding = true;
    m_player->pingSent.start();
    send(pack(Command::Ping, ++m_player->pingSerial));
    m_alive.start();
}

void Pipeline::setPlaying(bool playing)
{
    m_playing = playing;
    send(pack(Command::Play, playing));
}

void Pipeline::halt()
{
    retire();
}

void Pipeline::seek(qint64 positionMs)
{
    const quint64 sequence = ++m_seekSequence;
    send(pack(Command::Seek, positionMs, sequence));
}

void Pipeline::setRate(double rate)
{
    m_rate = rate;
    send(pack(Command::Rate, rate));
}

void Pipeline::setVolume(double volume)
{
    m_volume = volume;
    send(pack(Command::Volume, volume));
}

void Pipeline::setMuted(bool muted)
{
    m_muted = muted;
    send(pack(Command::Muted, muted));
}

void Pipeline::setMaxBitrate(quint64 bitsPerSecond, bool fromHere)
{
    m_maxBitrate = bitsPerSecond;
    send(pack(Command::MaxBitrate, bitsPerSecond, fromHere));
}

void Pipeline::setFrameTarget(FrameScaler *target)
{
    if ((m_target != nullptr) != (target != nullptr))
        send(pack(Command::Frames, target != nullptr));
    m_target = target;
}

void Pipeline::readNews()
{
    QByteArray news;
    int passed = -1;
    // Taken in bursts: a busy moment of the window leaves several pictures' news waiting, and
    // only the newest of them is worth scaling (the scaler keeps the last one asked for).
    while (m_player) {
        switch (receive(m_player->link, news, passed)) {
        case Received::Message: handle(news, passed); continue;
        case Received::Nothing: return;
        case Received::Closed: lose(endedKind(), QStringLiteral("the player process ended")); return;
        }
    }
}

void Pipeline::handle(const QByteArray &news, int passedFd)
{
    QDataStream in(news);
    quint8 kind = 0;
    in >> kind;
    if (passedFd >= 0 && News(kind) != News::Ring)
        close(passedFd);
    switch (News(kind)) {
    case News::Ring: {
        quint32 id = 0;
        in >> id;
        m_ring = passedFd >= 0 ? FrameRing::map(passedFd) : nullptr;
        m_ringId = id;
        return;
    }
    case News::Frame: {
        quint32 ring = 0;
        qint32 slot = -1;
        quint64 serial = 0;
        qint64 streamTimeUs = -1;
        FrameShape shape;
        in >> ring >> slot >> serial >> streamTimeUs >> shape;
        if (in.status() != QDataStream::Ok)
            return;
        m_framePosition = streamTimeUs / 1000;
        if (m_target && m_ring && ring == m_ringId) {
            if (const VideoFrame frame = VideoFrame::take(m_ring, slot, serial, shape, streamTimeUs); frame.isValid())
                m_target->request(frame);
        }
        return;
    }
    case News::Position: {
        qint64 streamTimeUs = -1;
        in >> streamTimeUs;
        if (in.status() == QDataStream::Ok)
            m_framePosition = streamTimeUs / 1000;
        return;
    }
    case News::Seeked: {
        quint64 sequence = 0;
        in >> sequence;
        emit seeked(sequence);
        return;
    }
    case News::Duration: {
        qint64 ms = 0;
        in >> ms;
        m_duration = std::max<qint64>(0, ms);
        emit durationChanged(m_duration);
        return;
    }
    case News::Failed: {
        qint32 failure = 0;
        QString text;
        in >> failure >> text;
        // The player names only its pipeline's kinds; anything else is a kind it has no word for.
        using player::Failure;
        const auto kind = Failure(failure);
        const bool ours = kind == Failure::Resource || kind == Failure::Format || kind == Failure::Network
                          || kind == Failure::AccessDenied || kind == Failure::Other || kind == Failure::Stalled;
        // Nothing of a failed stream is worth keeping: the player goes now, with whatever it
        // still fetched, and a retry starts a new one, which is made ready now.
        retire();
        prepareNext();
        emit failed(int(ours ? kind : Failure::Other), text.left(1000));
        return;
    }
    case News::Pong: {
        quint64 serial = 0;
        bool waitsOnSite = true;
        in >> serial >> waitsOnSite;
        if (in.status() == QDataStream::Ok && m_player->trialPing && serial >= m_player->trialPing) {
            m_player->trialPing = 0;
            m_player->sentOnTrial.clear();
            m_trial.stop();
        }
        if (in.status() == QDataStream::Ok && serial == m_player->pingSerial) {
            m_player->pingOutstanding = false;
            m_player->answered = true;
            m_waitsOnSite = waitsOnSite;
        }
        return;
    }
    case News::Ended: {
        quint64 opened = 0;
        in >> opened;
        emit ended(opened);
        return;
    }
    case News::Buffering: {
        qint32 percent = 0;
        in >> percent;
        emit buffering(std::clamp(percent, 0, 100));
        return;
    }
    }
}

}
