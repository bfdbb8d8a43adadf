#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <chrono>
#include <functional>

class QWidget;

namespace tovra {

// A silent reload for a screen: while the view is shown, a repeating timer runs action every
// interval (the first run one interval after showing, not at once); whenever the application
// becomes active again, action runs too, for as long as the view exists. Runs are never
// cancelled and may overlap: the action must tolerate that (a load generation does).
//
// Owned by the view it watches.
class AutoRefresh : public QObject
{
    Q_OBJECT
public:
    AutoRefresh(QWidget *view, std::chrono::milliseconds interval, std::function<void()> action);

    std::chrono::milliseconds interval() const { return m_interval; }
    bool isTimerRunning() const { return m_timer.isActive(); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void onAppear();
    void onDisappear();

    QPointer<QWidget> m_view;
    std::chrono::milliseconds m_interval;
    std::function<void()> m_action;
    QTimer m_timer;
};

}
