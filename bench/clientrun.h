#pragma once

// Shared by the benchmarks that run whole processes: the sample site on loopback, a throw-away
// profile pointed at it, the client started as a user starts it, and what /proc tells about a
// running process.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <xcb/xcb.h>

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <optional>
#include <functional>
#include <vector>

namespace tovra::bench {

inline qint64 monotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<qint64>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// Turns the event loop until done() holds; false after timeoutMs.
inline bool spinUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::usleep(500);
    }
    return true;
}

// A program of this build, found from the benchmark's own folder (build/bench).
inline QString builtProgram(const QString &relative)
{
    return QDir(QCoreApplication::applicationDirPath() + QStringLiteral("/..")).absoluteFilePath(relative);
}

struct Spread
{
    double median = 0, min = 0, max = 0;
};

inline Spread spread(std::vector<double> values)
{
    if (values.empty())
        return {};
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    const double middle = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return {middle, values.front(), values.back()};
}

// The sample site the README's run command uses, on a port of its own choosing.
class SampleSite
{
public:
    ~SampleSite()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    bool start()
    {
        const QString portFile = m_dir.filePath(QStringLiteral("port"));
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.setStandardErrorFile(QProcess::nullDevice());
        m_process.start(builtProgram(QStringLiteral("tools/samplesite/tovra-samplesite")),
                        {QStringLiteral("--port-file"), portFile});
        if (!m_process.waitForStarted(10000))
            return false;
        for (int i = 0; i < 100; ++i) {
            QFile file(portFile);
            const QByteArray port = file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : QByteArray();
            if (!port.isEmpty()) {
                m_base = QStringLiteral("http://127.0.0.1:%1").arg(QString::fromLatin1(port));
                return true;
            }
            QThread::msleep(50);
        }
        return false;
    }

    const QString &base() const { return m_base; }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_base;
};

// A real X server of its own (Xvfb, one 1920 x 1080 screen) and a D-Bus session bus, as a
// desktop gives the client: on a display, start-up pays for things offscreen never shows (the X
// connection, OpenGL, the desktop's settings over the bus). Like a desktop's, the server stays
// as it is between programs (-noreset, and a connection of ours held open): one that resets
// whenever its last client leaves makes every program pay for a fresh server. The display
// number is TOVRA_BENCH_DISPLAY's (":96") when set, else the first free one from 99 up.
class DisplaySession
{
public:
    ~DisplaySession()
    {
        if (m_held)
            xcb_disconnect(m_held);
        for (QProcess *process : {&m_bus, &m_server}) {
            if (process->state() != QProcess::NotRunning) {
                process->terminate();
                if (!process->waitForFinished(3000))
                    process->kill();
                process->waitForFinished(3000);
            }
        }
    }

    // On display number, else TOVRA_BENCH_DISPLAY's, else the first free number from 99 up, as
    // xvfb-run picks, clear of the low ones people give their own servers; a number whose lock
    // file exists is someone else's. Fails, saying why on stderr, when Xvfb or dbus-daemon is
    // missing or does not come up.
    bool start(std::optional<int> number = std::nullopt)
    {
        const QString chosen = number ? QStringLiteral(":%1").arg(*number) : qEnvironmentVariable("TOVRA_BENCH_DISPLAY");
        const int first = chosen.isEmpty() ? 99 : chosen.mid(1).toInt();
        const int last = chosen.isEmpty() ? 200 : first + 1;
        for (int n = first; n < last && m_display.isEmpty(); ++n) {
            if (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n))) {
                if (!chosen.isEmpty())
                    std::fprintf(stderr, "display :%d is taken\n", n);
                continue;
            }
            m_server.setStandardOutputFile(QProcess::nullDevice());
            m_server.setStandardErrorFile(QProcess::nullDevice());
            m_server.start(QStringLiteral("Xvfb"), {QStringLiteral(":%1").arg(n), QStringLiteral("-screen"), QStringLiteral("0"),
                                                    QStringLiteral("1920x1080x24"), QStringLiteral("-noreset"),
                                                    QStringLiteral("-nolisten"), QStringLiteral("tcp")});
            if (!m_server.waitForStarted(10000)) {
                std::fprintf(stderr, "Xvfb did not start: %s\n", qPrintable(m_server.errorString()));
                return false;
            }
            QElapsedTimer timer;
            timer.start();
            while (m_server.state() == QProcess::Running && timer.elapsed() < 10000
                   && !QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)))
                QThread::msleep(10);
            if (m_server.state() == QProcess::Running)
                m_display = QStringLiteral(":%1").arg(n);
        }
        if (m_display.isEmpty()) {
            std::fprintf(stderr, "no free X display %s\n", qPrintable(chosen));
            return false;
        }
        m_held = xcb_connect(m_display.toLocal8Bit().constData(), nullptr);
        m_bus.setStandardErrorFile(QProcess::nullDevice());
        m_bus.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        if (m_bus.waitForStarted(10000)) {
            while (!m_bus.canReadLine() && m_bus.state() == QProcess::Running && m_bus.waitForReadyRead(10000)) {
            }
        }
        m_busAddress = QString::fromLatin1(m_bus.readLine().trimmed());
        if (m_busAddress.isEmpty())
            std::fprintf(stderr, "dbus-daemon did not come up: %s\n", qPrintable(m_bus.errorString()));
        return m_held && !xcb_connection_has_error(m_held) && !m_busAddress.isEmpty();
    }

    // env on this display and bus rather than whatever it had.
    QProcessEnvironment on(QProcessEnvironment env) const
    {
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("DISPLAY"), m_display);
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_busAddress);
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        return env;
    }

    const QString &display() const { return m_display; }

