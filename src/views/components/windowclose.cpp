#include "views/components/windowclose.h"

#include "views/components/x11stacking.h"

#include <QAbstractEventDispatcher>
#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QGuiApplication>
#include <QPlatformSurfaceEvent>
#include <QPointer>
#include <QSet>
#include <QWidget>
#include <QWindow>

#include <xcb/xcb.h>

namespace tovra {

namespace {

class CloseRouter : public QObject, public QAbstractNativeEventFilter
{
public:
    explicit CloseRouter(QWidget *window) : QObject(window), m_window(window)
    {
        remember();
        window->installEventFilter(this);
        if (QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance())
            dispatcher->installNativeEventFilter(this);
    }

    ~CloseRouter() override
    {
        if (QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance())
            dispatcher->removeNativeEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::PlatformSurface
            && static_cast<QPlatformSurfaceEvent *>(event)->surfaceEventType() == QPlatformSurfaceEvent::SurfaceCreated)
            remember();
        return QObject::eventFilter(watched, event);
    }

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) override
    {
        if (eventType != "xcb_generic_event_t" || !m_window)
            return false;
        const auto *event = static_cast<const xcb_generic_event_t *>(message);
        if ((event->response_type & ~0x80) != XCB_CLIENT_MESSAGE)
            return false;
        const auto *client = reinterpret_cast<const xcb_client_message_event_t *>(event);
        if (client->format != 32 || !m_ids.contains(client->window) || heldByAnother(client->window))
            return false;
        if (!m_protocols) {
            m_protocols = x11::atom(m_window->windowHandle(), "WM_PROTOCOLS");
            m_delete = x11::atom(m_window->windowHandle(), "WM_DELETE_WINDOW");
        }
        if (!m_protocols || client->type != m_protocols || client->data.data32[0] != m_delete)
            return false;
        // Posted, not called: the event comes in while Qt reads the display, and closing ends the
        // main loop and runs the final reports.
        QMetaObject::invokeMethod(m_window, [window = m_window] {
            if (window)
                window->close();
        }, Qt::QueuedConnection);
        return true;
    }

private:
    void remember()
    {
        // Only a window that has its native window: winId() would make one.
        if (QWindow *handle = m_window->windowHandle(); handle && handle->handle())
            m_ids.insert(quint32(handle->winId()));
    }

    // The server may hand a released id to a later window of ours (a picture-in-picture window,
    // a menu): that window's requests are its own.
    bool heldByAnother(quint32 id) const
    {
        const QWindow *own = m_window->windowHandle();
        for (const QWindow *window : QGuiApplication::allWindows()) {
            if (window != own && window->handle() && quint32(window->winId()) == id)
                return true;
        }
        return false;
    }

    QPointer<QWidget> m_window;
    QSet<quint32> m_ids;
    quint32 m_protocols = 0;
    quint32 m_delete = 0;
};

}

void routeWindowManagerClose(QWidget *window)
{
    new CloseRouter(window);
}

}
