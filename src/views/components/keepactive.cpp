#include "views/components/keepactive.h"

#include "views/components/x11stacking.h"

#include <QPlatformSurfaceEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <chrono>
#include <utility>

namespace tovra {

namespace {

// What Qt::WA_ShowWithoutActivating sets on a widget's window when the widget creates it; the
// platform reads it when the window is mapped.
constexpr char kShowWithoutActivating[] = "_q_showWithoutActivating";

class ActivationKeeper : public QObject
{
public:
    explicit ActivationKeeper(QWidget *window) : QObject(window), m_window(window) {}

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::WindowDeactivate) {
            // Qt hides the window before it replaces the native one, which deactivates it: a new
            // surface that follows in the same turn of the event loop was the active window.
            // Unless the window manager had already given the focus to another program: Qt
            // hears of that late (it waits for the focus to come back to one of its windows, and
            // the main thread is busy making the page), and a user who has just turned to
            // another program keeps it.
            const quint32 active = x11::activeWindow(m_window->windowHandle());
            m_deactivatedThisTurn = !active || active == quint32(m_window->winId());
            QTimer::singleShot(0, this, [this] { m_deactivatedThisTurn = false; });
        } else if (event->type() == QEvent::PlatformSurface) {
            const auto surface = static_cast<QPlatformSurfaceEvent *>(event)->surfaceEventType();
            // The old native window is still mapped and listed here: what was above it is what
            // the new one goes back under.
            if (surface == QPlatformSurfaceEvent::SurfaceAboutToBeDestroyed)
                m_above = m_deactivatedThisTurn ? 0 : x11::windowAbove(m_window->windowHandle());
            else if (std::exchange(m_deactivatedThisTurn, false))
                restoreActivation();
            else
                mapWithoutActivating();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void restoreActivation()
    {
        // Once the new window is mapped: an unmapped one cannot take the focus.
        QTimer::singleShot(0, this, [this] {
            if (m_window->isVisible() && !m_window->isActiveWindow())
                m_window->activateWindow();
        });
    }

    // A window manager gives the focus to a new window that says the user just used it, and the
    // window Qt maps in place of ours says so: a window that was behind another program's would
    // take the focus from it. Mapped with no user time, it stays where it was.
    void mapWithoutActivating()
    {
        QWindow *handle = m_window->windowHandle();
        if (!handle || m_window->testAttribute(Qt::WA_ShowWithoutActivating))
            return;
        handle->setProperty(kShowWithoutActivating, true);
        // The window is mapped in the same turn it is made; later shows are the user's.
        QTimer::singleShot(0, this, [this, handle = QPointer(handle)] {
            if (handle)
                handle->setProperty(kShowWithoutActivating, QVariant());
        });
        if (const quint32 above = std::exchange(m_above, 0))
            stackBelow(handle, above);
    }

    // Without the focus a window manager still stacks a new window on top (Openbox does): the
    // window would cover the program the user is typing into until it was put back, as long as
    // the main thread is busy making the page (a second and more under load). So it is mapped in
    // the layer below every other window, and once the manager lists it, it leaves that layer
    // and goes back under the window it was under, the one request right after the other.
    void stackBelow(QWindow *handle, quint32 sibling)
    {
        x11::markBelowBeforeMapping(handle);
        auto *watch = new QTimer(this);
        watch->setInterval(kStackPoll);
        connect(watch, &QTimer::timeout, watch, [this, watch, handle = QPointer(handle), sibling, tries = 0]() mutable {
            const bool listed = handle && x11::isStacked(handle);
            const bool done = listed || !handle || ++tries >= kStackPolls;
            // Never left in the layer below, listed or not by the time the watch gives up.
            if (done && handle)
                x11::leaveBelowLayer(handle);
            if (listed && !m_window->isActiveWindow())
                x11::restackBelow(handle, sibling);
            if (done)
                watch->deleteLater();
        });
        watch->start();
    }

    static constexpr std::chrono::milliseconds kStackPoll{10};
    static constexpr int kStackPolls = 200;

    QWidget *m_window;
    bool m_deactivatedThisTurn = false;
    // The window that was directly above ours as it went away, while ours was not active.
    quint32 m_above = 0;
};

}

void keepActiveAcrossRecreation(QWidget *window)
{
    window->installEventFilter(new ActivationKeeper(window));
}

}
