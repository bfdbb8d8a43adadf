#include "views/usercenter/vipexchangeview.h"

#include "models/usercenterpages.h"
#include "network/apiclient.h"
#include "store/authstore.h"
#include "views/components/pointinghand.h"
#include "views/components/typography.h"
#include "views/detail/tint.h"
#include "views/usercenter/outcomeline.h"
#include "views/usercenter/prominentbutton.h"
#include "views/usercenter/roundedpanel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace tovra {

namespace {
constexpr int kPadding = 24;
constexpr int kCardWidth = 150;
}

VIPExchangeView::VIPExchangeView(QWidget *parent) : QWidget(parent)
{
    auto *page = new QVBoxLayout(this);
    page->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    page->setSpacing(16);
    page->addWidget(tintedLabel(QStringLiteral("兑换尊享会员"), TextStyle::kTitle3, Palette::Name::Text, this, QFont::Bold));
    m_balance = tintedLabel(QString(), TextStyle::kCallout, Palette::Name::TextDim, this);
    page->addWidget(m_balance);

    auto *cards = new QHBoxLayout;
    cards->setSpacing(14);
    for (const auto &plan : usercenterpages::vipPlans()) {
        auto *card = new RoundedPanel(10, Palette::Name::Surface2, this);
        card->setFixedWidth(kCardWidth);
        auto *column = new QVBoxLayout(card);
        column->setContentsMargins(18, 18, 18, 18);
        column->setSpacing(8);
        column->addWidget(tintedLabel(plan.label, TextStyle::kBody, Palette::Name::Text, card, QFont::DemiBold), 0, Qt::AlignHCenter);
        column->addWidget(tintedLabel(QString::number(plan.bt) + QStringLiteral(" BT币"), TextStyle::kTitle3,
                                      Palette::Name::Warn, card, QFont::Bold),
                          0, Qt::AlignHCenter);
        auto *button = new QPushButton(QStringLiteral("兑换"), card);
        button->setAutoDefault(false);
        // One per plan: the plan tells them apart.
        button->setAccessibleName(QStringLiteral("兑换") + plan.label);
        makeProminent(button);
        // The hand stays while the button is disabled: it still says "this is the action".
        setPointingHand(button);
        const qint64 bt = plan.bt;
        connect(button, &QPushButton::clicked, this, [this, bt] { exchange(bt); });
        column->addWidget(button, 0, Qt::AlignHCenter);
        cards->addWidget(card, 0, Qt::AlignVCenter);
        m_buttons.append(button);
    }
    cards->addStretch(1);
    page->addLayout(cards);

    m_outcome = new OutcomeLine(QStringLiteral("checkmark.circle"), QStringLiteral("exclamationmark.circle"), false, this);
    page->addWidget(m_outcome);
    page->addStretch(1);

    // The balance and the buttons follow every account change made anywhere.
    connect(AuthStore::shared(), &AuthStore::userChanged, this, &VIPExchangeView::render);
    connect(AuthStore::shared(), &AuthStore::accountChanged, this, &VIPExchangeView::dropAccount);
    render();
}

qint64 VIPExchangeView::balance() const
{
    const auto user = AuthStore::shared()->user();
    return user ? user->gold : 0;
}

void VIPExchangeView::exchange(qint64 bt)
{
    if (m_busy || !usercenterpages::canExchange(balance(), bt))
        return;
    runExchange(bt);
}

QCoro::Task<> VIPExchangeView::runExchange(qint64 bt)
{
    QPointer self = this;
    const auto account = m_account.current();
    m_busy = true;
    m_outcome->clear();
    render();

    // The outcome and the busy state belong to the account that sent the exchange.
    // The account is reloaded after the write only while it is still the one signed in.
    const AccountTicket asked = AuthStore::shared()->ticket();
    const auto shown = [&] { return self && m_account.isCurrent(account); };
    auto reply = co_await APIClient::shared()->exchangeVIP(bt);
    if (reply) {
        const QString text = usercenterpages::exchangeSuccessText(reply->vipExpired);
        if (shown())
            m_outcome->showOutcome(text, false);
        // The coins are spent whether or not the tab is still open: reload the account anyway.
        // The new balance comes with it; the reply's own gold is not trusted for display.
        QPointer<AuthStore> auth = AuthStore::shared();
        if (auth && asked.isCurrent())
            co_await auth->refresh();
    } else if (shown()) {
        m_outcome->showOutcome(reply.error().description(), true);
    }
    if (!shown())
        co_return;
    m_busy = false;
    render();
}

void VIPExchangeView::dropAccount()
{
    m_account.invalidate();
    m_busy = false;
    m_outcome->clear();
    render();
}

void VIPExchangeView::render()
{
    const qint64 gold = balance();
    m_balance->setText(QStringLiteral("当前 BT币：") + QString::number(gold));
    const auto &plans = usercenterpages::vipPlans();
    for (int i = 0; i < m_buttons.size(); ++i)
        m_buttons[i]->setEnabled(!m_busy && usercenterpages::canExchange(gold, plans.at(i).bt));
}

}
