#pragma once

#include "models/account.h"
#include "models/loadgeneration.h"

#include <QCoroTask>
#include <QWidget>
#include <optional>

class QLabel;
class QPushButton;

namespace tovra {

// The daily sign-in of the user centre's account card: the button, the streak and the outcome
// of the last click. It keeps no state with the toolbar's own sign-in button; both only meet in
// the reloaded user.
class SignButton : public QWidget
{
    Q_OBJECT
public:
    explicit SignButton(QWidget *parent = nullptr);

    std::optional<SignStatus> status() const { return m_status; }
    std::optional<QString> message() const { return m_message; }
    bool isBusy() const { return m_busy; }

    QPushButton *button() const { return m_button; }
    QLabel *streakLabel() const { return m_streak; }
    QLabel *messageLabel() const { return m_messageLabel; }

public slots:
    void doSign();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    QCoro::Task<> load();
    QCoro::Task<> runSign();
    void dropAccount();
    void render();

    QPushButton *m_button = nullptr;
    QLabel *m_streak = nullptr;
    QLabel *m_messageLabel = nullptr;
    std::optional<SignStatus> m_status;
    std::optional<QString> m_message;
    bool m_busy = false;
    LoadGeneration m_statusLoads;
    // Moves on with every change of account: a sign-in sent for the previous one reports to
    // nobody here.
    LoadGeneration m_account;
};

}
