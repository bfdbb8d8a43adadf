#include "views/player/playerprocesses.h"

#include "playerlink/playerlink.h"
#include "store/log.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tovra {

using namespace playerlink;

namespace playerprocess {

namespace {

// A spare not taken by then is ended: the user has gone elsewhere.
constexpr std::chrono::seconds kSpareLife{60};

// In the child, between fork and exec: closes every descriptor exec would pass on except the
// standard ones and `keep`. The web engine opens its connections without close-on-exec (it
// launches its own helpers with a list of what to keep), so a player started while a site page or
// the HTML5 player was loading held the page's connections open for its whole life: the site saw
// them neither closed nor used. Only async-signal-safe calls, as the client has threads, and
// little stack: QProcess may run this on a small stack of the parent's, with vfork's sharing.
void closeInherited(int keep)
{
    const int dir = open("/proc/self/fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return;
    alignas(dirent64) char entries[256];
    for (long got; (got = syscall(SYS_getdents64, dir, entries, sizeof entries)) > 0;) {
        for (long at = 0; at < got;) {
            const auto *entry = reinterpret_cast<const dirent64 *>(entries + at);
            at += entry->d_reclen;
            int fd = 0;
            for (const char *c = entry->d_name; *c >= '0' && *c <= '9'; ++c)
                fd = fd * 10 + (*c - '0');
            const int flags = fd > 2 && fd != keep ? fcntl(fd, F_GETFD) : -1;
            // Descriptors marked close-on-exec go by themselves, QProcess's own report pipe with them.
            if (flags >= 0 && !(flags & FD_CLOEXEC))
                close(fd);
        }
    }
    close(dir);
}

}

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

Spare &spare()
{
    static Spare s;
    return s;
}

// The other end has gone (or is going) even if its process has not been reaped yet: the player
// ended. Only a hang-up of the peer is asked about, never its news.
bool linkClosed(int link)
{
    pollfd p{link, POLLRDHUP, 0};
    return poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLRDHUP | POLLERR | POLLNVAL));
}

bool spareAlive()
{
    const Spare &s = spare();
    return s.link >= 0 && s.process && s.process->state() != QProcess::NotRunning && !linkClosed(s.link);
}

// Whether the kernel holds the process stopped (SIGSTOP, a terminal's job control): it runs again
// only if someone continues it. No load makes a process stopped, only slow, so this tells a player
// that will not answer from one still loading GStreamer on a busy machine, without a bound that
// such a machine might miss. A traced stop ('t') is left out: a process under strace passes
// through it at every system call.
bool stopped(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (pid <= 0 || !stat.open(QIODevice::ReadOnly))
        return false;
    // The state follows the command name, which is in parentheses and may itself hold a ')'.
    const QByteArray line = stat.readAll();
    return line.mid(line.lastIndexOf(')') + 1).trimmed().startsWith('T');
}

// A spare reads its link closing and goes; one that does not is killed, as a retired player is.
void endSpare()
{
    Spare &s = spare();
    if (s.link >= 0)
        close(std::exchange(s.link, -1));
    if (QProcess *process = std::exchange(s.process, nullptr)) {
        QTimer::singleShot(kStopGrace, process, [process] {
            if (process->state() != QProcess::NotRunning)
                process->kill();
        });
    }
}

// Starts the player executable with its end of the link; the link end is closed here either way.
QProcess *startProcess(int theirs)
{
    auto *process = new QProcess;
    process->setProgram(Pipeline::playerPath());
    process->setArguments({QString::fromLatin1(kLinkOption), QString::number(theirs), QString::fromLatin1(kClientOption),
                           QString::number(QCoreApplication::applicationPid())});
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->setInputChannelMode(QProcess::ForwardedInputChannel);
    // Only the child keeps its end across exec: every other child of the client (the web
    // engine's helpers) must not hold the link open. And it keeps nothing else of the client's.
    process->setChildProcessModifier([theirs] {
        closeInherited(theirs);
        fcntl(theirs, F_SETFD, 0);
    });
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

using namespace playerprocess;

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
    if (launcher())
        return;
    Spare &s = spare();
    if (!spareAlive()) {
        // Whatever is left of one that went.
        endSpare();
        const auto link = makeLink();
        if (!link)
            return;
        s.process = startProcess(link->second);
        s.link = link->first;
        // Answered once it has loaded, while it waits: the answer waiting tells a play taking it
        // that it loaded.
        playerlink::send(s.link, pack(Command::Ping, quint64(0)), -1, false);
    }
    // The client ends the spare, not the spare itself: one going by itself could go just as a
    // play takes it.
    const quint64 generation = ++s.generation;
    QTimer::singleShot(kSpareLife, s.process, [generation] {
        if (spare().generation == generation)
            endSpare();
    });
}

qint64 Pipeline::spareProcessId()
{
    return spare().process ? spare().process->processId() : 0;
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

}
