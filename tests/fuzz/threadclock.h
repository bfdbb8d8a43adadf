#pragma once

#include <QtGlobal>

#include <time.h>

namespace tovra::test {

// What the calling thread itself has spent, in nanoseconds. The budgets here say whether a helper
// is linear in its input; on a busy machine the wall clock also counts the time other processes
// held the core, which says nothing about the helper.
inline qint64 threadCpuNs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

}
