#include "models/usercenterpages.h"

#include "models/playerlogic.h"
#include "models/usercenterlogic.h"
#include "models/webaddress.h"

#include "buildconfig.h"
#include "models/loginlogic.h"

#include <QDateTime>
#include <QLocale>

namespace tovra::usercenterpages {

const QList<VipPlan> &vipPlans()
{
    static const QList<VipPlan> plans{
        {150, QStringLiteral("包月会员")},
        {700, QStringLiteral("半年会员")},
        {1200, QStringLiteral("包年会员")},
    };
    return plans;
}

bool canExchange(qint64 balance, qint64 price)
{
    return balance >= price;
}

QString exchangeSuccessText(qint64 vipExpired)
{
    return QStringLiteral("兑换成功，会员有效期至 ") + usercenter::dateText(vipExpired);
}

const QList<PayTier> &payTiers()
{
    static const QList<PayTier> tiers{
        {QStringLiteral("¥9.9"), QStringLiteral("100 枚 BT 币")},
        {QStringLiteral("¥29.9"), QStringLiteral("350 枚 BT 币")},
        {QStringLiteral("¥49.9"), QStringLiteral("700 枚 BT 币")},
        {QStringLiteral("¥100"), QStringLiteral("1500 枚 BT 币")},
    };
    return tiers;
}

QUrl payQrAddress()
{
    return player::mediaAddress().resolved(QUrl(QStringLiteral("static/pay/wechat_qr.png")));
}

QUrl groupQrAddress()
{
    QUrl url(qEnvironmentVariable("TOVRA_WEB_URL"), QUrl::StrictMode);
    if (!isWebAddress(url)) {
        url = QUrl(QString::fromUtf8(build::kWebUrl), QUrl::StrictMode);
        url.setScheme(QStringLiteral("https"));
        url.setPort(-1);
    }
    url.setUserInfo({});
    url.setPath(QStringLiteral("/external/static/image/wx_group.webp"));
    url.setQuery(QString());
    url.setFragment(QString());
    return url;
}

QString payContactNote()
{
    // The operator's number is a deployment setting, like the service addresses.
    return QStringLiteral("十一年老站（2014.10-2026），童叟无欺。有什么问题请联系我Q:")
        + QString::fromUtf8(build::kOperatorContact);
}

bool canSaveNickname(const QString &nickname, const QString &code, bool busy)
{
    return !busy && loginpage::characterCount(nickname) >= kMinNicknameLength
        && loginpage::characterCount(code) >= kMinCodeLength;
}

}
