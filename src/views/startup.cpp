#include "views/startup.h"

#include "store/authstore.h"
#include "store/telemetry.h"
#include "store/updateservice.h"
#include "views/installprompt.h"

#include <QCoro/QCoroSignal>

namespace tovra {

Startup::Steps Startup::defaultSteps()
{
    Steps steps;
    steps.promptInstallLocation = [] { InstallPrompt::promptIfNeeded(); };
    steps.refreshAccount = []() -> QCoro::Task<void> { co_await AuthStore::shared()->refresh(); };
    steps.heartbeat = []() -> QCoro::Task<void> { co_await Telemetry::shared()->heartbeat(); };
    steps.checkForUpdate = [](bool silent) -> QCoro::Task<void> {
        co_await UpdateService::shared()->check(silent);
    };
    return steps;
}

Startup::Startup(Steps steps, std::chrono::milliseconds pause, QObject *parent)
    : QObject(parent), m_steps(std::move(steps))
{
    m_pause.setSingleShot(true);
    m_pause.setInterval(pause);
    connect(&m_pause, &QTimer::timeout, this, [this] {
        m_pausing = false;
        emit pauseEnded();
    });
}

void Startup::interruptPause()
{
    m_interrupted = true;
    if (!m_pausing)
        return;
    m_pause.stop();
    m_pausing = false;
    emit pauseEnded();
}

QCoro::Task<void> Startup::run()
{
    if (m_running)
        co_return;
    m_running = true;
    // The object lives as long as the application; the guard only keeps a test that deletes it
    // early from resuming into freed memory.
    QPointer self = this;

    // Synchronous and possibly modal: everything after it waits for the answer.
    if (m_steps.promptInstallLocation)
        m_steps.promptInstallLocation();
    if (m_steps.refreshAccount)
        co_await m_steps.refreshAccount();
    if (!self)
        co_return;
    if (m_steps.heartbeat)
        co_await m_steps.heartbeat();
    if (!self)
        co_return;

    // An interruption that came while the earlier steps ran makes the pause empty, as a pause
    // begun in an interrupted sequence would end at once.
    if (!m_interrupted) {
        m_pausing = true;
        m_pause.start();
        co_await qCoro(this, &Startup::pauseEnded);
        if (!self)
            co_return;
    }

    if (m_steps.checkForUpdate)
        co_await m_steps.checkForUpdate(true);
    if (!self)
        co_return;
    m_running = false;
    emit finished();
}

}
