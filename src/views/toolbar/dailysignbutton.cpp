#include "views/toolbar/dailysignbutton.h"

#include "models/dailysign.h"
#include "network/apiclient.h"
#include "store/authstore.h"
#include "store/clock.h"
#include "views/components/appearance.h"
#include "views/palette.h"

#include <QCoro/QCoroTimer>
#include <QPointer>

namespace tovra {

DailySignButton::DailySignButton(QWidget *parent) : ToolbarButton(ToolbarButton::Style::Plain, parent)
{
    setObjectName(QStringLiteral("signButton"));
    setSymbolSize(11);
    setTextSize(12);
    connect(this, &ToolbarButton::clicked, this, &DailySignButton::doSign);
    connect(this, &DailySignButton::signStatusChanged, this, &DailySignButton::updateLook);
    connect(this, &DailySignButton::signLabelChanged, this, &DailySignButton::updateLook);
    followAppearance(this, [this](bool) { updateLook(); });

    // A coarse timer is enough: the button only has to come back within a minute of midnight,
    // and ticks are cheap when nothing changed.
    m_dayWatch.setInterval(kDayWatchInterval);
    m_dayWatch.setTimerType(Qt::CoarseTimer);
    connect(&m_dayWatch, &QTimer::timeout, this, &DailySignButton::checkDay);
    m_dayWatch.start();

    connect(AuthStore::shared(), &AuthStore::accountChanged, this, &DailySignButton::dropAccount);
}

// The day's status, the streak in the help and a sign-in's result were the previous
// account's; the load started here makes any older one write nothing.
void DailySignButton::dropAccount()
{
    m_account.invalidate();
    m_signed.reset();
    m_signDays = 0;
    setSignLabel(std::nullopt);
    emit signStatusChanged();
    QCoro::connect(loadSignStatus(), this, [] {});
}

bool DailySignButton::signedToday() const
{
    return dailysign::isSignedToday(m_signed, m_signDay, Clock::today());
}

void DailySignButton::updateLook()
{
    const auto look = dailysign::buttonLook(AuthStore::shared()->tokenValue().has_value(), m_signLabel, signedToday(),
                                            m_signDays);
    setSymbol(look.symbol);
    setText(look.text);
    setColorRole(look.faint ? Palette::Name::TextFaint : Palette::Name::Warn);
    setEnabled(look.enabled);
    // Our own text, built from the streak count; no server text reaches it.
    setToolTip(look.help);
    updateGeometry();
}

void DailySignButton::setSignLabel(std::optional<QString> label)
{
    if (label == m_signLabel)
        return;
    m_signLabel = std::move(label);
    emit signLabelChanged();
}

void DailySignButton::doSign()
{
    if (!AuthStore::shared()->tokenValue()) {
        emit loginRequested();
        return;
    }
    // Set before anything is sent: the button is disabled from this moment, and a click that
    // still gets through (or a second caller) finds the label and sends nothing.
    if (m_signLabel)
        return;
    setSignLabel(dailysign::kSigning);
    // Not tied to the window's lifetime beyond the checks inside: the sign-in itself must not be
    // dropped half way because a view went away.
    QCoro::connect(runSign(), this, [] {});
}

QCoro::Task<void> DailySignButton::runSign()
{
    QPointer self = this;
    const auto account = m_account.current();
    const auto shown = [&] { return self && m_account.isCurrent(account); };
    const auto reply = co_await APIClient::shared()->sign();
    if (!shown())
        co_return;
    if (!reply) {
        setSignLabel(dailysign::kFailed);
        co_await QCoro::sleepFor(m_signResultShownFor);
        if (shown())
            setSignLabel(std::nullopt);
        co_return;
    }
    m_signed = true;
    m_signDay = Clock::now();
    setSignLabel(dailysign::resultLabel(reply->gold));
    emit signStatusChanged();
    // The chip's balance changed, and the streak shown in the button's help comes from the status.
    co_await AuthStore::shared()->refresh();
    if (!shown())
        co_return;
    co_await loadSignStatus();
    if (!shown())
        co_return;
    co_await QCoro::sleepFor(m_signResultShownFor);
    if (shown())
        setSignLabel(std::nullopt);
}

QCoro::Task<void> DailySignButton::loadSignStatus()
{
    const auto ticket = m_signLoads.begin();
    if (!AuthStore::shared()->tokenValue()) {
        m_signed.reset();
        m_signDays = 0;
        emit signStatusChanged();
        co_return;
    }
    QPointer self = this;
    auto status = co_await APIClient::shared()->signStatus();
    if (!self || !m_signLoads.isCurrent(ticket))
        co_return;
    // An extra like the sidebar: a failure changes nothing and shows nothing.
    if (!status)
        co_return;
    m_signed = status->signed_;
    m_signDays = status->days;
    m_signDay = Clock::now();
    emit signStatusChanged();
}

void DailySignButton::checkDay()
{
    if (!m_signDay.isValid())
        return;
    if (m_signDay.toLocalTime().date() == Clock::today())
        return;
    m_signed.reset();
    m_signDay = QDateTime();
    emit signStatusChanged();
    QCoro::connect(loadSignStatus(), this, [] {});
}

}
