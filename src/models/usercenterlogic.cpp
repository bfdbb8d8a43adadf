#include "models/usercenterlogic.h"

#include "models/dailysign.h"
#include "models/webaddress.h"

#include <QDateTime>
#include <algorithm>

namespace tovra::usercenter {

namespace {
struct TabInfo
{
    UserCenterTab tab;
    const char16_t *title;
    const char *icon;
};

constexpr TabInfo kTabs[] = {
    {UserCenterTab::gold, u"BT币记录", "bitcoinsign.circle"},
    {UserCenterTab::watching, u"继续观看", "play.circle"},
    {UserCenterTab::pay, u"充值BT币（微信）", "wallet.bifold"},
    {UserCenterTab::vip, u"兑换尊享会员", "crown"},
    {UserCenterTab::message, u"我的消息", "bell"},
    {UserCenterTab::profile, u"修改昵称", "person.text.rectangle"},
    {UserCenterTab::photo, u"修改头像", "person.crop.circle"},
    {UserCenterTab::group, u"官方信息交流群", "person.3"},
};

const TabInfo &info(UserCenterTab tab)
{
    return kTabs[int(tab)];
}

QString localText(qint64 unixSeconds, const QString &pattern)
{
    return QDateTime::fromSecsSinceEpoch(unixSeconds).toLocalTime().toString(pattern);
}
}

QList<UserCenterTab> allTabs()
{
    QList<UserCenterTab> out;
    for (const TabInfo &t : kTabs)
        out.append(t.tab);
    return out;
}

QString title(UserCenterTab tab)
{
    return QString::fromUtf16(info(tab).title);
}

QString icon(UserCenterTab tab)
{
    return QString::fromLatin1(info(tab).icon);
}

std::optional<UserCenterTab> fromTitle(const QString &text)
{
    for (const TabInfo &t : kTabs) {
        if (text == QString::fromUtf16(t.title))
            return t.tab;
    }
    return std::nullopt;
}

std::optional<QString> badgeText(UserCenterTab tab, qint64 unread)
{
    if (tab != UserCenterTab::message || unread < 1)
        return std::nullopt;
    return QString::number(unread);
}

QString dateText(qint64 unixSeconds)
{
    if (unixSeconds < 1)
        return QStringLiteral("-");
    return localText(unixSeconds, QStringLiteral("yyyy-MM-dd"));
}

AccountCardModel accountCard(const std::optional<User> &user)
{
    AccountCardModel card;
    card.name = user && user->nickname ? *user->nickname : QStringLiteral("未登录");
    card.coinLine = QStringLiteral("BT币 ") + QString::number(user ? user->gold : 0);
    card.member = user && user->isVip;
    if (card.member)
        card.memberLine = QStringLiteral("会员至 ") + dateText(user->vipExpired);
    card.placeholderSymbol = card.member ? QStringLiteral("crown.fill") : QStringLiteral("person.circle.fill");
    if (user && user->photo) {
        // The address comes from the server: only web images, never local files or resources.
        const QUrl url(*user->photo, QUrl::StrictMode);
        if (isWebAddress(url))
            card.avatar = url;
    }
    return card;
}

QString signButtonText(const std::optional<SignStatus> &status)
{
    return status && status->signed_ ? dailysign::kDone : dailysign::kInvite;
}

QString signButtonSymbol(const std::optional<SignStatus> &status)
{
    return status && status->signed_ ? QStringLiteral("checkmark.seal.fill") : QStringLiteral("gift");
}

bool signButtonEnabled(const std::optional<SignStatus> &status, bool busy)
{
    return !busy && !(status && status->signed_);
}

std::optional<QString> streakLine(const std::optional<SignStatus> &status)
{
    if (!status || status->days < 2)
        return std::nullopt;
    return QStringLiteral("已连续签到 %1 天").arg(status->days);
}

QString signResultMessage(qint64 gold)
{
    if (gold < 1)
        return dailysign::kAlreadySigned;
    return QStringLiteral("签到成功，+%1 BT币").arg(gold);
}

QString time(qint64 unixSeconds)
{
    return localText(unixSeconds, QStringLiteral("yyyy-MM-dd HH:mm"));
}

QString goldAmount(const GoldLog &log)
{
    return log.sign + QString::number(log.gold);
}

bool isDebit(const GoldLog &log)
{
    return log.sign == u"-";
}

QString balanceText(const GoldLog &log)
{
    return QStringLiteral("余 ") + QString::number(log.balance);
}

QString watchedTime(qint64 pos)
{
    // Minutes are never split into hours: a long film reads 125:40.
    const qint64 minutes = pos / 60;
    return QString::asprintf("%lld:%02lld", static_cast<long long>(minutes), static_cast<long long>(pos - 60 * minutes));
}

QString progressLine(const WatchingItem &item)
{
    return QStringLiteral("第 %1 集 · 看到 ").arg(item.episode) + watchedTime(item.pos);
}

std::optional<double> progress(const WatchingItem &item)
{
    if (item.duration < 1)
        return std::nullopt;
    return std::clamp(double(item.pos) / double(item.duration), 0.0, 1.0);
}

QString playTitle(const WatchingItem &item)
{
    if (item.episode < 2)
        return item.title;
    return item.title + QStringLiteral(" 第%1集").arg(item.episode);
}

}
