#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace tovra {

// The start-up question whether to move the client into the applications folder, and the move.
// Every alert is modal: start-up goes on only after the user has answered.
class InstallPrompt
{
public:
    enum class Outcome {
        NotAsked,   // installed already, told not to ask, or not a client folder of ours
        Later,      // "以后再说", or "知道了" for a copy that cannot be moved
        Silenced,   // "不再提示"
        Moved,      // moved and the moved copy started; this process is quitting
        MoveFailed, // "移动失败" shown; this copy goes on running
    };

    explicit InstallPrompt(QString unit);

    // Starts the moved copy as a process of its own; answers whether it started.
    std::function<bool(const QString &executable)> launch;
    // Ends this process once the moved copy runs.
    std::function<void()> quit;
    std::function<qint64()> now;

    Outcome run(QWidget *parent = nullptr);

    // The running client, with the real launch and quit.
    static void promptIfNeeded();

private:
    void showFailure(QWidget *parent, const QString &reason);

    QString m_unit;
};

}
