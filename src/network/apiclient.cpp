#include "network/apiclient.h"

#include "buildconfig.h"
#include "models/webaddress.h"
#include "network/clientnetwork.h"
#include "network/httpcache.h"
#include "network/paths.h"

#include <QCoreApplication>
#include <QCoroNetworkReply>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QNetworkDiskCache>
#include <QSettings>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tovra {

namespace {

APIClient *g_shared = nullptr;

bool isLetterMarkOrNumber(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Letter_Uppercase:
    case QChar::Letter_Lowercase:
    case QChar::Letter_Titlecase:
    case QChar::Letter_Modifier:
    case QChar::Letter_Other:
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
    case QChar::Number_DecimalDigit:
    case QChar::Number_Letter:
    case QChar::Number_Other:
        return true;
    default:
        return false;
    }
}

// Letters, marks and numbers of any script stay as they are (so Chinese stays readable), and so
// do the ASCII characters in keep; everything else becomes %XX per UTF-8 byte. A lone surrogate
// has no UTF-8 form: the text cannot be encoded.
std::optional<QByteArray> escapeExceptLetters(QStringView text, QLatin1StringView keep)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(text.size() * 3);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        char32_t c = unit;
        if (QChar::isHighSurrogate(unit)) {
            if (i + 1 >= text.size() || !QChar::isLowSurrogate(text[i + 1].unicode()))
                return std::nullopt;
            c = QChar::surrogateToUcs4(unit, text[++i].unicode());
        } else if (QChar::isLowSurrogate(unit)) {
            return std::nullopt;
        }
        char utf8[4];
        int length = 0;
        if (c < 0x80) {
            utf8[length++] = char(c);
        } else if (c < 0x800) {
            utf8[length++] = char(0xC0 | (c >> 6));
            utf8[length++] = char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            utf8[length++] = char(0xE0 | (c >> 12));
            utf8[length++] = char(0x80 | ((c >> 6) & 0x3F));
            utf8[length++] = char(0x80 | (c & 0x3F));
        } else {
            utf8[length++] = char(0xF0 | (c >> 18));
            utf8[length++] = char(0x80 | ((c >> 12) & 0x3F));
            utf8[length++] = char(0x80 | ((c >> 6) & 0x3F));
            utf8[length++] = char(0x80 | (c & 0x3F));
        }
        if (isLetterMarkOrNumber(c) || (c < 0x80 && keep.contains(QLatin1Char(char(c))))) {
            out.append(utf8, length);
            continue;
        }
        for (int b = 0; b < length; ++b) {
            out += '%';
            out += kHex[(uchar(utf8[b]) >> 4) & 0xF];
            out += kHex[uchar(utf8[b]) & 0xF];
        }
    }
    return out;
}

bool codePointLess(const QString &a, const QString &b)
{
    const QList<uint> ua = a.toUcs4();
    const QList<uint> ub = b.toUcs4();
    return std::lexicographical_compare(ua.cbegin(), ua.cend(), ub.cbegin(), ub.cend());
}

}

APIClient::APIClient(BaseAddress baseAddress, QString searchAddress, QNetworkAccessManager *manager,
                     DiskCache *cache, QObject *parent)
    : QObject(parent)
    , m_baseAddress(std::move(baseAddress))
    , m_searchAddress(std::move(searchAddress))
    , m_manager(manager)
    , m_cache(cache ? cache : DiskCache::shared())
{
}

APIClient::APIClient(QNetworkAccessManager *manager, QObject *parent)
    : APIClient(&APIClient::defaultBaseAddress, defaultSearchAddress(), manager, nullptr, parent)
{
}

APIClient::~APIClient()
{
    if (g_shared == this)
        g_shared = nullptr;
}

APIClient *APIClient::shared()
{
    if (!g_shared) {
        // Only reached when nothing installed a client; it then lives as long as the application.
        auto *manager = new ClientNetwork(QCoreApplication::instance());
        g_shared = new APIClient(manager, QCoreApplication::instance());
    }
    return g_shared;
}

void APIClient::setShared(APIClient *client)
{
    g_shared = client;
}

QString APIClient::defaultBaseAddress()
{
    const QSettings settings;
    const QVariant stored = settings.value(u"baseURL"_s);
    if (stored.isValid())
        return stored.toString();
    return QString::fromUtf8(build::kApiUrl);
}

QString APIClient::defaultSearchAddress()
{
    const QString fromEnvironment = qEnvironmentVariable("TOVRA_SEARCH_URL");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return QString::fromUtf8(build::kSearchUrl);
}

QNetworkDiskCache *APIClient::makeHttpCache(QObject *parent)
{
    const auto folder = httpCacheDir();
    if (!folder)
        return nullptr;
    // Qt would make the folder with whatever the umask allows.
    makePrivateFolder(*folder);
    auto *cache = new HttpCache(kMaxReplyBytes, parent);
    cache->setCacheDirectory(*folder);
    cache->setMaximumCacheSize(kHttpCacheBytes);
    return cache;
}

void APIClient::setTokenProvider(TokenProvider provider)
{
    m_tokenProvider = std::move(provider);
}

// ---- Pipeline ---------------------------------------------------------------------------------

