#pragma once

#include "models/account.h"
#include "models/apiresponse.h"
#include "models/catalogue.h"
#include "models/community.h"
#include "models/title.h"
#include "network/apierror.h"
#include "network/transfer.h"
#include "network/diskcache.h"

#include <QByteArray>
#include <QCoroTask>
#include <QMap>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>
#include <optional>
#include <type_traits>

class QNetworkAccessManager;
class QNetworkDiskCache;

namespace tovra {

// Query and form parameters: unique keys, sent in the map's own (sorted) order. The cache key
// sorts them again by code point, so no stored entry depends on this order.
//
// GCC 12 miscompiles ("array used as initializer") a braced list built inside a co_await
// expression: build a Params in a local variable first, then pass it.
using Params = QMap<QString, QString>;

// A decoded payload with the envelope's paging block, when the reply had one.
template<class T>
struct Page
{
    T data;
    std::optional<Meta> meta;
};

// The captcha picture as the site sent it. A struct rather than a bare QByteArray: with GCC 12,
// co_awaiting a Task<std::expected<QByteArray, E>> in a debug build fails to compile (the
// expected's comparison operators and QByteArray's conversion from nullptr recurse).
struct CaptchaImage
{
    QByteArray bytes;
};

// The one gateway to the site's JSON API: address building, headers, the reply envelope, the
// Chinese error texts and the response cache. Lives on the main thread; every operation is a
// coroutine that suspends while its request is in flight, so several may run at once and
// finish in any order.
//
// The network manager (and with it the cookie jar that the captcha, the e-mail code and
// registration share) belongs to the caller and must outlive the client. It is a ClientNetwork
// wherever accounts change: any other manager keeps the cookies a late reply brings.
class APIClient : public QObject
{
    Q_OBJECT
public:
    using BaseAddress = std::function<QString()>;
    using TokenProvider = std::function<std::optional<QString>()>;

    // Quiet for this long (no byte sent or received) and a request fails as timed out.
    static constexpr std::chrono::milliseconds kRequestTimeout{20000};
    // However steadily the bytes come, a request that has not finished by then fails as timed out.
    static constexpr std::chrono::milliseconds kRequestDeadline{60000};
    // A reply body beyond this is abandoned, never decoded or stored: every reply the site sends
    // is a few hundred kilobytes at most.
    static constexpr qint64 kMaxReplyBytes = 16LL * 1024 * 1024;
    static constexpr qint64 kHttpCacheBytes = 512LL * 1024 * 1024;

    // baseAddress is asked afresh for every request, so a changed setting applies to the next
    // one. cache: the response cache; none means DiskCache::shared().
    APIClient(BaseAddress baseAddress, QString searchAddress, QNetworkAccessManager *manager,
              DiskCache *cache = nullptr, QObject *parent = nullptr);
    // The production wiring: defaultBaseAddress() and defaultSearchAddress().
    explicit APIClient(QNetworkAccessManager *manager, QObject *parent = nullptr);
    ~APIClient() override;

    // The process-wide client installed by the composition root. If nothing was installed, one
    // is made on first use with a manager of its own.
    static APIClient *shared();
    static void setShared(APIClient *client);

    // The "baseURL" setting as stored, else the built-in API address.
    static QString defaultBaseAddress();
    // TOVRA_SEARCH_URL when set, else the built-in search address; never derived from "baseURL".
    static QString defaultSearchAddress();
    // The manager's HTTP disk cache, 512 MiB in its own folder, keeping no body larger than
    // kMaxReplyBytes; none when there is no folder.
    static QNetworkDiskCache *makeHttpCache(QObject *parent);

    // Asked on the main thread for every request that carries the user's token.
    void setTokenProvider(TokenProvider provider);
    // The token the next request would carry, if any: what a caller keeps to tell later whether
    // the account it asked for is still the one signed in.
    std::optional<QString> currentToken() const { return m_tokenProvider ? m_tokenProvider() : std::nullopt; }
    void setRequestTimeout(std::chrono::milliseconds timeout) { m_limits.idle = timeout; }
    void setRequestDeadline(std::chrono::milliseconds deadline) { m_limits.deadline = deadline; }
    void setMaxReplyBytes(qint64 bytes) { m_limits.maxBodyBytes = bytes; }

    QNetworkAccessManager *manager() const { return m_manager; }
    DiskCache *cache() const { return m_cache; }
    QString searchAddress() const { return m_searchAddress; }

    // ---- The pipeline ------------------------------------------------------------------------

    // base + "/" + path, with the query items escaped so that every name and value reaches the
    // server intact. Only http and https bases are accepted.
    Result<QUrl> makeURL(const QString &path, const Params &query = {}) const;

