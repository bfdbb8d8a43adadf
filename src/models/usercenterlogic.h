#pragma once

#include "models/account.h"

#include <QList>
#include <QString>
#include <QUrl>
#include <optional>

// The decisions of the user centre that need no widget: its tabs and their menu entries, the
// account card, the daily sign-in button's texts, and the lines of the coin log and the watch
// history.
namespace tovra {

// Declaration order is the menu order.
enum class UserCenterTab { gold, watching, pay, vip, message, profile, photo, group };

namespace usercenter {

QList<UserCenterTab> allTabs();
// The menu title, which is also the tab's identity.
QString title(UserCenterTab tab);
// The menu row's symbol.
QString icon(UserCenterTab tab);
// Exactly one of the eight titles; anything else is none.
std::optional<UserCenterTab> fromTitle(const QString &text);
// The unread badge of a menu row: only the messages row, and only with something unread.
std::optional<QString> badgeText(UserCenterTab tab, qint64 unread);

// "yyyy-MM-dd" in local time, "-" for anything below 1.
QString dateText(qint64 unixSeconds);

// What the account card shows for whoever is signed in (or nobody).
struct AccountCardModel
{
    QString name;
    QString coinLine;
    std::optional<QString> memberLine;  // members only
    bool member = false;
    QString placeholderSymbol;           // shown until (and unless) the avatar arrives
    std::optional<QUrl> avatar;          // only addresses the image loader may fetch
    friend bool operator==(const AccountCardModel &, const AccountCardModel &) = default;
};
AccountCardModel accountCard(const std::optional<User> &user);

// ---- Daily sign-in button --------------------------------------------------------------------

QString signButtonText(const std::optional<SignStatus> &status);
QString signButtonSymbol(const std::optional<SignStatus> &status);
bool signButtonEnabled(const std::optional<SignStatus> &status, bool busy);
// "已连续签到 N 天", from a streak of two days on.
std::optional<QString> streakLine(const std::optional<SignStatus> &status);
// The line under the button after a successful sign-in.
QString signResultMessage(qint64 gold);

// ---- Coin log --------------------------------------------------------------------------------

inline const QString kGoldLogEmpty = QStringLiteral("还没有 BT币 记录");

// Local "yyyy-MM-dd HH:mm"; no special case for 0 or negative times.
QString time(qint64 unixSeconds);
// sign immediately followed by the amount: "-5", "+12".
QString goldAmount(const GoldLog &log);
// Only an exact "-" is a debit; any other sign is shown as a credit.
bool isDebit(const GoldLog &log);
QString balanceText(const GoldLog &log);

// ---- Watch history ---------------------------------------------------------------------------

inline const QString kWatchingEmpty = QStringLiteral("还没有观看记录");

// "m:ss" with unbounded minutes: 3725 seconds is "62:05".
QString watchedTime(qint64 pos);
// "第 2 集 · 看到 10:05"
QString progressLine(const WatchingItem &item);
// pos / duration, at most 1; none (no bar) when the length is unknown.
std::optional<double> progress(const WatchingItem &item);
// The title handed to the player: the episode is named from the second one on.
QString playTitle(const WatchingItem &item);

}

}
