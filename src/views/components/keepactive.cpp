#include "views/components/keepactive.h"

#include <QPlatformSurfaceEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QWindow>
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
        } else if (event->type() == QEvent::PlatformSurface
                   && static_cast<QPlatformSurfaceEvent *>(event)->surfaceEventType()
                          == QPlatformSurfaceEvent::SurfaceCreated) {
            if (std::exchange(m_deactivatedThisTurn, false))
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
    }

    QWidget *m_window;
    bool m_deactivatedThisTurn = false;
};

}

void keepActiveAcrossRecreation(QWidget *window)
{
    window->installEventFilter(new ActivationKeeper(window));
}

}
