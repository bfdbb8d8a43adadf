#pragma once

#include "models/decoding.h"
#include "models/jsonwriter.h"

#include <QStringList>

namespace tovra {

// A torrent attached to a community post.
struct BbsTorrent
{
    QString url;
    QString name;

    static Decoded<BbsTorrent> fromJson(const QJsonValue &value);
    QJsonObject toJson() const;
    void writeJson(json::Writer &writer) const;
    friend bool operator==(const BbsTorrent &, const BbsTorrent &) = default;
};
size_t qHash(const BbsTorrent &torrent, size_t seed = 0);

// The answer to a like or unlike.
struct BbsLikeResult
{
    QString did;
    bool liked = false;
    std::optional<qint64> likesNum;

    static Decoded<BbsLikeResult> fromJson(const QJsonValue &value);
    QJsonObject toJson() const;
    void writeJson(json::Writer &writer) const;
    QByteArray toJsonBytes() const;
};

// One post of the community board. Every member is read on its own and falls back to its
// default, so a post only fails when it is not an object at all.
struct BbsPost
{
    // Which medium the post shows first.
    enum class Kind { Video, Image, Audio, Torrent, Text };

    QString did;
    QString uid;
    QString content;
    QString nickname;
    QString photo;
    QStringList images;
    QStringList videos;
    QStringList audios;
    QList<BbsTorrent> torrents;
    qint64 created = 0;
    qint64 commentsNum = 0;
    qint64 downloadNum = 0;
    qint64 watchNum = 0;
    // The only fields that change after reading: the board updates them after a like.
    qint64 likesNum = 0;
    bool liked = false;

    const QString &id() const { return did; }
    // Videos first, then audio, torrents, images; a post with none of them is text.
    Kind kind() const;

    // Takes over the state of a successful like or unlike; a count is only taken when the
    // answer carries one.
    void applyLike(const BbsLikeResult &result);

    static Decoded<BbsPost> fromJson(const QJsonValue &value);
    QJsonObject toJson() const;
    void writeJson(json::Writer &writer) const;
    QByteArray toJsonBytes() const;

    friend bool operator==(const BbsPost &, const BbsPost &) = default;
};
size_t qHash(const BbsPost &post, size_t seed = 0);

QByteArray bbsPostsToJson(const QList<BbsPost> &posts);

// One cookie name and value.
struct WebCookieItem
{
    QString name;
    QString value;

    static Decoded<WebCookieItem> fromJson(const QJsonValue &value);
    QJsonObject toJson() const;
    void writeJson(json::Writer &writer) const;
};

// The site cookie that the in-app web page sets before loading a site page. When cookies is
// present its pairs are set (none when it is empty); otherwise the record's own name and value.
struct WebCookie
{
    QString name;
    QString value;
    QString domain;
    double expires = 0.0;  // Unix seconds
    std::optional<QList<WebCookieItem>> cookies;

    // The name and value pairs the page should set, by the rule above.
    QList<WebCookieItem> pairs() const;

    static Decoded<WebCookie> fromJson(const QJsonValue &value);
    QJsonObject toJson() const;
    void writeJson(json::Writer &writer) const;
    QByteArray toJsonBytes() const;
};

// The answer of the update check.
struct UpdateInfo
{
    bool hasUpdate = false;
    bool force = false;
    QString version;
    qint64 build = 0;
    QString url;
    QString sha256;  // hexadecimal; empty when the server gives none
    qint64 size = 0;
    QString notes;
    std::optional<QString> published;

    static Decoded<UpdateInfo> fromJson(const QJsonValue &value);
};

}
