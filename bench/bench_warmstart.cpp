// Start-up as a user sees it: the real tovra-client, from its process being started to the home
// page on screen, against bench_barewindow (a Qt Widgets program built on its own that shows a
// QMainWindow) and bench_textwindow (the bare window drawing the home page's text in the client's
// face and nothing else: what that text costs any Qt program). Two moments of the client's: its
// first content frame, and the frame with the page fully drawn (every sidebar row, every visible
// poster the caches hold). Warm: the profile has been used before, so its caches hold the home
// page, the sidebar and the first screen's posters. Cold: the caches are empty and everything
// comes from the sample site on loopback. Whole processes, interleaved round by round; medians
// with min-max.
//
//   bench_warmstart [rounds, default 25] [X display number, default 94]
//
// Measured on a real X server the benchmark starts itself (Xvfb -noreset, 1920 x 1080, one
// connection held all along, with a D-Bus session bus), where a display's costs show; the same
// rounds on a 1920 x 1080 offscreen screen follow. A frame counts as on screen once the X server
// has answered a request sent after it. Also reads the client's private memory idling on its home
// page for half a minute.
//
// Prints the goals' figures last: on the display, warm first frame/bare <= 2.2 and /text <= 1.4,
// warm fully drawn/bare <= 3, idle private memory <= 15 MB.

#include "clientrun.h"

#include <QTemporaryFile>

using namespace tovra::bench;

