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
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

namespace tovra {

namespace {

constexpr const char *kActivatorName = "tovraKeyActivator";
constexpr const char *kRoleProperty = "tovraAccessibleRole";
constexpr const char *kChoiceProperty = "tovraChoiceRole";
constexpr const char *kCurrentProperty = "tovraCurrentChoice";
constexpr const char *kHandedProperty = "tovraHandedFocusTo";

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

    // Only what the user can work offers a press; what is only read (describe()) offers none.
    QStringList actionNames() const override
    {
        const QStringList own = QAccessibleWidget::actionNames();
        return activatorOf(widget()) ? QStringList{pressAction()} + own : own;
    }

    void doAction(const QString &action) override
    {
        if (action != pressAction()) {
            QAccessibleWidget::doAction(action);
            return;
        }
        if (KeyActivator *activator = activatorOf(widget()))
            activator->activate();
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.readOnly = s.readOnly || role() == QAccessible::ProgressBar;
        return s;
    }
};

// Qt's own interface for a progress bar is what gives it a value; ours replaces it to read it
// under our name, so it gives the value too.
class AccessibleProgress : public AccessibleControl, public QAccessibleValueInterface
{
public:
    explicit AccessibleProgress(QProgressBar *bar) : AccessibleControl(bar, QAccessible::ProgressBar) {}

    QProgressBar *bar() const { return static_cast<QProgressBar *>(widget()); }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface *>(this);
        return AccessibleControl::interface_cast(type);
    }

    QVariant currentValue() const override { return bar()->value(); }
    // Read only: it shows how far something got.
    void setCurrentValue(const QVariant &) override {}
    QVariant maximumValue() const override { return bar()->maximum(); }
    QVariant minimumValue() const override { return bar()->minimum(); }
    QVariant minimumStepSize() const override { return 0; }
};

class AccessibleChoice : public QAccessibleWidget
{
public:
    AccessibleChoice(QAbstractButton *button, QAccessible::Role role) : QAccessibleWidget(button, role) {}

    QAbstractButton *button() const { return static_cast<QAbstractButton *>(widget()); }

    QString text(QAccessible::Text t) const override
    {
        const QString own = QAccessibleWidget::text(t);
        if (t != QAccessible::Name || !own.isEmpty())
            return own;
        return QString(button()->text()).replace(QStringLiteral("&&"), QStringLiteral("&"));
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        const bool current = button()->isChecked() || button()->property(kCurrentProperty).toBool();
        if (role() == QAccessible::RadioButton) {
            s.checkable = true;
            s.checked = current;
        } else {
            s.selectable = true;
            s.selected = current;
        }
        return s;
    }

    QStringList actionNames() const override { return QStringList{pressAction()} + QAccessibleWidget::actionNames(); }

    void doAction(const QString &action) override
    {
        if (action == pressAction() && button()->isEnabled())
            button()->click();
        else
            QAccessibleWidget::doAction(action);
    }
};

// Qt keeps the first interface anything asked for. With a screen reader listening, a widget's
// own constructor already asks (a text or name being set is announced), before the role is
// known: that interface is dropped, so the next question gets ours. (Whether one listens can
// change at any time, so this does not ask.)
void forgetEarlyInterface(QWidget *widget)
{
    QAccessibleInterface *face = QAccessible::queryAccessibleInterface(widget);
    if (face && !dynamic_cast<AccessibleControl *>(face) && !dynamic_cast<AccessibleChoice *>(face))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(face));
}

QAccessibleInterface *factory(const QString &, QObject *object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    auto *widget = static_cast<QWidget *>(object);
    if (auto *list = qobject_cast<PaintedList *>(widget))
        return new PaintedListAccessible(list);
    if (const QVariant choice = widget->property(kChoiceProperty); choice.isValid())
        return new AccessibleChoice(static_cast<QAbstractButton *>(widget), QAccessible::Role(choice.toInt()));
    const QVariant role = widget->property(kRoleProperty);
    if (!role.isValid())
        return nullptr;
    if (auto *bar = qobject_cast<QProgressBar *>(widget); bar && role.toInt() == QAccessible::ProgressBar)
        return new AccessibleProgress(bar);
    return new AccessibleControl(widget, QAccessible::Role(role.toInt()));
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
    // The role first: setting the name is announced, and the announcement asks for the interface.
    widget->setProperty(kRoleProperty, int(role));
    delete activatorOf(widget);
    new KeyActivator(widget, std::move(activate));
    forgetEarlyInterface(widget);
    widget->setFocusPolicy(Qt::TabFocus);
    widget->setAccessibleName(name);
}

void Access::choice(QAbstractButton *button, QAccessible::Role role, const QString &name)
{
    install();
    button->setProperty(kChoiceProperty, int(role));
    forgetEarlyInterface(button);
    button->setFocusPolicy(Qt::TabFocus);
    if (!name.isEmpty())
        button->setAccessibleName(name);
}

void Access::setCurrent(QAbstractButton *button, bool current)
{
    if (button->property(kCurrentProperty).toBool() == current)
        return;
    button->setProperty(kCurrentProperty, current);
    if (!QAccessible::isActive())
        return;
    QAccessible::State changed;
    changed.checked = true;
    changed.selected = true;
    QAccessibleStateChangeEvent event(button, changed);
    QAccessible::updateAccessibility(&event);
}

void Access::describe(QWidget *widget, const QString &name, QAccessible::Role role)
{
    install();
    widget->setProperty(kRoleProperty, int(role));
    forgetEarlyInterface(widget);
    widget->setAccessibleName(name);
}

std::optional<int> Access::gridStep(int key, int columns)
{
    switch (key) {
    case Qt::Key_Left:
        return -1;
    case Qt::Key_Right:
        return 1;
    case Qt::Key_Up:
        return -qMax(1, columns);
    case Qt::Key_Down:
        return qMax(1, columns);
    default:
        return std::nullopt;
    }
}

void Access::setEnabled(QWidget *control, bool enabled, QWidget *holder)
{
    if (!enabled && control->hasFocus() && holder) {
        // Before disabling: Qt would pass the focus on to the next stop, scrolling to it.
        holder->setFocus(Qt::OtherFocusReason);
        // Only compared with the holder passed later, never followed.
        control->setProperty(kHandedProperty, quintptr(holder));
    }
    control->setEnabled(enabled);
    if (!enabled)
        return;
    const bool handed = holder && control->property(kHandedProperty).value<quintptr>() == quintptr(holder);
    control->setProperty(kHandedProperty, QVariant());
    if (handed && holder->hasFocus())
        control->setFocus(Qt::OtherFocusReason);
}

}
