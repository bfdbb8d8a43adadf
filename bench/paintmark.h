#pragma once

// The start-up yardsticks report their first paint exactly as the client does under
// TOVRA_FIRST_PAINT_MARK=exit: installed on the widget whose paint counts, it prints
// "first-paint <CLOCK_MONOTONIC nanoseconds>" from the next turn of the event loop, once that
// paint has reached the screen (on X, once the server has answered a round trip sent after it),
// then "drawn" with the same time, since a yardstick has nothing more to draw, and quits.

#include "../src/app/displaysync.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>

#include <cstdio>
#include <ctime>

class PaintMark : public QObject
{
protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, qApp, [] {
                tovra::waitForDisplay();
                timespec now{};
                clock_gettime(CLOCK_MONOTONIC, &now);
                const long long ns = static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
                std::printf("first-paint %lld\ndrawn %lld\n", ns, ns);
                std::fflush(stdout);
                QCoreApplication::quit();
            });
        }
        return false;
    }
};
