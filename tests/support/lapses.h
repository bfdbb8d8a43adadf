#pragma once

#include <QtGlobal>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace tovra::test {

// Spans of wall time in which the machine ran none of this process. A loaded build machine now
// and then runs none of its programs for a quarter second (two test processes once met the same
// 305 ms still at the same moment of their plays): a picture the test could not paint meanwhile
// is the machine's stand, not the client's. A thread that sleeps 5 ms at a time notes each wake
// over 20 ms late, and the checks of stills and of the window's waits take those spans off what
// they measure. A stand of the client's own has this process running through it, and counts whole.
namespace Lapses {

// Milliseconds on the monotonic clock, the one the spans are noted on.
inline qint64 now()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// How much of [from, to] this process was not run, the span under way included. The first call
// starts the watch: a span before it is not known.
inline qint64 within(qint64 from, qint64 to)
{
    static constexpr qint64 kSleep = 5, kLate = 20;
    static std::mutex mutex;
    static std::vector<std::pair<qint64, qint64>> spans;
    static qint64 lastWake = now(); // under mutex
    static std::jthread watch([](std::stop_token stop) {
        while (!stop.stop_requested()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kSleep));
            const qint64 woke = now();
            const std::lock_guard lock(mutex);
            if (woke - lastWake > kSleep + kLate)
                spans.emplace_back(lastWake + kSleep, woke);
            lastWake = woke;
        }
    });
    const std::lock_guard lock(mutex);
    qint64 total = 0;
    for (const auto &[start, end] : spans)
        total += std::max<qint64>(0, std::min(to, end) - std::max(from, start));
    if (to - lastWake > kSleep + kLate)
        total += std::max<qint64>(0, to - std::max(from, lastWake + kSleep));
    return total;
}

inline void watch() { within(0, 0); }

// How long since `from`, less what this process was not run.
inline qint64 runSince(qint64 from)
{
    const qint64 to = now();
    return to - from - within(from, to);
}

} // namespace Lapses

} // namespace tovra::test
