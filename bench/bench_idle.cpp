// Idle memory: the proportional set size of the whole process tree 10 s after the home page is
// shown (filled from the disk cache, posters loaded from a local site). Run by hand: prints
// "idle PSS: N MB" (goal <= 120 MB) and whether any web engine process was started.

#include "homeharness.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QThread>

using namespace tovra;

namespace {

QList<qint64> childrenOf(qint64 pid)
{
    QList<qint64> out;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool numeric = false;
        const qint64 candidate = entry.toLongLong(&numeric);
        if (!numeric)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(candidate));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        // "pid (name) state ppid ...": the name may hold spaces, so read after the last ')'.
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields.at(1).toLongLong() == pid)
            out.append(candidate);
    }
    return out;
}

qint64 pssKb(qint64 pid)
{
    QFile rollup(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
    if (!rollup.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : rollup.readAll().split('\n')) {
        if (line.startsWith("Pss:"))
            return line.mid(4).trimmed().split(' ').first().toLongLong();
    }
    return 0;
}

QString nameOf(qint64 pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    return comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll().trimmed()) : QString();
}

}

int main(int argc, char *argv[])
{
    if (argc > 2 && QByteArray(argv[1]) == "--child")
        return bench::runChild(argc, argv);

    QCoreApplication app(argc, argv);
    bench::WarmSite warm;
    if (!warm.start("bench_idle"))
        return 1;
    const QString &base = warm.base;
    const bench::WarmProfile &profile = warm.profile;

    constexpr int kIdleSeconds = 10;
    QProcess child;
    const qint64 ms = bench::startChild(child, QCoreApplication::applicationFilePath(),
                                        {QStringLiteral("--child"), QStringLiteral("home"), profile.cacheFolder(), base,
                                         QString::number(kIdleSeconds + 5)},
                                        profile.environment());
    if (ms < 0) {
        std::fprintf(stderr, "bench_idle: the home page never became ready\n");
        return 1;
    }
    // Keep serving posters while the page idles.
    QElapsedTimer idle;
    idle.start();
    while (idle.elapsed() < kIdleSeconds * 1000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);

    QList<qint64> tree{child.processId()};
    for (qsizetype i = 0; i < tree.size(); ++i)
        tree.append(childrenOf(tree.at(i)));
    qint64 total = 0;
    bool webEngine = false;
    for (qint64 pid : std::as_const(tree)) {
        total += pssKb(pid);
        webEngine = webEngine || nameOf(pid).contains(QLatin1String("WebEngine"), Qt::CaseInsensitive);
    }
    child.waitForFinished(20000);

    std::printf("processes in the tree: %lld\n", static_cast<long long>(tree.size()));
    std::printf("web engine process: %s\n", webEngine ? "yes" : "none");
    std::printf("idle PSS: %.1f MB (goal <= 120 MB): %s\n", total / 1024.0,
                total <= 120 * 1024 && !webEngine ? "met" : "NOT met");
    return 0;
}
