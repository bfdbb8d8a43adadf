#include "sampleserver.h"
#include "mediasite.h"
#include "posterpainter.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QHostAddress>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QBuffer>
#include <QImage>
#include <QJsonDocument>
#include <QPainter>
#include <QRandomGenerator>
#include <QUrlQuery>
#include <QUuid>

namespace tovra::samplesite {

namespace {

const char *methodName(QHttpServerRequest::Method method)
{
    switch (method) {
    case QHttpServerRequest::Method::Get: return "GET";
    case QHttpServerRequest::Method::Post: return "POST";
    case QHttpServerRequest::Method::Head: return "HEAD";
    default: return "OTHER";
    }
}

void logRequest(const QHttpServerRequest &request)
{
    qInfo().noquote() << "[samplesite]" << methodName(request.method())
                      << request.url().toString(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::PrettyDecoded);
}

QJsonObject pageJson(const Page &page)
{
    return page.meta;
}

// The community board: a fixed run of posts about catalogue titles, cycling through text,
// picture and torrent posts. Only those three kinds exist, so the video and audio filters show
// the empty board.
constexpr int kBbsPostCount = 45;
constexpr int kBbsPageSize = 10;

QString bbsKind(int number)
{
    static const QStringList kinds = {QStringLiteral("image"), QStringLiteral("torrent"), QStringLiteral("text")};
    return kinds.at(number % kinds.size());
}

const QByteArray kCaptchaCookie = "tovra_captcha";

// Four characters that cannot be mistaken for one another, drawn over noise at the asked scale.
QByteArray captchaPng(const QString &text, int scale)
{
    QImage image(96 * scale, 36 * scale, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(0xEE, 0xF3, 0xF0));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(scale, scale);
    QRandomGenerator *random = QRandomGenerator::global();
    for (int i = 0; i < 6; ++i) {
        painter.setPen(QPen(QColor::fromHsv(random->bounded(360), 90, 190), 1));
        painter.drawLine(QPointF(random->bounded(96), random->bounded(36)), QPointF(random->bounded(96), random->bounded(36)));
    }
    QFont font;
    font.setPixelSize(22);
    font.setBold(true);
    painter.setFont(font);
    for (int i = 0; i < text.size(); ++i) {
        painter.save();
        painter.translate(12 + i * 20, 27);
        painter.rotate(random->bounded(30) - 15);
        painter.setPen(QColor::fromHsv(random->bounded(360), 200, 120));
        painter.drawText(QPointF(0, 0), text.mid(i, 1));
        painter.restore();
    }
    painter.end();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

}

SampleServer::SampleServer() = default;
SampleServer::~SampleServer() = default;

quint16 SampleServer::listen(quint16 port)
{
    const quint16 chosen = m_server.listen(QHostAddress::LocalHost, port);
    if (chosen == 0)
        return 0;
    m_base = QStringLiteral("http://127.0.0.1:%1").arg(chosen);
    m_catalogue = std::make_unique<Catalogue>(m_base, QDate::currentDate());
    // Routes go in after the catalogue exists; nothing is served before the event loop runs.
    registerRoutes();
    return chosen;
}

void SampleServer::get(const QString &path, Endpoint endpoint)
{
    m_server.route(path, QHttpServerRequest::Method::Get, [this, endpoint](const QHttpServerRequest &request) {
        logRequest(request);
        return (this->*endpoint)(request);
    });
}

void SampleServer::post(const QString &path, Endpoint endpoint)
{
    m_server.route(path, QHttpServerRequest::Method::Post, [this, endpoint](const QHttpServerRequest &request) {
        logRequest(request);
        return (this->*endpoint)(request);
    });
}

void SampleServer::registerRoutes()
{
    get("/api/nav", &SampleServer::apiNav);
    get("/api/index", &SampleServer::apiIndex);
    get("/api/ranking", &SampleServer::apiRanking);
    get("/api/top250", &SampleServer::apiTop250);
    get("/api/filter_options", &SampleServer::apiFilterOptions);
    get("/api/tags", &SampleServer::apiTags);
    get("/api/filter", &SampleServer::apiFilter);
    get("/api/search", &SampleServer::apiSearch);
    post("/index", &SampleServer::searchService);

    get("/api/item", &SampleServer::apiItem);
    get("/api/down", &SampleServer::apiDown);
    get("/api/res", &SampleServer::apiRes);

    post("/api/login", &SampleServer::apiLogin);
    get("/api/me", &SampleServer::apiMe);
    get("/api/sign_status", &SampleServer::apiSignStatus);
    post("/api/sign", &SampleServer::apiSign);
    get("/api/unread", &SampleServer::apiUnread);
    get("/api/web_cookie", &SampleServer::apiWebCookie);
    registerAccountRoutes();
    get("/api/captcha", &SampleServer::apiCaptcha);
    post("/api/check_captcha", &SampleServer::apiCheckCaptcha);
    post("/api/send_email_code", &SampleServer::apiSendEmailCode);
    post("/api/register", &SampleServer::apiRegister);
    post("/api/resetpwd", &SampleServer::apiResetPwd);

    get("/api/bbs_list", &SampleServer::apiBbsList);
    post("/api/bbs_like", &SampleServer::apiBbsLike);

    post("/api/client_report", &SampleServer::apiClientReport);
    get("/api/update", &SampleServer::apiUpdate);
    get("/files/update.zip", &SampleServer::updateArchive);

    m_server.route("/posters/<arg>.jpg", QHttpServerRequest::Method::Get, [this](int number) { return poster(number); });
    m_server.route("/avatars/<arg>.png", QHttpServerRequest::Method::Get, [this](int number) { return avatar(number); });
    m_server.route("/torrents/<arg>.torrent", QHttpServerRequest::Method::Get,
                   [this](const QString &name) { return torrentFile(name); });
    m_server.route("/web/<arg>", QHttpServerRequest::Method::Get, [this](const QString &name) { return webPage(name); });
    m_server.route("/ranking", QHttpServerRequest::Method::Get, [this] { return webPage(QStringLiteral("ranking")); });
    m_server.route("/top250", QHttpServerRequest::Method::Get, [this] { return webPage(QStringLiteral("top250")); });

    m_media = std::make_unique<MediaSite>(m_base);
    m_media->registerOn(m_server);

    m_server.setMissingHandler([](const QHttpServerRequest &request, QHttpServerResponder &&responder) {
        logRequest(request);
        const QJsonObject body{{"code", 404}, {"message", QStringLiteral("接口不存在")}};
        responder.write(QJsonDocument(body), QHttpServerResponder::StatusCode::NotFound);
    });
}

QHttpServerResponse SampleServer::ok(const QJsonValue &data, const QJsonObject &meta)
{
    QJsonObject envelope{{"code", 200}, {"message", "ok"}};
    if (!data.isUndefined())
        envelope.insert("data", data);
    if (!meta.isEmpty())
        envelope.insert("meta", meta);
    return QHttpServerResponse(envelope);
}

QHttpServerResponse SampleServer::fail(int code, const QString &message)
{
    return QHttpServerResponse(QJsonObject{{"code", code}, {"message", message}});
}

QString SampleServer::formValue(const QHttpServerRequest &request, const QString &key)
{
    QByteArray body = request.body();
    body.replace('+', "%20");
    return QUrlQuery(QString::fromUtf8(body)).queryItemValue(key, QUrl::FullyDecoded);
}

int SampleServer::pageOf(const QHttpServerRequest &request)
{
    return std::max(1, request.query().queryItemValue(QStringLiteral("page")).toInt());
}

SampleServer::Account *SampleServer::accountFor(const QHttpServerRequest &request)
{
    const QByteArray header = request.value("Authorization");
    if (!header.startsWith("Bearer "))
        return nullptr;
    const QString token = QString::fromUtf8(header.mid(7)).trimmed();
    if (auto it = m_accounts.find(token); it != m_accounts.end())
        return &*it;
    // A token this site handed out before a restart still counts: tokens are derived from the
    // account name, so a client profile outlives the site process.
    if (!token.startsWith(QLatin1String("sample-")))
        return nullptr;
    Account account;
    account.uid = QString::number(10000 + qHash(token) % 90000);
    account.nickname = QStringLiteral("影迷%1").arg(account.uid);
    return &*m_accounts.insert(token, account);
}

QJsonObject SampleServer::userJson(const Account &account) const
{
    const QString photo = account.photo.isEmpty() ? QStringLiteral("/avatars/%1.png").arg(account.uid.toInt() % 50)
                                                  : QStringLiteral("/uploads/") + photoName(account);
    return QJsonObject{{"uid", account.uid},
                       {"nickname", account.nickname},
                       {"gold", account.gold},
                       {"vip_level", 1},
                       {"vip_expired", vipExpiredOf(account)},
                       {"is_vip", true},
                       {"photo", m_base + photo}};
}

// --- Catalogue ---------------------------------------------------------------------------

QHttpServerResponse SampleServer::apiNav(const QHttpServerRequest &)
{
    return ok(m_catalogue->nav());
}

QHttpServerResponse SampleServer::apiIndex(const QHttpServerRequest &)
{
    return ok(m_catalogue->home());
}

QHttpServerResponse SampleServer::apiRanking(const QHttpServerRequest &)
{
    return ok(m_catalogue->ranking());
}

QHttpServerResponse SampleServer::apiTop250(const QHttpServerRequest &request)
{
    const Page page = m_catalogue->top250(pageOf(request));
    return ok(page.data, pageJson(page));
}

QHttpServerResponse SampleServer::apiFilterOptions(const QHttpServerRequest &)
{
    return ok(m_catalogue->filterOptions());
}

QHttpServerResponse SampleServer::apiTags(const QHttpServerRequest &request)
{
    return ok(m_catalogue->tags(request.query().queryItemValue(QStringLiteral("pid")).toInt()));
}

QHttpServerResponse SampleServer::apiFilter(const QHttpServerRequest &request)
{
    QMap<QString, QString> params;
    for (const auto &[key, value] : request.query().queryItems(QUrl::FullyDecoded))
        params.insert(key, value);
    const Page page = m_catalogue->filter(params, pageOf(request));
    return ok(page.data, pageJson(page));
}

QHttpServerResponse SampleServer::apiSearch(const QHttpServerRequest &request)
{
    const QString query = request.query().queryItemValue(QStringLiteral("q"), QUrl::FullyDecoded);
    const Page page = m_catalogue->search(query, pageOf(request));
    return ok(page.data, pageJson(page));
}

// The full-text search service: its own JSON in and out, no envelope.
QHttpServerResponse SampleServer::searchService(const QHttpServerRequest &request)
{
    QJsonParseError error;
    const QJsonObject body = QJsonDocument::fromJson(request.body(), &error).object();
    if (error.error != QJsonParseError::NoError)
        return QHttpServerResponse(QJsonObject{{"message", "invalid json"}}, QHttpServerResponder::StatusCode::BadRequest);
    const QString query = body.value("q").toString();
    const int limit = std::clamp(body.value("limit").toInt(20), 1, 100);
    const QJsonArray hits = m_catalogue->suggest(query, limit);
    return QHttpServerResponse(QJsonObject{{"hits", hits}, {"query", query}, {"limit", limit},
                                           {"estimatedTotalHits", hits.size()}, {"processingTimeMs", 1}});
}

// --- Titles and torrents -----------------------------------------------------------------

QHttpServerResponse SampleServer::apiItem(const QHttpServerRequest &request)
{
    const Title *title = m_catalogue->find(request.query().queryItemValue(QStringLiteral("did")));
    if (!title)
        return fail(404, QStringLiteral("影片不存在或已下架"));
    return ok(m_catalogue->item(*title));
}

QHttpServerResponse SampleServer::apiDown(const QHttpServerRequest &request)
{
    const QUrlQuery query = request.query();
    const Title *title = m_catalogue->find(query.queryItemValue(QStringLiteral("did")));
    const int index = query.queryItemValue(QStringLiteral("n")).toInt();
    if (!title || index < 0 || index >= title->torrentCount)
        return fail(404, QStringLiteral("种子不存在"));
    return ok(m_catalogue->torrentDetail(*title, index));
}

QHttpServerResponse SampleServer::apiRes(const QHttpServerRequest &request)
{
    const QUrlQuery query = request.query();
    const Title *title = m_catalogue->find(query.queryItemValue(QStringLiteral("did")));
    const int index = query.queryItemValue(QStringLiteral("n")).toInt();
    if (!title || index < 0 || index >= title->torrentCount)
        return fail(404, QStringLiteral("种子不存在"));
    return ok(m_catalogue->torrentRes(*title, index));
}

// --- Community board -----------------------------------------------------------------------

QHttpServerResponse SampleServer::apiBbsList(const QHttpServerRequest &request)
{
    static const QStringList lines = {QStringLiteral("周末补了这部，结尾真的没想到。"),
                                      QStringLiteral("求同款高清资源，有的朋友分享一下～"),
                                      QStringLiteral("配乐太好听了，单曲循环一整天"), QString()};
    const QString filter = request.query().queryItemValue(QStringLiteral("filter"));
    const QList<Title> &titles = m_catalogue->titles();
    QJsonArray matching;
    for (int i = 0; i < kBbsPostCount && !titles.isEmpty(); ++i) {
        const QString kind = bbsKind(i);
        if (!filter.isEmpty() && filter != kind)
            continue;
        const Title &title = titles.at((i * 7) % titles.size());
        const QString did = QStringLiteral("bbs%1").arg(i + 1);
        const bool liked = m_likedPosts.value(did);
        QJsonObject post{{"did", did},
                         {"uid", QString::number(1000 + i)},
                         {"nickname", QStringLiteral("影迷%1号").arg(1000 + i)},
                         {"photo", m_base + QStringLiteral("/avatars/%1.png").arg(i % 50)},
                         {"content", kind == u"text" ? title.title + QStringLiteral("：") + title.synopsis
                                                     : lines.at(i % lines.size())},
                         {"created", QDateTime::currentSecsSinceEpoch() - i * 3600},
                         {"comments_num", (i * 13) % 90},
                         {"likes_num", (i * 37) % 200 + (liked ? 1 : 0)},
                         {"liked", liked}};
        if (kind == u"image")
            post.insert("images", QJsonArray{m_catalogue->posterUrl(title.number)});
        if (kind == u"torrent") {
            QJsonArray torrents;
            for (int n = 0; n < std::max(1, std::min(title.torrentCount, 3)); ++n)
                torrents.append(QJsonObject{
                    {"url", n == 0 ? QStringLiteral("magnet:?xt=urn:btih:%1").arg(title.did)
                                   : m_base + QStringLiteral("/torrents/%1-%2.torrent").arg(title.did).arg(n)},
                    {"name", QStringLiteral("%1.%2.%3.mkv").arg(title.title).arg(title.year).arg(n == 1 ? "2160p" : "1080p")}});
            post.insert("torrents", torrents);
        }
        matching.append(post);
    }
    const int page = pageOf(request);
    const int pages = std::max<int>(1, (matching.size() + kBbsPageSize - 1) / kBbsPageSize);
    QJsonArray data;
    for (qsizetype i = qsizetype(page - 1) * kBbsPageSize; i < matching.size() && i < qsizetype(page) * kBbsPageSize; ++i)
        data.append(matching.at(i));
    const QJsonObject meta{{"page", page}, {"limit", kBbsPageSize}, {"total", matching.size()},
                           {"pages", pages}, {"has_more", page < pages}};
    return ok(data, meta);
}

QHttpServerResponse SampleServer::apiBbsLike(const QHttpServerRequest &request)
{
    const QString did = formValue(request, QStringLiteral("did"));
    const int number = did.mid(3).toInt();
    if (!did.startsWith(u"bbs") || number < 1 || number > kBbsPostCount)
        return fail(404, QStringLiteral("帖子不存在"));
    const QString action = formValue(request, QStringLiteral("action"));
    if (action != u"like" && action != u"unlike")
        return fail(400, QStringLiteral("参数错误"));
    const bool liked = action == u"like";
    m_likedPosts.insert(did, liked);
    return ok(QJsonObject{{"did", did}, {"liked", liked}, {"likes_num", ((number - 1) * 37) % 200 + (liked ? 1 : 0)}});
}

// --- Account -----------------------------------------------------------------------------

// Any account and password sign in, except the password "wrong", which lets the error path be
// tried by hand.
QHttpServerResponse SampleServer::apiLogin(const QHttpServerRequest &request)
{
    const QString account = formValue(request, QStringLiteral("mobile_email"));
    const QString password = formValue(request, QStringLiteral("password"));
    if (account.trimmed().isEmpty() || password.isEmpty())
        return fail(400, QStringLiteral("请输入账号和密码"));
    // Any password opens an unknown account; one that was registered or reset wants its own.
    const auto known = m_passwords.constFind(account);
    if (password == QLatin1String("wrong") || (known != m_passwords.cend() && *known != password))
        return fail(401, QStringLiteral("账号或密码错误"));

    const QString token = tokenFor(account);
    Account &acc = m_accounts[token];
    if (acc.uid.isEmpty()) {
        acc.uid = QString::number(10000 + qHash(token) % 90000);
        acc.nickname = account.section(QLatin1Char('@'), 0, 0);
    }
    const QJsonObject user = userJson(acc);
    return ok(QJsonObject{{"token", token},
                          {"uid", acc.uid},
                          {"nickname", acc.nickname},
                          {"gold", acc.gold},
                          {"vip_level", user.value("vip_level")},
                          {"vip_expired", user.value("vip_expired")}});
}

QHttpServerResponse SampleServer::apiMe(const QHttpServerRequest &request)
{
    const Account *account = accountFor(request);
    if (!account)
        return fail(401, QStringLiteral("登录已失效，请重新登录"));
    return ok(userJson(*account));
}

QHttpServerResponse SampleServer::apiSignStatus(const QHttpServerRequest &request)
{
    const Account *account = accountFor(request);
    if (!account)
        return fail(401, QStringLiteral("请先登录"));
    return ok(QJsonObject{{"signed", account->signedOn == QDate::currentDate()},
                          {"days", account->days},
                          {"last_time", account->lastSign.isValid() ? account->lastSign.toSecsSinceEpoch() : 0}});
}

QHttpServerResponse SampleServer::apiSign(const QHttpServerRequest &request)
{
    Account *account = accountFor(request);
    if (!account)
        return fail(401, QStringLiteral("请先登录"));
    // Signing twice on one day is not an error: the reward is simply 0.
    int reward = 0;
    if (account->signedOn != QDate::currentDate()) {
        seedAccount(*account);
        reward = 5;
        account->gold += reward;
        account->days += 1;
        account->signedOn = QDate::currentDate();
        account->lastSign = QDateTime::currentDateTime();
        addGoldEntry(*account, 1, reward, QStringLiteral("每日签到"));
    }
    return ok(QJsonObject{{"signed", true}, {"gold", reward}, {"total", account->gold}});
}

QHttpServerResponse SampleServer::apiWebCookie(const QHttpServerRequest &)
{
    const double expires = double(QDateTime::currentSecsSinceEpoch() + 86400);
    return ok(QJsonObject{{"name", "tovra_session"}, {"value", "sample"}, {"domain", "127.0.0.1"}, {"expires", expires}});
}

// --- Client housekeeping -----------------------------------------------------------------

QHttpServerResponse SampleServer::apiClientReport(const QHttpServerRequest &request)
{
    qInfo().noquote() << "[samplesite] report:" << QString::fromUtf8(request.body());
    return ok();
}

namespace {
// TOVRA_SAMPLE_UPDATE names an archive made by scripts/make-bundle.sh
// (TovraClient-<version>-<build>.zip); the site then offers it to every older build.
struct SampleUpdate
{
    QString path;
    QString version;
    qint64 build = 0;
};

std::optional<SampleUpdate> sampleUpdate()
{
    const QString path = qEnvironmentVariable("TOVRA_SAMPLE_UPDATE");
    static const QRegularExpression name(QStringLiteral("^TovraClient-(.+)-(\\d+)\\.zip$"));
    const auto match = name.match(QFileInfo(path).fileName());
    if (path.isEmpty() || !match.hasMatch() || !QFileInfo(path).isFile())
        return std::nullopt;
    return SampleUpdate{path, match.captured(1), match.captured(2).toLongLong()};
}
}

QHttpServerResponse SampleServer::updateArchive(const QHttpServerRequest &request)
{
    logRequest(request);
    const auto update = sampleUpdate();
    QFile file(update ? update->path : QString());
    if (!update || !file.open(QIODevice::ReadOnly))
        return QHttpServerResponse(QHttpServerResponder::StatusCode::NotFound);
    return QHttpServerResponse("application/zip", file.readAll());
}

QHttpServerResponse SampleServer::apiUpdate(const QHttpServerRequest &request)
{
    const qint64 build = request.query().queryItemValue(QStringLiteral("build")).toLongLong();
    if (const auto update = sampleUpdate(); update && update->build > build) {
        QFile file(update->path);
        const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        QUrl url = request.url();
        url.setPath(QStringLiteral("/files/update.zip"));
        url.setQuery(QString());
        return ok(QJsonObject{{"has_update", true},
                              {"force", false},
                              {"version", update->version},
                              {"build", update->build},
                              {"url", url.toString()},
                              {"sha256", QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex())},
                              {"size", bytes.size()},
                              {"notes", QStringLiteral("示例站点提供的新版本")},
                              {"published", m_catalogue->today().toString(Qt::ISODate)}});
    }
    return ok(QJsonObject{{"has_update", false},
                          {"force", false},
                          {"version", "1.0.0"},
                          {"build", build},
                          {"url", ""},
                          {"sha256", ""},
                          {"size", 0},
                          {"notes", QStringLiteral("当前已是最新版本")},
                          {"published", m_catalogue->today().toString(Qt::ISODate)}});
}

// --- Pictures and pages ------------------------------------------------------------------

QHttpServerResponse SampleServer::poster(int number)
{
    const QList<Title> &titles = m_catalogue->titles();
    if (number < 1 || number > titles.size())
        return QHttpServerResponse(QHttpServerResponder::StatusCode::NotFound);
    auto it = m_posters.find(number);
    if (it == m_posters.end())
        it = m_posters.insert(number, PosterPainter::jpeg(titles.at(number - 1).title, quint32(number)));
    QHttpServerResponse response("image/jpeg", *it);
    response.addHeader("Cache-Control", "max-age=86400");
    return response;
}

QHttpServerResponse SampleServer::avatar(int number)
{
    QHttpServerResponse response("image/png", PosterPainter::png(QStringLiteral("影"), quint32(number) + 7));
    response.addHeader("Cache-Control", "max-age=86400");
    return response;
}

// A small but well-formed single-file torrent, enough for "save the .torrent file" to have
// something real to save.
QHttpServerResponse SampleServer::torrentFile(const QString &name)
{
    const QString did = name.section(QLatin1Char('-'), 0, 0);
    const int index = name.section(QLatin1Char('-'), 1).toInt();
    const Title *title = m_catalogue->find(did);
    if (!title || index < 0 || index >= title->torrentCount)
        return QHttpServerResponse(QHttpServerResponder::StatusCode::NotFound);
    auto text = [](const QByteArray &s) { return QByteArray::number(s.size()) + ':' + s; };
    const QByteArray fileName = m_catalogue->torrentDetail(*title, index).value("name").toString().toUtf8() + ".mkv";
    const QByteArray pieces = QCryptographicHash::hash(fileName, QCryptographicHash::Sha1);
    const QByteArray bencoded = "d" + text("announce") + text("udp://127.0.0.1:6969/announce") + text("info") + "d"
                                + text("length") + "i262144e" + text("name") + text(fileName) + text("piece length")
                                + "i262144e" + text("pieces") + text(pieces) + "ee";
    return QHttpServerResponse("application/x-bittorrent", bencoded);
}

QHttpServerResponse SampleServer::webPage(const QString &name)
{
    const QString html = QStringLiteral(
        "<!doctype html><html lang=\"zh-CN\"><head><meta charset=\"utf-8\"><title>示例站点</title></head>"
        "<body style=\"font-family:sans-serif;padding:2em\"><h1>示例站点</h1>"
        "<p>这是示例站点的「%1」页面，仅供本地试用。</p></body></html>")
        .arg(name.toHtmlEscaped());
    return QHttpServerResponse("text/html; charset=utf-8", html.toUtf8());
}

QString SampleServer::tokenFor(const QString &account)
{
    const QByteArray digest = QCryptographicHash::hash(account.toUtf8(), QCryptographicHash::Sha256).toHex();
    return QStringLiteral("sample-") + QString::fromLatin1(digest.left(32));
}

SampleServer::Verification *SampleServer::verificationFor(const QHttpServerRequest &request)
{
    for (const QByteArray &pair : request.value("Cookie").split(';')) {
        const QByteArray trimmed = pair.trimmed();
        if (!trimmed.startsWith(kCaptchaCookie + '='))
            continue;
        const QString session = QString::fromLatin1(trimmed.mid(kCaptchaCookie.size() + 1));
        if (auto it = m_verifications.find(session); it != m_verifications.end())
            return &*it;
    }
    return nullptr;
}

bool SampleServer::takeEmailCode(const QString &email, const QString &code)
{
    const auto it = m_emailCodes.constFind(email);
    if (it == m_emailCodes.cend() || *it != code)
        return false;
    m_emailCodes.erase(it);
    return true;
}

QHttpServerResponse SampleServer::apiCaptcha(const QHttpServerRequest &request)
{
    static const QString alphabet = QStringLiteral("ABCDEFGHJKMNPQRSTUVWXYZ23456789");
    QString text;
    for (int i = 0; i < 4; ++i)
        text += alphabet.at(QRandomGenerator::global()->bounded(int(alphabet.size())));
    const int scale = std::clamp(request.query().queryItemValue(QStringLiteral("scale")).toInt(), 1, 3);

    // A session of its own per picture, carried by the client's cookie jar to the check, the
    // e-mail request and the account call.
    Verification *existing = verificationFor(request);
    QString session;
    if (existing) {
        *existing = Verification{text, {}, {}};
    } else {
        session = QUuid::createUuid().toString(QUuid::WithoutBraces);
        m_verifications.insert(session, Verification{text, {}, {}});
    }
    qInfo().noquote() << "[samplesite] 图片验证码:" << text;
    QHttpServerResponse response(QByteArrayLiteral("image/png"), captchaPng(text, scale));
    if (!session.isEmpty())
        response.setHeader("Set-Cookie", kCaptchaCookie + '=' + session.toLatin1() + "; Path=/; HttpOnly");
    response.addHeader("Cache-Control", "no-store");
    return response;
}

QHttpServerResponse SampleServer::apiCheckCaptcha(const QHttpServerRequest &request)
{
    const QString code = formValue(request, QStringLiteral("code"));
    const QString email = formValue(request, QStringLiteral("email"));
    const QString action = formValue(request, QStringLiteral("action"));
    Verification *verification = verificationFor(request);
    if (!verification || verification->captcha.isEmpty())
        return fail(400, QStringLiteral("请先获取图片验证码"));
    if (!email.contains(QLatin1Char('@')))
        return fail(400, QStringLiteral("邮箱格式不正确"));
    if (action != QLatin1String("register") && action != QLatin1String("reset"))
        return fail(400, QStringLiteral("参数错误"));
    if (code.compare(verification->captcha, Qt::CaseInsensitive) != 0) {
        // A wrong guess uses the picture up, as real sites do.
        verification->captcha.clear();
        return fail(400, QStringLiteral("图片验证码错误"));
    }
    if (action == QLatin1String("register") && m_passwords.contains(email))
        return fail(409, QStringLiteral("该邮箱已注册"));
    verification->captcha.clear();
    verification->checkedEmail = email;
    verification->checkedAction = action;
    return ok();
}

QHttpServerResponse SampleServer::apiSendEmailCode(const QHttpServerRequest &request)
{
    const QString email = formValue(request, QStringLiteral("email"));
    const Verification *verification = verificationFor(request);
    if (!verification || verification->checkedEmail.isEmpty() || verification->checkedEmail != email)
        return fail(403, QStringLiteral("请先完成图片验证"));
    const QString code = QString::number(QRandomGenerator::global()->bounded(100000, 1000000));
    m_emailCodes.insert(email, code);
    // The sample site sends no mail: the code goes to its log for whoever is trying it out.
    qInfo().noquote() << "[samplesite] 邮箱验证码" << email << code;
    return ok();
}

QHttpServerResponse SampleServer::apiRegister(const QHttpServerRequest &request)
{
    const QString email = formValue(request, QStringLiteral("email"));
    const QString code = formValue(request, QStringLiteral("code"));
    const QString password = formValue(request, QStringLiteral("password"));
    const Verification *verification = verificationFor(request);
    if (!verification || verification->checkedAction != QLatin1String("register") || verification->checkedEmail != email)
        return fail(403, QStringLiteral("请先完成图片验证"));
    if (password.size() < 6)
        return fail(400, QStringLiteral("密码至少 6 位"));
    if (m_passwords.contains(email))
        return fail(409, QStringLiteral("该邮箱已注册"));
    if (!takeEmailCode(email, code))
        return fail(400, QStringLiteral("邮箱验证码错误或已过期"));

    m_passwords.insert(email, password);
    const QString token = tokenFor(email);
    Account &account = m_accounts[token];
    account.uid = QString::number(10000 + qHash(token) % 90000);
    account.nickname = email.section(QLatin1Char('@'), 0, 0);
    const QJsonObject user = userJson(account);
    return ok(QJsonObject{{"token", token},
                          {"uid", account.uid},
                          {"nickname", account.nickname},
                          {"gold", account.gold},
                          {"vip_level", user.value("vip_level")},
                          {"vip_expired", user.value("vip_expired")}});
}

QHttpServerResponse SampleServer::apiResetPwd(const QHttpServerRequest &request)
{
    const QString email = formValue(request, QStringLiteral("email"));
    const QString code = formValue(request, QStringLiteral("code"));
    const QString password = formValue(request, QStringLiteral("password"));
    const Verification *verification = verificationFor(request);
    if (!verification || verification->checkedAction != QLatin1String("reset") || verification->checkedEmail != email)
        return fail(403, QStringLiteral("请先完成图片验证"));
    if (password.size() < 6)
        return fail(400, QStringLiteral("密码至少 6 位"));
    if (!takeEmailCode(email, code))
        return fail(400, QStringLiteral("邮箱验证码错误或已过期"));
    m_passwords.insert(email, password);
    return ok();
}

}
