// What a quality change costs on screen and in the sound: the native player of the client's
// window (wired as main.cpp wires it, on its own Xvfb, each run a new process) against
// gst-play-1.0 with playbin3, on the same HLS stream from the same loopback site, on the same
// display. The stream (cmake/benchmedia.sh, switch/) has 360p, 720p and 1080p variants of one
// picture carrying its frame number as a bar code, and a steady 440 Hz tone.
//
// 自动: both start on a fast line and climb to 1080p; after a few seconds of steady play the
// line slows to 1.8 Mbit/s, for every segment, and the demuxer drops to 360p by itself. chosen
// (the client only): on the fast line, the lowest quality is picked from the player's quality
// menu, as a click picks it. The switch is the first lower segment the site is asked for after
// that; a run ends once the picture has played 3 s past it (gst-play-1.0 loads 30 s ahead, so its
// switch shows that much later). Measured from 3 s after the first picture to the run's end:
//   - the longest still picture: the longest time the frame number on screen did not change,
//     read back from the X server about a thousand times a second (screenprobe.h);
//   - frames never shown: numbers skipped between the first and the last frame seen;
//   - the longest gap in the sound: the players play into a PulseAudio of the benchmark's own
//     (a null sink, recorded with parec); a gap is 5 ms or more of 1-ms windows without the
//     tone, counted between the first and the last sound.
// --falling: how steady 自动 is on a line that falls in steps from 5.6 to 2.3 Mbit/s (5.6 until
// 8 s after the first picture, then 4.6, 3.7, 3.0 and 2.3, 8 s each, 2.3 to the end), the client
// against gst-play-1.0, each playing the whole 60 s: the switches per play (a segment asked for in
// another variant than the one before it) and the frames never shown from the first to the last.
// Each request on it waits 60 ms and gets the step's rate give or take a quarter.
// The still picture over the steady seconds before the switch goes to stderr as a yardstick
// (one frame time, 33 ms, when nothing stutters). Each measured process runs on two cores of its
// own (taskset), the benchmark, the site, PulseAudio and parec on the others.
//
//   bench_switch [rounds, default 3] [--cores 2,3|none] [--falling]

#include "clientrun.h"
#include "clientwindow.h"
#include "screenprobe.h"

#include "support/fakesite.h"
#include "support/mediafiles.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QToolButton>

#include <sched.h>
#include <unistd.h>

#include <cmath>
#include <map>
#include <set>

using namespace tovra;
using namespace tovra::bench;

