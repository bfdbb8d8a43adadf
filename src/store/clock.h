#pragma once

#include <QDate>
#include <QDateTime>
#include <functional>

namespace tovra {

// The one source of "now" for time-dependent logic (the daily usage report, the midnight
// re-arm of the daily sign-in). Everything that asks what day it is goes through here so a test
// can move the whole program across midnight without waiting for it.
class Clock
{
public:
    using Source = std::function<QDateTime()>;

    // Local wall-clock time, or whatever a test installed.
    static QDateTime now();
    // The current calendar day in the user's time zone.
    static QDate today();
    // The start of the next calendar day (local time) after `from`.
    static QDateTime nextMidnight(const QDateTime &from);

    // Replaces the process clock; an empty source restores the wall clock.
    static void setSource(Source source);
};

// Installs a clock for the lifetime of the object (tests).
class ScopedClock
{
public:
    explicit ScopedClock(Clock::Source source) { Clock::setSource(std::move(source)); }
    ~ScopedClock() { Clock::setSource({}); }
    ScopedClock(const ScopedClock &) = delete;
    ScopedClock &operator=(const ScopedClock &) = delete;
};

}
