#include "models/webpagelogic.h"

#include "models/webaddress.h"

#include <QDateTime>
#include <QTimeZone>
#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace tovra::webpage {

std::optional<QUrl> pageAddress(const QString &text)
{
    if (text.isEmpty())
        return std::nullopt;
    // Strict parsing turns away what a browser would quietly repair (spaces, stray "%"), so an
    // address either loads as the server wrote it or not at all.
    const QUrl url(text, QUrl::StrictMode);
    if (!isWebAddress(url))
        return std::nullopt;
    return url;
}

bool isSoundCookie(const QString &name, const QString &value, const QString &domain)
{
    if (name.isEmpty() || domain.isEmpty())
        return false;
    const auto breaks = [](QChar c) {
        return c == u';' || c == u',' || c.unicode() < 0x20 || c.unicode() == 0x7f;
    };
    for (const QChar c : name) {
        if (breaks(c) || c == u'=' || c.isSpace())
            return false;
    }
    for (const QChar c : value) {
        if (breaks(c))
            return false;
    }
    for (const QChar c : domain) {
        if (breaks(c) || c.isSpace() || c == u'/' || c == u'=')
            return false;
    }
    return true;
}

QDateTime expiryDate(double expires)
{
    // 9999-12-31 23:59:59 UTC either way: beyond it the date's milliseconds overflow.
    constexpr double kLimit = 253402300799.0;
    const double seconds = std::isfinite(expires) ? std::clamp(expires, -kLimit, kLimit) : 0.0;
    return QDateTime::fromMSecsSinceEpoch(qint64(std::llround(seconds * 1000.0)), QTimeZone::utc());
}

QList<QNetworkCookie> cookiesToSet(const WebCookie &reply)
{
    QList<QNetworkCookie> out;
    const QDateTime expiry = expiryDate(reply.expires);
    for (const WebCookieItem &pair : reply.pairs()) {
        if (!isSoundCookie(pair.name, pair.value, reply.domain))
            continue;
        QNetworkCookie cookie(pair.name.toUtf8(), pair.value.toUtf8());
        cookie.setDomain(reply.domain);
        cookie.setPath(u"/"_s);
        cookie.setExpirationDate(expiry);
        out.append(cookie);
    }
    return out;
}

bool isCancellation(int code)
{
    // net::ERR_ABORTED: the engine's word for a navigation replaced by a newer one or stopped.
    return code == -3;
}

QString loadFailureText(int code, const QString &engineText)
{
    switch (code) {
    case -7:   // TIMED_OUT
    case -118: // CONNECTION_TIMED_OUT
        return u"请求超时。"_s;
    case -105: // NAME_NOT_RESOLVED
    case -137: // NAME_RESOLUTION_FAILED
        return u"未能找到使用指定主机名的服务器。"_s;
    case -102: // CONNECTION_REFUSED
    case -104: // CONNECTION_FAILED
    case -109: // ADDRESS_UNREACHABLE
        return u"未能连接到服务器。"_s;
    case -100: // CONNECTION_CLOSED
    case -101: // CONNECTION_RESET
    case -103: // CONNECTION_ABORTED
        return u"网络连接已中断。"_s;
    case -106: // INTERNET_DISCONNECTED
        return u"似乎已断开与互联网的连接。"_s;
    case -310: // TOO_MANY_REDIRECTS
        return u"重定向过多。"_s;
    case -324: // EMPTY_RESPONSE
        return u"服务器没有返回任何数据。"_s;
    default:
        break;
    }
    if (code <= -200 && code > -300)
        return u"此服务器的证书无效。"_s;
    const QString detail = engineText.isEmpty() ? QString::number(code) : engineText;
    return u"页面加载失败（%1）"_s.arg(detail);
}

}
