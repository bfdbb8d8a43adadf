// Start-up as a user sees it: the real tovra-client, from its process being started to the home
// page's first content frame on screen, against bench_barewindow (a Qt Widgets program built on
// its own that shows a QMainWindow) and bench_textwindow (the bare window drawing the home page's
// text in the client's face and nothing else: what that text costs any Qt program). Warm: the
// profile's response cache already holds the home page. Cold: the caches are empty and the page
// comes from the sample site on loopback. Whole processes, interleaved round by round; medians
// with min-max.
//
//   bench_warmstart [rounds, default 25]
//
// Measured on a real X server the benchmark starts itself (Xvfb, 1920 x 1080, with a D-Bus
// session bus), where a display's costs show; the same rounds on a 1920 x 1080 offscreen screen
// follow as a second line. A frame counts as on screen once the X server has answered a request
// sent after it. Also reads the client's private memory (USS) idling on its home page.
//
// Prints the goals' figures last: on the display, warm/bare <= 2.2, warm/text <= 1.4, idle
// private memory <= 15 MB.

#include "clientrun.h"

#include <QTemporaryFile>

using namespace tovra::bench;

namespace {

constexpr double kBareGoal = 2.2;
constexpr double kTextGoal = 1.4;
constexpr double kUssGoalMb = 15;
constexpr int kSettleMs = 8000;

// One run to the first paint; answers milliseconds, or -1.
double runOnce(const QString &program, const QProcessEnvironment &env)
{
    QProcess process;
    const qint64 ns = startUntilFirstPaint(process, program, env);
    if (!process.waitForFinished(15000)) {
        process.kill();
        process.waitForFinished(5000);
    }
    return ns < 0 ? -1 : ns / 1e6;
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
    std::vector<double> bare, text, warm, cold, warmOverBare, warmOverText, textOverBare, coldOverBare;
};

// rounds interleaved runs of the four on one screen; false when a run never painted.
bool measure(const Programs &programs, int rounds, const QProcessEnvironment &warmEnv, const QProcessEnvironment &coldEnv,
             const Profile &coldProfile, Pass &pass)
{
    // Unmeasured: fills the warm profile's caches the way a first start does, and brings every
    // program's files into the page cache.
    if (runOnce(programs.client, warmEnv) < 0 || runOnce(programs.client, warmEnv) < 0
        || runOnce(programs.bare, warmEnv) < 0 || runOnce(programs.text, warmEnv) < 0)
        return false;
    for (int round = 0; round < rounds; ++round) {
        double measured[4] = {};
        // The order turns every round so that no variant always follows the same one.
        for (int i = 0; i < 4; ++i) {
            const int which = (round + i) % 4;
            if (which == 2)
                coldProfile.emptyCaches();
            const QString &program = which == 0 ? programs.bare : which == 3 ? programs.text : programs.client;
            measured[which] = runOnce(program, which == 2 ? coldEnv : warmEnv);
            if (measured[which] < 0)
                return false;
        }
        pass.bare.push_back(measured[0]);
        pass.warm.push_back(measured[1]);
        pass.cold.push_back(measured[2]);
        pass.text.push_back(measured[3]);
        pass.warmOverBare.push_back(measured[1] / measured[0]);
        pass.warmOverText.push_back(measured[1] / measured[3]);
        pass.textOverBare.push_back(measured[3] / measured[0]);
        pass.coldOverBare.push_back(measured[2] / measured[0]);
    }
    return true;
}

void report(const char *where, int rounds, const Pass &pass)
{
    std::printf("%s, %d interleaved rounds:\n", where, rounds);
    print("bare Qt Widgets window", pass.bare, " ms");
    print("bare window drawing the home page's text", pass.text, " ms");
    print("client, warm (home page from the response cache)", pass.warm, " ms");
    print("client, cold (home page from the loopback site)", pass.cold, " ms");
    print("text/bare ratio (what drawing the text costs any Qt program)", pass.textOverBare, "x");
    print("warm/text ratio (the client beyond drawing its text)", pass.warmOverText, "x");
    print("warm/bare ratio", pass.warmOverBare, "x");
    print("cold/bare ratio", pass.coldOverBare, "x");
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

    SampleSite site;
    if (!site.start()) {
        std::fprintf(stderr, "bench_warmstart: the sample site did not start\n");
        return 1;
    }
    DisplaySession display;
    if (!display.start()) {
        std::fprintf(stderr, "bench_warmstart: needs Xvfb and dbus-daemon (scripts/debian-packages.txt)\n");
        return 1;
    }
    const Programs programs{builtProgram(QStringLiteral("src/tovra-client")), builtProgram(QStringLiteral("bench/bench_barewindow")),
                            builtProgram(QStringLiteral("bench/bench_textwindow"))};
    Profile warmProfile(site.base());
    Profile coldProfile(site.base());
    QProcessEnvironment warmEnv = warmProfile.environment();
    QProcessEnvironment coldEnv = coldProfile.environment();
    for (QProcessEnvironment *env : {&warmEnv, &coldEnv})
        env->insert(QStringLiteral("TOVRA_FIRST_PAINT_MARK"), QStringLiteral("exit"));

    Pass onDisplay;
    if (!measure(programs, rounds, display.on(warmEnv), display.on(coldEnv), coldProfile, onDisplay)) {
        std::fprintf(stderr, "bench_warmstart: a run on the X display never reached its first paint\n");
        return 1;
    }
    QString mapped;
    std::vector<double> anonymous;
    const std::vector<double> uss = idleMemory(programs.client, display.on(warmEnv), 5, mapped, anonymous);

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
        std::fprintf(stderr, "bench_warmstart: an offscreen run never reached its first paint\n");
        return 1;
    }

    report("X display (Xvfb 1920x1080, session bus; first frame on screen)", rounds, onDisplay);
    std::printf("  heavy libraries mapped at the first paint: %s\n", qPrintable(mapped));
    report("offscreen (1920x1080 screen)", rounds, offscreen);
    goal("warm start on the X display, client/bare window", onDisplay.warmOverBare, "x", kBareGoal);
    goal("warm start on the X display, client/text window", onDisplay.warmOverText, "x", kTextGoal);
    // USS also counts the clean pages of files no other process maps (the executable's code, the
    // CJK fonts, libraries only the client uses), so it moves as other programs mapping them come
    // and go; what the client wrote itself (Private_Dirty) does not.
    const Spread all = spread(uss);
    std::printf("idle USS on the home page on the X display: %.2f MB (%.2f-%.2f), of which the client wrote:\n", all.median,
                all.min, all.max);
    goal("idle private memory written by the client (Private_Dirty) on the home page on the X display", anonymous, " MB",
         kUssGoalMb);
    return 0;
}