private:
    QProcess m_server;
    QProcess m_bus;
    xcb_connection_t *m_held = nullptr;
    QString m_display;
    QString m_busAddress;
};

// A home, config, data and cache folder of its own, with "baseURL" pointing at the site.
class Profile
{
public:
    explicit Profile(const QString &base) : m_base(base)
    {
        QDir(m_dir.path()).mkpath(QStringLiteral("config/TovraClient"));
        QDir(m_dir.path()).mkpath(QStringLiteral("runtime"));
        QFile::setPermissions(m_dir.filePath(QStringLiteral("runtime")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile conf(m_dir.filePath(QStringLiteral("config/TovraClient/TovraClient.conf")));
        if (conf.open(QIODevice::WriteOnly))
            conf.write(QStringLiteral("[General]\nbaseURL=%1\n").arg(base).toUtf8());
    }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), m_dir.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_dir.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), m_dir.filePath(QStringLiteral("cache")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.filePath(QStringLiteral("runtime")));
        env.insert(QStringLiteral("TOVRA_SEARCH_URL"), m_base + QStringLiteral("/index"));
        env.insert(QStringLiteral("TOVRA_MEDIA_URL"), m_base + QStringLiteral("/media"));
        env.insert(QStringLiteral("TOVRA_WEB_URL"), m_base + QStringLiteral("/web"));
        if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")) && !env.contains(QStringLiteral("DISPLAY"))
            && !env.contains(QStringLiteral("WAYLAND_DISPLAY")))
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return env;
    }

    // The response cache and the HTTP cache of posters, as on a first start.
    void emptyCaches() const
    {
        for (const char *name : {"cache/TovraClient", "cache/TovraClient-http"})
            QDir(m_dir.filePath(QString::fromLatin1(name))).removeRecursively();
    }

private:
    QTemporaryDir m_dir;
    QString m_base;
};

// The two moments a start reports under TOVRA_FIRST_PAINT_MARK, in nanoseconds from just before
// the process was started: the first frame with the home page's content, and the frame that has
// the page fully drawn (every sidebar row, every visible poster the caches hold); -1 when a
// moment never came.
struct Moments
{
    qint64 firstPaint = -1;
    qint64 drawn = -1;
};

// Starts program and reads its "first-paint <ns>" and "drawn <ns>" lines; returns once both came
// (the first only, with firstPaintOnly), or the process ended, or after timeoutMs.
inline Moments startUntilDrawn(QProcess &process, const QString &program, const QProcessEnvironment &env,
                               int timeoutMs = 30000, bool firstPaintOnly = false)
{
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const qint64 started = monotonicNs();
    process.start(program, {});
    Moments moments;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        process.waitForReadyRead(50);
        while (process.canReadLine()) {
            const QByteArray line = process.readLine().trimmed();
            if (line.startsWith("first-paint "))
                moments.firstPaint = line.mid(12).toLongLong() - started;
            else if (line.startsWith("drawn "))
                moments.drawn = line.mid(6).toLongLong() - started;
        }
        if (moments.drawn >= 0 || (firstPaintOnly && moments.firstPaint >= 0) || process.state() == QProcess::NotRunning)
            break;
    }
    return moments;
}

