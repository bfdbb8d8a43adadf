// Frames shown and what each costs: the native player of the client's window (wired as
// main.cpp wires it, on its own Xvfb, each round a new process) against gst-play-1.0 with the
// plain X sink, on the same HLS streams from the same loopback site, on the same display. Each
// stream (cmake/benchmedia.sh: 720p30, 1080p30, 1080p60, H.264) carries its frame number as a
// bar code; frames are counted from the screen, as distinct numbers read back from the X server
// over 5 s of steady play. CPU is the measured process's user and system time over the same
// 5 s, all threads, per second and per frame shown; for the client, its player process's too.
// Each measured process runs on two cores of its own (taskset; the player process inherits them),
// the benchmark and the site on the others. The client also plays with its pipeline served on a
// thread of its own process ("in-process"), as it did before the player had a process of its own:
// the CPU the process costs is the ratio of the two.
//
//   bench_frames [rounds, default 3] [--where page|full|pip|all] [--cores 2,3|none]
//
// page: the player in the window; full: after F, over the whole screen; pip: in the
// picture-in-picture window. Prints the client/gst-play ratios last.

#include "clientrun.h"
#include "clientwindow.h"
#include "screenprobe.h"

#include "playerinprocess/inprocessplayer.h"
#include "support/fakesite.h"
#include "support/mediafiles.h"

#include <QApplication>
#include <QKeyEvent>

#include <sched.h>
#include <unistd.h>

#include <map>
#include <set>

using namespace tovra;
using namespace tovra::bench;

namespace {

constexpr int kSteadyAfterMs = 2000;
constexpr int kMeasureMs = 5000;
constexpr double kGoal60 = 57;
constexpr double kCpuGoal = 2;
// Both processes together against the pipeline inside the client.
constexpr double kProcessCpuGoal = 1.3;

struct Stream
{
    const char *name;
    QSize size;
    int rate;
};
constexpr Stream kStreams[] = {{"720p30", {1280, 720}, 30}, {"1080p30", {1920, 1080}, 30}, {"1080p60", {1920, 1080}, 60}};

// The client's side: plays the site's one title, puts the picture where asked, prints
// "picture <x> <y> <width> <height>" (on the screen) and plays on until it is killed.
int playInClient(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QByteArray where = argv[2];
    const QSize aspect(atoi(argv[3]), atoi(argv[4]));
    std::optional<InProcessPlayer> inProcess;
    if (argc > 5 && qstrcmp(argv[5], "--in-process") == 0)
        inProcess.emplace();
    wireAsMain();
    ContentView window;
    window.show();
    window.push(playRoute(QStringLiteral("bench")));
    if (!spinUntil([] { return playerSurface() != nullptr; }, 30000))
        return 1;
    spinUntil([] { return false; }, 1000);
    if (where == "full") {
        const QList<QWidget *> players = widgetsOfClass("tovra::NativePlayer");
        QKeyEvent press(QEvent::KeyPress, Qt::Key_F, Qt::NoModifier, QStringLiteral("f"));
        if (!players.isEmpty())
            QApplication::sendEvent(players.first(), &press);
    } else if (where == "pip") {
        const QList<QWidget *> controls = widgetsOfClass("tovra::PlayerControls");
        if (!controls.isEmpty())
            QMetaObject::invokeMethod(controls.first(), "pictureInPictureRequested");
    }
    QWidget *surface = nullptr;
    if (!spinUntil([&] { return (surface = playerSurface(where.constData())) != nullptr; }, 5000))
        return 1;
    // The new window is placed and laid out by now, even where no window manager hurries it.
    spinUntil([] { return false; }, 500);
    const QRect picture = pictureOnScreen(surface, aspect);
    std::printf("picture %d %d %d %d\n", picture.x(), picture.y(), picture.width(), picture.height());
    std::fflush(stdout);
    return app.exec();
}

qint64 cpuTicks(qint64 pid)
{
    const QByteArray stat = procFile(pid, "stat");
    // The fields after the command name, which may hold spaces and parentheses itself.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 12 ? fields.at(11).toLongLong() + fields.at(12).toLongLong() : -1;
}

// The process and its player processes (a spare included: it idles).
qint64 familyCpuTicks(qint64 pid)
{
    qint64 ticks = cpuTicks(pid);
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool number = false;
        const qint64 child = entry.toLongLong(&number);
        if (!number || child == pid)
            continue;
        const QByteArray stat = procFile(child, "stat");
        const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields.at(1).toLongLong() == pid && stat.contains("(tovra-player)"))
            ticks += cpuTicks(child);
    }
    return ticks;
}

