#include "views/player/pipeline.h"

#include "models/playerlogic.h"
#include "playerlink/playerlink.h"
#include "store/log.h"
#include "views/player/framescaler.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QSocketNotifier>
#include <QTimer>
#include <fcntl.h>
#include <unistd.h>

namespace tovra {

using namespace playerlink;

namespace {

// How long a player told to stop may take before it is killed. It stops at once when it reads the
// link closing; only one stuck in the kernel or hung outside its event loop needs the kill.
constexpr std::chrono::milliseconds kStopGrace{150};

Pipeline::Launcher &launcher()
{
    static Pipeline::Launcher l;
    return l;
}

// Every player process not yet reaped, spares included.
QList<QPointer<QProcess>> &processes()
{
    static QList<QPointer<QProcess>> list;
    return list;
}

struct Spare
{
    QPointer<QProcess> process;
    int link = -1;
};

Spare &spare()
{
    static Spare s;
    return s;
}

// Starts the player executable with its end of the link; the link end is closed here either way.
QProcess *startProcess(int theirs)
{
    auto *process = new QProcess;
    process->setProgram(Pipeline::playerPath());
    process->setArguments({QString::fromLatin1(kLinkOption), QString::number(theirs)});
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->setInputChannelMode(QProcess::ForwardedInputChannel);
    // Only the child keeps its end across exec: every other child of the client (the web
    // engine's helpers) must not hold the link open.
    process->setChildProcessModifier([theirs] { fcntl(theirs, F_SETFD, 0); });
    QObject::connect(process, &QProcess::finished, process, [process](int code, QProcess::ExitStatus status) {
        if (status == QProcess::CrashExit)
            logLine(QStringLiteral("播放进程异常结束"), QStringLiteral("signal %1").arg(code));
        processes().removeAll(process);
        process->deleteLater();
    });
    QObject::connect(process, &QProcess::errorOccurred, process, [process](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        logLine(QStringLiteral("播放进程无法启动"), process->program() + QStringLiteral(": ") + process->errorString());
        processes().removeAll(process);
        process->deleteLater();
    });
    processes().append(process);
    process->start();
    close(theirs);
    return process;
}

}

struct Pipeline::Player
{
    int link = -1;
    QPointer<QProcess> process;
    QSocketNotifier *notifier = nullptr;
    bool opened = false;
};

Pipeline::Pipeline(QObject *parent)
    : QObject(parent)
{
    start();
}

Pipeline::~Pipeline()
{
    retire();
}

QString Pipeline::playerPath()
{
    const QString named = qEnvironmentVariable("TOVRA_PLAYER");
    if (!named.isEmpty())
        return named;
    const QString appDir = QDir::cleanPath(QCoreApplication::applicationDirPath());
    const QString beside = QDir(appDir).filePath(QStringLiteral("tovra-player"));
    // Only an executable of this build tree looks there: an installed client runs the player
    // shipped beside it, never whatever a folder named like the build machine's holds.
    const QString buildRoot = QDir::cleanPath(QStringLiteral(TOVRA_BUILD_ROOT));
    if (!QFileInfo(beside).isFile() && (appDir == buildRoot || appDir.startsWith(buildRoot + u'/')))
        return QStringLiteral(TOVRA_PLAYER_BUILD_PATH);
    return beside;
}

void Pipeline::setLauncher(Launcher l)
{
    launcher() = std::move(l);
}

void Pipeline::prepare()
{
    if (launcher() || (spare().process && spare().process->state() != QProcess::NotRunning))
        return;
    // A spare that went by itself leaves its end of the link behind.
    if (spare().link >= 0)
        close(std::exchange(spare().link, -1));
    const auto link = makeLink();
    if (!link)
        return;
    spare().process = startProcess(link->second);
    spare().link = link->first;
}

int Pipeline::running()
{
    return int(std::ranges::count_if(processes(), [](const QPointer<QProcess> &p) { return p && p != spare().process; }));
}

void Pipeline::waitForShutdowns(int milliseconds)
{
    const QDeadlineTimer deadline(milliseconds);
    if (spare().link >= 0)
        close(std::exchange(spare().link, -1));
    const QList<QPointer<QProcess>> live = processes();
    for (const QPointer<QProcess> &process : live) {
        if (process)
            process->kill();
    }
    for (const QPointer<QProcess> &process : live) {
        if (process)
            process->waitForFinished(int(std::max<qint64>(0, deadline.remainingTime())));
    }
}

qint64 Pipeline::processId() const
{
    return m_player && m_player->process ? m_player->process->processId() : 0;
}

bool Pipeline::start()
{
    auto player = std::make_unique<Player>();
    if (spare().link >= 0 && spare().process && spare().process->state() != QProcess::NotRunning) {
        player->link = std::exchange(spare().link, -1);
        player->process = std::exchange(spare().process, nullptr);
    } else {
        if (spare().link >= 0)
            close(std::exchange(spare().link, -1));
        const auto link = makeLink();
        if (!link)
            return false;
        player->link = link->first;
        if (launcher()) {
            if (!launcher()(link->second)) {
                close(link->first);
                return false;
            }
        } else {
            player->process = startProcess(link->second);
        }
    }
    player->notifier = new QSocketNotifier(player->link, QSocketNotifier::Read, this);
    connect(player->notifier, &QSocketNotifier::activated, this, &Pipeline::readNews);
    m_player = std::move(player);
    m_ring.reset();
    send(pack(Command::Frames, m_target != nullptr));
    return true;
}

void Pipeline::retire()
{
    if (!m_player)
        return;
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
    // Never waits: a player that has not read a link's worth of commands is hung, and the
    // model's stall watchdog ends it.
    if (m_player)
        playerlink::send(m_player->link, command, -1, false);
}

void Pipeline::open(const QUrl &address, qint64 startMs)
{
    const quint64 sequence = ++m_seekSequence;
    m_framePosition = -1;
    // A player opens once: a retry or a new play from the start gets a new one, so nothing of
    // the last (a demuxer wedged on a silent site, a sound chain a failure left behind) is in it.
    if (m_player && m_player->opened)
        retire();
    if (!m_player && !start()) {
        QMetaObject::invokeMethod(
            this, [this] { emit failed(int(player::Failure::Other), QStringLiteral("the player could not be started")); },
            Qt::QueuedConnection);
        return;
    }
    m_player->opened = true;
    send(pack(Command::Play, m_playing));
    if (m_rate != 1.0)
        send(pack(Command::Rate, m_rate));
    send(pack(Command::Volume, m_volume));
    send(pack(Command::Muted, m_muted));
    if (m_maxBitrate)
        send(pack(Command::MaxBitrate, m_maxBitrate, false));
    send(pack(Command::Open, address.toEncoded(), startMs, sequence));
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
        case Received::Closed: playerGone(QStringLiteral("the player process ended")); return;
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
        // Nothing of a failed stream is worth keeping: the player goes now, with whatever it
        // still fetched, and a retry starts a new one.
        retire();
        emit failed(failure, text.left(1000));
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

void Pipeline::playerGone(const QString &why)
{
    retire();
    // The pipeline's own failures come as news; a player gone without a word crashed or was
    // killed. Either way the play stops there, and a retry starts a new player.
    emit failed(int(player::Failure::Other), why);
}

}
