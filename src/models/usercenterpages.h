#pragma once

#include <QList>
#include <QString>
#include <QUrl>

// The fixed offers and rules of the user centre's coin pages (membership exchange, top-up
// information, nickname) that need no widget.
namespace tovra::usercenterpages {

// A membership plan; the site knows a plan by its price alone.
struct VipPlan
{
    qint64 bt = 0;
    QString label;
};

// A top-up tier: display texts only, nothing is computed from them or sent.
struct PayTier
{
    QString amount;
    QString coins;
};

// Monthly, half-yearly and yearly membership, cheapest first.
const QList<VipPlan> &vipPlans();
// A plan is affordable at exactly its price.
bool canExchange(qint64 balance, qint64 price);
// "兑换成功，会员有效期至 " and the new expiry day.
QString exchangeSuccessText(qint64 vipExpired);

const QList<PayTier> &payTiers();
// The tier highlighted when the page opens: the most popular one.
inline constexpr int kDefaultTier = 2;
// The WeChat payment QR picture on the media host.
QUrl payQrAddress();
// The official group's QR picture: "/external/static/image/wx_group.webp" on the web host, which
// is TOVRA_WEB_URL's host (scheme and port kept, for a local site) when that is an http(s)
// address, else the built-in host over https.
QUrl groupQrAddress();
QString payContactNote();

inline constexpr int kMinNicknameLength = 2;
inline constexpr int kMinCodeLength = 4;
// Lower bounds only, in characters as a reader counts them; the site enforces the rest.
bool canSaveNickname(const QString &nickname, const QString &code, bool busy);

}