Result<QUrl> APIClient::makeURL(const QString &path, const Params &query) const
{
    QString base = m_baseAddress ? m_baseAddress() : QString();
    if (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    QUrl url(base + QLatin1Char('/') + path, QUrl::StrictMode);
    // The manager would read file:, qrc: or data: addresses as happily as web ones.
    if (!isWebAddress(url))
        return std::unexpected(APIError::badURL());
    if (!query.isEmpty()) {
        // Every byte outside the unreserved set is escaped: "+" left raw would reach the server
        // as a space, and "&", "=", "#" or "%" would cut or garble the value.
        QByteArray encoded;
        for (auto it = query.cbegin(); it != query.cend(); ++it) {
            if (!encoded.isEmpty())
                encoded += '&';
            encoded += QUrl::toPercentEncoding(it.key());
            encoded += '=';
            encoded += QUrl::toPercentEncoding(it.value());
        }
        url.setQuery(QString::fromLatin1(encoded), QUrl::StrictMode);
        if (!url.isValid())
            return std::unexpected(APIError::badURL());
    }
    return url;
}

QNetworkRequest APIClient::apiRequest(const QUrl &url) const
{
    QNetworkRequest request(url);
    // The bearer token goes with every request; a redirect to another origin must not take it.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::SameOriginRedirectPolicy);
    return request;
}

void APIClient::authorize(QNetworkRequest &request) const
{
    if (!m_tokenProvider)
        return;
    // Presence alone decides: an empty token still sends "Bearer ".
    if (const auto token = m_tokenProvider())
        request.setRawHeader(QByteArrayLiteral("Authorization"), QByteArrayLiteral("Bearer ") + token->toUtf8());
}

QCoro::Task<Exchange> APIClient::exchange(QNetworkRequest request, QByteArray verb, QByteArray body)
{
    // The manager's HTTP cache is for images. An API reply answered from it, or revalidated
    // against it, hides what the server said now (an error page after a cached success), and a
    // signed-in user's replies have no business on disk there: the response cache keeps what is
    // worth keeping.
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    co_return co_await transfer(m_manager, std::move(request), std::move(verb), std::move(body), m_limits);
}

void APIClient::forgetSession()
{
    if (auto *network = qobject_cast<ClientNetwork *>(m_manager.data()))
        network->forgetSession();
    else if (m_manager)
        m_manager->setCookieJar(new QNetworkCookieJar);
}

QString APIClient::failureText(const Exchange &reply)
{
    return reply.tooLarge ? tooLargeMessage() : networkMessage(reply.error);
}

void APIClient::invalidate(const QString &path, const Params &query)
{
    if (const QString key = cacheKey(path, query); !key.isEmpty())
        m_cache->remove(key);
}

qint64 APIClient::clearCaches()
{
    QAbstractNetworkCache *http = m_manager ? m_manager->cache() : nullptr;
    qint64 total = m_cache->diskSize();
    if (http)
        total += http->cacheSize();
    m_cache->clear();
    if (http)
        http->clear();
    return total;
}

QString APIClient::cacheKey(const QString &path, const Params &query)
{
    QList<std::pair<QString, QString>> entries;
    for (auto it = query.cbegin(); it != query.cend(); ++it) {
        // "_" is the cache-busting timestamp; it must not split one reply into many entries.
        if (it.key() == QLatin1String("_"))
            continue;
        // The key is written unescaped apart from "/" turning into "_": a "/" anywhere, or a
        // delimiter inside a name or value, would give two different requests one entry (a title
        // page showing another title's stored detail). Such a request is simply not stored.
        const auto splits = [](const QString &text, bool isKey) {
            return text.contains(QLatin1Char('/')) || text.contains(QLatin1Char('&'))
                || (isKey && text.contains(QLatin1Char('=')));
        };
        if (splits(it.key(), true) || splits(it.value(), false))
            return {};
        entries.append({it.key(), it.value()});
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const auto &a, const auto &b) { return codePointLess(a.first, b.first); });
    QString joined;
    for (const auto &[key, value] : entries) {
        if (!joined.isEmpty())
            joined += QLatin1Char('&');
        joined += key + QLatin1Char('=') + value;
    }
    QString text = joined.isEmpty() ? path : path + QLatin1Char('?') + joined;
    text.replace(QLatin1Char('/'), QLatin1Char('_'));
    // A lone surrogate has no UTF-8 form; falling back to a shared key would mix up entries.
    const auto encoded = escapeExceptLetters(text, QLatin1StringView("_-=&?"));
    if (!encoded)
        return {};
    return QString::fromUtf8(*encoded);
}

QString APIClient::networkMessage(QNetworkReply::NetworkError error)
{
    switch (error) {
    // No usable network, or the connection dropped under a transfer.
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::BackgroundRequestNotAllowedError:
        return u"网络未连接，请检查网络"_s;
    // The name did not resolve. A refused connection is not this: the host was found.
    case QNetworkReply::HostNotFoundError:
        return u"连不上服务器，请检查网络连接（或稍后重试）"_s;
    case QNetworkReply::TimeoutError:
        return u"网络超时，请稍后重试"_s;
    default:
        return u"网络连接失败，请检查网络后重试"_s;
    }
}

QByteArray APIClient::formBody(const Params &form)
{
    QByteArray body;
    for (auto it = form.cbegin(); it != form.cend(); ++it) {
        if (it != form.cbegin())
            body += '&';
        body += it.key().toUtf8();
        body += '=';
        body += escapeExceptLetters(it.value(), QLatin1StringView()).value_or(QByteArray());
    }
    return body;
}

}