inline qint64 startUntilFirstPaint(QProcess &process, const QString &program, const QProcessEnvironment &env,
                                   int timeoutMs = 30000)
{
    return startUntilDrawn(process, program, env, timeoutMs, true).firstPaint;
}

inline QByteArray procFile(qint64 pid, const char *name)
{
    QFile file(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(name)));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A field of /proc/<pid>/smaps_rollup in kB: "Pss" by default, or "Pss_Anon", which leaves out
// the shares of library pages that change as other processes map the same libraries.
inline qint64 pssKb(qint64 pid, const QByteArray &field = "Pss")
{
    const QByteArray prefix = field + ':';
    for (const QByteArray &line : procFile(pid, "smaps_rollup").split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').first().toLongLong();
    }
    return 0;
}

// The memory only this process holds (what smem calls USS), in kB: every Private_* line of
// /proc/<pid>/smaps_rollup.
inline qint64 ussKb(qint64 pid)
{
    qint64 total = 0;
    for (const QByteArray &line : procFile(pid, "smaps_rollup").split('\n')) {
        if (line.startsWith("Private_"))
            total += line.mid(line.indexOf(':') + 1).trimmed().split(' ').first().toLongLong();
    }
    return total;
}

// The floor for a first frame: gst-play-1.0 playing stream, from its process being started to
// its video sink's "chain" message for the first frame, in milliseconds; -1 when none came.
// The process is not like for like with a player inside a running client: its own start counts.
inline qint64 gstPlayFirstFrame(const QUrl &stream, int timeoutMs = 20000)
{
    QProcess gst;
    QElapsedTimer clock;
    clock.start();
    gst.start(QStringLiteral("gst-play-1.0"),
              {QStringLiteral("--no-interactive"), QStringLiteral("-v"),
               QStringLiteral("--videosink=fakesink name=frames silent=false num-buffers=1"),
               QStringLiteral("--audiosink=fakesink num-buffers=1"), stream.toString()});
    QByteArray out;
    qint64 ms = -1;
    while (ms < 0 && clock.elapsed() < timeoutMs && gst.state() != QProcess::NotRunning) {
        // The stream may come from a site served by this very process.
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
        gst.waitForReadyRead(2);
        out += gst.readAllStandardOutput();
        if (out.contains("frames: last-message = chain"))
            ms = clock.elapsed();
    }
    gst.kill();
    gst.waitForFinished(2000);
    return ms;
}

// Which of the heavy libraries the process has mapped.
inline QString heavyLibrariesMapped(qint64 pid)
{
    const QByteArray maps = procFile(pid, "maps");
    QStringList found;
    for (const char *name : {"libQt6WebEngineCore", "libQt6WebEngineWidgets", "libQt6Multimedia",
                             "libQt6MultimediaWidgets", "libavcodec", "libgstreamer", "libGLX_mesa", "libLLVM"}) {
        if (maps.contains(name))
            found.append(QString::fromLatin1(name));
    }
    return found.isEmpty() ? QStringLiteral("none") : found.join(QStringLiteral(", "));
}

// "taskset -c <cores> program arguments", or the program itself with cores "none".
inline void startPinned(QProcess &process, const QString &cores, const QString &program, const QStringList &arguments)
{
    if (cores == QLatin1String("none"))
        process.start(program, arguments);
    else
        process.start(QStringLiteral("taskset"), QStringList{QStringLiteral("-c"), cores, program} + arguments);
}

// The benchmark and what it runs besides the measured process keep off that process's cores.
inline void keepOffCores(const QString &cores)
{
    if (cores == QLatin1String("none"))
        return;
    cpu_set_t set;
    CPU_ZERO(&set);
    for (long cpu = 0; cpu < sysconf(_SC_NPROCESSORS_ONLN); ++cpu)
        CPU_SET(cpu, &set);
    for (const QString &cpu : cores.split(u','))
        CPU_CLR(cpu.toInt(), &set);
    if (CPU_COUNT(&set) > 0)
        sched_setaffinity(0, sizeof set, &set);
}

}
