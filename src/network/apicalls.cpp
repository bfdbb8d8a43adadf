// The catalogue of the site's calls: each names its path, its parameters and how long its cached
// answer may stand in. How a call travels (address, authorisation, limits, decoding, the response
// cache) is the pipeline's, in apiclient.cpp and apiclient.h.
#include "network/apiclient.h"

#include "models/webaddress.h"

#include <QCoroNetworkReply>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMimeDatabase>
#include <QUuid>

using namespace Qt::StringLiterals;

namespace tovra {

namespace {
QString number(qint64 value)
{
    return QString::number(value);
}

constexpr double kShortAge = 600;
constexpr double kTop250Age = 3600;
}

QCoro::Task<Result<HomeData>> APIClient::home()
{
    co_return dataOf(co_await get<HomeData>(u"api/index"_s, {}, true));
}

std::optional<HomeData> APIClient::cachedHome() const
{
    auto page = cached<HomeData>(u"api/index"_s, {}, kShortAge);
    if (!page)
        return std::nullopt;
    return std::move(page->data);
}

QCoro::Task<Result<ItemDetail>> APIClient::item(QString did)
{
    const Params query{{u"did"_s, did}};
    co_return dataOf(co_await get<ItemDetail>(u"api/item"_s, query, true));
}

std::optional<ItemDetail> APIClient::cachedItem(const QString &did) const
{
    auto page = cached<ItemDetail>(u"api/item"_s, {{u"did"_s, did}}, kShortAge);
    if (!page)
        return std::nullopt;
    return std::move(page->data);
}

QCoro::Task<Result<TorrentDetail>> APIClient::torrent(QString did, qint64 index)
{
    const Params query{{u"did"_s, did}, {u"n"_s, number(index)}};
    co_return dataOf(co_await get<TorrentDetail>(u"api/down"_s, query));
}

QCoro::Task<Result<TorrentRes>> APIClient::res(QString did, qint64 index, qint64 type)
{
    const Params query{{u"did"_s, did}, {u"n"_s, number(index)}, {u"type"_s, number(type)}};
    auto page = co_await get<TorrentRes>(u"api/res"_s, query);
    if (!page)
        co_return std::unexpected(std::move(page.error()));
    // Fetching a resource can change what the title page shows (paid torrents, coins).
    invalidate(u"api/item"_s, {{u"did"_s, did}});
    co_return std::move(page->data);
}

QCoro::Task<Result<Page<QList<Item>>>> APIClient::search(QString keyword, qint64 page)
{
    const Params query{{u"q"_s, keyword}, {u"page"_s, number(page)}};
    co_return co_await get<QList<Item>>(u"api/search"_s, query);
}

QCoro::Task<Result<QList<SuggestItem>>> APIClient::suggest(QString text)
{
    const QUrl url(m_searchAddress, QUrl::StrictMode);
    if (!isWebAddress(url))
        co_return std::unexpected(APIError::badURL());
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    const QJsonObject body{
        {u"q"_s, text},
        {u"limit"_s, 10},
        {u"attributesToHighlight"_s, QJsonArray{u"title"_s, u"stars"_s}},
        {u"highlightPreTag"_s, u"<b>"_s},
        {u"highlightPostTag"_s, u"</b>"_s},
    };
    const Exchange reply = co_await exchange(std::move(request), QByteArray("POST"),
                                             QJsonDocument(body).toJson(QJsonDocument::Compact));
    if (reply.failed)
        co_return std::unexpected(APIError::transport(reply.platformText));
    if (reply.status != 0 && (reply.status < 200 || reply.status > 299))
        co_return std::unexpected(APIError::server(reply.status, u"搜索建议请求失败"_s));
    // Suggestions are an extra: anything unreadable is simply none.
    const QJsonDocument document = QJsonDocument::fromJson(reply.body);
    if (!document.isObject())
        co_return QList<SuggestItem>();
    const QJsonObject object = document.object();
    const auto hits = object.constFind(u"hits"_s);
    if (hits == object.constEnd())
        co_return QList<SuggestItem>();
    auto items = readJson<QList<SuggestItem>>(QJsonValue(*hits));
    if (!items)
        co_return QList<SuggestItem>();
    co_return std::move(*items);
}

QCoro::Task<Result<Page<QList<Item>>>> APIClient::top250(qint64 page)
{
    const Params query{{u"page"_s, number(page)}};
    co_return co_await get<QList<Item>>(u"api/top250"_s, query, true);
}

std::optional<Page<QList<Item>>> APIClient::cachedTop250(qint64 page) const
{
    return cached<QList<Item>>(u"api/top250"_s, {{u"page"_s, number(page)}}, kTop250Age);
}

QCoro::Task<Result<Page<QList<Item>>>> APIClient::filter(Params params, qint64 page)
{
    params.insert(u"page"_s, number(page));
    co_return co_await get<QList<Item>>(u"api/filter"_s, params, true);
}

std::optional<Page<QList<Item>>> APIClient::cachedFilter(const Params &params, qint64 page) const
{
    Params query = params;
    query.insert(u"page"_s, number(page));
    return cached<QList<Item>>(u"api/filter"_s, query, kShortAge);
}

QCoro::Task<Result<QList<Tag>>> APIClient::tags(std::optional<qint64> pid)
{
    Params query;
    if (pid)
        query.insert(u"pid"_s, number(*pid));
    co_return dataOf(co_await get<QList<Tag>>(u"api/tags"_s, query));
}

QCoro::Task<Result<QList<NavItem>>> APIClient::nav()
{
    co_return dataOf(co_await get<QList<NavItem>>(u"api/nav"_s, {}));
}

QCoro::Task<Result<FilterOptions>> APIClient::filterOptions()
{
    co_return dataOf(co_await get<FilterOptions>(u"api/filter_options"_s, {}));
}

QCoro::Task<Result<QList<RankItem>>> APIClient::ranking()
{
    co_return dataOf(co_await get<QList<RankItem>>(u"api/ranking"_s, {}, true));
}

std::optional<QList<RankItem>> APIClient::cachedRanking() const
{
    auto page = cached<QList<RankItem>>(u"api/ranking"_s, {}, kShortAge);
    if (!page)
        return std::nullopt;
    return std::move(page->data);
}

QCoro::Task<Result<LoginResult>> APIClient::login(QString account, QString password)
{
    const Params form{{u"mobile_email"_s, account}, {u"password"_s, password}};
    co_return dataOf(co_await post<LoginResult>(u"api/login"_s, form));
}

QCoro::Task<Result<User>> APIClient::me()
{
    co_return dataOf(co_await get<User>(u"api/me"_s, {}));
}

QCoro::Task<Result<WebCookie>> APIClient::webCookie()
{
    co_return dataOf(co_await get<WebCookie>(u"api/web_cookie"_s, {}));
}

QCoro::Task<Result<Page<QList<BbsPost>>>> APIClient::bbsList(QString filter, qint64 page)
{
    Params query{{u"page"_s, number(page)}};
    if (!filter.isEmpty())
        query.insert(u"filter"_s, filter);
    co_return co_await get<QList<BbsPost>>(u"api/bbs_list"_s, query);
}

QCoro::Task<Result<BbsPost>> APIClient::bbsItem(QString did)
{
    Q_UNUSED(did);
    co_return std::unexpected(APIError::emptyData());
}

QCoro::Task<Result<BbsLikeResult>> APIClient::bbsLike(QString did, QString action)
{
    const Params form{{u"did"_s, did}, {u"action"_s, action}};
    co_return dataOf(co_await post<BbsLikeResult>(u"api/bbs_like"_s, form));
}

QCoro::Task<Result<SignStatus>> APIClient::signStatus()
{
    co_return dataOf(co_await get<SignStatus>(u"api/sign_status"_s, {}));
}

QCoro::Task<Result<SignResult>> APIClient::sign()
{
    co_return dataOf(co_await post<SignResult>(u"api/sign"_s, {}));
}

QCoro::Task<Result<Page<QList<GoldLog>>>> APIClient::goldLog(qint64 page)
{
    const Params query{{u"page"_s, number(page)}};
    co_return co_await get<QList<GoldLog>>(u"api/gold_log"_s, query);
}

QCoro::Task<Result<QList<WatchingItem>>> APIClient::watching()
{
    co_return dataOf(co_await get<QList<WatchingItem>>(u"api/watching"_s, {}));
}

QCoro::Task<Result<ExchangeResult>> APIClient::exchangeVIP(qint64 bt)
{
    const Params form{{u"bt"_s, number(bt)}};
    co_return dataOf(co_await post<ExchangeResult>(u"api/vip_exchange"_s, form));
}

QCoro::Task<Result<void>> APIClient::updateNickname(QString nickname, QString code)
{
    const Params form{{u"nickname"_s, nickname}, {u"code"_s, code}};
    co_return done(co_await post<Empty>(u"api/nickname"_s, form));
}

QCoro::Task<void> APIClient::reportProgress(QString did, qint64 ep, qint64 pos, qint64 duration)
{
    const Params form{{u"did"_s, did}, {u"ep"_s, number(ep)}, {u"pos"_s, number(pos)}, {u"duration"_s, number(duration)}};
    co_await post<Empty>(u"api/progress"_s, form);
}

QCoro::Task<Result<MessageData>> APIClient::messages(QString tab, QString type, qint64 page)
{
    const Params query{{u"tab"_s, tab}, {u"type"_s, type}, {u"page"_s, number(page)}};
    auto reply = co_await get<MessageData>(u"api/messages"_s, query);
    co_return dataOf(std::move(reply));
}

QCoro::Task<Result<UnreadCount>> APIClient::unread()
{
    co_return dataOf(co_await get<UnreadCount>(u"api/unread"_s, {}));
}

QCoro::Task<Result<QString>> APIClient::uploadPhoto(QUrl fileURL)
{
    if (!fileURL.isLocalFile())
        co_return std::unexpected(APIError::badURL());
    const QString path = fileURL.toLocalFile();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        co_return std::unexpected(APIError::transport(u"无法读取图片文件"_s));
    const QByteArray data = file.readAll();
    const QString mime = QMimeDatabase().mimeTypeForFile(path).name();
    co_return co_await uploadPhoto(data, QFileInfo(path).fileName(), mime);
}

QCoro::Task<Result<QString>> APIClient::uploadPhoto(QByteArray data, QString filename, QString mime)
{
    // Both go into part headers as they are: a line break or a quote would let the caller (or a
    // file name from disk) write headers or parts of its own.
    const auto unsafe = [](const QString &text) {
        return text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('"'));
    };
    if (unsafe(filename) || unsafe(mime))
        // Our own refusal: no server answered, so no code goes after the text.
        co_return std::unexpected(APIError::transport(u"图片的文件名或类型不合法"_s));

