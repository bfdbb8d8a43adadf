#pragma once

#include "models/account.h"

#include <QString>
#include <optional>

namespace tovra {

// What the toolbar's account chip shows for the loaded profile (none while it is not loaded).
struct AccountChip
{
    enum class Badge { None, Member, Expired };

    Badge badge = Badge::None;
    QString name;
    std::optional<qint64> gold; // shown after "BT币 " only when a profile is loaded

    // "尊享VIP" or "尊享VIP已过期"; empty without a badge.
    QString badgeText() const;

    // A badge needs an expiry of 1 or more, whatever the member flag says; the name is the
    // nickname when the profile has one (even an empty one), else the uid, else "已登录".
    static AccountChip from(const std::optional<User> &user);

    friend bool operator==(const AccountChip &, const AccountChip &) = default;
};

}
