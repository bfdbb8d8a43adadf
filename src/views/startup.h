#pragma once

#include <QObject>
#include <QTimer>
#include <QCoro/QCoroTask>
#include <chrono>
#include <functional>

class QWidget;

namespace tovra {

// Resolves once widget (or anything inside it) has been painted, from the next turn of the event
// loop, when that frame has gone out; or after timeout when no paint comes. Work that can wait
// for a screen's first frame awaits it, so that the frame goes out first.
QCoro::Task<void> afterNextPaint(QWidget *widget, std::chrono::milliseconds timeout);

// The work done once the main window is on screen, strictly one step after the other: the
// install-location question, the account refresh, the usage report, a short pause so the first
// screen gets the network to itself, then a silent update check.
//
// Nothing here reports an error: every step handles its own failures.
class Startup : public QObject
{
    Q_OBJECT
public:
    struct Steps
    {
        std::function<void()> promptInstallLocation;
        std::function<QCoro::Task<void>()> refreshAccount;
        std::function<QCoro::Task<void>()> heartbeat;
        std::function<QCoro::Task<void>(bool silent)> checkForUpdate;
    };

    static constexpr std::chrono::milliseconds kPause{3000};

    // The real services.
    static Steps defaultSteps();

    explicit Startup(Steps steps, std::chrono::milliseconds pause = kPause, QObject *parent = nullptr);

    // Runs the sequence once; a second call while it runs is ignored.
    QCoro::Task<void> run();
    bool isRunning() const { return m_running; }

public slots:
    // Cuts the pause short, or skips it when it has not begun; the steps before it and the update
    // check still run.
    void interruptPause();

signals:
    void pauseEnded();
    void finished();

private:
    Steps m_steps;
    QTimer m_pause;
    bool m_running = false;
    bool m_pausing = false;
    bool m_interrupted = false;
};

}