struct Sample
{
    double fps = 0;
    double missing = 0;
    double cpuPercent = 0;
    double cpuMsPerFrame = 0;
    double readsPerSecond = 0;
    QSize picture;
};

// Counts the frames that process shows at the picture found by locate(), once it has shown
// frames for a while; nullopt (with the reason on stderr) when it shows none.
std::optional<Sample> measure(const QProcess &process, const std::function<QRect()> &locate, const QString &display)
{
    QRect picture;
    if (!spinUntil([&] { return process.state() == QProcess::Running && !(picture = locate()).isEmpty(); }, 30000)) {
        std::fprintf(stderr, "bench_frames: the picture did not come on screen\n");
        return std::nullopt;
    }
    FrameReader reader(display, picture);
    if (!reader.start())
        return std::nullopt;
    if (!spinUntil([&] { return !reader.readings().empty(); }, 20000)) {
        std::fprintf(stderr, "bench_frames: no frame number on screen at %d,%d %dx%d\n", picture.x(), picture.y(), picture.width(),
                     picture.height());
        return std::nullopt;
    }
    spinUntil([] { return false; }, kSteadyAfterMs);
    const qint64 pid = process.processId();
    const qint64 polls = reader.polls();
    const qint64 cpuBefore = familyCpuTicks(pid);
    const qint64 from = monotonicNs();
    spinUntil([] { return false; }, kMeasureMs);
    const qint64 to = monotonicNs();
    const qint64 cpuAfter = familyCpuTicks(pid);
    const qint64 pollsDuring = reader.polls() - polls;
    reader.stop();

    std::set<int> shown;
    for (const FrameReader::Reading &reading : reader.readings()) {
        if (reading.ns >= from && reading.ns <= to)
            shown.insert(reading.frame);
    }
    if (shown.empty() || cpuBefore < 0 || cpuAfter < 0) {
        std::fprintf(stderr, "bench_frames: nothing was shown in the 5 s measured\n");
        return std::nullopt;
    }
    const double seconds = (to - from) / 1e9;
    const double cpuSeconds = double(cpuAfter - cpuBefore) / double(sysconf(_SC_CLK_TCK));
    Sample sample;
    sample.fps = shown.size() / seconds;
    sample.missing = double(*shown.rbegin() - *shown.begin() + 1) - double(shown.size());
    sample.cpuPercent = 100 * cpuSeconds / seconds;
    sample.cpuMsPerFrame = 1000 * cpuSeconds / double(shown.size());
    sample.readsPerSecond = pollsDuring / seconds;
    sample.picture = picture.size();
    return sample;
}

void stopProcess(QProcess &process)
{
    process.kill();
    process.waitForFinished(5000);
}

struct Series
{
    std::vector<double> fps, missing, cpuPercent, cpuMsPerFrame;
    void add(const Sample &sample)
    {
        fps.push_back(sample.fps);
        missing.push_back(sample.missing);
        cpuPercent.push_back(sample.cpuPercent);
        cpuMsPerFrame.push_back(sample.cpuMsPerFrame);
    }
};

QString figure(const std::vector<double> &values, int decimals)
{
    const Spread s = spread(values);
    return QStringLiteral("%1 (%2-%3)").arg(s.median, 0, 'f', decimals).arg(s.min, 0, 'f', decimals).arg(s.max, 0, 'f', decimals);
}

}

