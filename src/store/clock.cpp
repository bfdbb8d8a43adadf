#include "store/clock.h"

namespace tovra {

namespace {
Clock::Source &source()
{
    static Clock::Source installed;
    return installed;
}
}

QDateTime Clock::now()
{
    const Source &installed = source();
    return installed ? installed().toLocalTime() : QDateTime::currentDateTime();
}

QDate Clock::today()
{
    return now().date();
}

QDateTime Clock::nextMidnight(const QDateTime &from)
{
    // startOfDay copes with days whose midnight is skipped by a daylight-saving jump.
    return from.toLocalTime().date().addDays(1).startOfDay();
}

void Clock::setSource(Source replacement)
{
    source() = std::move(replacement);
}

}