    const QByteArray boundary = "Boundary-" + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().toLatin1();
    const auto url = makeURL(u"api/photo_upload"_s);
    if (!url)
        co_return std::unexpected(url.error());
    QNetworkRequest request = apiRequest(*url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("multipart/form-data; boundary=" + boundary));
    request.setRawHeader(QByteArrayLiteral("Accept"), QByteArrayLiteral("application/json"));
    authorize(request);

    QByteArray body;
    body.reserve(data.size() + 256);
    body += "--" + boundary + "\r\n";
    body += "Content-Disposition: form-data; name=\"image\"; filename=\"" + filename.toUtf8() + "\"\r\n";
    body += "Content-Type: " + mime.toUtf8() + "\r\n\r\n";
    body += data;
    body += "\r\n--" + boundary + "--\r\n";

    const Exchange reply = co_await exchange(std::move(request), QByteArray("POST"), std::move(body));
    if (reply.failed)
        co_return std::unexpected(APIError::transport(failureText(reply)));
    auto envelope = APIResponse<PhotoResult>::decode(reply.body);
    if (!envelope)
        co_return std::unexpected(APIError::decoding(envelope.error().description));
    if (envelope->code != 200 || !envelope->data)
        co_return std::unexpected(APIError::server(envelope->code, envelope->message));
    co_return envelope->data->photoURL;
}

