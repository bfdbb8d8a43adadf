#include "models/community.h"

#include <QJsonArray>

using namespace Qt::StringLiterals;

namespace tovra {

namespace {

constexpr auto kBbsTorrentFields = [](auto &f) {
    f.required("url"_L1, &BbsTorrent::url);
    f.required("name"_L1, &BbsTorrent::name);
};

constexpr auto kBbsLikeResultFields = [](auto &f) {
    f.required("did"_L1, &BbsLikeResult::did);
    f.required("liked"_L1, &BbsLikeResult::liked);
    f.optional("likes_num"_L1, &BbsLikeResult::likesNum);
};

constexpr auto kBbsPostFields = [](auto &f) {
    f.tolerant("did"_L1, &BbsPost::did);
    f.tolerant("uid"_L1, &BbsPost::uid);
    f.tolerant("content"_L1, &BbsPost::content);
    f.tolerant("nickname"_L1, &BbsPost::nickname);
    f.tolerant("photo"_L1, &BbsPost::photo);
    f.tolerant("images"_L1, &BbsPost::images);
    f.tolerant("videos"_L1, &BbsPost::videos);
    f.tolerant("audios"_L1, &BbsPost::audios);
    f.tolerant("torrents"_L1, &BbsPost::torrents);
    f.tolerant("created"_L1, &BbsPost::created);
    f.tolerant("comments_num"_L1, &BbsPost::commentsNum);
    f.tolerant("download_num"_L1, &BbsPost::downloadNum);
    f.tolerant("watch_num"_L1, &BbsPost::watchNum);
    f.tolerant("likes_num"_L1, &BbsPost::likesNum);
    f.tolerant("liked"_L1, &BbsPost::liked);
};

constexpr auto kWebCookieItemFields = [](auto &f) {
    f.required("name"_L1, &WebCookieItem::name);
    f.required("value"_L1, &WebCookieItem::value);
};

constexpr auto kWebCookieFields = [](auto &f) {
    f.required("name"_L1, &WebCookie::name);
    f.required("value"_L1, &WebCookie::value);
    f.required("domain"_L1, &WebCookie::domain);
    f.required("expires"_L1, &WebCookie::expires);
    f.optional("cookies"_L1, &WebCookie::cookies);
};

constexpr auto kUpdateInfoFields = [](auto &f) {
    f.required("has_update"_L1, &UpdateInfo::hasUpdate);
    f.required("force"_L1, &UpdateInfo::force);
    f.required("version"_L1, &UpdateInfo::version);
    f.required("build"_L1, &UpdateInfo::build);
    f.required("url"_L1, &UpdateInfo::url);
    f.required("sha256"_L1, &UpdateInfo::sha256);
    f.required("size"_L1, &UpdateInfo::size);
    f.required("notes"_L1, &UpdateInfo::notes);
    f.optional("published"_L1, &UpdateInfo::published);
};
}

#define TOVRA_RECORD_READERS(Type, fields)                                                        \
    Decoded<Type> Type::fromJson(const QJsonValue &value)                                          \
    {                                                                                              \
        return json::readRecord<Type>(value, fields);                                              \
    }

TOVRA_RECORD_READERS(BbsTorrent, kBbsTorrentFields)
TOVRA_RECORD_READERS(BbsLikeResult, kBbsLikeResultFields)
TOVRA_RECORD_READERS(BbsPost, kBbsPostFields)
TOVRA_RECORD_READERS(WebCookieItem, kWebCookieItemFields)
TOVRA_RECORD_READERS(WebCookie, kWebCookieFields)
TOVRA_RECORD_READERS(UpdateInfo, kUpdateInfoFields)

#undef TOVRA_RECORD_READERS

// ---- BbsTorrent -------------------------------------------------------------------------------

void BbsTorrent::writeJson(json::Writer &w) const
{
    w.beginObject();
    w.member("url"_L1, url);
    w.member("name"_L1, name);
    w.endObject();
}

QJsonObject BbsTorrent::toJson() const
{
    return {{u"url"_s, url}, {u"name"_s, name}};
}

size_t qHash(const BbsTorrent &torrent, size_t seed)
{
    return HashBuilder(seed).add(torrent.url).add(torrent.name).result();
}

// ---- BbsLikeResult ----------------------------------------------------------------------------

void BbsLikeResult::writeJson(json::Writer &w) const
{
    w.beginObject();
    w.member("did"_L1, did);
    w.member("liked"_L1, liked);
    w.optionalMember("likes_num"_L1, likesNum);
    w.endObject();
}

QJsonObject BbsLikeResult::toJson() const
{
    QJsonObject object{{u"did"_s, did}, {u"liked"_s, liked}};
    if (likesNum)
        object.insert(u"likes_num"_s, *likesNum);
    return object;
}

QByteArray BbsLikeResult::toJsonBytes() const
{
    return json::writeRecord(*this);
}

// ---- BbsPost ----------------------------------------------------------------------------------

BbsPost::Kind BbsPost::kind() const
{
    if (!videos.isEmpty())
        return Kind::Video;
    if (!audios.isEmpty())
        return Kind::Audio;
    if (!torrents.isEmpty())
        return Kind::Torrent;
    if (!images.isEmpty())
        return Kind::Image;
    return Kind::Text;
}

void BbsPost::applyLike(const BbsLikeResult &result)
{
    liked = result.liked;
    if (result.likesNum)
        likesNum = *result.likesNum;
}

void BbsPost::writeJson(json::Writer &w) const
{
    w.beginObject();
    w.member("did"_L1, did);
    w.member("uid"_L1, uid);
    w.member("content"_L1, content);
    w.member("nickname"_L1, nickname);
    w.member("photo"_L1, photo);
    w.member("images"_L1, images);
    w.member("videos"_L1, videos);
    w.member("audios"_L1, audios);
    w.member("torrents"_L1, torrents);
    w.member("created"_L1, created);
    w.member("liked"_L1, liked);
    w.member("likes_num"_L1, likesNum);
    w.member("comments_num"_L1, commentsNum);
    w.member("download_num"_L1, downloadNum);
    w.member("watch_num"_L1, watchNum);
    w.endObject();
}

QJsonObject BbsPost::toJson() const
{
    return {{u"did"_s, did},
            {u"uid"_s, uid},
            {u"content"_s, content},
            {u"nickname"_s, nickname},
            {u"photo"_s, photo},
            {u"images"_s, QJsonArray::fromStringList(images)},
            {u"videos"_s, QJsonArray::fromStringList(videos)},
            {u"audios"_s, QJsonArray::fromStringList(audios)},
            {u"torrents"_s, json::toArray(torrents)},
            {u"created"_s, created},
            {u"liked"_s, liked},
            {u"likes_num"_s, likesNum},
            {u"comments_num"_s, commentsNum},
            {u"download_num"_s, downloadNum},
            {u"watch_num"_s, watchNum}};
}

QByteArray BbsPost::toJsonBytes() const
{
    return json::writeRecord(*this);
}

size_t qHash(const BbsPost &post, size_t seed)
{
    HashBuilder hash(seed);
    hash.add(post.did).add(post.uid).add(post.content).add(post.nickname).add(post.photo)
        .add(post.images).add(post.videos).add(post.audios).add(post.torrents.size());
    for (const BbsTorrent &torrent : post.torrents)
        hash.add(qHash(torrent, 0));
    hash.add(post.created).add(post.commentsNum).add(post.downloadNum).add(post.watchNum)
        .add(post.likesNum).add(post.liked);
    return hash.result();
}

QByteArray bbsPostsToJson(const QList<BbsPost> &posts)
{
    return json::writeList(posts);
}

// ---- WebCookie --------------------------------------------------------------------------------

void WebCookieItem::writeJson(json::Writer &w) const
{
    w.beginObject();
    w.member("name"_L1, name);
    w.member("value"_L1, value);
    w.endObject();
}

QJsonObject WebCookieItem::toJson() const
{
    return {{u"name"_s, name}, {u"value"_s, value}};
}

QList<WebCookieItem> WebCookie::pairs() const
{
    if (cookies)
        return *cookies;
    return {WebCookieItem{name, value}};
}

void WebCookie::writeJson(json::Writer &w) const
{
    w.beginObject();
    w.member("name"_L1, name);
    w.member("value"_L1, value);
    w.member("domain"_L1, domain);
    w.member("expires"_L1, expires);
    w.optionalMember("cookies"_L1, cookies);
    w.endObject();
}

QJsonObject WebCookie::toJson() const
{
    QJsonObject object{{u"name"_s, name}, {u"value"_s, value}, {u"domain"_s, domain},
                       {u"expires"_s, expires}};
    if (cookies)
        object.insert(u"cookies"_s, json::toArray(*cookies));
    return object;
}

QByteArray WebCookie::toJsonBytes() const
{
    return json::writeRecord(*this);
}

}