namespace {

constexpr int kFrameRate = 30;
constexpr int kFramesPerSegment = 2 * kFrameRate;
constexpr int kWarmUpMs = 3000;
constexpr int kSteadyMs = 3000;
constexpr int kPlayedPastSwitch = 3 * kFrameRate;
// A picture that has not moved for this long has stopped: the run ends there, its still picture
// a lower bound.
constexpr int kStoppedMs = 15000;
// Below what 720p asks (BANDWIDTH 1.72 Mbit/s; the demuxer takes at most 80 % of the rate it
// measured) and above 360p's 0.73 Mbit/s, so both players land on 360p and stay there. Every
// segment is slowed, not only the top ones: with 360p's coming fast, the demuxer measures a fast
// line again and climbs straight back, one segment in two. A 1080p segment still comes in some
// 3 s for 2 s of play, which the client's 3 s loaded ahead can cover.
constexpr qint64 kSlowLine = 225000;
// The falling line, bytes a second, and how long each step lasts from the first picture on.
constexpr qint64 kFallingLine[] = {700000, 575000, 462500, 375000, 287500};
constexpr qint64 kFallingStepNs = 8'000'000'000;
constexpr int kRoundTripMs = 60;
constexpr int kStreamFrames = 60 * kFrameRate;
constexpr int kSampleRate = 48000;
constexpr int kWindow = kSampleRate / 1000;
constexpr int kGapWindows = 5;
const char *const kVariantNames[] = {"360p", "720p", "1080p"};

// The client's side: plays the site's one title and prints "picture <x> <y> <width> <height>"
// (on the screen); on each line on its input, picks the last of the quality menu's choices (the
// lowest: the menu lists them highest first) and prints "chose <label>".
int playInClient(int argc, char *argv[])
{
    QApplication app(argc, argv);
    wireAsMain();
    ContentView window;
    window.show();
    window.push(playRoute(QStringLiteral("bench")));
    QWidget *surface = nullptr;
    if (!spinUntil([&] { return (surface = playerSurface()) != nullptr; }, 30000))
        return 1;
    // Placed and laid out by now, even where no window manager hurries it.
    spinUntil([] { return false; }, 1000);
    const QRect picture = pictureOnScreen(surface, QSize(16, 9));
    std::printf("picture %d %d %d %d\n", picture.x(), picture.y(), picture.width(), picture.height());
    std::fflush(stdout);
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char line[64];
        if (read(STDIN_FILENO, line, sizeof line) <= 0) {
            input.setEnabled(false);
            return;
        }
        const QList<QWidget *> menus = widgetsOfClass("tovra::QualityMenu");
        auto *button = menus.isEmpty() ? nullptr : qobject_cast<QToolButton *>(menus.first());
        const QList<QAction *> choices = button && button->menu() ? button->menu()->actions() : QList<QAction *>();
        if (!choices.isEmpty())
            choices.last()->trigger();
        std::printf("chose %s\n", choices.isEmpty() ? "none" : qPrintable(choices.last()->text()));
        std::fflush(stdout);
    });
    return app.exec();
}

// A PulseAudio of our own, in a throw-away home and runtime folder so the user's is left alone,
// with one null sink: what the players play is its monitor's.
class SoundServer
{
public:
    ~SoundServer()
    {
        // --kill only signals the daemon: its folder is ours to remove once it has gone.
        if (m_started && run({QStringLiteral("--kill")}))
            spinUntil([&] { return !QFile::exists(m_dir.filePath(QStringLiteral("runtime/pulse/pid"))); }, 5000);
    }

    bool start()
    {
        QDir(m_dir.path()).mkpath(QStringLiteral("home"));
        QDir(m_dir.path()).mkpath(QStringLiteral("runtime"));
        QFile::setPermissions(m_dir.filePath(QStringLiteral("runtime")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_started = run({QStringLiteral("--start"), QStringLiteral("-n"),
                         QStringLiteral("--load=module-null-sink sink_name=rec rate=%1").arg(kSampleRate),
                         QStringLiteral("--load=module-native-protocol-unix"), QStringLiteral("--exit-idle-time=-1")});
        return m_started && QFile::exists(socket());
    }

    QProcessEnvironment on(QProcessEnvironment env) const
    {
        env.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:") + socket());
        return env;
    }

private:
    QString socket() const { return m_dir.filePath(QStringLiteral("runtime/pulse/native")); }

    bool run(const QStringList &arguments) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), m_dir.filePath(QStringLiteral("home")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.filePath(QStringLiteral("runtime")));
        QProcess pulse;
        pulse.setProcessEnvironment(env);
        pulse.setStandardOutputFile(QProcess::nullDevice());
        pulse.setStandardErrorFile(QProcess::nullDevice());
        pulse.start(QStringLiteral("pulseaudio"), arguments);
        return pulse.waitForFinished(15000) && pulse.exitStatus() == QProcess::NormalExit && pulse.exitCode() == 0;
    }

    QTemporaryDir m_dir;
    bool m_started = false;
};

