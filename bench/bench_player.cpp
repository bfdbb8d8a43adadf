// First frame: from opening the player page of an HLS title to the first decoded frame reaching
// the native player's surface, against gst-play-1.0 playing the same local stream from the same
// loopback site in the same run (process start to the first frame at its video sink). Run by
// hand: prints both medians and, last, "client/floor ratio: R" (goal: client <= floor + 0.3 s).

#include "clientrun.h"
#include "playback/playbackfixture.h"
#include "views/player/nativeplayer.h"
#include "views/player/playermodel.h"
#include "views/player/playerview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace tovra;
using namespace tovra::test;
using namespace tovra::bench;

namespace {

constexpr int kRounds = 5;
constexpr int kTimeoutMs = 20000;

qint64 clientFirstFrame()
{
    QElapsedTimer clock;
    clock.start();
    PlayerView view(PlayEntry{1, QStringLiteral("bench"), QStringLiteral("tok"), 4102444800}, QStringLiteral("bench"), 0);
    view.resize(960, 640);
    view.show();
    std::unique_ptr<FrameWatch> watch;
    const bool ok = QTest::qWaitFor([&] {
        if (!watch && view.nativePlayer() && view.nativePlayer()->surface())
            watch = std::make_unique<FrameWatch>(view.nativePlayer()->surface());
        return watch && watch->frames > 0;
    }, kTimeoutMs);
    const qint64 ms = clock.elapsed();
    return ok ? ms : -1;
}

qint64 median(std::vector<qint64> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    PlaybackFixture f;
    f.authorise(f.auth(PlaybackFixture::kMaster));
    const QUrl stream = f.site.url(PlaybackFixture::kMaster.mid(1));

    std::vector<qint64> client;
    std::vector<qint64> floor;
    for (int round = 0; round < kRounds; ++round) {
        const qint64 c = clientFirstFrame();
        const qint64 g = gstPlayFirstFrame(stream);
        if (c < 0 || g < 0) {
            std::fprintf(stderr, "bench_player: no first frame (client %lld ms, gst-play %lld ms)\n",
                         static_cast<long long>(c), static_cast<long long>(g));
            return 1;
        }
        client.push_back(c);
        floor.push_back(g);
    }
    const qint64 clientMs = median(client);
    const qint64 floorMs = median(floor);
    std::printf("gst-play-1.0 first frame: %lld ms (median of %d)\n", static_cast<long long>(floorMs), kRounds);
    std::printf("client first frame from opening the player page: %lld ms (median of %d)\n",
                static_cast<long long>(clientMs), kRounds);
    std::printf("client/floor ratio: %.2f (goal: client <= floor + 300 ms): %s\n",
                floorMs > 0 ? double(clientMs) / double(floorMs) : 0.0, clientMs <= floorMs + 300 ? "met" : "NOT met");
    return 0;
}
