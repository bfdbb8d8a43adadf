// The start of a play against a PulseAudio sink: does the picture move on from its first picture,
// or stand still while the sound device starts? The test clip served from the loopback, played 5
// times through the player's own pipeline (LocalPipeline, as the player process runs it) and 5
// times through gst-play-1.0 (playbin3), on a PulseAudio of the benchmark's own with one null
// sink, first kept running, then suspended when idle (module-suspend-on-idle, waited for before
// each play: a sound card's usual state). Each picture's arrival is timed for the first 6 s;
// prints, per play, the first picture and the longest still stretch after it.
//
//   bench_start [plays, default 5]
//
// Needs pulseaudio, pulseaudio-utils and gst-play-1.0 (gstreamer1.0-tools).

#include "clientrun.h"

#include "pipeline/localpipeline.h"
#include "support/fakesite.h"
#include "support/mediafiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <mutex>
#include <gst/gst.h>

using namespace tovra;
using namespace tovra::bench;

namespace {

constexpr int kWatchMs = 6000;

// A PulseAudio in a throw-away home and runtime folder (the user's is left alone; root may run
// it so), killed at the end.
class SoundServer
{
public:
    explicit SoundServer(bool suspendWhenIdle)
    {
        QDir(m_dir.path()).mkpath(QStringLiteral("home"));
        QDir(m_dir.path()).mkpath(QStringLiteral("runtime"));
        QFile::setPermissions(m_dir.filePath(QStringLiteral("runtime")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QStringList arguments{QStringLiteral("--daemonize=no"), QStringLiteral("-n"), QStringLiteral("--exit-idle-time=-1"),
                              QStringLiteral("--load=module-null-sink sink_name=bench"), QStringLiteral("--load=module-native-protocol-unix")};
        if (suspendWhenIdle)
            arguments << QStringLiteral("--load=module-suspend-on-idle timeout=1");
        m_suspends = suspendWhenIdle;
        m_daemon.setProcessEnvironment(environment());
        m_daemon.setStandardOutputFile(QProcess::nullDevice());
        m_daemon.setStandardErrorFile(QProcess::nullDevice());
        m_daemon.start(QStringLiteral("pulseaudio"), arguments);
        spinUntil([&] { return QFile::exists(socket()) || m_daemon.state() == QProcess::NotRunning; }, 10000);
        qputenv("PULSE_SERVER", "unix:" + socket().toUtf8());
    }
    ~SoundServer()
    {
        qunsetenv("PULSE_SERVER");
        m_daemon.kill();
        m_daemon.waitForFinished(5000);
    }
    bool running() const { return m_daemon.state() == QProcess::Running && QFile::exists(socket()); }
    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), m_dir.filePath(QStringLiteral("home")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.filePath(QStringLiteral("runtime")));
        env.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:") + socket());
        return env;
    }
    // Before a play: the sink suspended again (when it suspends), or at least idle a moment.
    void settle() const
    {
        if (!m_suspends) {
            spinUntil([] { return false; }, 1500);
            return;
        }
        spinUntil([&] {
            QProcess pactl;
            pactl.setProcessEnvironment(environment());
            pactl.start(QStringLiteral("pactl"), {QStringLiteral("list"), QStringLiteral("sinks"), QStringLiteral("short")});
            return pactl.waitForFinished(5000) && pactl.readAllStandardOutput().contains("SUSPENDED");
        }, 10000);
    }

private:
    QString socket() const { return m_dir.filePath(QStringLiteral("runtime/pulse/native")); }