// The null sink's monitor as parec hands it over: mono, 16 bits, with the time its first
// samples were taken. The sink renders even while nothing plays, so sample n is n / 48000 s on.
class Recording
{
public:
    bool start(const QProcessEnvironment &env)
    {
        QObject::connect(&m_parec, &QProcess::readyReadStandardOutput, [this] { take(); });
        m_parec.setProcessEnvironment(env);
        m_parec.setStandardErrorFile(QProcess::nullDevice());
        m_parec.start(QStringLiteral("parec"), {QStringLiteral("-d"), QStringLiteral("rec.monitor"), QStringLiteral("--format=s16le"),
                                                QStringLiteral("--rate=%1").arg(kSampleRate), QStringLiteral("--channels=1"),
                                                QStringLiteral("--latency-msec=10")});
        return spinUntil([&] { return m_firstNs > 0 || m_parec.state() == QProcess::NotRunning; }, 15000) && m_firstNs > 0;
    }

    void stop()
    {
        take();
        m_parec.kill();
        m_parec.waitForFinished(5000);
    }

    struct Heard
    {
        double tone = 0; // RMS of the loud windows
        double gapMs = 0;
        qint64 gapNs = 0; // where the longest gap began
    };

    // The tone and the longest gap in it between from and to.
    Heard heard(qint64 fromNs, qint64 toNs) const
    {
        const auto *samples = reinterpret_cast<const qint16 *>(m_bytes.constData());
        std::vector<double> rms(m_bytes.size() / 2 / kWindow);
        for (size_t w = 0; w < rms.size(); ++w) {
            double sum = 0;
            for (int i = 0; i < kWindow; ++i)
                sum += double(samples[w * kWindow + i]) * samples[w * kWindow + i];
            rms[w] = std::sqrt(sum / kWindow);
        }
        const auto window = [&](qint64 ns) { return std::clamp<qint64>((ns - m_firstNs) / 1000000, 0, qint64(rms.size())); };
        std::vector<double> sorted(rms.begin() + window(fromNs), rms.begin() + window(toNs));
        if (sorted.empty())
            return {};
        std::sort(sorted.begin(), sorted.end());
        // The tone is most of the recording; a quarter of its level is clear of the noise AAC
        // leaves and of a window half over the edge of a gap.
        const double tone = sorted[sorted.size() * 9 / 10];
        qint64 first = -1, last = -1;
        for (qint64 w = window(fromNs); w < window(toNs); ++w) {
            if (rms[w] >= tone / 4) {
                first = first < 0 ? w : first;
                last = w;
            }
        }
        Heard result{tone};
        for (qint64 w = first, quiet = 0; first >= 0 && w <= last; ++w) {
            quiet = rms[w] < tone / 4 ? quiet + 1 : 0;
            if (quiet >= kGapWindows && quiet > result.gapMs) {
                result.gapMs = double(quiet);
                result.gapNs = m_firstNs + (w + 1 - quiet) * 1000000;
            }
        }
        return result;
    }

private:
    void take()
    {
        const QByteArray bytes = m_parec.readAllStandardOutput();
        if (!bytes.isEmpty() && m_firstNs == 0)
            m_firstNs = monotonicNs() - qint64(bytes.size() / 2) * 1000000000LL / kSampleRate;
        m_bytes += bytes;
    }

    QProcess m_parec;
    QByteArray m_bytes;
    qint64 m_firstNs = 0;
};

struct Seen
{
    double stillMs = 0;
    qint64 stillNs = 0; // where the longest still picture began
    int unshown = 0;
};

// The longest time one frame number stayed on screen between from and to (from one change of
// the number read to the next), and how many numbers between the first and last seen never were.
Seen seenOnScreen(const std::vector<FrameReader::Reading> &readings, qint64 fromNs, qint64 toNs)
{
    Seen seen;
    qint64 changed = fromNs;
    int previous = -1;
    std::set<int> shown;
    const auto still = [&](qint64 ns) {
        if (ns - changed > seen.stillMs * 1e6) {
            seen.stillMs = (ns - changed) / 1e6;
            seen.stillNs = changed;
        }
        changed = ns;
    };
    for (const FrameReader::Reading &reading : readings) {
        if (reading.ns < fromNs || reading.ns > toNs)
            continue;
        if (previous >= 0 && reading.frame != previous)
            still(reading.ns);
        previous = reading.frame;
        shown.insert(reading.frame);
    }
    still(toNs);
    seen.unshown = shown.empty() ? 0 : *shown.rbegin() - *shown.begin() + 1 - int(shown.size());
    return seen;
}

