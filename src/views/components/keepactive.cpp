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
            m_deactivatedThisTurn = true;
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
    // window would cover the program the user is typing into. Once the manager lists the new
    // window, it goes back under the window it was under.
    void stackBelow(QWindow *handle, quint32 sibling)
    {
        auto *watch = new QTimer(this);
        watch->setInterval(kStackPoll);
        connect(watch, &QTimer::timeout, watch, [this, watch, handle = QPointer(handle), sibling, tries = 0]() mutable {
            const bool listed = handle && x11::isStacked(handle);
            if (listed && !m_window->isActiveWindow())
                x11::restackBelow(handle, sibling);
            if (listed || !handle || ++tries >= kStackPolls)
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
