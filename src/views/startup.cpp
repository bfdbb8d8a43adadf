#include "views/startup.h"

#include "store/authstore.h"
#include "store/telemetry.h"
#include "store/updateservice.h"
#include "views/installprompt.h"

#include <QApplication>
#include <QCoro/QCoroSignal>
#include <QPointer>
#include <QWidget>

namespace tovra {

namespace {

// Cuts the wait short on the first paint of its widget or of anything inside it.
class PaintFilter : public QObject
{
public:
    PaintFilter(QWidget *widget, QTimer *done) : QObject(done), m_widget(widget), m_done(done)
    {
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && m_widget && watched->isWidgetType()
            && (watched == m_widget || m_widget->isAncestorOf(static_cast<QWidget *>(watched)))) {
            qApp->removeEventFilter(this);
            m_done->start(0);
        }
        return false;
    }

private:
    QPointer<QWidget> m_widget;
    QTimer *m_done;
};

}

QCoro::Task<void> afterNextPaint(QWidget *widget, std::chrono::milliseconds timeout)
{
    // Owned by the application, not the widget: a widget gone before its paint still ends the
    // wait, by the timeout.
    auto *done = new QTimer(qApp);
    done->setSingleShot(true);
    new PaintFilter(widget, done);
    done->start(timeout);
    co_await qCoro(done, &QTimer::timeout);
    done->deleteLater();
}

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
