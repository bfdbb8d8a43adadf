#include "models/accountchip.h"

namespace tovra {

QString AccountChip::badgeText() const
{
    switch (badge) {
    case Badge::Member:
        return QStringLiteral("尊享VIP");
    case Badge::Expired:
        return QStringLiteral("尊享VIP已过期");
    case Badge::None:
        break;
    }
    return {};
}

AccountChip AccountChip::from(const std::optional<User> &user)
{
    AccountChip chip;
    if (!user) {
        chip.name = QStringLiteral("已登录");
        return chip;
    }
    if (user->vipExpired >= 1)
        chip.badge = user->isVip ? Badge::Member : Badge::Expired;
    chip.name = user->nickname ? *user->nickname : user->uid;
    chip.gold = user->gold;
    return chip;
}

}
