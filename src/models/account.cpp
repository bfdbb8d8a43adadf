#include "models/account.h"

using namespace Qt::StringLiterals;

namespace tovra {

namespace {

constexpr auto kUserFields = [](auto &f) {
    f.required("uid"_L1, &User::uid);
    f.optional("nickname"_L1, &User::nickname);
    f.required("gold"_L1, &User::gold);
    f.required("vip_level"_L1, &User::vipLevel);
    f.required("vip_expired"_L1, &User::vipExpired);
    f.required("is_vip"_L1, &User::isVip);
    f.optional("photo"_L1, &User::photo);
};

constexpr auto kLoginResultFields = [](auto &f) {
    f.required("token"_L1, &LoginResult::token);
    f.required("uid"_L1, &LoginResult::uid);
    f.optional("nickname"_L1, &LoginResult::nickname);
    f.required("gold"_L1, &LoginResult::gold);
    f.required("vip_level"_L1, &LoginResult::vipLevel);
    f.required("vip_expired"_L1, &LoginResult::vipExpired);
};

constexpr auto kSignStatusFields = [](auto &f) {
    f.required("signed"_L1, &SignStatus::signed_);
    f.required("days"_L1, &SignStatus::days);
    f.required("last_time"_L1, &SignStatus::lastTime);
};

constexpr auto kSignResultFields = [](auto &f) {
    f.required("signed"_L1, &SignResult::signed_);
    f.required("gold"_L1, &SignResult::gold);
    f.optional("total"_L1, &SignResult::total);
};

constexpr auto kExchangeResultFields = [](auto &f) {
    f.required("gold"_L1, &ExchangeResult::gold);
    f.required("vip_expired"_L1, &ExchangeResult::vipExpired);
};

constexpr auto kUnreadCountFields = [](auto &f) {
    f.required("reply"_L1, &UnreadCount::reply);
    f.required("like"_L1, &UnreadCount::like);
    f.required("board"_L1, &UnreadCount::board);
    f.required("total"_L1, &UnreadCount::total);
};

constexpr auto kPhotoResultFields = [](auto &f) {
    f.required("photo"_L1, &PhotoResult::photo);
    f.required("photo_url"_L1, &PhotoResult::photoURL);
};

constexpr auto kGoldLogFields = [](auto &f) {
    f.tolerant("type"_L1, &GoldLog::type);
    f.tolerant("type_name"_L1, &GoldLog::typeName);
    f.tolerant("sign"_L1, &GoldLog::sign);
    f.tolerant("explain"_L1, &GoldLog::explain);
    f.tolerant("gold"_L1, &GoldLog::gold);
    f.tolerant("balance"_L1, &GoldLog::balance);
    f.tolerant("created"_L1, &GoldLog::created);
};

constexpr auto kWatchingItemFields = [](auto &f) {
    f.required("did"_L1, &WatchingItem::did);
    f.required("title"_L1, &WatchingItem::title);
    f.required("image"_L1, &WatchingItem::image);
    f.required("episode"_L1, &WatchingItem::episode);
    f.required("pos"_L1, &WatchingItem::pos);
    f.required("duration"_L1, &WatchingItem::duration);
    f.required("token"_L1, &WatchingItem::token);
    f.required("expired"_L1, &WatchingItem::expired);
};

constexpr auto kNoticeActorFields = [](auto &f) {
    f.lenient("uid"_L1, &NoticeActor::uid, json::textOrIntegerRule);
    f.tolerant("nickname"_L1, &NoticeActor::nickname);
    f.tolerant("img"_L1, &NoticeActor::img);
};

constexpr auto kNoticeTargetFields = [](auto &f) {
    f.lenient("cid"_L1, &NoticeTarget::cid, json::textOrIntegerRule);
    f.tolerant("content"_L1, &NoticeTarget::content);
};

constexpr auto kNoticeItemFields = [](auto &f) {
    f.tolerant("type"_L1, &NoticeItem::type);
    f.tolerant("sid"_L1, &NoticeItem::sid);
    f.lenient("did"_L1, &NoticeItem::did, json::textOrIntegerRule);
    f.tolerant("unread"_L1, &NoticeItem::unread);
    f.tolerant("actor"_L1, &NoticeItem::actor);
    f.tolerant("content"_L1, &NoticeItem::content);
    f.tolerant("target"_L1, &NoticeItem::target);
    f.tolerant("dateshow"_L1, &NoticeItem::dateshow);
    f.tolerant("created"_L1, &NoticeItem::created);
};

constexpr auto kNoticeBlockFields = [](auto &f) {
    f.tolerant("list"_L1, &NoticeBlock::list);
    f.tolerant("total"_L1, &NoticeBlock::total);
    f.tolerant("titles"_L1, &NoticeBlock::titles);
};

constexpr auto kBoardReplyFields = [](auto &f) {
    f.tolerant("name"_L1, &BoardReply::name);
    f.tolerant("time"_L1, &BoardReply::time);
    f.tolerant("message"_L1, &BoardReply::message);
};

constexpr auto kBoardMessageFields = [](auto &f) {
    f.tolerant("id"_L1, &BoardMessage::id);
    f.tolerant("content"_L1, &BoardMessage::content);
    f.tolerant("reply"_L1, &BoardMessage::reply);
    f.tolerant("created"_L1, &BoardMessage::created);
    f.tolerant("unread"_L1, &BoardMessage::unread);
};

constexpr auto kMessageDataFields = [](auto &f) {
    f.tolerant("tab"_L1, &MessageData::tab);
    f.tolerant("type"_L1, &MessageData::type);
    f.tolerant("page"_L1, &MessageData::page);
    f.tolerant("notice"_L1, &MessageData::notice);
    f.tolerant("board"_L1, &MessageData::board);
    f.tolerant("board_total"_L1, &MessageData::boardTotal);
    f.tolerant("board_has_more"_L1, &MessageData::boardHasMore);
};

}

#define TOVRA_RECORD_READERS(Type, fields)                                                        \
    Decoded<Type> Type::fromJson(const QJsonValue &value)                                          \
    {                                                                                              \
        return json::readRecord<Type>(value, fields);                                              \
    }

TOVRA_RECORD_READERS(User, kUserFields)
TOVRA_RECORD_READERS(LoginResult, kLoginResultFields)
TOVRA_RECORD_READERS(SignStatus, kSignStatusFields)
TOVRA_RECORD_READERS(SignResult, kSignResultFields)
TOVRA_RECORD_READERS(ExchangeResult, kExchangeResultFields)
TOVRA_RECORD_READERS(UnreadCount, kUnreadCountFields)
TOVRA_RECORD_READERS(PhotoResult, kPhotoResultFields)
TOVRA_RECORD_READERS(GoldLog, kGoldLogFields)
TOVRA_RECORD_READERS(WatchingItem, kWatchingItemFields)
TOVRA_RECORD_READERS(NoticeActor, kNoticeActorFields)
TOVRA_RECORD_READERS(NoticeTarget, kNoticeTargetFields)
TOVRA_RECORD_READERS(NoticeItem, kNoticeItemFields)
TOVRA_RECORD_READERS(NoticeBlock, kNoticeBlockFields)
TOVRA_RECORD_READERS(BoardReply, kBoardReplyFields)
TOVRA_RECORD_READERS(BoardMessage, kBoardMessageFields)
TOVRA_RECORD_READERS(MessageData, kMessageDataFields)

#undef TOVRA_RECORD_READERS

QString GoldLog::id() const
{
    return u"%1-%2-%3-%4"_s.arg(created).arg(type).arg(gold).arg(balance);
}

QString WatchingItem::id() const
{
    return did + u'-' + QString::number(episode);
}

QString NoticeItem::id() const
{
    return QString::number(sid.value_or(0)) + u'-' + QString::number(created.value_or(0)) + u'-'
        + did.value_or(QString());
}

size_t qHash(const GoldLog &log, size_t seed)
{
    return HashBuilder(seed)
        .add(log.type).add(log.typeName).add(log.sign).add(log.explain).add(log.gold)
        .add(log.balance).add(log.created)
        .result();
}

size_t qHash(const WatchingItem &item, size_t seed)
{
    return HashBuilder(seed)
        .add(item.did).add(item.title).add(item.image).add(item.episode).add(item.pos)
        .add(item.duration).add(item.token).add(item.expired)
        .result();
}

size_t qHash(const NoticeActor &actor, size_t seed)
{
    return HashBuilder(seed).add(actor.uid).add(actor.nickname).add(actor.img).result();
}

size_t qHash(const NoticeTarget &target, size_t seed)
{
    return HashBuilder(seed).add(target.cid).add(target.content).result();
}

size_t qHash(const NoticeItem &item, size_t seed)
{
    return HashBuilder(seed)
        .add(item.type).add(item.sid).add(item.did).add(item.unread).add(item.actor)
        .add(item.content).add(item.target).add(item.dateshow).add(item.created)
        .result();
}

size_t qHash(const BoardReply &reply, size_t seed)
{
    return HashBuilder(seed).add(reply.name).add(reply.time).add(reply.message).result();
}

size_t qHash(const BoardMessage &message, size_t seed)
{
    return HashBuilder(seed)
        .add(message.id).add(message.content).add(message.reply).add(message.created)
        .add(message.unread)
        .result();
}

}