namespace {

constexpr double kBareGoal = 2.2;
constexpr double kTextGoal = 1.4;
constexpr double kDrawnGoal = 3.0;
constexpr double kUssGoalMb = 15;
constexpr int kSettleMs = 30000;
constexpr int kIdleRuns = 3;

// One run to the fully drawn page; milliseconds, or -1 for a moment that never came.
struct Run
{
    double first = -1, drawn = -1;
};

Run runOnce(const QString &program, const QProcessEnvironment &env)
{
    QProcess process;
    const Moments moments = startUntilDrawn(process, program, env);
    if (!process.waitForFinished(15000)) {
        process.kill();
        process.waitForFinished(5000);
    }
    return {moments.firstPaint < 0 ? -1 : moments.firstPaint / 1e6, moments.drawn < 0 ? -1 : moments.drawn / 1e6};
}

void print(const char *what, const std::vector<double> &values, const char *unit)
{
    const Spread s = spread(values);
    std::printf("  %s: %.2f%s (%.2f-%.2f), median of %zu\n", what, s.median, unit, s.min, s.max, values.size());
}

struct Programs
{
    QString client, bare, text;
};

struct Pass
{
    std::vector<double> bare, text, warm, warmDrawn, cold, coldDrawn, warmGap;
    std::vector<double> warmOverBare, warmOverText, drawnOverBare, drawnOverText, textOverBare, coldOverBare, coldDrawnOverBare;
};

// The warm profile as a user's is after a first start: the client left until its page is fully
// drawn and its first screen's posters have come, then stopped. A benchmark run quits at once
// and would leave the posters out.
bool prime(const QString &client, QProcessEnvironment env)
{
    env.insert(QStringLiteral("TOVRA_FIRST_PAINT_MARK"), QStringLiteral("1"));
    QProcess process;
    const bool drawn = startUntilDrawn(process, client, env).drawn >= 0;
    spinUntil([] { return false; }, 3000);
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
    return drawn;
}

// rounds interleaved runs of the four on one screen; false when a run never drew its page.
bool measure(const Programs &programs, int rounds, const QProcessEnvironment &warmEnv, const QProcessEnvironment &coldEnv,
             const Profile &coldProfile, Pass &pass)
{
    // Unmeasured: brings every program's files into the page cache.
    for (const QString *program : {&programs.client, &programs.bare, &programs.text}) {
        if (runOnce(*program, warmEnv).drawn < 0)
            return false;
    }
    for (int round = 0; round < rounds; ++round) {
        Run measured[4];
        // The order turns every round so that no variant always follows the same one.
        for (int i = 0; i < 4; ++i) {
            const int which = (round + i) % 4;
            if (which == 2)
                coldProfile.emptyCaches();
            const QString &program = which == 0 ? programs.bare : which == 3 ? programs.text : programs.client;
            measured[which] = runOnce(program, which == 2 ? coldEnv : warmEnv);
            if (measured[which].first < 0 || measured[which].drawn < 0)
                return false;
        }
        const double bare = measured[0].first, text = measured[3].first;
        const Run warm = measured[1], cold = measured[2];
        pass.bare.push_back(bare);
        pass.text.push_back(text);
        pass.warm.push_back(warm.first);
        pass.warmDrawn.push_back(warm.drawn);
        pass.warmGap.push_back(warm.drawn - warm.first);
        pass.cold.push_back(cold.first);
        pass.coldDrawn.push_back(cold.drawn);
        pass.warmOverBare.push_back(warm.first / bare);
        pass.warmOverText.push_back(warm.first / text);
        pass.drawnOverBare.push_back(warm.drawn / bare);
        pass.drawnOverText.push_back(warm.drawn / text);
        pass.textOverBare.push_back(text / bare);
        pass.coldOverBare.push_back(cold.first / bare);
        pass.coldDrawnOverBare.push_back(cold.drawn / bare);
    }
    return true;
}

void report(const char *where, int rounds, const Pass &pass)
{
    std::printf("%s, %d interleaved rounds:\n", where, rounds);
    print("bare Qt Widgets window", pass.bare, " ms");
    print("bare window drawing the home page's text", pass.text, " ms");
    print("client, warm, first content frame", pass.warm, " ms");
    print("client, warm, fully drawn", pass.warmDrawn, " ms");
    print("client, warm, fully drawn after the first content frame", pass.warmGap, " ms");
    print("client, cold, first content frame", pass.cold, " ms");
    print("client, cold, fully drawn", pass.coldDrawn, " ms");
    print("text/bare ratio (what drawing the text costs any Qt program)", pass.textOverBare, "x");
    print("warm first frame/text ratio (the client beyond drawing its text)", pass.warmOverText, "x");
    print("warm first frame/bare ratio", pass.warmOverBare, "x");
    print("warm fully drawn/text ratio", pass.drawnOverText, "x");
    print("warm fully drawn/bare ratio", pass.drawnOverBare, "x");
    print("cold first frame/bare ratio", pass.coldOverBare, "x");
    print("cold fully drawn/bare ratio", pass.coldDrawnOverBare, "x");
}

// The client left on its home page past the start-up work (its pause, the update check, the
// posters' decoding and the buffers freed after it): what it has mapped at its first paint, and
// its private memory once idle, in MB.
std::vector<double> idleMemory(const QString &client, const QProcessEnvironment &warmEnv, int runs, QString &mapped,
                               std::vector<double> &anonymous)
{
    QProcessEnvironment env = warmEnv;
    env.insert(QStringLiteral("TOVRA_FIRST_PAINT_MARK"), QStringLiteral("1"));
    std::vector<double> uss;
    for (int run = 0; run < runs; ++run) {
        QProcess process;
        if (startUntilFirstPaint(process, client, env) >= 0) {
            if (mapped.isEmpty())
                mapped = heavyLibrariesMapped(process.processId());
            process.waitForFinished(kSettleMs);
            uss.push_back(ussKb(process.processId()) / 1024.0);
            anonymous.push_back(pssKb(process.processId(), "Private_Dirty") / 1024.0);
        }
        process.kill();
        process.waitForFinished(5000);
    }
    return uss;
}

void goal(const char *what, const std::vector<double> &values, const char *unit, double limit)
{
    const Spread s = spread(values);
    std::printf("%s: %.2f%s (%.2f-%.2f) (goal <= %.1f%s): %s\n", what, s.median, unit, s.min, s.max, limit, unit,
                !values.empty() && s.median <= limit ? "met" : "NOT met");
}

}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 25;
    const int displayNumber = argc > 2 ? atoi(argv[2]) : 94;

    SampleSite site;
    if (!site.start()) {
        std::fprintf(stderr, "bench_warmstart: the sample site did not start\n");
        return 1;
    }
    DisplaySession display;
    if (!display.start(displayNumber)) {
        std::fprintf(stderr, "bench_warmstart: needs Xvfb and dbus-daemon (scripts/debian-packages.txt) and a free display\n");
        return 1;
    }
    const Programs programs{builtProgram(QStringLiteral("src/tovra-client")), builtProgram(QStringLiteral("bench/bench_barewindow")),
                            builtProgram(QStringLiteral("bench/bench_textwindow"))};
    Profile warmProfile(site.base());
    Profile coldProfile(site.base());
    QProcessEnvironment warmEnv = warmProfile.environment();
    QProcessEnvironment coldEnv = coldProfile.environment();
    if (!prime(programs.client, display.on(warmEnv))) {
        std::fprintf(stderr, "bench_warmstart: the client never drew its home page\n");
        return 1;
    }
    for (QProcessEnvironment *env : {&warmEnv, &coldEnv})
        env->insert(QStringLiteral("TOVRA_FIRST_PAINT_MARK"), QStringLiteral("exit"));

    Pass onDisplay;
    if (!measure(programs, rounds, display.on(warmEnv), display.on(coldEnv), coldProfile, onDisplay)) {
        std::fprintf(stderr, "bench_warmstart: a run on the X display never drew its page\n");
        return 1;
    }
    QString mapped;
    std::vector<double> anonymous;
    const std::vector<double> uss = idleMemory(programs.client, display.on(warmEnv), kIdleRuns, mapped, anonymous);

    // Offscreen, every program gets one 1920 x 1080 screen: the default one is 800 pixels square,
    // where the client would open smaller than the 1560 x 960 the yardsticks paint.
    QTemporaryFile screens;
    if (screens.open()) {
        screens.write(R"({"screens": [{"name": "bench", "x": 0, "y": 0, "width": 1920, "height": 1080,)"
                      R"( "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
        screens.close();
    }
    for (QProcessEnvironment *env : {&warmEnv, &coldEnv}) {
        env->insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen:configfile=") + screens.fileName());
        env->remove(QStringLiteral("DISPLAY"));
    }
    Pass offscreen;
    if (!measure(programs, rounds, warmEnv, coldEnv, coldProfile, offscreen)) {
        std::fprintf(stderr, "bench_warmstart: an offscreen run never drew its page\n");
        return 1;
    }

    report(qPrintable(QStringLiteral("X display (Xvfb %1 -noreset, 1920x1080, session bus; frames on screen)").arg(display.display())),
           rounds, onDisplay);
    std::printf("  heavy libraries mapped at the first paint: %s\n", qPrintable(mapped));
    report("offscreen (1920x1080 screen)", rounds, offscreen);
    // USS also counts the clean pages of files no other process maps (the executable's code, the
    // CJK fonts, libraries only the client uses), so it moves as other programs mapping them come
    // and go; what the client wrote itself (Private_Dirty) does not.
    const Spread all = spread(uss);
    std::printf("idle USS on the home page on the X display after %d s: %.2f MB (%.2f-%.2f), of which the client wrote:\n",
                kSettleMs / 1000, all.median, all.min, all.max);
    goal("idle private memory written by the client (Private_Dirty)", anonymous, " MB", kUssGoalMb);
    goal("warm start on the X display, first content frame, client/bare window", onDisplay.warmOverBare, "x", kBareGoal);
    goal("warm start on the X display, first content frame, client/text window", onDisplay.warmOverText, "x", kTextGoal);
    goal("warm start on the X display, fully drawn page, client/bare window", onDisplay.drawnOverBare, "x", kDrawnGoal);
    return 0;
}
