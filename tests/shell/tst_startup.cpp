#include "support/testenv.h"
#include "support/testmain.h"
#include "views/startup.h"

#include <QCoro/QCoroSignal>
#include <QCoro/QCoroTimer>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <memory>

using namespace tovra;
using namespace tovra::test;
using namespace std::chrono_literals;

namespace {

// Finishes after ms on the event loop, so a step that runs before the previous one has finished
// shows up in the log out of order.
QCoro::Task<void> sleep(int ms)
{
    QTimer timer;
    timer.setSingleShot(true);
    timer.start(ms);
    co_await qCoro(&timer, &QTimer::timeout);
}

struct Recorder
{
    QStringList log;
    QElapsedTimer clock;
    qint64 checkAt = -1;
    qint64 heartbeatDoneAt = -1;

    Startup::Steps steps()
    {
        clock.start();
        Startup::Steps s;
        s.promptInstallLocation = [this] { log << QStringLiteral("prompt"); };
        s.refreshAccount = [this]() -> QCoro::Task<void> {
            log << QStringLiteral("refresh");
            co_await sleep(30);
            log << QStringLiteral("refresh done");
        };
        s.heartbeat = [this]() -> QCoro::Task<void> {
            log << QStringLiteral("heartbeat");
            co_await sleep(30);
            log << QStringLiteral("heartbeat done");
            heartbeatDoneAt = clock.elapsed();
        };
        s.checkForUpdate = [this](bool silent) -> QCoro::Task<void> {
            log << (silent ? QStringLiteral("check silent") : QStringLiteral("check loud"));
            checkAt = clock.elapsed();
            co_return;
        };
        return s;
    }
};

}

class StartupTest : public QObject
{
    Q_OBJECT

private slots:
    void stepsRunStrictlyInOrderWithThePause()
    {
        auto recorder = std::make_shared<Recorder>();
        Startup startup(recorder->steps(), 300ms);
        QVERIFY(runTask(startup.run()));
        QCOMPARE(recorder->log, (QStringList{QStringLiteral("prompt"), QStringLiteral("refresh"),
                                             QStringLiteral("refresh done"), QStringLiteral("heartbeat"),
                                             QStringLiteral("heartbeat done"), QStringLiteral("check silent")}));
        QVERIFY2(recorder->checkAt - recorder->heartbeatDoneAt >= 270, // coarse timers may fire 5% early
                 qPrintable(QString::number(recorder->checkAt - recorder->heartbeatDoneAt)));
        QVERIFY(!startup.isRunning());
    }

    // The window going away early cuts the pause short; the silent check still comes.
    void interruptedPauseStillChecks()
    {
        auto recorder = std::make_shared<Recorder>();
        Startup startup(recorder->steps(), 60s);
        QSignalSpy finished(&startup, &Startup::finished);
        auto run = startup.run();
        QVERIFY(waitFor([&] { return recorder->log.contains(QStringLiteral("heartbeat done")); }));
        QVERIFY(!recorder->log.contains(QStringLiteral("check silent")));
        startup.interruptPause();
        QVERIFY(runTask(std::move(run), 1000));
        QCOMPARE(recorder->log.last(), QStringLiteral("check silent"));
        QCOMPARE(finished.size(), 1);
    }

    // Interrupting before the pause has begun skips the pause, not the account refresh or the
    // report.
    void earlyInterruptSkipsOnlyThePause()
    {
        auto recorder = std::make_shared<Recorder>();
        Startup startup(recorder->steps(), 60s);
        auto run = startup.run();
        QCOMPARE(recorder->log.last(), QStringLiteral("refresh"));
        startup.interruptPause();
        QVERIFY(runTask(std::move(run), 2000));
        QCOMPARE(recorder->log.size(), 6);
        QCOMPARE(recorder->log.last(), QStringLiteral("check silent"));
    }

    void runsOnceAtATime()
    {
        auto recorder = std::make_shared<Recorder>();
        Startup startup(recorder->steps(), 10ms);
        auto first = startup.run();
        QVERIFY(runTask(startup.run()));
        QVERIFY(runTask(std::move(first)));
        QCOMPARE(recorder->log.count(QStringLiteral("prompt")), 1);
        QCOMPARE(recorder->log.count(QStringLiteral("check silent")), 1);
    }
};

TOVRA_TEST(StartupTest)
#include "tst_startup.moc"
