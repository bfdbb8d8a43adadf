#include "views/components/access.h"

#include "views/components/focusring.h"
#include "views/components/paintedlist.h"
#include "views/components/paintedlistaccessible.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAccessibleWidget>
#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QRadioButton>

namespace tovra {

namespace {

constexpr const char *kActivatorName = "tovraKeyActivator";
constexpr const char *kRoleProperty = "tovraAccessibleRole";

bool isActivationKey(const QKeyEvent *event, bool withSpace)
{
    if (event->modifiers() & ~Qt::KeypadModifier)
        return false;
    return event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter
           || (withSpace && event->key() == Qt::Key_Space);
}

// Lives as a child of the widget it serves, so it goes when the widget goes.
class KeyActivator : public QObject
{
public:
    KeyActivator(QWidget *widget, std::function<void()> activate) : QObject(widget), m_activate(std::move(activate))
    {
        setObjectName(QLatin1StringView(kActivatorName));
        widget->installEventFilter(this);
    }

    void activate() const
    {
        if (m_activate)
            m_activate();
    }

    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress || !isActivationKey(static_cast<QKeyEvent *>(event), true))
            return false;
        // Auto-repeat would open the same page once per repeat.
        if (!static_cast<QKeyEvent *>(event)->isAutoRepeat())
            activate();
        return true;
    }

private:
    std::function<void()> m_activate;
};

// Qt's buttons click on Space, but on Enter only as a dialog's default push button. Every other
// button with the focus clicks on Enter too; check boxes and radio buttons keep Space alone, so
// Enter in a dialog still reaches its default button.
class EnterClicks : public QObject
{
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress || !isActivationKey(static_cast<QKeyEvent *>(event), false))
            return false;
        auto *button = qobject_cast<QAbstractButton *>(watched);
        if (!button || !button->hasFocus() || qobject_cast<QCheckBox *>(button) || qobject_cast<QRadioButton *>(button))
            return false;
        if (auto *push = qobject_cast<QPushButton *>(button); push && (push->autoDefault() || push->isDefault()))
            return false;
        if (button->isEnabled() && !static_cast<QKeyEvent *>(event)->isAutoRepeat())
            button->click();
        return true;
    }
};

KeyActivator *activatorOf(QObject *object)
{
    return static_cast<KeyActivator *>(
        object->findChild<QObject *>(QLatin1StringView(kActivatorName), Qt::FindDirectChildrenOnly));
}

class AccessibleControl : public QAccessibleWidget
{
public:
    AccessibleControl(QWidget *widget, QAccessible::Role role) : QAccessibleWidget(widget, role) {}

    QStringList actionNames() const override { return QStringList{pressAction()} + QAccessibleWidget::actionNames(); }

    void doAction(const QString &action) override
    {
        if (action != pressAction()) {
            QAccessibleWidget::doAction(action);
            return;
        }
        if (KeyActivator *activator = activatorOf(widget()))
            activator->activate();
    }
};

QAccessibleInterface *factory(const QString &, QObject *object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    auto *widget = static_cast<QWidget *>(object);
    if (auto *list = qobject_cast<PaintedList *>(widget))
        return new PaintedListAccessible(list);
    const QVariant role = widget->property(kRoleProperty);
    if (role.isValid())
        return new AccessibleControl(widget, QAccessible::Role(role.toInt()));
    return nullptr;
}

}

void Access::install()
{
    static bool installed = false;
    if (installed || !qApp)
        return;
    installed = true;
    QAccessible::installFactory(factory);
    FocusRing::install();
    auto *keys = new EnterClicks;
    keys->setParent(qApp);
    qApp->installEventFilter(keys);
}

void Access::button(QAbstractButton *button, const QString &name)
{
    install();
    button->setFocusPolicy(Qt::TabFocus);
    if (!name.isEmpty())
        button->setAccessibleName(name);
}

void Access::passThrough(QAbstractScrollArea *area)
{
    area->setFocusPolicy(Qt::NoFocus);
}

void Access::placeBefore(const QList<QWidget *> &widgets, QWidget *next)
{
    if (widgets.isEmpty() || !next)
        return;
    // The nearest stop before next that is not being placed: the widgets go right after it.
    QWidget *anchor = next->previousInFocusChain();
    while (anchor && anchor != next && (anchor->focusPolicy() == Qt::NoFocus || widgets.contains(anchor)))
        anchor = anchor->previousInFocusChain();
    if (!anchor || anchor == next)
        return;
    for (QWidget *widget : widgets) {
        QWidget::setTabOrder(anchor, widget);
        anchor = widget;
    }
}

void Access::control(QWidget *widget, const QString &name, QAccessible::Role role, std::function<void()> activate)
{
    install();
    widget->setFocusPolicy(Qt::TabFocus);
    widget->setAccessibleName(name);
    widget->setProperty(kRoleProperty, int(role));
    delete activatorOf(widget);
    new KeyActivator(widget, std::move(activate));
}

}
