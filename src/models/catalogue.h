#pragma once

#include "models/decoding.h"
#include "models/jsonwriter.h"

#include <QStringList>

namespace tovra {

// One title in a list: search results, Top 250, category lists, home sections, related titles.
struct Item
{
    QString did;
    QString title;
    QStringList titles;
    QString image;
    std::optional<QString> score;
    std::optional<QString> showdate;
    std::optional<QStringList> tags;
    qint64 torrentCount = 0;
    qint64 watchNum = 0;
    bool playable = false;
    qint64 episodes = 0;
    QStringList stars;
    QStringList director;
    QStringList country;
    std::optional<QString> charDate;
    QString badge;
    std::optional<QString> alias;
    std::optional<qint64> rank;

    const QString &id() const { return did; }

    static Decoded<Item> fromJson(const QJsonValue &value);

    // The server sends ids and scores as texts or as numbers, depending on the endpoint. Never
    // fails: anything that is neither a text nor a representable number is absent.
    static std::optional<QString> flexibleString(const QJsonObject &object, QLatin1StringView key);
    static std::optional<QString> flexibleString(const QJsonObject &object, const QString &key);

    friend bool operator==(const Item &, const Item &) = default;
};
size_t qHash(const Item &item, size_t seed = 0);

// An entry of the home page's hot list.
struct HotItem
{
    QString did;
    QString title;
    QString image;
    qint64 count = 0;
    qint64 watchNum = 0;

    const QString &id() const { return did; }
    static Decoded<HotItem> fromJson(const QJsonValue &value);
    friend bool operator==(const HotItem &, const HotItem &) = default;
};
size_t qHash(const HotItem &item, size_t seed = 0);

// An entry of the daily download ranking.
struct RankItem
{
    QString did;
    QString title;
    QString image;
    qint64 count = 0;

    const QString &id() const { return did; }
    static Decoded<RankItem> fromJson(const QJsonValue &value);
    friend bool operator==(const RankItem &, const RankItem &) = default;
};
size_t qHash(const RankItem &item, size_t seed = 0);

// The home page with its sections.
struct HomeData
{
    QList<HotItem> hot;
    QList<Item> follow;
    QList<Item> erotica;
    QList<Item> tv;
    QList<Item> new_;  // the "new" section; the name is a C++ keyword
    QList<Item> list;
    std::optional<QString> categoryEro;
    std::optional<QString> categoryTv;
    std::optional<QString> moreTv;
    std::optional<QString> year;
    std::optional<QString> date;

    static Decoded<HomeData> fromJson(const QJsonValue &value);
};

// A sidebar entry: a category, or (external) a link.
struct NavItem
{
    QString id;
    QString name;
    QString icon = QStringLiteral("tags");
    std::optional<QString> url;
    bool external = false;
    qint64 newCount = 0;

    static Decoded<NavItem> fromJson(const QJsonValue &value);

    // A stand-alone category entry for a name that no sidebar entry has. The name is carried
    // whole, whatever characters it holds; every other field is what reading gives by default.
    static NavItem virtualItem(const QString &name);

    QJsonObject toJson() const;
    void writeJson(json::Writer &writer) const;
    QByteArray toJsonBytes() const;

    friend bool operator==(const NavItem &, const NavItem &) = default;
};
size_t qHash(const NavItem &item, size_t seed = 0);

// The cache entry of the sidebar list, keys in their reading order.
QByteArray navItemsToJson(const QList<NavItem> &items);

// One hit of the search service, with its highlighted texts.
struct SuggestItem
{
    // The hit's "_formatted" block: highlighted copies of title and cast, marked with <b></b>.
    struct Formatted
    {
        std::optional<QStringList> title;
        std::optional<QStringList> stars;

        static Decoded<Formatted> fromJson(const QJsonValue &value);
    };

    QString did;
    QString titleMarked;
    std::optional<QString> year;
    std::optional<QString> score;
    qint64 torrentCount = 0;
    QStringList starsMarked;

    const QString &id() const { return did; }
    static Decoded<SuggestItem> fromJson(const QJsonValue &value);
    friend bool operator==(const SuggestItem &, const SuggestItem &) = default;
};
size_t qHash(const SuggestItem &item, size_t seed = 0);

// One choice of a picker: shown by label, sent by value.
struct Choice
{
    qint64 value = 0;
    QString label;

    qint64 id() const { return value; }
    static Decoded<Choice> fromJson(const QJsonValue &value);
    QJsonObject toJson() const;
    void writeJson(json::Writer &writer) const;
    friend bool operator==(const Choice &, const Choice &) = default;
};
size_t qHash(const Choice &choice, size_t seed = 0);

// A category tag.
struct Tag
{
    qint64 id = 0;
    QString name;

    static Decoded<Tag> fromJson(const QJsonValue &value);
    QJsonObject toJson() const;
    void writeJson(json::Writer &writer) const;
    friend bool operator==(const Tag &, const Tag &) = default;
};
size_t qHash(const Tag &tag, size_t seed = 0);

// The filter choices of the category browser.
struct FilterOptions
{
    QList<Tag> column;
    QList<Choice> country;
    QList<Choice> year;
    QStringList sort;
    QStringList isbt;
    QStringList isplay;

    static Decoded<FilterOptions> fromJson(const QJsonValue &value);
    QJsonObject toJson() const;
    void writeJson(json::Writer &writer) const;
    QByteArray toJsonBytes() const;
};

}