enum class Player { Client, GstPlay };
enum class Case { Automatic, Chosen };

struct Outcome
{
    QString change; // "1080p→360p at 14 s", or why there was none
    bool switched = false;
    bool stopped = false;
    int frameAtTrigger = -1;
    qint64 triggerNs = 0;
    Seen picture, steady;
    Recording::Heard sound;
};

// One play on the falling line.
struct Falling
{
    int switches = 0;
    int segments = 0;
    QString path; // the variants asked for, "2 2 1 2 ..."
    Seen picture;
    bool stopped = false;
};

struct Bench
{
    test::FakeSite &site;
    QProcessEnvironment env;
    QString display;
    QString cores;
    QString url;
    qint64 lineRate = 0;
    // While set, the line falls in steps from then on (kFallingLine).
    qint64 fallingSinceNs = 0;

    // The falling line is a real one: each request waits a round trip and gets the step's rate
    // give or take a quarter, the same sequence of draws for every play.
    bool noisy = false;
    quint32 draw = 1;

    qint64 rateNow()
    {
        if (!noisy)
            return lineRate;
        draw = draw * 1664525u + 1013904223u;
        const double share = 0.75 + 0.5 * double(draw >> 8) / double(1u << 24);
        const qint64 step = fallingSinceNs == 0 ? 0 : std::max<qint64>(0, monotonicNs() - fallingSinceNs) / kFallingStepNs;
        return qint64(kFallingLine[std::min<qint64>(step, qint64(std::size(kFallingLine)) - 1)] * share);
    }

    // The variant and the segment number of a segment's path; none for anything else.
    static std::optional<std::pair<int, int>> segmentOf(const QString &path)
    {
        static const QRegularExpression pattern(QStringLiteral("/v(\\d)/seg(\\d+)\\.ts$"));
        const QRegularExpressionMatch match = pattern.match(path);
        if (!match.hasMatch())
            return std::nullopt;
        return std::pair(match.captured(1).toInt(), match.captured(2).toInt());
    }

    // The last frame number on screen, -1 before any.
    static int onScreen(const FrameReader &reader)
    {
        const std::vector<FrameReader::Reading> readings = reader.readings();
        return readings.empty() ? -1 : readings.back().frame;
    }

    // Starts the player on the site's stream and finds its picture on the screen.
    bool startPlayer(Player player, QProcess &process, ScreenProbe &screen, QRect &picture)
    {
        std::function<QRect()> locate;
        if (player == Player::Client) {
            process.setProcessEnvironment(env);
            process.setStandardErrorFile(QProcess::nullDevice());
            startPinned(process, cores, QCoreApplication::applicationFilePath(), {QStringLiteral("--play")});
            locate = [&] {
                while (process.canReadLine()) {
                    const QList<QByteArray> line = process.readLine().trimmed().split(' ');
                    if (line.size() == 5 && line.first() == "picture")
                        return QRect(line[1].toInt(), line[2].toInt(), line[3].toInt(), line[4].toInt());
                }
                return QRect();
            };
        } else {
            QProcessEnvironment gstEnv = env;
            gstEnv.insert(QStringLiteral("USE_PLAYBIN3"), QStringLiteral("1"));
            process.setProcessEnvironment(gstEnv);
            process.setStandardOutputFile(QProcess::nullDevice());
            process.setStandardErrorFile(QProcess::nullDevice());
            // ximagesink draws a picture at its own size: scaled to one size, 360p fills the
            // window as 1080p did and the bar code stays where it is read.
            startPinned(process, cores, QStringLiteral("gst-play-1.0"),
                        {QStringLiteral("--no-interactive"),
                         QStringLiteral("--videosink=videoscale ! video/x-raw,width=1920,height=1080 ! ximagesink"), url});
            locate = [&] {
                const QRect window = screen.windowNamed("gst-play-1.0");
                return window.isEmpty() ? window : letterboxed(window, QSize(16, 9));
            };
        }
        return spinUntil([&] { return process.state() == QProcess::Running && !(picture = locate()).isEmpty(); }, 30000);
    }

