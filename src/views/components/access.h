#pragma once

#include <QAccessible>
#include <QList>
#include <QString>
#include <functional>
#include <optional>

class QAbstractButton;
class QAbstractScrollArea;
class QWidget;

namespace tovra {

// Keyboard and screen-reader access for the client's own controls, in one place: each control is
// reached by Tab, activated by Enter as well as Space, and read out under a name and a role that
// fit. Painted lists of entries (poster grids, the hot list) have their own: PaintedList.
class Access
{
public:
    // A button drawn by us: Tab reaches it, and Enter clicks it as Space does (install() makes
    // Enter click every focused button, Qt's own included). The screen reader reads name, or the
    // button's text when name is empty (icon-only buttons must pass a name).
    static void button(QAbstractButton *button, const QString &name = {});
    // A clickable widget that is not a button (a link, a row): Tab reaches it, Enter and Space
    // run activate, and the screen reader reads name under role and can press it too.
    static void control(QWidget *widget, const QString &name, QAccessible::Role role, std::function<void()> activate);
    // A button that is one of several choices, one of them current (a mode switch, a filter, a
    // section): read as role (RadioButton, PageTab) and checked and selected while it is current,
    // which is isChecked() or what setCurrent() last said.
    static void choice(QAbstractButton *button, QAccessible::Role role, const QString &name = {});
    static void setCurrent(QAbstractButton *button, bool current);
    // Something the user reads but does not operate (a menu window, a progress bar): its name and
    // role, and no actions.
    static void describe(QWidget *widget, const QString &name, QAccessible::Role role);
    // Enables or disables control. A control that loses the focus by being disabled hands it to
    // holder (its card or row), where Qt would move it to the next stop and scroll there; it takes
    // it back when enabled again if holder still has it.
    static void setEnabled(QWidget *control, bool enabled, QWidget *holder);
    // How far an arrow key moves through a grid columns wide, as it is laid out: one entry across,
    // one row up or down. None for other keys.
    static std::optional<int> gridStep(int key, int columns);
    // A scroll area that holds controls is no Tab stop of its own: Tab goes to the controls, and
    // the area scrolls to keep the one with the focus in view.
    static void passThrough(QAbstractScrollArea *area);
    // Puts widgets, in this order, into the Tab order just before next. Widgets made after their
    // screen (controls that arrive with a late reply) otherwise come after everything else.
    static void placeBefore(const QList<QWidget *> &widgets, QWidget *next);
    // Makes the client's accessible interfaces known to Qt, makes Enter click buttons and starts
    // the focus ring. Safe to call more than once; the helpers above and the window call it.
    static void install();
};

}
