#pragma once

#include <QAccessibleWidget>
#include <QHash>

namespace tovra {

class PaintedList;

// A PaintedList as a screen reader sees it: a list whose children are its painted entries, each
// with the entry's name, its rectangle on screen and a press action. Entries are known by their
// index, so a list that changes needs no bookkeeping here: an entry reads the list as it is now.
class PaintedListAccessible : public QAccessibleWidget
{
public:
    explicit PaintedListAccessible(PaintedList *list);
    ~PaintedListAccessible() override;

    int childCount() const override;
    QAccessibleInterface *child(int index) const override;
    int indexOfChild(const QAccessibleInterface *child) const override;
    QAccessibleInterface *childAt(int x, int y) const override;
    QAccessibleInterface *focusChild() const override;
    // The list's own name; a list without one is read by its current (or first) entry, where the
    // focus sits.
    QString text(QAccessible::Text t) const override;

private:
    PaintedList *list() const;

    // Qt owns registered interfaces by id; one per entry asked for, released with the list.
    mutable QHash<int, QAccessible::Id> m_children;
};

}
