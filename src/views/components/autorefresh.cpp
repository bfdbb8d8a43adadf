#include "views/components/autorefresh.h"

#include <QEvent>
#include <QGuiApplication>
#include <QWidget>

namespace tovra {

AutoRefresh::AutoRefresh(QWidget *view, std::chrono::milliseconds interval, std::function<void()> action)
    : QObject(view), m_view(view), m_interval(interval), m_action(std::move(action))
{
    m_timer.setInterval(m_interval);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        if (m_action)
            m_action();
    });
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive && m_action)
            m_action();
    });
    view->installEventFilter(this);
    if (view->isVisible())
        onAppear();
}

bool AutoRefresh::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_view) {
        if (event->type() == QEvent::Show)
            onAppear();
        else if (event->type() == QEvent::Hide)
            onDisappear();
    }
    return QObject::eventFilter(watched, event);
}

void AutoRefresh::onAppear()
{
    // start() restarts a running timer: one timer per view, counting from this appearance.
    m_timer.start();
}

void AutoRefresh::onDisappear()
{
    m_timer.stop();
}

}
