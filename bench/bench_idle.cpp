// Idle cost: the real tovra-client with its home page shown (filled from a warm profile, posters
// from the sample site on loopback) and nothing happening. After the start-up work has settled,
// counts the process's wake-ups (context switches of all its threads) and CPU time over the idle
// span, and reads its proportional set size.
//
//   bench_idle [idle seconds, default 60]
//
// Prints the wake-ups per second last (goal <= 2 per second, no measurable CPU).

#include "clientrun.h"

#include <QMap>

#include <unistd.h>

using namespace tovra::bench;

namespace {

struct ThreadSample
{
    QString name;
    qint64 switches = 0;
    qint64 cpuTicks = 0;
};

QMap<qint64, ThreadSample> sampleThreads(qint64 pid)
{
    QMap<qint64, ThreadSample> out;
    const QStringList tids = QDir(QStringLiteral("/proc/%1/task").arg(pid)).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &tid : tids) {
        const QString base = QStringLiteral("/proc/%1/task/%2/").arg(pid).arg(tid);
        ThreadSample sample;
        QFile comm(base + QStringLiteral("comm"));
        if (comm.open(QIODevice::ReadOnly))
            sample.name = QString::fromLocal8Bit(comm.readAll().trimmed());
        QFile status(base + QStringLiteral("status"));
        if (status.open(QIODevice::ReadOnly)) {
            for (const QByteArray &line : status.readAll().split('\n')) {
                if (line.startsWith("voluntary_ctxt_switches:") || line.startsWith("nonvoluntary_ctxt_switches:"))
                    sample.switches += line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
            }
        }
        QFile stat(base + QStringLiteral("stat"));
        if (stat.open(QIODevice::ReadOnly)) {
            // "tid (name) state ..." with utime and stime the 14th and 15th fields; the name may
            // hold spaces, so count from after the last ')'.
            const QByteArray line = stat.readAll();
            const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
            if (fields.size() > 12)
                sample.cpuTicks = fields.at(11).toLongLong() + fields.at(12).toLongLong();
        }
        out.insert(tid.toLongLong(), sample);
    }
    return out;
}

void spin(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QThread::msleep(50);
}

}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int idleSeconds = argc > 1 ? std::max(1, atoi(argv[1])) : 60;
    // Longer than the start-up sequence's pause and its update check, and the posters' loads.
    constexpr int kSettleMs = 8000;

    SampleSite site;
    if (!site.start()) {
        std::fprintf(stderr, "bench_idle: the sample site did not start\n");
        return 1;
    }
    const QString client = builtProgram(QStringLiteral("src/tovra-client"));
    Profile profile(site.base());
    QProcessEnvironment env = profile.environment();
    env.insert(QStringLiteral("TOVRA_FIRST_PAINT_MARK"), QStringLiteral("exit"));
    {
        QProcess warmUp;
        if (startUntilFirstPaint(warmUp, client, env) < 0) {
            std::fprintf(stderr, "bench_idle: the client never painted its home page\n");
            return 1;
        }
        warmUp.waitForFinished(15000);
    }

    env.insert(QStringLiteral("TOVRA_FIRST_PAINT_MARK"), QStringLiteral("1"));
    QProcess process;
    if (startUntilFirstPaint(process, client, env) < 0) {
        std::fprintf(stderr, "bench_idle: the client never painted its home page\n");
        return 1;
    }
    const qint64 pid = process.processId();
    spin(kSettleMs);

    const QMap<qint64, ThreadSample> before = sampleThreads(pid);
    QElapsedTimer span;
    span.start();
    spin(idleSeconds * 1000);
    const QMap<qint64, ThreadSample> after = sampleThreads(pid);
    const double seconds = span.elapsed() / 1000.0;
    const qint64 pss = pssKb(pid);
    const QString mapped = heavyLibrariesMapped(pid);
    process.kill();
    process.waitForFinished(5000);

    const double tickMs = 1000.0 / double(sysconf(_SC_CLK_TCK));
    qint64 switches = 0, ticks = 0;
    std::printf("threads woken during %.1f s idle:\n", seconds);
    for (auto it = after.cbegin(); it != after.cend(); ++it) {
        const ThreadSample start = before.value(it.key());
        const qint64 woke = it->switches - start.switches;
        const qint64 cpu = it->cpuTicks - start.cpuTicks;
        switches += woke;
        ticks += cpu;
        if (woke > 0 || cpu > 0)
            std::printf("  %-20s %6lld wake-ups  %6.0f ms CPU%s\n", qPrintable(it->name), static_cast<long long>(woke),
                        cpu * tickMs, before.contains(it.key()) ? "" : "  (started during the span)");
    }
    qsizetype ended = 0;
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        ended += after.contains(it.key()) ? 0 : 1;
    // Each woke at least once, to end.
    switches += ended;
    if (ended > 0)
        std::printf("  %lld threads ended during the span (idle pool threads expire), one wake-up each\n",
                    static_cast<long long>(ended));
    const double perSecond = switches / seconds;
    std::printf("PSS: %.1f MB; heavy libraries mapped: %s\n", pss / 1024.0, qPrintable(mapped));
    std::printf("CPU time while idle: %.0f ms over %.1f s (%.3f %%)\n", ticks * tickMs, seconds,
                ticks * tickMs / (seconds * 10.0));
    std::printf("idle wake-ups: %.2f per second (goal <= 2): %s\n", perSecond, perSecond <= 2.0 ? "met" : "NOT met");
    return 0;
}
