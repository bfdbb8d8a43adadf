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

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace tovra::bench {

inline qint64 monotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<qint64>(now.tv_sec) * 1000000000LL + now.tv_nsec;
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

// Starts program and waits for its "first-paint <ns>" line; answers the nanoseconds from just
// before the start to that paint, or -1.
inline qint64 startUntilFirstPaint(QProcess &process, const QString &program, const QProcessEnvironment &env,
                                   int timeoutMs = 30000)
{
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const qint64 started = monotonicNs();
    process.start(program, {});
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        process.waitForReadyRead(50);
        while (process.canReadLine()) {
            const QByteArray line = process.readLine().trimmed();
            if (line.startsWith("first-paint "))
                return line.mid(12).toLongLong() - started;
        }
        if (process.state() == QProcess::NotRunning)
            return -1;
    }
    return -1;
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

// Which of the heavy libraries the process has mapped.
inline QString heavyLibrariesMapped(qint64 pid)
{
    const QByteArray maps = procFile(pid, "maps");
    QStringList found;
    for (const char *name : {"libQt6WebEngineCore", "libQt6WebEngineWidgets", "libQt6Multimedia",
                             "libQt6MultimediaWidgets", "libavcodec", "libgstreamer"}) {
        if (maps.contains(name))
            found.append(QString::fromLatin1(name));
    }
    return found.isEmpty() ? QStringLiteral("none") : found.join(QStringLiteral(", "));
}

}
