#include "views/components/paintedlist.h"

#include "views/components/access.h"
#include "views/components/focusring.h"
#include "views/palette.h"

#include <QAccessibleEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollArea>

namespace tovra {

namespace {
// Room kept in view around the current entry when scrolling to it.
constexpr int kScrollMargin = 8;
}

PaintedList::PaintedList(QAccessible::Role entryRole, QWidget *parent) : QWidget(parent), m_entryRole(entryRole)
{
    Access::install();
    // Tab only: a click opens the entry at once, and must not leave a ring behind.
    setFocusPolicy(Qt::TabFocus);
    FocusRing::setDrawsOwnRing(this);
}

int PaintedList::currentEntry() const
{
    return m_current >= 0 && m_current < entryCount() ? m_current : -1;
}

void PaintedList::setCurrentEntry(int index)
{
    const int count = entryCount();
    if (count == 0)
        return;
    index = qBound(0, index, count - 1);
    const int previous = currentEntry();
    m_current = index;
    if (previous >= 0)
        update(entryRect(previous));
    update(entryRect(index));
    if (hasFocus()) {
        scrollToCurrent();
        QAccessibleEvent event(this, QAccessible::Focus);
        event.setChild(index);
        QAccessible::updateAccessibility(&event);
    }
}

QVariant PaintedList::inputMethodQuery(Qt::InputMethodQuery query) const
{
    // A scroll area keeps the focus widget in view through this rectangle: with it, it scrolls to
    // the current entry rather than to the whole (possibly very tall) list.
    if (query == Qt::ImCursorRectangle && currentEntry() >= 0)
        return entryRect(currentEntry());
    return QWidget::inputMethodQuery(query);
}

void PaintedList::scrollToCurrent()
{
    for (QWidget *w = parentWidget(); w; w = w->parentWidget()) {
        if (auto *area = qobject_cast<QScrollArea *>(w)) {
            area->ensureWidgetVisible(this, kScrollMargin, kScrollMargin);
            return;
        }
    }
}

void PaintedList::paintFocusRing(QPainter &painter, qreal radius) const
{
    if (currentEntry() >= 0 && FocusRing::shows(this))
        FocusRing::paintInside(painter, QRectF(entryRect(currentEntry())), Palette::isDark(), radius);
}

void PaintedList::keyPressEvent(QKeyEvent *event)
{
    const int count = entryCount();
    // A refresh may have taken the current entry away: the keys go on from the first.
    const int current = qMax(0, currentEntry());
    if (count == 0 || (event->modifiers() & ~Qt::KeypadModifier)) {
        QWidget::keyPressEvent(event);
        return;
    }
    int next = current;
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
        next = current + *Access::gridStep(event->key(), entryColumns());
        break;
    case Qt::Key_Home:
        next = 0;
        break;
    case Qt::Key_End:
        next = count - 1;
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        if (!event->isAutoRepeat())
            activateEntry(current);
        event->accept();
        return;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    // Up from the first row and down from the last stay put, so the arrows never leave the list.
    if (next >= 0 && next < count)
        setCurrentEntry(next);
    event->accept();
}

void PaintedList::focusInEvent(QFocusEvent *event)
{
    QWidget::focusInEvent(event);
    if (entryCount() > 0)
        setCurrentEntry(currentEntry() >= 0 ? currentEntry() : 0);
}

void PaintedList::focusOutEvent(QFocusEvent *event)
{
    QWidget::focusOutEvent(event);
    if (currentEntry() >= 0)
        update(entryRect(currentEntry()));
}

}
