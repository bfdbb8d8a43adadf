#pragma once

#include <QAccessible>
#include <QWidget>

namespace tovra {

// A widget that paints many clickable entries itself (poster cards, hot-list rows) and so has no
// child widget per entry for the keyboard or a screen reader to reach. It is one Tab stop: the
// arrow keys move a current entry (across and down the rows), Enter or Space opens it, and the
// screen reader sees each entry as a child of the list with its own name (PaintedListAccessible).
// Subclasses describe their entries and call paintFocusRing() at the end of their paintEvent.
class PaintedList : public QWidget
{
    Q_OBJECT
public:
    explicit PaintedList(QAccessible::Role entryRole, QWidget *parent = nullptr);

    virtual int entryCount() const = 0;
    virtual QRect entryRect(int index) const = 0;
    virtual QString entryName(int index) const = 0;
    virtual void activateEntry(int index) = 0;
    // Entries per row, for Up and Down.
    virtual int entryColumns() const = 0;

    QAccessible::Role entryRole() const { return m_entryRole; }
    // The entry the keyboard is on, or -1.
    int currentEntry() const;
    void setCurrentEntry(int index);

    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;

protected:
    void paintFocusRing(QPainter &painter, qreal radius) const;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void scrollToCurrent();

    QAccessible::Role m_entryRole;
    int m_current = -1;
};

}
