#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>

class QKeyEvent;
class QWidget;

namespace tovra {

class AccountBox;
class MemberMenu;

// When the member menu under the account chip shows: on hover (with a delay to cross the gap
// between chip and menu), from the chip's keys, and until Escape, a click elsewhere or sign-out.
// The menu grabs nothing, so while it is up this watches the whole application's input.
class MemberMenuControl : public QObject
{
    Q_OBJECT
public:
    // Long enough to cross the gap between the account chip and its menu.
    static constexpr std::chrono::milliseconds kCloseDelay{350};

    // The menu is a window of its own, owned by window.
    MemberMenuControl(AccountBox *accountBox, QWidget *window);
    ~MemberMenuControl() override;

    MemberMenu *menu() const { return m_menu; }
    bool shows() const { return m_shows; }
    // The pointer entered (true) or left (false) the account chip or its menu.
    void hover(bool inside);
    void setShows(bool shows);
    // Keeps an open menu under the chip after the window moved or changed size.
    void place();

signals:
    void showsChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The menu from the keyboard, while the account chip has the focus.
    bool chipKey(QKeyEvent *key);

    AccountBox *m_accountBox;
    MemberMenu *m_menu;
    bool m_shows = false;
    QTimer m_close;
};

}
