#pragma once

#include "models/loadgeneration.h"

#include <QCoroTask>
#include <QList>
#include <QWidget>

class QLabel;
class QPushButton;

namespace tovra {

class OutcomeLine;

// The "兑换尊享会员" tab: the coin balance, three fixed membership plans priced in coins, and
// the outcome of the last exchange. A success reloads the account, so the balance and expiry
// shown anywhere follow the site. Loads nothing of its own when shown.
class VIPExchangeView : public QWidget
{
    Q_OBJECT
public:
    explicit VIPExchangeView(QWidget *parent = nullptr);

    bool isBusy() const { return m_busy; }
    QLabel *balanceLabel() const { return m_balance; }
    // One "兑换" button per plan, in plan order.
    const QList<QPushButton *> &exchangeButtons() const { return m_buttons; }
    OutcomeLine *outcomeLine() const { return m_outcome; }

public slots:
    // Ignored while an exchange runs or the balance is below the price.
    void exchange(qint64 bt);

private:
    QCoro::Task<> runExchange(qint64 bt);
    qint64 balance() const;
    void dropAccount();
    void render();

    bool m_busy = false;
    // Moves on with every change of account: an exchange sent for the previous one reports to
    // nobody here.
    LoadGeneration m_account;
    QLabel *m_balance = nullptr;
    QList<QPushButton *> m_buttons;
    OutcomeLine *m_outcome = nullptr;
};

}
