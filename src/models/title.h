#pragma once

#include "models/catalogue.h"
#include "models/decoding.h"

#include <QMap>
#include <QStringList>

namespace tovra {

// One playable episode; its did, token and expired authorise playback.
struct PlayEntry
{
    qint64 episode = 0;
    QString did;
    QString token;
    qint64 expired = 0;

    qint64 id() const { return episode; }
    static Decoded<PlayEntry> fromJson(const QJsonValue &value);
    friend bool operator==(const PlayEntry &, const PlayEntry &) = default;
};
size_t qHash(const PlayEntry &entry, size_t seed = 0);

// One torrent row of a title. index is the torrent's number within the title.
struct Torrent
{
    qint64 index = 0;
    QString name;
    std::optional<QString> size;
    qint64 price = 0;  // coins ("BT币") that downloading it costs
    std::optional<QString> date;
    qint64 heat = 0;

    qint64 id() const { return index; }
    static Decoded<Torrent> fromJson(const QJsonValue &value);
    friend bool operator==(const Torrent &, const Torrent &) = default;
};
size_t qHash(const Torrent &torrent, size_t seed = 0);

// The title page's record.
struct ItemDetail
{
    QString did;
    QString title;
    QStringList titles;
    QString image;
    QStringList tags;
    QStringList director;
    QStringList stars;
    QStringList country;
    std::optional<QString> showdate;
    // Unlike Item::score, an integral score keeps its fraction here: 8 reads as "8.0".
    std::optional<QString> score;
    std::optional<QString> updated;
    QString text;
    bool adult = false;
    QList<PlayEntry> playList;
    QList<Torrent> torrents;
    std::optional<QString> alias;
    QList<Item> interested;

    static Decoded<ItemDetail> fromJson(const QJsonValue &value);
};

// The playback authorisation of one episode.
struct PlayAuth
{
    QString url;
    QString token;
    qint64 et = 0;
    qint64 l = 0;

    static Decoded<PlayAuth> fromJson(const QJsonValue &value);
};

// The download links of one torrent; each is empty when the server gives nothing usable.
struct TorrentRes
{
    QString magnet;
    QString xl;     // Thunder/Xunlei link
    QString bturl;  // the .torrent file

    static Decoded<TorrentRes> fromJson(const QJsonValue &value);
};

// One node of a torrent's file tree.
struct TorrentEntry
{
    QString name;
    QString size;
    QList<TorrentEntry> children;

    const QString &id() const { return name; }
    static Decoded<TorrentEntry> fromJson(const QJsonValue &value);
    friend bool operator==(const TorrentEntry &, const TorrentEntry &) = default;
};
size_t qHash(const TorrentEntry &entry, size_t seed = 0);

// One file of a group in TorrentDetail::list.
struct TorrentFile
{
    QString name;
    QString size;

    static Decoded<TorrentFile> fromJson(const QJsonValue &value);
    friend bool operator==(const TorrentFile &, const TorrentFile &) = default;
};
size_t qHash(const TorrentFile &file, size_t seed = 0);

// One torrent's detail for the resource page.
struct TorrentDetail
{
    QString did;
    std::optional<QString> title;
    std::optional<QString> name;
    std::optional<QString> size;
    std::optional<QString> magnet;
    std::optional<QString> hash;
    // What the page shows: the server's tree, or one made from the groups of list.
    QList<TorrentEntry> files;
    std::optional<QMap<QString, QList<TorrentFile>>> list;

    static Decoded<TorrentDetail> fromJson(const QJsonValue &value);

    // The tree made from file groups: advertising groups and files dropped, groups in code
    // point order of their names.
    static QList<TorrentEntry> entriesFromGroups(const QMap<QString, QList<TorrentFile>> &groups);
};

// Orders texts by Unicode code point, which QString's own operator< (UTF-16 units) does not do
// for characters beyond U+FFFF.
bool codePointLess(QStringView a, QStringView b);

}
