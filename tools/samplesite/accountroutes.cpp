// The user centre's endpoints of the sample site: coin log, watch history, membership exchange,
// nickname, avatar upload, messages and the two QR pictures.
#include "sampleserver.h"
#include "mediasite.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QHttpServerRequest>
#include <QImage>
#include <QPainter>
#include <QUrlQuery>

namespace tovra::samplesite {

namespace {

constexpr int kGoldPageSize = 10;
constexpr int kSeededGoldEntries = 24;
constexpr int kMessagePageSize = 10;
constexpr qsizetype kMaxPhotoBytes = 5 * 1024 * 1024;

struct Plan
{
    qint64 price;
    int days;
};
constexpr Plan kPlans[] = {{150, 30}, {700, 180}, {1200, 365}};

QJsonObject pageMeta(int page, int limit, qsizetype total)
{
    const int pages = std::max<int>(1, int((total + limit - 1) / limit));
    return QJsonObject{{"page", page}, {"limit", limit}, {"total", total}, {"pages", pages}, {"has_more", page < pages}};
}

// A notice of the fixed run every account starts with; the first few start unread.
struct Notice
{
    int sid;
    bool like;
    int titleIndex;
};
constexpr int kNoticeCount = 14;
constexpr int kUnreadNotices = 5;

struct BoardEntry
{
    int id;
    const char16_t *content;
    const char16_t *reply; // null: not answered yet
    bool startsUnread;
};
constexpr BoardEntry kBoard[] = {
    {4, u"请问什么时候能补上第二季的 4K 资源？", u"已经安排上传，预计本周末上线。", true},
    {3, u"播放页偶尔加载很慢，是我这边网络的问题吗？", u"我们更换了线路，请清理缓存后再试。", false},
    {2, u"建议增加按评分排序。", nullptr, false},
    {1, u"会员到期提醒能不能提前几天？", u"好建议，已记录。", false},
};

Notice noticeAt(int index)
{
    return Notice{kNoticeCount - index, index % 3 == 1, (index * 11) % 40};
}

QByteArray encoded(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// The single part named "image" of a multipart body, or nothing.
std::optional<QByteArray> imagePart(const QHttpServerRequest &request)
{
    const QByteArray type = request.value("Content-Type");
    const qsizetype at = type.indexOf("boundary=");
    if (at < 0)
        return std::nullopt;
    QByteArray boundary = type.mid(at + 9).trimmed();
    if (boundary.startsWith('"') && boundary.endsWith('"') && boundary.size() >= 2)
        boundary = boundary.mid(1, boundary.size() - 2);
    const QByteArray body = request.body();
    const QByteArray delimiter = "--" + boundary;
    qsizetype start = body.indexOf(delimiter);
    while (start >= 0) {
        const qsizetype headersStart = start + delimiter.size() + 2;
        const qsizetype headersEnd = body.indexOf("\r\n\r\n", headersStart);
        if (headersEnd < 0)
            return std::nullopt;
        const qsizetype next = body.indexOf("\r\n" + delimiter, headersEnd + 4);
        if (next < 0)
            return std::nullopt;
        if (body.mid(headersStart, headersEnd - headersStart).contains("name=\"image\""))
            return body.mid(headersEnd + 4, next - headersEnd - 4);
        start = next + 2;
    }
    return std::nullopt;
}

}

void SampleServer::registerAccountRoutes()
{
    get("/api/gold_log", &SampleServer::apiGoldLog);
    get("/api/watching", &SampleServer::apiWatching);
    post("/api/vip_exchange", &SampleServer::apiVipExchange);
    post("/api/nickname", &SampleServer::apiNickname);
    post("/api/photo_upload", &SampleServer::apiPhotoUpload);
    get("/api/messages", &SampleServer::apiMessages);
    m_server.route("/uploads/<arg>", QHttpServerRequest::Method::Get,
                   [this](const QString &name) { return uploadedPhoto(name); });
    // The group code lives on the web host, the top-up code on the media host (the client's
    // TOVRA_MEDIA_URL points at /media of this site).
    m_server.route("/external/static/image/wx_group.webp", QHttpServerRequest::Method::Get,
                   [this] { return qrImage(QStringLiteral("group")); });
    m_server.route("/media/static/pay/wechat_qr.png", QHttpServerRequest::Method::Get,
                   [this] { return qrImage(QStringLiteral("pay")); });
}

// A believable history ending at the account's balance: read backwards from today, each entry
// undoes its amount, and a spend is chosen whenever a gain would leave the earlier balance below 0.
void SampleServer::seedAccount(Account &account) const
{
    if (!account.goldLog.isEmpty())
        return;
    static const QHash<int, QString> names{{1, QStringLiteral("签到奖励")}, {2, QStringLiteral("下载扣除")},
                                           {4, QStringLiteral("充值")}};
    const qint64 now = QDateTime(m_catalogue->today(), QTime(9, 30)).toSecsSinceEpoch();
    qint64 balance = account.gold;
    for (int i = 0; i < kSeededGoldEntries; ++i) {
        int type = i % 5 == 4 ? 4 : (i % 2 == 0 ? 1 : 2);
        qint64 amount = type == 1 ? 5 : (type == 4 ? 100 : -(2 + i % 3));
        if (balance - amount < 0) {
            type = 2;
            amount = -(2 + i % 3);
        }
        const Title &title = m_catalogue->titles().at((i * 17) % m_catalogue->titles().size());
        const QString explain = type == 2 ? QStringLiteral("下载《%1》种子").arg(title.title)
                                : type == 4 ? QStringLiteral("微信充值 ¥9.9") : QStringLiteral("连续签到第 %1 天").arg(i + 1);
        account.goldLog.append(QJsonObject{{"type", type},
                                           {"type_name", names.value(type)},
                                           {"sign", amount < 0 ? "-" : "+"},
                                           {"explain", explain},
                                           {"gold", qAbs(amount)},
                                           {"balance", balance},
                                           {"created", now - qint64(i) * 86400 - (i % 4) * 3600}});
        balance -= amount;
    }
}

// Called after the balance changed, and after seedAccount() ran on the balance before it.
void SampleServer::addGoldEntry(Account &account, int type, qint64 amount, const QString &explain) const
{
    static const QHash<int, QString> names{{1, QStringLiteral("签到奖励")}, {3, QStringLiteral("兑换会员")}};
    account.goldLog.prepend(QJsonObject{{"type", type},
                                        {"type_name", names.value(type, QStringLiteral("其他"))},
                                        {"sign", amount < 0 ? "-" : "+"},
                                        {"explain", explain},
                                        {"gold", qAbs(amount)},
                                        {"balance", account.gold},
                                        {"created", QDateTime::currentSecsSinceEpoch()}});
}

QHttpServerResponse SampleServer::apiGoldLog(const QHttpServerRequest &request)
{
    Account *account = accountFor(request);
    if (!account)
        return fail(401, QStringLiteral("请先登录"));
    seedAccount(*account);
    const int page = pageOf(request);
    QJsonArray data;
    for (qsizetype i = qsizetype(page - 1) * kGoldPageSize; i < account->goldLog.size() && i < qsizetype(page) * kGoldPageSize; ++i)
        data.append(account->goldLog.at(i));
    return ok(data, pageMeta(page, kGoldPageSize, account->goldLog.size()));
}

// Playable titles part-way through an episode; the entries are the title pages' own, so a row
// resumes in the player exactly as the title page would start it.
QHttpServerResponse SampleServer::apiWatching(const QHttpServerRequest &request)
{
    if (!accountFor(request))
        return fail(401, QStringLiteral("请先登录"));
    QJsonArray out;
    int seen = 0;
    const int clipSeconds = m_media->clipSeconds();
    for (const Title &title : m_catalogue->titles()) {
        if (!title.playable || seen++ % 3 != 0)
            continue;
        const QJsonArray playList = m_catalogue->item(title).value("play_list").toArray();
        const QJsonObject entry = playList.at(out.size() % playList.size()).toObject();
        // Every title plays the one short clip, so a position past it could never be resumed.
        const qint64 duration = clipSeconds;
        out.append(QJsonObject{{"did", title.did},
                               {"title", title.title},
                               {"image", m_catalogue->posterUrl(title.number)},
                               {"episode", entry.value("episode")},
                               {"pos", duration * (25 + out.size() * 11 % 60) / 100},
                               {"duration", duration},
                               {"token", entry.value("token")},
                               {"expired", entry.value("expired")}});
        if (out.size() >= 8)
            break;
    }
    return ok(out);
}

QHttpServerResponse SampleServer::apiVipExchange(const QHttpServerRequest &request)
{
    Account *account = accountFor(request);
    if (!account)
        return fail(401, QStringLiteral("请先登录"));
    const qint64 price = formValue(request, QStringLiteral("bt")).toLongLong();
    const auto plan = std::find_if(std::begin(kPlans), std::end(kPlans), [price](const Plan &p) { return p.price == price; });
    if (plan == std::end(kPlans))
        return fail(400, QStringLiteral("没有这个会员套餐"));
    if (account->gold < price)
        return fail(402, QStringLiteral("BT币余额不足"));
    seedAccount(*account);
    account->gold -= price;
    const qint64 from = std::max(vipExpiredOf(*account), QDateTime::currentSecsSinceEpoch());
    account->vipExpired = from + qint64(plan->days) * 86400;
    addGoldEntry(*account, 3, -price, QStringLiteral("兑换 %1 天会员").arg(plan->days));
    return ok(QJsonObject{{"gold", account->gold}, {"vip_expired", account->vipExpired}});
}

QHttpServerResponse SampleServer::apiNickname(const QHttpServerRequest &request)
{
    Account *account = accountFor(request);
    if (!account)
        return fail(401, QStringLiteral("请先登录"));
    const QString nickname = formValue(request, QStringLiteral("nickname")).trimmed();
    const QString code = formValue(request, QStringLiteral("code"));
    Verification *verification = verificationFor(request);
    if (!verification || verification->captcha.isEmpty())
        return fail(400, QStringLiteral("请先获取图片验证码"));
    const bool matches = code.compare(verification->captcha, Qt::CaseInsensitive) == 0;
    // Right or wrong, a picture answers once.
    verification->captcha.clear();
    if (!matches)
        return fail(400, QStringLiteral("图片验证码错误"));
    if (nickname.size() < 2 || nickname.size() > 16)
        return fail(400, QStringLiteral("昵称长度需为 2 到 16 个字符"));
    account->nickname = nickname;
    return ok();
}

QHttpServerResponse SampleServer::apiPhotoUpload(const QHttpServerRequest &request)
{
    Account *account = accountFor(request);
    if (!account)
        return fail(401, QStringLiteral("请先登录"));
    const auto bytes = imagePart(request);
    if (!bytes || bytes->isEmpty())
        return fail(400, QStringLiteral("请选择图片"));
    if (bytes->size() > kMaxPhotoBytes)
        return fail(413, QStringLiteral("图片不能超过 5MB"));
    if (QImage::fromData(*bytes).isNull())
        return fail(415, QStringLiteral("图片格式不支持"));
    account->photo = *bytes;
    ++account->photoVersion;
    const QString name = photoName(*account);
    return ok(QJsonObject{{"photo", name}, {"photo_url", m_base + QStringLiteral("/uploads/") + name}});
}

QHttpServerResponse SampleServer::uploadedPhoto(const QString &name)
{
    for (const Account &account : std::as_const(m_accounts)) {
        if (!account.photo.isEmpty() && photoName(account) == name)
            return QHttpServerResponse("image/jpeg", account.photo);
    }
    return QHttpServerResponse(QHttpServerResponder::StatusCode::NotFound);
}

// A notice run and a board thread per account; whatever a page has shown counts as read from the
// next request on, so the unread counter falls as the user reads.
QHttpServerResponse SampleServer::apiMessages(const QHttpServerRequest &request)
{
    Account *account = accountFor(request);
    if (!account)
        return fail(401, QStringLiteral("请先登录"));
    const QUrlQuery query = request.query();
    const QString tab = query.queryItemValue(QStringLiteral("tab"));
    const QString type = query.queryItemValue(QStringLiteral("type"));
    const int page = pageOf(request);
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    QJsonObject data{{"tab", tab}, {"type", type}, {"page", page}};

    if (tab == u"board") {
        QJsonArray board;
        for (const BoardEntry &entry : kBoard) {
            const qint64 created = now - qint64(entry.id) * 86400 * 3;
            QJsonObject message{{"id", entry.id},
                                {"content", QString::fromUtf16(entry.content)},
                                {"created", created},
                                {"unread", entry.startsUnread && !account->readBoard.contains(entry.id)}};
            if (entry.reply)
                message.insert("reply", QJsonObject{{"name", QStringLiteral("管理员")},
                                                    {"time", created + 7200},
                                                    {"message", QString::fromUtf16(entry.reply)}});
            board.append(message);
            account->readBoard.insert(entry.id);
        }
        data.insert("board", board);
        data.insert("board_total", board.size());
        data.insert("board_has_more", false);
        return ok(data);
    }

    const QList<Title> &titles = m_catalogue->titles();
    QList<Notice> matching;
    for (int i = 0; i < kNoticeCount; ++i) {
        const Notice notice = noticeAt(i);
        if ((type == u"like" && !notice.like) || (type == u"reply" && notice.like))
            continue;
        matching.append(notice);
    }
    QJsonArray list;
    QJsonObject names;
    for (qsizetype i = qsizetype(page - 1) * kMessagePageSize; i < matching.size() && i < qsizetype(page) * kMessagePageSize; ++i) {
        const Notice &notice = matching.at(i);
        const Title &title = titles.at(notice.titleIndex % titles.size());
        const qint64 created = now - qint64(kNoticeCount - notice.sid) * 5400 - 600;
        const QString uid = QString::number(2000 + notice.sid);
        const bool unread = notice.sid > kNoticeCount - kUnreadNotices && !account->readNotices.contains(notice.sid);
        // Replies carry the markup the site's editor writes: emoticons and entities.
        const QString content = notice.like ? QString()
                                            : QStringLiteral("同感！<img src=\"/emoji/smile.png\" alt=\"微笑\">&nbsp;结尾那段 &amp; 配乐都很棒");
        list.append(QJsonObject{{"type", notice.like ? "like" : "reply"},
                                {"sid", notice.sid},
                                {"did", title.did},
                                {"unread", unread},
                                {"actor", QJsonObject{{"uid", uid},
                                                      {"nickname", QStringLiteral("影迷%1号").arg(uid)},
                                                      {"img", m_base + QStringLiteral("/avatars/%1.png").arg(notice.sid)}}},
                                {"content", content},
                                {"target", QJsonObject{{"cid", 300 + notice.sid},
                                                       {"content", QStringLiteral("《%1》比想象中好看").arg(title.title)}}},
                                {"dateshow", QDateTime::fromSecsSinceEpoch(created).toString(QStringLiteral("MM-dd HH:mm"))},
                                {"created", created}});
        names.insert(title.did, title.title);
        account->readNotices.insert(notice.sid);
    }
    data.insert("notice", QJsonObject{{"list", list}, {"total", matching.size()}, {"titles", names}});
    return ok(data);
}

QHttpServerResponse SampleServer::apiUnread(const QHttpServerRequest &request)
{
    const Account *account = accountFor(request);
    if (!account)
        return fail(401, QStringLiteral("请先登录"));
    int reply = 0;
    int like = 0;
    for (int i = 0; i < kNoticeCount; ++i) {
        const Notice notice = noticeAt(i);
        if (notice.sid <= kNoticeCount - kUnreadNotices || account->readNotices.contains(notice.sid))
            continue;
        ++(notice.like ? like : reply);
    }
    int board = 0;
    for (const BoardEntry &entry : kBoard)
        board += entry.startsUnread && !account->readBoard.contains(entry.id) ? 1 : 0;
    return ok(QJsonObject{{"reply", reply}, {"like", like}, {"board", board}, {"total", reply + like + board}});
}

// A code-like picture (three finder squares and modules from the caption's hash) in WebP, as the
// live site serves its codes. It encodes nothing: scanning it is not part of trying the client.
QHttpServerResponse SampleServer::qrImage(const QString &caption)
{
    constexpr int kModules = 29;
    constexpr int kModule = 10;
    constexpr int kQuiet = 2;
    const QByteArray seed = QCryptographicHash::hash(caption.toUtf8(), QCryptographicHash::Sha256);
    QImage image((kModules + 2 * kQuiet) * kModule, (kModules + 2 * kQuiet) * kModule, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.translate(kQuiet * kModule, kQuiet * kModule);
    const auto finder = [&](int x, int y) {
        return (x < 8 && y < 8) || (x >= kModules - 8 && y < 8) || (x < 8 && y >= kModules - 8);
    };
    for (int y = 0; y < kModules; ++y) {
        for (int x = 0; x < kModules; ++x) {
            const int bit = y * kModules + x;
            const bool on = (seed.at((bit / 8) % seed.size()) >> (bit % 8) & 1) ^ ((x * y + x) % 3 == 0);
            if (!finder(x, y) && on)
                painter.fillRect(x * kModule, y * kModule, kModule, kModule, Qt::black);
        }
    }
    for (const QPoint corner : {QPoint(0, 0), QPoint(kModules - 7, 0), QPoint(0, kModules - 7)}) {
        painter.fillRect(QRect(corner * kModule, QSize(7, 7) * kModule), Qt::black);
        painter.fillRect(QRect((corner + QPoint(1, 1)) * kModule, QSize(5, 5) * kModule), Qt::white);
        painter.fillRect(QRect((corner + QPoint(2, 2)) * kModule, QSize(3, 3) * kModule), Qt::black);
    }
    painter.end();
    QHttpServerResponse response("image/webp", encoded(image, "WEBP"));
    response.addHeader("Cache-Control", "max-age=3600");
    return response;
}

QString SampleServer::photoName(const Account &account)
{
    return QStringLiteral("%1-%2.jpg").arg(account.uid).arg(account.photoVersion);
}

qint64 SampleServer::vipExpiredOf(const Account &account) const
{
    return account.vipExpired > 0 ? account.vipExpired
                                  : QDateTime(m_catalogue->today().addDays(30), QTime(0, 0)).toSecsSinceEpoch();
}

}
