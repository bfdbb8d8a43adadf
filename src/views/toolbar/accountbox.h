#pragma once

#include "models/account.h"

#include <QWidget>
#include <optional>

namespace tovra {

class AccountChipButton;
class ToolbarButton;

// Who is signed in, at the toolbar's trailing end: a "登录" button while no token is held, else
// the account chip (shown as soon as a token is there, before the profile has loaded).
class AccountBox : public QWidget
{
    Q_OBJECT
public:
    explicit AccountBox(QWidget *parent = nullptr);

    bool isSignedIn() const { return m_signedIn; }
    void setSignedIn(bool signedIn);
    void setUser(const std::optional<User> &user);

    ToolbarButton *loginButton() const { return m_login; }
    AccountChipButton *chip() const { return m_chip; }

signals:
    void loginClicked();
    void chipClicked();
    void chipHoverChanged(bool inside);

private:
    ToolbarButton *m_login = nullptr;
    AccountChipButton *m_chip = nullptr;
    bool m_signedIn = false;
};

}
