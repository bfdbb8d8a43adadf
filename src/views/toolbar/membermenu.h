#pragma once

#include <QWidget>

namespace tovra {

class MemberMenuButton;

// The account chip's hover menu: "刷新账号信息", a divider, "退出登录".
//
// A frameless tool window rather than a Qt::Popup: a popup grabs the mouse, so the chip under it
// would never hear the pointer leave and the menu could not close 350 ms after the pointer has
// left both. This window takes no focus and no grab; the owner closes it on its own rules.
class MemberMenu : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kWidth = 180;

    explicit MemberMenu(QWidget *parent = nullptr);

    MemberMenuButton *refreshButton() const { return m_refresh; }
    MemberMenuButton *logoutButton() const { return m_logout; }
    bool isHovering() const { return m_hovering; }

    // The entry the keyboard is on, or null. The menu takes no focus: the account chip keeps it
    // and passes the arrow keys on.
    MemberMenuButton *current() const;
    // Moves to the next (step 1) or previous (-1) entry, round the ends.
    void moveCurrent(int step);

    // Places the menu centred under anchor (in global coordinates), kept on anchor's screen.
    void placeUnder(const QWidget *anchor);

signals:
    void hoverChanged(bool inside);
    void refreshClicked();
    void logoutClicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    MemberMenuButton *m_refresh = nullptr;
    MemberMenuButton *m_logout = nullptr;
    QWidget *m_divider = nullptr;
    bool m_hovering = false;
    int m_current = -1;
};

}
