// Start-up as a user sees it: the real tovra-client, from its process being started to the home
// page painted with its content, against bench_barewindow (a Qt Widgets program built on its own
// that shows a QMainWindow). Warm: the profile's response cache already holds the home page.
// Cold: the caches are empty and the page comes from the sample site on loopback. Whole
// processes, interleaved round by round; medians with min-max.
//
//   bench_warmstart [rounds]          (offscreen unless QT_QPA_PLATFORM says otherwise)
//
// Also times bench_textwindow, the bare window drawing the home page's text in the client's face
// and nothing else, to show how much of the client's time any Qt program drawing that text pays.
//
// Prints the warm/bare ratio last (goal <= 2.0).

#include "clientrun.h"

#include <QTemporaryFile>

#include <csignal>

using namespace tovra::bench;

namespace {

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
    std::printf("%s: %.2f%s (%.2f-%.2f), median of %zu\n", what, s.median, unit, s.min, s.max, values.size());
}

}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 15;

    SampleSite site;
    if (!site.start()) {
        std::fprintf(stderr, "bench_warmstart: the sample site did not start\n");
        return 1;
    }
    const QString client = builtProgram(QStringLiteral("src/tovra-client"));
    const QString bare = builtProgram(QStringLiteral("bench/bench_barewindow"));
    const QString text = builtProgram(QStringLiteral("bench/bench_textwindow"));
    Profile warmProfile(site.base());
    Profile coldProfile(site.base());
    QProcessEnvironment warmEnv = warmProfile.environment();
    QProcessEnvironment coldEnv = coldProfile.environment();
    // Offscreen, every program gets one 1920 x 1080 screen: the default one is 800 pixels square,
    // where the client would open smaller than the 1560 x 960 the yardsticks paint.
    QTemporaryFile screens;
    if (screens.open()) {
        screens.write(R"({"screens": [{"name": "bench", "x": 0, "y": 0, "width": 1920, "height": 1080,)"
                      R"( "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
        screens.close();
    }
    for (QProcessEnvironment *env : {&warmEnv, &coldEnv}) {
        env->insert(QStringLiteral("TOVRA_FIRST_PAINT_MARK"), QStringLiteral("exit"));
        if (env->value(QStringLiteral("QT_QPA_PLATFORM")) == QLatin1String("offscreen"))
            env->insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen:configfile=") + screens.fileName());
    }

    // Unmeasured: fills the warm profile's caches the way a first start does, and brings every
    // program's files into the page cache.
    if (runOnce(client, warmEnv) < 0 || runOnce(client, warmEnv) < 0 || runOnce(bare, warmEnv) < 0
        || runOnce(text, warmEnv) < 0) {
        std::fprintf(stderr, "bench_warmstart: the client never painted its home page\n");
        return 1;
    }

    // What the process has mapped by the time the home page is on screen.
    QString mapped;
    {
        QProcessEnvironment env = warmEnv;
        env.insert(QStringLiteral("TOVRA_FIRST_PAINT_MARK"), QStringLiteral("1"));
        QProcess process;
        if (startUntilFirstPaint(process, client, env) >= 0)
            mapped = heavyLibrariesMapped(process.processId());
        process.kill();
        process.waitForFinished(5000);
    }

    std::vector<double> bareMs, warmMs, coldMs, textMs, warmRatio, coldRatio, textRatio, warmOverText;
    for (int round = 0; round < rounds; ++round) {
        double measured[4] = {};
        // The order turns every round so that no variant always follows the same one.
        for (int i = 0; i < 4; ++i) {
            const int which = (round + i) % 4;
            if (which == 2)
                coldProfile.emptyCaches();
            const QString &program = which == 0 ? bare : which == 3 ? text : client;
            measured[which] = runOnce(program, which == 2 ? coldEnv : warmEnv);
            if (measured[which] < 0) {
                std::fprintf(stderr, "bench_warmstart: a run never reached its first paint\n");
                return 1;
            }
        }
        bareMs.push_back(measured[0]);
        warmMs.push_back(measured[1]);
        coldMs.push_back(measured[2]);
        textMs.push_back(measured[3]);
        warmRatio.push_back(measured[1] / measured[0]);
        coldRatio.push_back(measured[2] / measured[0]);
        textRatio.push_back(measured[3] / measured[0]);
        warmOverText.push_back(measured[1] / measured[3]);
    }

    print("bare Qt Widgets window", bareMs, " ms");
    print("bare window drawing the home page's text", textMs, " ms");
    print("client, warm (home page from the response cache)", warmMs, " ms");
    print("client, cold (home page from the loopback site)", coldMs, " ms");
    std::printf("heavy libraries mapped at the first paint: %s\n", qPrintable(mapped));
    print("text/bare ratio (what drawing the text costs any Qt program)", textRatio, "x");
    print("warm/text ratio (the client beyond drawing its text)", warmOverText, "x");
    print("cold/bare ratio", coldRatio, "x");
    const Spread warm = spread(warmRatio);
    std::printf("warm/bare ratio: %.2fx (%.2f-%.2f) over %d interleaved rounds (goal <= 2.0x): %s\n", warm.median,
                warm.min, warm.max, rounds, warm.median <= 2.0 ? "met" : "NOT met");
    return 0;
}
