#pragma once

#include <QtGlobal>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace tovra::test {

// Spans of wall time in which the machine ran none of this process. A loaded build machine now
// and then runs none of its programs for a quarter second or more (two test processes once met
// the same 305 ms still at the same moment of their plays): a picture the test could not paint
// meanwhile, or an event loop that could not turn, is the machine's stand, not the client's. A
// thread that sleeps 5 ms at a time notes each wake that came over 20 ms late, and the
// checks of stills and of the window's waits take those spans off what they measure. A stand of
// the client's own has this process running through it, so it is measured whole.
class Lapses
{
public:
    // Milliseconds on the monotonic clock, the one the spans are noted on.
    static qint64 now()
    {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }

    // Starts noting, if it has not started: a span before the first call is not known.
    static void watch() { instance(); }

    // How much of [from, to] this process was not run, the span under way included (the thread
    // that notes it may not have run since the machine ran this process again).
    static qint64 within(qint64 from, qint64 to)
    {
        Lapses &self = instance();
        qint64 total = 0;
        const auto add = [&](qint64 start, qint64 end) { total += std::max<qint64>(0, std::min(to, end) - std::max(from, start)); };
        const std::lock_guard lock(self.m_mutex);
        for (const auto &[start, end] : self.m_spans)
            add(start, end);
        if (const qint64 woke = self.m_lastWake; to - woke > kSleep + kLate)
            add(woke + kSleep, to);
        return total;
    }

private:
    static constexpr qint64 kSleep = 5;
    static constexpr qint64 kLate = 20;

    static Lapses &instance()
    {
        static Lapses lapses;
        return lapses;
    }
    Lapses()
        : m_thread([this](std::stop_token stop) {
            while (!stop.stop_requested()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(kSleep));
                const qint64 woke = now();
                if (woke - m_lastWake <= kSleep + kLate) {
                    m_lastWake = woke;
                    continue;
                }
                const std::lock_guard lock(m_mutex);
                m_spans.emplace_back(m_lastWake + kSleep, woke);
                m_lastWake = woke;
            }
        })
    {
    }

    std::mutex m_mutex;
    std::vector<std::pair<qint64, qint64>> m_spans;
    std::atomic<qint64> m_lastWake{now()};
    std::jthread m_thread; // last: it reads the members above
};

} // namespace tovra::test