    // GET path?query and decode the envelope. With cacheable, a successful reply's bytes are
    // stored under cacheKey(path, query) before the call returns.
    template<class T>
    QCoro::Task<Result<Page<T>>> get(QString path, Params query, bool cacheable = false)
    {
        const auto url = makeURL(path, query);
        if (!url)
            co_return std::unexpected(url.error());
        std::optional<QString> key;
        if (cacheable) {
            if (QString stored = cacheKey(path, query); !stored.isEmpty())
                key = std::move(stored);
        }
        co_return co_await send<T>(apiRequest(*url), QByteArray("GET"), QByteArray(), std::move(key));
    }

    // POST a form-encoded body to path; the form never goes into the address and the reply is
    // never cached.
    template<class T>
    QCoro::Task<Result<Page<T>>> post(QString path, Params form)
    {
        const auto url = makeURL(path);
        if (!url)
            co_return std::unexpected(url.error());
        QNetworkRequest request = apiRequest(*url);
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/x-www-form-urlencoded"));
        co_return co_await send<T>(std::move(request), QByteArray("POST"), formBody(form), std::nullopt);
    }

    // The stored reply of get(path, query, true) if it is at most maxAge seconds old, decodes,
    // and is a success with data. Never touches the network.
    template<class T>
    std::optional<Page<T>> cached(const QString &path, const Params &query, double maxAge) const
    {
        const QString key = cacheKey(path, query);
        if (key.isEmpty())
            return std::nullopt;
        const auto bytes = m_cache->loadData(key, maxAge);
        if (!bytes)
            return std::nullopt;
        auto envelope = APIResponse<T>::decode(*bytes);
        if (!envelope || envelope->code != 200 || !envelope->data)
            return std::nullopt;
        return Page<T>{std::move(*envelope->data), std::move(envelope->meta)};
    }

    // A new cookie session for a new account (ClientNetwork::forgetSession()): every cookie the
    // client holds is dropped, and the cookies of a reply to a request sent before this call are
    // never stored. Called before the new account's first request goes out, so none carries the
    // previous account's cookies.
    void forgetSession();

    void invalidate(const QString &path, const Params &query);
    // Empties the response cache and the HTTP disk cache; answers the bytes they held before.
    qint64 clearCaches();

    // path?k=v&... with "_" dropped, keys sorted, "/" turned into "_", and the rest
    // percent-encoded except letters, marks, numbers and "_-=&?". Empty when the query could
    // share its key with another one or has no UTF-8 form ("/" or "&" in a name or value, "=" in
    // a name, a lone surrogate): such a reply is shown but never stored.
    static QString cacheKey(const QString &path, const Params &query);
    // One of the four Chinese messages for a failed transfer.
    static QString networkMessage(QNetworkReply::NetworkError error);
    // key=value&...: keys as they are, values escaped except letters, marks and numbers.
    static QByteArray formBody(const Params &form);

    // ---- Endpoints ---------------------------------------------------------------------------

