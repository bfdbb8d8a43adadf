// The first play of a session: the client's window wired as main.cpp wires it, on a real X
// display with a session bus, opens a title page of an HLS title, leaves it on screen for a
// second as a user reading it would, then plays; timed from the click to the first decoded frame
// on the screen. Each round is a new process, so each play is the first of its session; the
// engine is linked in, as the benchmark also serves the pipeline itself. Against gst-play-1.0
// (playbin3) playing the same stream from the same site in the same round, timed the same way:
// from its start to its first picture on the screen. The client plays twice a round: as it is,
// its player a process of its own (a spare started once the title page is up), and with the
// pipeline served on a thread of its own process, GStreamer and its elements loaded before the
// window opens, as it played before it had a player process (a lower bound for that: it loaded
// them while the title page showed).
//
//   bench_firstplay [rounds, default 10]
//
// Prints the client/gst-play ratio last (goal <= 1.3).

#include "clientrun.h"
#include "clientwindow.h"
#include "screenprobe.h"

#include "playerinprocess/inprocessplayer.h"
#include "samplesite/mediasite.h"
#include "views/catalogue/homeview.h"
#include "views/detail/detailview.h"
#include "views/navigationstack.h"

#include <QApplication>

#include <unistd.h>

using namespace tovra;
using namespace tovra::bench;

namespace {

constexpr double kGoal = 1.3;
constexpr int kReadingMs = 1000;

// One first play in this process; prints "first-frame <ms>" and how the frame was seen.
int playOnce(int argc, char *argv[])
{
    QApplication app(argc, argv);
    std::optional<InProcessPlayer> inProcess;
    if (argc > 2 && qstrcmp(argv[2], "--in-process") == 0)
        inProcess.emplace();
    wireAsMain();
    ContentView window;
    window.show();
    auto *home = window.findChild<HomeView *>();
    if (!home || !spinUntil([&] { return home->shown() == HomeView::Shown::Content; }, 20000))
        return 1;
    QString did;
    for (const HotItem &item : home->data()->hot) {
        if (samplesite::MediaSite::playsHls(item.did)) {
            did = item.did;
            break;
        }
    }
    window.push(Route::detail(did));
    auto *page = qobject_cast<DetailView *>(window.navigationStack()->currentPage());
    if (!page || !spinUntil([&] { return page->shown() == DetailView::Shown::Content; }, 20000))
        return 1;
    spinUntil([] { return false; }, kReadingMs);

    QElapsedTimer clock;
    clock.start();
    window.push(playRoute(did));
    // The first picture on the screen: once the surface has been painted black (where a notice
    // may show), the first time most of it lights up.
    std::unique_ptr<ScreenProbe> screen;
    QWidget *surface = nullptr;
    bool black = false;
    const bool played = spinUntil([&] {
        if (!surface && (surface = playerSurface()))
            screen = std::make_unique<ScreenProbe>(qEnvironmentVariable("DISPLAY"));
        if (!screen || !surface->isVisible())
            return false;
        const double lit = screen->litShare(QRect(surface->mapToGlobal(QPoint()), surface->size()));
        black = black || lit < 0.05;
        return black && lit > 0.3;
    }, 20000);
    if (!played)
        return 1;
    std::printf("first-frame %lld\n", static_cast<long long>(clock.elapsed()));
    std::fflush(stdout);
    return 0;
}

}

int main(int argc, char *argv[])
{
    if (argc > 1 && qstrcmp(argv[1], "--once") == 0)
        return playOnce(argc, argv);
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 10;
    SampleSite site;
    DisplaySession display;
    if (!site.start() || !display.start()) {
        std::fprintf(stderr, "bench_firstplay: the sample site or the X display did not start\n");
        return 1;
    }
    Profile profile(site.base());
    QProcessEnvironment env = display.on(profile.environment());
    // The engine's sandbox refuses to start for root, as on the test machines.
    if (geteuid() == 0)
        env.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
    const QUrl stream(site.base() + QStringLiteral("/media/clip/hls/master.m3u8"));

    const auto firstFrame = [&](const QStringList &arguments) -> double {
        QProcess once;
        once.setProcessEnvironment(env);
        once.setStandardErrorFile(QProcess::nullDevice());
        once.start(QCoreApplication::applicationFilePath(), arguments);
        once.waitForFinished(60000);
        const QByteArray out = once.readAllStandardOutput();
        const qsizetype at = out.indexOf("first-frame ");
        return at < 0 ? -1 : out.mid(at + 12).split('\n').first().toDouble();
    };
    std::vector<double> client, inside, floor, ratio, processRatio;
    for (int round = 0; round < rounds; ++round) {
        const double c = firstFrame({QStringLiteral("--once")});
        const double i = firstFrame({QStringLiteral("--once"), QStringLiteral("--in-process")});
        const qint64 g = gstPlayFirstPicture(stream, env.value(QStringLiteral("DISPLAY")));
        if (c < 0 || i < 0 || g < 0) {
            std::fprintf(stderr, "bench_firstplay: no first frame in round %d\n", round + 1);
            return 1;
        }
        client.push_back(c);
        inside.push_back(i);
        floor.push_back(g);
        ratio.push_back(client.back() / floor.back());
        processRatio.push_back(c / i);
    }
    const Spread c = spread(client), i = spread(inside), g = spread(floor), r = spread(ratio), p = spread(processRatio);
    std::printf("X display (Xvfb 1920x1080, session bus), %d rounds, each a new process:\n", rounds);
    std::printf("  gst-play-1.0 first frame: %.0f ms (%.0f-%.0f)\n", g.median, g.min, g.max);
    std::printf("  client, first play of the session (click to first picture on the screen): %.0f ms (%.0f-%.0f)\n", c.median,
                c.min, c.max);
    std::printf("  client with the pipeline in its own process: %.0f ms (%.0f-%.0f)\n", i.median, i.min, i.max);
    std::printf("first play, player process/in-process ratio: %.2fx (%.2f-%.2f) (goal <= 1.0x): %s\n", p.median, p.min, p.max,
                p.median <= 1.0 ? "met" : "NOT met");
    std::printf("first play, client/gst-play ratio: %.2fx (%.2f-%.2f) (goal <= %.1fx): %s\n", r.median, r.min, r.max, kGoal,
                r.median <= kGoal ? "met" : "NOT met");
    return 0;
}
