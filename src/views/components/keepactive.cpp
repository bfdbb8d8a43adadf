#include "views/components/keepactive.h"

#include <QPlatformSurfaceEvent>
#include <QTimer>
#include <QWidget>

namespace tovra {

namespace {

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
        } else if (event->type() == QEvent::PlatformSurface && m_deactivatedThisTurn
                   && static_cast<QPlatformSurfaceEvent *>(event)->surfaceEventType()
                          == QPlatformSurfaceEvent::SurfaceCreated) {
            m_deactivatedThisTurn = false;
            // Once the new window is mapped: an unmapped one cannot take the focus.
            QTimer::singleShot(0, this, [this] {
                if (m_window->isVisible() && !m_window->isActiveWindow())
                    m_window->activateWindow();
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget *m_window;
    bool m_deactivatedThisTurn = false;
};

}

void keepActiveAcrossRecreation(QWidget *window)
{
    window->installEventFilter(new ActivationKeeper(window));
}

}