    QCoro::Task<Result<HomeData>> home();
    std::optional<HomeData> cachedHome() const;
    QCoro::Task<Result<ItemDetail>> item(QString did);
    std::optional<ItemDetail> cachedItem(const QString &did) const;
    QCoro::Task<Result<TorrentDetail>> torrent(QString did, qint64 index);
    // Also drops the title's stored detail once the resource came back, so the title page
    // reloads it; a failure leaves the stored detail alone.
    QCoro::Task<Result<TorrentRes>> res(QString did, qint64 index, qint64 type);
    QCoro::Task<Result<Page<QList<Item>>>> search(QString keyword, qint64 page);
    // The search service, without the user's token. Failures other than a refused request are
    // the stack's own transport errors; an unreadable reply is no suggestions.
    QCoro::Task<Result<QList<SuggestItem>>> suggest(QString text);
    QCoro::Task<Result<Page<QList<Item>>>> top250(qint64 page);
    std::optional<Page<QList<Item>>> cachedTop250(qint64 page) const;
    // params plus "page", which replaces a "page" entry of params.
    QCoro::Task<Result<Page<QList<Item>>>> filter(Params params, qint64 page);
    std::optional<Page<QList<Item>>> cachedFilter(const Params &params, qint64 page) const;
    QCoro::Task<Result<QList<Tag>>> tags(std::optional<qint64> pid);
    QCoro::Task<Result<QList<NavItem>>> nav();
    QCoro::Task<Result<FilterOptions>> filterOptions();
    QCoro::Task<Result<QList<RankItem>>> ranking();
    std::optional<QList<RankItem>> cachedRanking() const;
    QCoro::Task<Result<LoginResult>> login(QString account, QString password);
    QCoro::Task<Result<User>> me();
    QCoro::Task<Result<WebCookie>> webCookie();
    QCoro::Task<Result<Page<QList<BbsPost>>>> bbsList(QString filter, qint64 page);
    // The site has no single-post endpoint; the board works from its list.
    QCoro::Task<Result<BbsPost>> bbsItem(QString did);
    QCoro::Task<Result<BbsLikeResult>> bbsLike(QString did, QString action);
    QCoro::Task<Result<SignStatus>> signStatus();
    // The daily sign-in: "api/sign" with an empty form.
    QCoro::Task<Result<SignResult>> sign();
    QCoro::Task<Result<Page<QList<GoldLog>>>> goldLog(qint64 page);
    QCoro::Task<Result<QList<WatchingItem>>> watching();
    QCoro::Task<Result<ExchangeResult>> exchangeVIP(qint64 bt);
    QCoro::Task<Result<void>> updateNickname(QString nickname, QString code);
    // A playback position report to "api/progress"; failures are dropped.
    QCoro::Task<void> reportProgress(QString did, qint64 ep, qint64 pos, qint64 duration);
    QCoro::Task<Result<MessageData>> messages(QString tab, QString type, qint64 page);
    QCoro::Task<Result<UnreadCount>> unread();
    // Reads a local image file and uploads it like uploadPhoto(data, ...).
    QCoro::Task<Result<QString>> uploadPhoto(QUrl fileURL);
    // The avatar upload: one multipart part named "image". Answers the new photo's address.
    QCoro::Task<Result<QString>> uploadPhoto(QByteArray data, QString filename, QString mime);
    // The picture captcha, always fetched afresh and without the client's headers.
    QCoro::Task<Result<CaptchaImage>> captcha(qint64 scale);
    QCoro::Task<Result<void>> checkCaptcha(QString code, QString email, QString action);
    QCoro::Task<Result<void>> sendEmailCode(QString email);
    // "register" is a C++ keyword.
    QCoro::Task<Result<LoginResult>> registerAccount(QString email, QString code, QString password);
    QCoro::Task<Result<void>> resetPassword(QString email, QString code, QString password);
    QCoro::Task<Result<UpdateInfo>> checkUpdate(qint64 build);
    QCoro::Task<Result<PlayAuth>> playAuth(QString did, QString token, qint64 expired);

private:
    QNetworkRequest apiRequest(const QUrl &url) const;
    // "Accept" and, when there is a token, "Authorization".
    void authorize(QNetworkRequest &request) const;
    QCoro::Task<Exchange> exchange(QNetworkRequest request, QByteArray verb, QByteArray body);
    // The Chinese text of a failed transfer.
    static QString failureText(const Exchange &reply);

    template<class T>
    QCoro::Task<Result<Page<T>>> send(QNetworkRequest request, QByteArray verb, QByteArray body,
                                      std::optional<QString> key)
    {
        request.setRawHeader(QByteArrayLiteral("Accept"), QByteArrayLiteral("application/json"));
        authorize(request);
        const Exchange reply = co_await exchange(std::move(request), std::move(verb), std::move(body));
        if (reply.failed)
            co_return std::unexpected(APIError::transport(failureText(reply)));
        co_return accept<T>(reply.body, key);
    }

    // The envelope's success rule; stores the bytes under key when they are a success with data.
    template<class T>
    Result<Page<T>> accept(const QByteArray &body, const std::optional<QString> &key)
    {
        auto envelope = APIResponse<T>::decode(body);
        if (!envelope)
            return std::unexpected(APIError::decoding(envelope.error().description));
        if (envelope->code != 200)
            return std::unexpected(APIError::server(envelope->code, envelope->message));
        if (!envelope->data) {
            if constexpr (std::is_same_v<T, Empty>)
                return Page<T>{Empty{}, std::move(envelope->meta)};
            else
                return std::unexpected(APIError::emptyData());
        }
        if (key)
            m_cache->saveData(body, *key);
        return Page<T>{std::move(*envelope->data), std::move(envelope->meta)};
    }

    template<class T>
    static Result<T> dataOf(Result<Page<T>> &&page)
    {
        if (!page)
            return std::unexpected(std::move(page.error()));
        return std::move(page->data);
    }
    static Result<void> done(const Result<Page<Empty>> &page)
    {
        if (!page)
            return std::unexpected(page.error());
        return {};
    }

    BaseAddress m_baseAddress;
    QString m_searchAddress;
    QPointer<QNetworkAccessManager> m_manager;
    DiskCache *m_cache = nullptr;
    TokenProvider m_tokenProvider;
    TransferLimits m_limits{kRequestTimeout, kRequestDeadline, kMaxReplyBytes};
};

}
