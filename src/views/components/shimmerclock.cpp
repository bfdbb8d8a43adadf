#include "views/components/shimmerclock.h"

#include <QCoreApplication>
#include <QWidget>

namespace tovra {

ShimmerClock *ShimmerClock::shared()
{
    static ShimmerClock *clock = [] {
        auto *c = new ShimmerClock;
        c->setParent(QCoreApplication::instance());
        return c;
    }();
    return clock;
}

ShimmerClock::ShimmerClock()
{
    m_elapsed.start();
    m_timer.setInterval(kFrameMs);
    connect(&m_timer, &QTimer::timeout, this, &ShimmerClock::tick);
}

qreal ShimmerClock::phase(qint64 startMs, qint64 nowMs)
{
    const qint64 since = qMax<qint64>(0, nowMs - startMs);
    return -1.0 + 2.0 * qreal(since % kPeriodMs) / kPeriodMs;
}

void ShimmerClock::subscribe(QWidget *widget, std::function<void()> onTick)
{
    if (!widget)
        return;
    for (Subscriber &s : m_subscribers) {
        if (s.widget == widget) {
            s.onTick = std::move(onTick);
            return;
        }
    }
    m_subscribers.append({widget, std::move(onTick)});
    if (!m_timer.isActive())
        m_timer.start();
}

void ShimmerClock::unsubscribe(QWidget *widget)
{
    m_subscribers.removeIf([widget](const Subscriber &s) { return !s.widget || s.widget == widget; });
    if (m_subscribers.isEmpty())
        m_timer.stop();
}

int ShimmerClock::subscriberCount() const
{
    int count = 0;
    for (const Subscriber &s : m_subscribers)
        count += s.widget ? 1 : 0;
    return count;
}

void ShimmerClock::tick()
{
    // A widget scrolled or clipped out of sight stays visible but gets no paint from update(), so
    // it would never learn that it has stopped shimmering: it leaves now and subscribes again
    // from its next paint, when it comes back into view.
    m_subscribers.removeIf([](const Subscriber &s) {
        return !s.widget || !s.widget->isVisible() || s.widget->visibleRegion().isEmpty();
    });
    if (m_subscribers.isEmpty()) {
        m_timer.stop();
        return;
    }
    // A callback may subscribe or unsubscribe: walk a copy.
    const QList<Subscriber> current = m_subscribers;
    for (const Subscriber &s : current) {
        if (!s.widget)
            continue;
        if (s.onTick)
            s.onTick();
        else
            s.widget->update();
    }
}

}
