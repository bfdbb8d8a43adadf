// Warm start: from process start to the home page painted with its record from the disk cache,
// against a bare Qt window shown by a process of the same build in the same run. Run by hand:
// prints both medians and "home/bare ratio: R" (goal: R <= 2.5 and home <= 800 ms).

#include "homeharness.h"

#include <QCoreApplication>
#include <algorithm>
#include <vector>

using namespace tovra;

int main(int argc, char *argv[])
{
    if (argc > 2 && QByteArray(argv[1]) == "--child")
        return bench::runChild(argc, argv);

    QCoreApplication app(argc, argv);
    bench::WarmSite warm;
    if (!warm.start("bench_warmstart"))
        return 1;
    const QString &base = warm.base;
    const bench::WarmProfile &profile = warm.profile;

    constexpr int kRounds = 7;
    std::vector<qint64> bare;
    std::vector<qint64> home;
    const QString self = QCoreApplication::applicationFilePath();
    for (int round = 0; round < kRounds; ++round) {
        for (const char *mode : {"bare", "home"}) {
            QProcess child;
            const qint64 ms = bench::startChild(
                child, self, {QStringLiteral("--child"), QString::fromLatin1(mode), profile.cacheFolder(), base},
                profile.environment());
            child.waitForFinished(10000);
            if (ms < 0) {
                std::fprintf(stderr, "bench_warmstart: the %s window never became ready\n", mode);
                return 1;
            }
            (QByteArray(mode) == "bare" ? bare : home).push_back(ms);
        }
    }
    const auto median = [](std::vector<qint64> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    const qint64 bareMs = median(bare);
    const qint64 homeMs = median(home);
    const double ratio = bareMs > 0 ? double(homeMs) / double(bareMs) : 0;
    std::printf("bare window: %lld ms (median of %d)\n", static_cast<long long>(bareMs), kRounds);
    std::printf("home page from the disk cache: %lld ms (median of %d)\n", static_cast<long long>(homeMs), kRounds);
    std::printf("home/bare ratio: %.2f (goal <= 2.5; home goal <= 800 ms): %s\n", ratio,
                ratio <= 2.5 && homeMs <= 800 ? "met" : "NOT met");
    return 0;
}
