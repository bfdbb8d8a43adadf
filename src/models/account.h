#pragma once

#include "models/decoding.h"

#include <QMap>

namespace tovra {

// The signed-in user ("api/me").
struct User
{
    QString uid;
    std::optional<QString> nickname;
    qint64 gold = 0;  // coin balance ("BT币")
    qint64 vipLevel = 0;
    qint64 vipExpired = 0;  // Unix seconds
    bool isVip = false;
    std::optional<QString> photo;

    static Decoded<User> fromJson(const QJsonValue &value);
};

// The reply of log-in and of registration.
struct LoginResult
{
    QString token;
    QString uid;
    std::optional<QString> nickname;
    qint64 gold = 0;
    qint64 vipLevel = 0;
    qint64 vipExpired = 0;

    static Decoded<LoginResult> fromJson(const QJsonValue &value);
};

// Whether today's sign-in is done.
struct SignStatus
{
    bool signed_ = false;  // "signed"; the name is a C++ keyword
    qint64 days = 0;
    qint64 lastTime = 0;

    static Decoded<SignStatus> fromJson(const QJsonValue &value);
};

// The reply of the daily sign-in; a gold below 1 means today's was already done.
struct SignResult
{
    bool signed_ = false;  // "signed"
    qint64 gold = 0;
    std::optional<qint64> total;

    static Decoded<SignResult> fromJson(const QJsonValue &value);
};

// The reply of exchanging coins for membership.
struct ExchangeResult
{
    qint64 gold = 0;
    qint64 vipExpired = 0;

    static Decoded<ExchangeResult> fromJson(const QJsonValue &value);
};

// The unread-message counters.
struct UnreadCount
{
    qint64 reply = 0;
    qint64 like = 0;
    qint64 board = 0;
    qint64 total = 0;

    static Decoded<UnreadCount> fromJson(const QJsonValue &value);
};

// The reply of the avatar upload.
struct PhotoResult
{
    QString photo;
    QString photoURL;

    static Decoded<PhotoResult> fromJson(const QJsonValue &value);
};

// One line of the coin log.
struct GoldLog
{
    qint64 type = 0;
    QString typeName = QStringLiteral("其他");
    QString sign = QStringLiteral("+");
    QString explain;
    qint64 gold = 0;
    qint64 balance = 0;
    qint64 created = 0;  // Unix seconds

    // "created-type-gold-balance"; a negative number keeps its minus next to the separator.
    QString id() const;
    static Decoded<GoldLog> fromJson(const QJsonValue &value);
    friend bool operator==(const GoldLog &, const GoldLog &) = default;
};
size_t qHash(const GoldLog &log, size_t seed = 0);

// One entry of the watch history.
struct WatchingItem
{
    QString did;
    QString title;
    QString image;
    qint64 episode = 0;
    qint64 pos = 0;       // seconds watched
    qint64 duration = 0;  // seconds
    QString token;
    qint64 expired = 0;

    // "did-episode"
    QString id() const;
    static Decoded<WatchingItem> fromJson(const QJsonValue &value);
    friend bool operator==(const WatchingItem &, const WatchingItem &) = default;
};
size_t qHash(const WatchingItem &item, size_t seed = 0);

// Who caused a notice.
struct NoticeActor
{
    std::optional<QString> uid;
    std::optional<QString> nickname;
    std::optional<QString> img;

    static Decoded<NoticeActor> fromJson(const QJsonValue &value);
    friend bool operator==(const NoticeActor &, const NoticeActor &) = default;
};
size_t qHash(const NoticeActor &actor, size_t seed = 0);

// What a notice refers to.
struct NoticeTarget
{
    std::optional<QString> cid;
    std::optional<QString> content;

    static Decoded<NoticeTarget> fromJson(const QJsonValue &value);
    friend bool operator==(const NoticeTarget &, const NoticeTarget &) = default;
};
size_t qHash(const NoticeTarget &target, size_t seed = 0);

// One notice.
struct NoticeItem
{
    std::optional<QString> type;
    std::optional<qint64> sid;
    std::optional<QString> did;
    bool unread = false;
    std::optional<NoticeActor> actor;
    std::optional<QString> content;
    std::optional<NoticeTarget> target;
    std::optional<QString> dateshow;
    std::optional<qint64> created;

    // "sid-created-did", with 0, 0 and the empty text for absent parts.
    QString id() const;
    static Decoded<NoticeItem> fromJson(const QJsonValue &value);
    friend bool operator==(const NoticeItem &, const NoticeItem &) = default;
};
size_t qHash(const NoticeItem &item, size_t seed = 0);

// The comment notices of a message page.
struct NoticeBlock
{
    QList<NoticeItem> list;
    qint64 total = 0;
    QMap<QString, QString> titles;

    static Decoded<NoticeBlock> fromJson(const QJsonValue &value);
};

// The staff answer to a board entry.
struct BoardReply
{
    QString name = QStringLiteral("管理员");
    qint64 time = 0;  // Unix seconds
    QString message;

    static Decoded<BoardReply> fromJson(const QJsonValue &value);
    friend bool operator==(const BoardReply &, const BoardReply &) = default;
};
size_t qHash(const BoardReply &reply, size_t seed = 0);

// One entry of the user's message board; identified by its id field.
struct BoardMessage
{
    qint64 id = 0;
    QString content;
    std::optional<BoardReply> reply;
    qint64 created = 0;  // Unix seconds
    bool unread = false;

    static Decoded<BoardMessage> fromJson(const QJsonValue &value);
    friend bool operator==(const BoardMessage &, const BoardMessage &) = default;
};
size_t qHash(const BoardMessage &message, size_t seed = 0);

// One page of the message centre; tab, type and page name it as "api/messages" is asked.
struct MessageData
{
    QString tab = QStringLiteral("notice");
    QString type = QStringLiteral("all");
    qint64 page = 1;
    std::optional<NoticeBlock> notice;
    QList<BoardMessage> board;
    qint64 boardTotal = 0;
    bool boardHasMore = false;

    static Decoded<MessageData> fromJson(const QJsonValue &value);
};

}
