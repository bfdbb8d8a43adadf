#include "views/components/paintedlistaccessible.h"

#include "views/components/paintedlist.h"

#include <QPointer>

namespace tovra {

namespace {

class EntryAccessible : public QAccessibleInterface, public QAccessibleActionInterface
{
public:
    EntryAccessible(PaintedList *list, int index) : m_list(list), m_index(index) {}

    bool isValid() const override { return m_list && m_index < m_list->entryCount(); }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return m_list ? m_list->window()->windowHandle() : nullptr; }
    QAccessibleInterface *focusChild() const override { return nullptr; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QAccessibleInterface *parent() const override { return QAccessible::queryAccessibleInterface(m_list.data()); }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Name && isValid() ? m_list->entryName(m_index) : QString();
    }
    void setText(QAccessible::Text, const QString &) override {}
    QRect rect() const override
    {
        if (!isValid())
            return {};
        const QRect r = m_list->entryRect(m_index);
        return QRect(m_list->mapToGlobal(r.topLeft()), r.size());
    }
    QAccessible::Role role() const override { return m_list ? m_list->entryRole() : QAccessible::NoRole; }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        s.focusable = true;
        s.selectable = true;
        const bool current = m_list->currentEntry() == m_index;
        s.focused = current && m_list->hasFocus();
        s.selected = current;
        s.invisible = !m_list->isVisible() || !m_list->visibleRegion().intersects(m_list->entryRect(m_index));
        s.offscreen = s.invisible;
        return s;
    }
    void *interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface *>(this) : nullptr;
    }

    QStringList actionNames() const override { return {pressAction(), setFocusAction()}; }
    QStringList keyBindingsForAction(const QString &) const override { return {}; }
    void doAction(const QString &action) override
    {
        if (!isValid())
            return;
        if (action == pressAction()) {
            m_list->activateEntry(m_index);
        } else if (action == setFocusAction()) {
            m_list->setFocus(Qt::OtherFocusReason);
            m_list->setCurrentEntry(m_index);
        }
    }

private:
    QPointer<PaintedList> m_list;
    int m_index;
};

}

PaintedListAccessible::PaintedListAccessible(PaintedList *list) : QAccessibleWidget(list, QAccessible::List) {}

PaintedListAccessible::~PaintedListAccessible()
{
    for (QAccessible::Id id : std::as_const(m_children))
        QAccessible::deleteAccessibleInterface(id);
}

PaintedList *PaintedListAccessible::list() const
{
    return static_cast<PaintedList *>(widget());
}

int PaintedListAccessible::childCount() const
{
    return list()->entryCount();
}

QAccessibleInterface *PaintedListAccessible::child(int index) const
{
    if (index < 0 || index >= childCount())
        return nullptr;
    auto found = m_children.constFind(index);
    if (found != m_children.cend())
        return QAccessible::accessibleInterface(*found);
    auto *entry = new EntryAccessible(list(), index);
    m_children.insert(index, QAccessible::registerAccessibleInterface(entry));
    return entry;
}

int PaintedListAccessible::indexOfChild(const QAccessibleInterface *child) const
{
    const QAccessible::Id id = QAccessible::uniqueId(const_cast<QAccessibleInterface *>(child));
    for (auto it = m_children.cbegin(); it != m_children.cend(); ++it) {
        if (it.value() == id)
            return it.key();
    }
    return -1;
}

QAccessibleInterface *PaintedListAccessible::childAt(int x, int y) const
{
    const QPoint local = list()->mapFromGlobal(QPoint(x, y));
    for (int i = 0; i < childCount(); ++i) {
        if (list()->entryRect(i).contains(local))
            return child(i);
    }
    return nullptr;
}

QString PaintedListAccessible::text(QAccessible::Text t) const
{
    QString own = QAccessibleWidget::text(t);
    if (t != QAccessible::Name || !own.isEmpty() || list()->entryCount() == 0)
        return own;
    return list()->entryName(qMax(0, list()->currentEntry()));
}

QAccessibleInterface *PaintedListAccessible::focusChild() const
{
    return list()->hasFocus() && list()->currentEntry() >= 0 ? child(list()->currentEntry()) : nullptr;
}

}