int main(int argc, char *argv[])
{
    if (argc > 4 && qstrcmp(argv[1], "--play") == 0)
        return playInClient(argc, argv);
    QCoreApplication app(argc, argv);
    int rounds = 3;
    QStringList wheres{QStringLiteral("page")};
    QString cores = QStringLiteral("2,3");
    const QStringList args = app.arguments().mid(1);
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--where") && i + 1 < args.size()) {
            const QString where = args.at(++i);
            wheres = where == QLatin1String("all") ? QStringList{QStringLiteral("page"), QStringLiteral("full"), QStringLiteral("pip")}
                                                   : QStringList{where};
        } else if (args.at(i) == QLatin1String("--cores") && i + 1 < args.size()) {
            cores = args.at(++i);
        } else {
            rounds = std::max(1, args.at(i).toInt());
        }
    }
    const QString media = builtProgram(QStringLiteral("benchmedia"));
    for (const Stream &stream : kStreams) {
        if (!QFile::exists(media + QStringLiteral("/%1/master.m3u8").arg(QLatin1String(stream.name)))) {
            std::fprintf(stderr, "bench_frames: no %s stream in %s (it is made by the build: cmake/benchmedia.sh)\n", stream.name,
                         qPrintable(media));
            return 1;
        }
    }
    keepOffCores(cores);

    test::FakeSite site;
    DisplaySession display;
    if (!site.start() || !display.start()) {
        std::fprintf(stderr, "bench_frames: the site or the X display did not start\n");
        return 1;
    }
    test::serveFolder(site, QStringLiteral("/bench/"), media);
    site.route(QStringLiteral("/api/progress"), test::FakeSite::ok("{}"));
    const QString base = site.url().toString(QUrl::FullyEncoded).chopped(1);
    Profile profile(base);
    const QProcessEnvironment env = display.on(profile.environment());
    ScreenProbe screen(display.display());

    QStringList runs;
    for (const QString &where : std::as_const(wheres))
        runs << where << where + QStringLiteral(" in-process");
    std::map<QString, Series> results;
    for (int round = 0; round < rounds; ++round) {
        for (const Stream &stream : kStreams) {
            const QString name = QLatin1String(stream.name);
            const QString url = base + QStringLiteral("/bench/%1/master.m3u8").arg(name);
            site.route(QStringLiteral("/user/requestmpd"),
                       test::FakeSite::ok(QStringLiteral(R"({"url":"%1","token":"bench","et":0,"l":1})").arg(url).toUtf8()));
            for (const QString &run : std::as_const(runs)) {
                const QString where = run.section(u' ', 0, 0);
                QStringList arguments{QStringLiteral("--play"), where, QString::number(stream.size.width()), QString::number(stream.size.height())};
                if (run.endsWith(QLatin1String(" in-process")))
                    arguments << QStringLiteral("--in-process");
                QProcess client;
                client.setProcessEnvironment(env);
                client.setStandardErrorFile(QProcess::nullDevice());
                startPinned(client, cores, QCoreApplication::applicationFilePath(), arguments);
                QRect picture;
                const auto sample = measure(client, [&] {
                    client.waitForReadyRead(1);
                    while (client.canReadLine()) {
                        const QList<QByteArray> line = client.readLine().trimmed().split(' ');
                        if (line.size() == 5 && line.first() == "picture")
                            picture = QRect(line[1].toInt(), line[2].toInt(), line[3].toInt(), line[4].toInt());
                    }
                    return picture;
                }, display.display());
                stopProcess(client);
                if (!sample) {
                    std::fprintf(stderr, "bench_frames: the client showed no frames of %s (%s), round %d\n", stream.name, qPrintable(run),
                                 round + 1);
                    return 1;
                }
                results[name + QStringLiteral(" client ") + run].add(*sample);
                std::fprintf(stderr, "round %d %s client %s (picture %dx%d): %.1f fps, %.0f%% CPU, screen read %.0f/s\n", round + 1,
                             stream.name, qPrintable(run), sample->picture.width(), sample->picture.height(), sample->fps,
                             sample->cpuPercent, sample->readsPerSecond);
            }

            QProcess gst;
            gst.setProcessEnvironment(env);
            gst.setStandardOutputFile(QProcess::nullDevice());
            gst.setStandardErrorFile(QProcess::nullDevice());
            startPinned(gst, cores, QStringLiteral("gst-play-1.0"),
                        {QStringLiteral("--no-interactive"), QStringLiteral("--videosink=ximagesink"), url});
            const auto sample = measure(gst, [&] {
                const QRect window = screen.windowNamed("gst-play-1.0");
                return window.isEmpty() ? window : letterboxed(window, stream.size);
            }, display.display());
            stopProcess(gst);
            if (!sample) {
                std::fprintf(stderr, "bench_frames: gst-play-1.0 showed no frames of %s, round %d\n", stream.name, round + 1);
                return 1;
            }
            results[name + QStringLiteral(" gst-play")].add(*sample);
            std::fprintf(stderr, "round %d %s gst-play-1.0: %.1f fps, %.0f%% CPU\n", round + 1, stream.name, sample->fps,
                         sample->cpuPercent);
        }
    }

    std::printf("Frames shown, counted from the screen (Xvfb 1920x1080; %d s of steady play; %d rounds; measured process on cores %s;\n"
                "median (min-max)):\n",
                kMeasureMs / 1000, rounds, qPrintable(cores));
    std::printf("%-8s %-26s %-20s %-16s %-20s %s\n", "stream", "player", "frames/s", "missing", "CPU %", "CPU ms/frame");
    const auto row = [&](const Stream &stream, const QString &who, const Series &s) {
        std::printf("%-8s %-26s %-20s %-16s %-20s %s\n", stream.name, qPrintable(who), qPrintable(figure(s.fps, 1)),
                    qPrintable(figure(s.missing, 0)), qPrintable(figure(s.cpuPercent, 0)), qPrintable(figure(s.cpuMsPerFrame, 2)));
    };
    for (const Stream &stream : kStreams) {
        const QString name = QLatin1String(stream.name);
        for (const QString &run : std::as_const(runs))
            row(stream, QStringLiteral("client ") + run, results[name + QStringLiteral(" client ") + run]);
        row(stream, QStringLiteral("gst-play-1.0"), results[name + QStringLiteral(" gst-play")]);
    }
    std::printf("client/gst-play ratios (median):\n");
    for (const Stream &stream : kStreams) {
        const QString name = QLatin1String(stream.name);
        const Series &gst = results[name + QStringLiteral(" gst-play")];
        for (const QString &where : std::as_const(wheres)) {
            const Series &client = results[name + QStringLiteral(" client ") + where];
            const double fps = spread(client.fps).median;
            const bool framesMet = stream.rate == 60 ? fps >= kGoal60 : spread(client.missing).median == 0;
            const double cpu = spread(client.cpuMsPerFrame).median / spread(gst.cpuMsPerFrame).median;
            std::printf("  %-8s %-5s frames/s %.2fx (%.1f; goal %s): %s; CPU per frame %.2fx (goal <= %.0fx): %s\n", stream.name,
                        qPrintable(where), fps / spread(gst.fps).median, fps,
                        stream.rate == 60 ? ">= 57 frames/s" : "every frame", framesMet ? "met" : "NOT met", cpu, kCpuGoal,
                        cpu <= kCpuGoal ? "met" : "NOT met");
        }
    }
    std::printf("player process/in-process CPU per frame (median; both processes together):\n");
    for (const Stream &stream : kStreams) {
        const QString name = QLatin1String(stream.name);
        for (const QString &where : std::as_const(wheres)) {
            const double process = spread(results[name + QStringLiteral(" client ") + where].cpuMsPerFrame).median;
            const double inside = spread(results[name + QStringLiteral(" client ") + where + QStringLiteral(" in-process")].cpuMsPerFrame).median;
            std::printf("  %-8s %-5s %.2fx (goal <= %.1fx): %s\n", stream.name, qPrintable(where), process / inside, kProcessCpuGoal,
                        process / inside <= kProcessCpuGoal ? "met" : "NOT met");
        }
    }
    return 0;
}
