#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>

class QWidget;

namespace tovra {

// One animation timer for every shimmering placeholder in the process. Widgets subscribe while
// they show something that shimmers; the timer runs only while at least one subscriber is
// visible, and each tick just repaints the subscribers.
class ShimmerClock : public QObject
{
    Q_OBJECT
public:
    static constexpr int kPeriodMs = 1200;
    static constexpr int kFrameMs = 16;

    static ShimmerClock *shared();

    // Subscribing twice is harmless; hidden, out-of-sight or destroyed widgets drop out by
    // themselves (a widget subscribes again when it paints). Each
    // tick repaints the whole widget, or runs onTick instead (to repaint only what shimmers).
    void subscribe(QWidget *widget, std::function<void()> onTick = {});
    void unsubscribe(QWidget *widget);
    bool isRunning() const { return m_timer.isActive(); }
    int subscriberCount() const;

    // Milliseconds on the clock's monotonic time line.
    qint64 now() const { return m_elapsed.elapsed(); }
    // The band's position, sweeping linearly from -1 to 1 every period since start, then
    // jumping back: every placeholder keeps its own start so boxes shown at different times
    // shimmer out of step.
    static qreal phase(qint64 startMs, qint64 nowMs);
    qreal phaseSince(qint64 startMs) const { return phase(startMs, now()); }

private:
    ShimmerClock();
    void tick();

    struct Subscriber
    {
        QPointer<QWidget> widget;
        std::function<void()> onTick;
    };
    QList<Subscriber> m_subscribers;
    QTimer m_timer;
    QElapsedTimer m_elapsed;
};

}