    std::optional<Falling> runFalling(Player player)
    {
        const auto fail = [](const char *why) {
            std::fprintf(stderr, "bench_switch: %s\n", why);
            return std::optional<Falling>();
        };
        noisy = true;
        draw = 1;
        fallingSinceNs = 0;
        site.clearLog();
        QProcess process;
        QRect picture;
        ScreenProbe screen(display);
        const auto stop = [&] {
            noisy = false;
            fallingSinceNs = 0;
            process.kill();
            process.waitForFinished(5000);
        };
        if (!startPlayer(player, process, screen, picture)) {
            stop();
            return fail("the picture did not come on screen");
        }
        FrameReader reader(display, picture);
        if (!reader.start() || !spinUntil([&] { return !reader.readings().empty() || process.state() != QProcess::Running; }, 20000)) {
            stop();
            return fail("no frame number on screen");
        }
        fallingSinceNs = monotonicNs();
        Falling outcome;
        QElapsedTimer moved;
        moved.start();
        int shown = -1;
        // To the end of the stream (the last frames may never be read), or until it stops.
        spinUntil([&] {
            if (const int frame = onScreen(reader); frame != shown) {
                shown = frame;
                moved.restart();
            }
            outcome.stopped = moved.elapsed() > kStoppedMs;
            return shown >= kStreamFrames - kFrameRate / 2 || outcome.stopped || process.state() != QProcess::Running;
        }, 120000);
        const qint64 to = monotonicNs();
        reader.stop();
        stop();
        const std::vector<FrameReader::Reading> readings = reader.readings();
        if (readings.empty())
            return fail("no frame number on screen");
        outcome.picture = seenOnScreen(readings, readings.front().ns, to);
        int variant = -1;
        QStringList path;
        for (const test::FakeSite::Request &request : site.requests()) {
            const auto segment = segmentOf(request.path);
            if (!segment)
                continue;
            ++outcome.segments;
            outcome.switches += variant >= 0 && segment->first != variant ? 1 : 0;
            variant = segment->first;
            path << QString::number(variant);
        }
        outcome.path = path.join(u' ');
        return outcome;
    }