    QTemporaryDir m_dir;
    QProcess m_daemon;
    bool m_suspends = false;
};

struct Start
{
    qint64 firstMs = -1;   // from the play's start to its first picture
    qint64 stillMs = -1;   // the longest wait between two pictures after it, in the watched time
    qint64 stillAtMs = -1; // the stream time of the picture that stood
};

// Arrival times (ns, any origin) with the stream time of each picture (ms).
Start measure(const std::vector<std::pair<qint64, qint64>> &pictures, qint64 startNs)
{
    Start s;
    if (pictures.empty())
        return s;
    s.firstMs = (pictures.front().first - startNs) / 1000000;
    s.stillMs = 0;
    for (size_t i = 1; i < pictures.size() && pictures[i].first - pictures.front().first <= kWatchMs * 1000000LL; ++i) {
        const qint64 gap = (pictures[i].first - pictures[i - 1].first) / 1000000;
        if (gap > s.stillMs) {
            s.stillMs = gap;
            s.stillAtMs = pictures[i - 1].second;
        }
    }
    return s;
}

class Recorder : public FrameSink
{
public:
    void deliver(GstSample *, qint64 streamTimeUs) override
    {
        const qint64 now = std::chrono::steady_clock::now().time_since_epoch().count();
        std::lock_guard lock(mutex);
        pictures.emplace_back(now, streamTimeUs / 1000);
    }
    std::mutex mutex;
    std::vector<std::pair<qint64, qint64>> pictures;
};

Start playOurs(const QUrl &stream)
{
    Recorder recorder;
    const qint64 started = std::chrono::steady_clock::now().time_since_epoch().count();
    {
        LocalPipeline pipeline;
        pipeline.setFrameTarget(&recorder);
        pipeline.open(stream, 0);
        pipeline.setPlaying(true);
        spinUntil([&] {
            std::lock_guard lock(recorder.mutex);
            return !recorder.pictures.empty()
                   && recorder.pictures.back().first - recorder.pictures.front().first > (kWatchMs + 200) * 1000000LL;
        }, kWatchMs + 15000);
        pipeline.setFrameTarget(nullptr);
        // Leaving the scope waits until the pipeline has let go, before the next play starts.
    }
    std::lock_guard lock(recorder.mutex);
    return measure(recorder.pictures, started);
}

// gst-play-1.0's video sink logs each picture it renders ("basesink:5"): the log's clock starts
// with the program, as the play does.
Start playGst(const QUrl &stream, const QProcessEnvironment &soundEnv)
{
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("gst.log"));
    QProcessEnvironment env = soundEnv;
    env.insert(QStringLiteral("USE_PLAYBIN3"), QStringLiteral("1"));
    env.insert(QStringLiteral("GST_DEBUG"), QStringLiteral("basesink:5"));
    env.insert(QStringLiteral("GST_DEBUG_NO_COLOR"), QStringLiteral("1"));
    env.insert(QStringLiteral("GST_DEBUG_FILE"), log);
    QProcess play;
    play.setProcessEnvironment(env);
    play.setStandardOutputFile(QProcess::nullDevice());
    play.setStandardErrorFile(QProcess::nullDevice());
    play.start(QStringLiteral("gst-play-1.0"), {QStringLiteral("--use-playbin3"), QStringLiteral("--no-interactive"), QStringLiteral("-q"),
                                                QStringLiteral("--videosink=fakesink name=picture sync=true"), stream.toString()});
    spinUntil([] { return false; }, kWatchMs + 3000);
    play.kill();
    play.waitForFinished(5000);
    QFile file(log);
    file.open(QIODevice::ReadOnly);
    // "0:00:01.234567890 ... <picture> got times start: 0:01:02.066666666, ..." then
    // "... <picture> rendering object": the stream time comes from the first, the arrival from
    // the second.
    static const QRegularExpression times(QStringLiteral("^(\\d+):(\\d+):(\\d+)\\.(\\d+) .*<picture> (got times start: (\\d+):(\\d+):(\\d+)\\.(\\d+)|rendering object)"));
    std::vector<std::pair<qint64, qint64>> pictures;
    qint64 pending = -1;
    qint64 origin = -1;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine());
        const QRegularExpressionMatch m = times.match(line);
        if (!m.hasMatch())
            continue;
        const qint64 at = (m.captured(1).toLongLong() * 3600 + m.captured(2).toLongLong() * 60 + m.captured(3).toLongLong()) * 1000000000LL
                          + m.captured(4).toLongLong();
        if (!m.captured(6).isEmpty()) {
            const qint64 pts = (m.captured(6).toLongLong() * 3600 + m.captured(7).toLongLong() * 60 + m.captured(8).toLongLong()) * 1000
                               + m.captured(9).left(3).toLongLong();
            origin = origin < 0 ? pts : origin;
            pending = pts - origin;
        } else if (pending >= 0) {
            pictures.emplace_back(at, pending);
            pending = -1;
        }
    }
    return measure(pictures, 0);
}

}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    gst_init(nullptr, nullptr);
    const int plays = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    // On a thread of its own, as a real site answers whatever this thread is doing.
    test::ThreadedSite site([](test::FakeSite &host) { test::serveFolder(host, QStringLiteral("/clip/"), test::mediaDir()); });
    const QUrl stream = site.url().resolved(QUrl(QStringLiteral("clip/hls/master.m3u8")));
    qint64 worst[2][2] = {{0, 0}, {0, 0}};
    for (const bool suspends : {false, true}) {
        SoundServer sound(suspends);
        if (!sound.running()) {
            std::fprintf(stderr, "bench_start: pulseaudio did not start (packages pulseaudio, pulseaudio-utils)\n");
            return 1;
        }
        std::printf("PulseAudio null sink, %s:\n", suspends ? "suspended when idle" : "kept running");
        for (int i = 0; i < plays; ++i) {
            for (const bool ours : {true, false}) {
                sound.settle();
                const Start s = ours ? playOurs(stream) : playGst(stream, sound.environment());
                if (s.firstMs < 0 && ours) {
                    std::fprintf(stderr, "bench_start: no picture\n");
                    return 1;
                }
                worst[suspends][ours] = std::max(worst[suspends][ours], s.stillMs);
                std::printf("  play %d %-13s first picture %5lld ms, longest still %5lld ms (at %lld ms of the stream)\n", i + 1,
                            ours ? "ours:" : "gst-play-1.0:", static_cast<long long>(s.firstMs), static_cast<long long>(s.stillMs),
                            static_cast<long long>(s.stillAtMs));
                std::fflush(stdout);
            }
        }
    }
    std::printf("longest still after the first picture, first %d s (goal <= 300 ms):\n", kWatchMs / 1000);
    for (const bool suspends : {false, true}) {
        for (const bool ours : {true, false})
            std::printf("  %-13s sink %-20s %5lld ms: %s\n", ours ? "ours" : "gst-play-1.0", suspends ? "suspended when idle" : "kept running",
                        static_cast<long long>(worst[suspends][ours]), worst[suspends][ours] <= 300 ? "met" : "NOT met");
    }
    return 0;
}