QCoro::Task<Result<CaptchaImage>> APIClient::captcha(qint64 scale)
{
    // "_" changes every second so that consecutive captchas have different addresses.
    const auto url = makeURL(u"api/captcha"_s,
                             {{u"_"_s, number(QDateTime::currentSecsSinceEpoch())},
                              {u"scale"_s, number(scale)}});
    if (!url)
        co_return std::unexpected(url.error());
    QNetworkRequest request(*url);
    const Exchange reply = co_await exchange(std::move(request), QByteArray("GET"), QByteArray());
    if (reply.failed)
        co_return std::unexpected(APIError::transport(failureText(reply)));
    if (reply.status == 200 && !reply.body.isEmpty())
        co_return CaptchaImage{reply.body};
    co_return std::unexpected(APIError::server(reply.status, u"验证码获取失败"_s));
}

QCoro::Task<Result<void>> APIClient::checkCaptcha(QString code, QString email, QString action)
{
    const Params form{{u"code"_s, code}, {u"email"_s, email}, {u"action"_s, action}};
    co_return done(co_await post<Empty>(u"api/check_captcha"_s, form));
}

QCoro::Task<Result<void>> APIClient::sendEmailCode(QString email)
{
    const Params form{{u"email"_s, email}};
    co_return done(co_await post<Empty>(u"api/send_email_code"_s, form));
}

QCoro::Task<Result<LoginResult>> APIClient::registerAccount(QString email, QString code, QString password)
{
    const Params form{{u"email"_s, email}, {u"code"_s, code}, {u"password"_s, password}};
    co_return dataOf(co_await post<LoginResult>(u"api/register"_s, form));
}

QCoro::Task<Result<void>> APIClient::resetPassword(QString email, QString code, QString password)
{
    const Params form{{u"email"_s, email}, {u"code"_s, code}, {u"password"_s, password}};
    co_return done(co_await post<Empty>(u"api/resetpwd"_s, form));
}

QCoro::Task<Result<UpdateInfo>> APIClient::checkUpdate(qint64 build)
{
    const Params query{{u"platform"_s, u"linux"_s}, {u"build"_s, number(build)}};
    co_return dataOf(co_await get<UpdateInfo>(u"api/update"_s, query));
}

QCoro::Task<Result<PlayAuth>> APIClient::playAuth(QString did, QString token, qint64 expired)
{
    const Params query{{u"did"_s, did}, {u"token"_s, token}, {u"expired"_s, number(expired)}, {u"format"_s, u"json"_s}};
    co_return dataOf(co_await get<PlayAuth>(u"user/requestmpd"_s, query));
}

}
