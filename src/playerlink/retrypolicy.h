#pragma once

#include <algorithm>
#include <chrono>

namespace tovra {

// How a site that fails is asked again, wherever the failure shows: the player process paces
// its demuxer's segments and playlists with it, and the client its reopening of a play whose
// player failed on the network (a master or variant playlist at the start). Most outages last a
// moment, so the first retry comes soon; the waits then grow, but never beyond a second, so the
// picture moves again within about a second of the site answering; and a try never comes sooner
// than this, so a site in trouble is not hammered. Once the site has answered, the next failure
// starts over. How long a chain may go on is the player model's stall limit's business.
class RetrySchedule
{
public:
    static constexpr std::chrono::milliseconds kFirst{300};
    static constexpr std::chrono::milliseconds kLongest{1000};

    // The wait before the retry that follows `retried` retries of the same failure: 0.3, 0.6,
    // then 1 s.
    static constexpr std::chrono::milliseconds wait(int retried)
    {
        return std::min(kFirst * (1 << std::clamp(retried, 0, 4)), kLongest);
    }
    // The wait before the next retry, counted.
    std::chrono::milliseconds next() { return wait(m_retried++); }
    // The site answered, or the user asked again: the next failure is a new one.
    void restart() { m_retried = 0; }
    int retried() const { return m_retried; }

private:
    int m_retried = 0;
};

}
