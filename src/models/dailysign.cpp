#include "models/dailysign.h"

namespace tovra::dailysign {

bool isSignedToday(std::optional<bool> signedState, const QDateTime &signDay, const QDate &today)
{
    return signedState.value_or(false) && signDay.isValid() && signDay.toLocalTime().date() == today;
}

ButtonLook buttonLook(bool signedIn, const std::optional<QString> &label, bool signedToday, qint64 days)
{
    ButtonLook look;
    look.symbol = signedToday ? QStringLiteral("checkmark.seal.fill") : QStringLiteral("gift");
    look.text = label ? *label : (signedToday ? kDone : kInvite);
    look.faint = signedToday && !label;
    look.enabled = !label && !(signedIn && signedToday);
    if (signedToday && days >= 2)
        look.help = QStringLiteral("今天已经签到过了，已连续 %1 天").arg(days);
    else if (signedToday)
        look.help = QStringLiteral("今天已经签到过了");
    else
        look.help = QStringLiteral("签到领 BT币");
    return look;
}

QString resultLabel(qint64 gold)
{
    if (gold < 1)
        return kAlreadySigned;
    return u'+' + QString::number(gold) + QStringLiteral(" BT币");
}

}