    std::optional<Outcome> run(Player player, Case what)
    {
        const auto fail = [](const char *why) {
            std::fprintf(stderr, "bench_switch: %s\n", why);
            return std::optional<Outcome>();
        };
        lineRate = 0;
        site.clearLog();
        Recording sound;
        if (!sound.start(env))
            return fail("parec recorded nothing from the null sink");

        QProcess process;
        QRect picture;
        ScreenProbe screen(display);
        const auto stop = [&] {
            process.kill();
            process.waitForFinished(5000);
            sound.stop();
        };
        const auto running = [&] { return process.state() == QProcess::Running; };

        if (!startPlayer(player, process, screen, picture)) {
            stop();
            return fail("the picture did not come on screen");
        }
        FrameReader reader(display, picture);
        if (!reader.start() || !spinUntil([&] { return !reader.readings().empty() || !running(); }, 20000) || !running()) {
            stop();
            return fail("no frame number on screen");
        }
        spinUntil([] { return false; }, kWarmUpMs);
        const qint64 from = monotonicNs();
        spinUntil([] { return false; }, kSteadyMs);
        const qint64 trigger = monotonicNs();
        const int frameAtTrigger = onScreen(reader);
        const qsizetype logAtTrigger = site.requests().size();
        int before = -1;
        for (const test::FakeSite::Request &request : site.requests()) {
            if (const auto segment = segmentOf(request.path))
                before = segment->first;
        }
        if (what == Case::Automatic) {
            lineRate = kSlowLine;
        } else {
            process.write("lowest\n");
            QByteArray chose;
            spinUntil([&] { return (chose = process.readLine()).startsWith("chose ") || !running(); }, 5000);
            if (!chose.startsWith("chose ") || chose.startsWith("chose none")) {
                stop();
                return fail("the client's player showed no quality menu");
            }
        }

        // The switch: the first segment of a lower variant asked for from here on.
        std::optional<std::pair<int, int>> lower;
        spinUntil([&] {
            for (qsizetype i = logAtTrigger; i < site.requests().size() && !lower; ++i) {
                const auto segment = segmentOf(site.requests().at(i).path);
                if (segment && segment->first < before)
                    lower = segment;
            }
            return lower || !running();
        }, 30000);
        Outcome outcome;
        outcome.triggerNs = trigger;
        outcome.frameAtTrigger = frameAtTrigger;
        if (lower) {
            outcome.switched = true;
            outcome.change = QStringLiteral("%1→%2 at %3 s")
                                 .arg(QLatin1String(kVariantNames[before]), QLatin1String(kVariantNames[lower->first]))
                                 .arg(lower->second * 2);
            const int past = std::max(lower->second * kFramesPerSegment, frameAtTrigger) + kPlayedPastSwitch;
            // Every 50 ms is plenty to know the picture got there, and copies far fewer readings.
            QElapsedTimer every, moved;
            every.start();
            moved.start();
            int shown = -1;
            const auto there = [&] {
                if (every.elapsed() < 50)
                    return false;
                every.restart();
                if (const int frame = onScreen(reader); frame != shown) {
                    shown = frame;
                    moved.restart();
                }
                outcome.stopped = moved.elapsed() > kStoppedMs;
                return shown >= past || outcome.stopped || !running();
            };
            if (!spinUntil(there, 90000) || !running()) {
                stop();
                return fail("the picture did not play on past the switch, nor stop");
            }
        } else {
            outcome.change = before < 0 ? QStringLiteral("no segment before the change")
                                        : QStringLiteral("no switch from %1").arg(QLatin1String(kVariantNames[before]));
            spinUntil([] { return false; }, 10000);
        }
        const qint64 to = monotonicNs();
        reader.stop();
        stop();
        const std::vector<FrameReader::Reading> readings = reader.readings();
        outcome.picture = seenOnScreen(readings, from, to);
        outcome.steady = seenOnScreen(readings, from, trigger);
        outcome.sound = sound.heard(from, to);
        if (outcome.sound.tone < 100)
            return fail("no tone in the recording: the player's sound did not reach the null sink");
        return outcome;
    }
};

// Pads text to width columns, a CJK character taking two.
QString padded(const QString &text, int width)
{
    int columns = 0;
    for (const QChar c : text)
        columns += c.unicode() >= 0x2e80 ? 2 : 1;
    return text + QString(std::max(0, width - columns), u' ');
}

int fallingLine(Bench &bench, int rounds, const QString &cores)
{
    const std::pair<const char *, Player> kPlayers[] = {{"client", Player::Client}, {"gst-play-1.0", Player::GstPlay}};
    std::map<int, std::vector<Falling>> results;
    for (int round = 0; round < rounds; ++round) {
        for (const auto &[name, who] : kPlayers) {
            const auto outcome = bench.runFalling(who);
            if (!outcome) {
                std::fprintf(stderr, "bench_switch: %s, falling line, round %d failed\n", name, round + 1);
                return 1;
            }
            results[int(who)].push_back(*outcome);
            std::fprintf(stderr, "round %d %s: %d switches in %d segments (%s); %d frames never shown; still %.0f ms%s\n", round + 1, name,
                         outcome->switches, outcome->segments, qPrintable(outcome->path), outcome->picture.unshown,
                         outcome->picture.stillMs, outcome->stopped ? ", stopped" : "");
        }
    }
    std::printf("自动 on a falling line (5.6, 4.6, 3.7, 3.0, then 2.3 Mbit/s, 8 s each from the first picture, each request "
                "±25 %% and 60 ms late), the whole 60 s stream;\n%d rounds; measured process on cores %s:\n",
                rounds, qPrintable(cores));
    std::printf("%-8s%-14s%-10s%-20s%-20s\n", "round", "player", "switches", "frames never shown", "longest still (ms)");
    for (const auto &[name, who] : kPlayers) {
        const std::vector<Falling> &runs = results[int(who)];
        std::vector<double> switches, unshown, still;
        for (size_t i = 0; i < runs.size(); ++i) {
            std::printf("%-8zu%-14s%-10d%-20d%-20.0f%s\n", i + 1, name, runs[i].switches, runs[i].picture.unshown, runs[i].picture.stillMs,
                        runs[i].stopped ? "stopped" : "");
            switches.push_back(runs[i].switches);
            unshown.push_back(runs[i].picture.unshown);
            still.push_back(runs[i].picture.stillMs);
        }
        std::printf("%-8s%-14s%-10.0f%-20.0f%-20.0f\n", "median", name, spread(switches).median, spread(unshown).median,
                    spread(still).median);
    }
    return 0;
}

}

