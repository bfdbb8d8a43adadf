#include "views/usercenter/signbutton.h"

#include "models/usercenterlogic.h"
#include "network/apiclient.h"
#include "store/authstore.h"
#include "views/components/appearance.h"
#include "views/components/pointinghand.h"
#include "views/components/typography.h"
#include "views/detail/tint.h"
#include "views/icons.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace tovra {

SignButton::SignButton(QWidget *parent) : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);

    m_button = new QPushButton(this);
    m_button->setObjectName(QStringLiteral("signButton"));
    m_button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_button->setFont(uiFont(TextStyle::kCallout, QFont::DemiBold));
    m_button->setIconSize(QSize(14, 14));
    setPointingHand(m_button);
    connect(m_button, &QPushButton::clicked, this, &SignButton::doSign);
    layout->addWidget(m_button);

    m_streak = tintedLabel(QString(), TextStyle::kCaption2, Palette::Name::TextDim, this);
    layout->addWidget(m_streak);
    // Every outcome is drawn alike, failures included.
    m_messageLabel = tintedLabel(QString(), TextStyle::kCaption2, Palette::Name::Accent, this);
    m_messageLabel->setWordWrap(true);
    layout->addWidget(m_messageLabel);

    connect(AuthStore::shared(), &AuthStore::accountChanged, this, &SignButton::dropAccount);
    render();
    followAppearance(this, [this](bool) { render(); });
}

// The streak and the last outcome were the previous account's.
void SignButton::dropAccount()
{
    m_account.invalidate();
    m_statusLoads.invalidate();
    m_status.reset();
    m_message.reset();
    m_busy = false;
    render();
    if (isVisible())
        load();
}

void SignButton::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        load();
}

void SignButton::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    // The status belongs to this appearance; the next one asks again.
    if (!event->spontaneous())
        m_statusLoads.invalidate();
}

QCoro::Task<> SignButton::load()
{
    QPointer self = this;
    const auto ticket = m_statusLoads.begin();
    auto reply = co_await APIClient::shared()->signStatus();
    if (!self || !m_statusLoads.isCurrent(ticket))
        co_return;
    m_status = reply ? std::optional<SignStatus>(*reply) : std::nullopt;
    render();
}

void SignButton::doSign()
{
    // A click that slipped through while a request runs would sign twice.
    if (m_busy)
        return;
    m_busy = true;
    render();
    runSign();
}

QCoro::Task<> SignButton::runSign()
{
    QPointer self = this;
    const auto account = m_account.current();
    // The account is reloaded after the write only while it is still the one signed in.
    const AccountTicket asked = AuthStore::shared()->ticket();
    const auto shown = [&] { return self && m_account.isCurrent(account); };
    auto reply = co_await APIClient::shared()->sign();
    if (!reply) {
        if (!shown())
            co_return;
        m_message = reply.error().description();
        m_busy = false;
        render();
        co_return;
    }
    if (shown()) {
        m_message = usercenter::signResultMessage(reply->gold);
        render();
    }
    // The coins were granted whether or not the card is still there: the user is reloaded
    // anyway so every other screen sees the new balance.
    if (QPointer<AuthStore> auth = AuthStore::shared(); auth && asked.isCurrent())
        co_await auth->refresh();
    if (!shown())
        co_return;
    co_await load();
    if (!shown())
        co_return;
    m_busy = false;
    render();
}

void SignButton::render()
{
    const bool dark = Palette::isDark();
    const bool enabled = usercenter::signButtonEnabled(m_status, m_busy);
    m_button->setText(usercenter::signButtonText(m_status));
    const QColor fg = enabled ? Palette::onAccent(dark) : Palette::textDim(dark);
    m_button->setIcon(Icons::icon(usercenter::signButtonSymbol(m_status), fg));
    m_button->setEnabled(enabled);
    m_button->setStyleSheet(QStringLiteral("QPushButton { background: %1; color: %2; border: none; border-radius: 6px;"
                                           " padding: 5px 10px; }"
                                           "QPushButton:hover { background: %3; }"
                                           "QPushButton:disabled { background: %4; color: %5; }")
                                .arg(Palette::accent(dark).name(), Palette::onAccent(dark).name(),
                                     Palette::accent(dark).lighter(112).name(),
                                     Palette::surface2(dark).name(), Palette::textDim(dark).name()));

    const auto streak = usercenter::streakLine(m_status);
    m_streak->setText(streak.value_or(QString()));
    m_streak->setVisible(streak.has_value());
    m_messageLabel->setText(m_message.value_or(QString()));
    m_messageLabel->setVisible(m_message.has_value());
}

}