int main(int argc, char *argv[])
{
    if (argc > 1 && qstrcmp(argv[1], "--play") == 0)
        return playInClient(argc, argv);
    QCoreApplication app(argc, argv);
    int rounds = 3;
    QString cores = QStringLiteral("2,3");
    bool falling = false;
    const QStringList args = app.arguments().mid(1);
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--cores") && i + 1 < args.size())
            cores = args.at(++i);
        else if (args.at(i) == QLatin1String("--falling"))
            falling = true;
        else
            rounds = std::max(1, args.at(i).toInt());
    }
    const QString media = builtProgram(QStringLiteral("benchmedia/switch"));
    if (!QFile::exists(media + QStringLiteral("/master.m3u8"))) {
        std::fprintf(stderr, "bench_switch: no stream in %s (it is made by the build: cmake/benchmedia.sh)\n", qPrintable(media));
        return 1;
    }
    keepOffCores(cores);

    test::FakeSite site;
    DisplaySession display;
    SoundServer pulse;
    if (!site.start() || !display.start()) {
        std::fprintf(stderr, "bench_switch: the site or the X display did not start\n");
        return 1;
    }
    if (!pulse.start()) {
        std::fprintf(stderr, "bench_switch: pulseaudio did not start (packages pulseaudio, pulseaudio-utils)\n");
        return 1;
    }
    const QString base = site.url().toString(QUrl::FullyEncoded).chopped(1);
    Profile profile(base);
    Bench bench{site, pulse.on(display.on(profile.environment())), display.display(), cores,
                base + QStringLiteral("/bench/switch/master.m3u8")};
    // Every segment goes through the line, at the rate it has when the request comes.
    const QString prefix = QStringLiteral("/bench/switch/");
    for (const QString &path : test::serveFolder(site, prefix, media)) {
        if (!Bench::segmentOf(path))
            continue;
        QFile file(media + path.mid(prefix.size() - 1));
        const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        site.route(path, [bytes, &bench](const test::FakeSite::Request &) {
            return test::FakeSite::text(bytes).withHeader("Content-Type", "video/mp2t").throttled(bench.rateNow()).withDelay(bench.noisy ? kRoundTripMs : 0);
        });
    }
    site.route(QStringLiteral("/api/progress"), test::FakeSite::ok("{}"));
    site.route(QStringLiteral("/user/requestmpd"),
               test::FakeSite::ok(QStringLiteral(R"({"url":"%1","token":"bench","et":0,"l":1})").arg(bench.url).toUtf8()));

    if (falling)
        return fallingLine(bench, rounds, cores);

    struct Row
    {
        const char *player;
        Player who;
        Case what;
    };
    const Row kRows[] = {{"client", Player::Client, Case::Automatic},
                         {"client", Player::Client, Case::Chosen},
                         {"gst-play-1.0", Player::GstPlay, Case::Automatic}};
    const auto caseName = [](Case what) { return what == Case::Automatic ? QStringLiteral("自动") : QStringLiteral("chosen"); };
    std::map<std::pair<int, int>, std::vector<Outcome>> results;
    for (int round = 0; round < rounds; ++round) {
        for (const Row &row : kRows) {
            const auto outcome = bench.run(row.who, row.what);
            if (!outcome) {
                std::fprintf(stderr, "bench_switch: %s, %s, round %d failed\n", row.player, qPrintable(caseName(row.what)), round + 1);
                return 1;
            }
            results[{int(row.who), int(row.what)}].push_back(*outcome);
            // Where each longest stretch began, in seconds from the slow-down or the choice.
            const auto at = [&](qint64 ns) { return (ns - outcome->triggerNs) / 1e9; };
            std::fprintf(stderr,
                         "round %d %s %s at frame %d: %s; still %.0f ms at %+.2f s (steady play before: %.0f ms), %d frames never "
                         "shown; sound gap %.0f ms at %+.2f s (tone RMS %.0f)\n",
                         round + 1, row.player, qPrintable(caseName(row.what)), outcome->frameAtTrigger, qPrintable(outcome->change),
                         outcome->picture.stillMs, at(outcome->picture.stillNs), outcome->steady.stillMs, outcome->picture.unshown,
                         outcome->sound.gapMs, at(outcome->sound.gapNs), outcome->sound.tone);
        }
    }

    std::printf("Quality change, read from the screen and the sound recorded (Xvfb 1920x1080, 30 frames/s; 自动: line slowed to "
                "%.1f Mbit/s;\nchosen: the lowest quality picked from the menu; %d rounds; measured process on cores %s):\n",
                kSlowLine * 8 / 1e6, rounds, qPrintable(cores));
    const auto line = [](const QStringList &cells) {
        static constexpr int kWidths[] = {8, 14, 8, 28, 20, 20};
        QString text;
        for (qsizetype i = 0; i < cells.size(); ++i)
            text += i < qsizetype(std::size(kWidths)) ? padded(cells[i], kWidths[i]) : cells[i];
        std::printf("%s\n", qPrintable(text));
    };
    line({QStringLiteral("round"), QStringLiteral("player"), QStringLiteral("case"), QStringLiteral("switch"),
          QStringLiteral("longest still (ms)"), QStringLiteral("frames never shown"), QStringLiteral("longest sound gap (ms)")});
    const QString none = QStringLiteral("—");
    for (const Row &row : kRows) {
        const QString player = QLatin1String(row.player);
        const std::vector<Outcome> &runs = results[{int(row.who), int(row.what)}];
        std::vector<double> still, unshown, gap;
        const auto stopped = std::count_if(runs.begin(), runs.end(), [](const Outcome &run) { return run.stopped; });
        for (size_t i = 0; i < runs.size(); ++i) {
            const Outcome &run = runs[i];
            const QString stillText = QString::number(run.picture.stillMs, 'f', 0);
            line({QString::number(i + 1), player, caseName(row.what), run.change,
                  run.stopped ? QStringLiteral("≥ %1 stopped").arg(stillText) : stillText, QString::number(run.picture.unshown),
                  QString::number(run.sound.gapMs, 'f', 0)});
            if (run.switched) {
                still.push_back(run.picture.stillMs);
                unshown.push_back(run.picture.unshown);
                gap.push_back(run.sound.gapMs);
            }
        }
        const auto median = [&](const std::vector<double> &values) {
            return values.empty() ? none : QString::number(spread(values).median, 'f', 0);
        };
        const QString switched = QStringLiteral("%1 of %2 switched").arg(still.size()).arg(runs.size())
                                 + (stopped ? QStringLiteral(", %1 stopped").arg(stopped) : QString());
        line({QStringLiteral("median"), player, caseName(row.what), switched, median(still), median(unshown), median(gap)});
        // gst-play-1.0 has no quality to choose.
        if (row.who == Player::GstPlay)
            line({none, player, caseName(Case::Chosen), none, none, none, none});
    }
    return 0;
}
