#include "models/catalogue.h"

using namespace Qt::StringLiterals;

namespace tovra {

// ---- Item -------------------------------------------------------------------------------------

namespace {
constexpr auto kItemFields = [](auto &f) {
    f.lenient("did"_L1, &Item::did, json::flexible);
    f.defaulted("title"_L1, &Item::title);
    f.defaulted("titles"_L1, &Item::titles);
    f.defaulted("image"_L1, &Item::image);
    f.lenient("score"_L1, &Item::score, json::flexible);
    f.optional("showdate"_L1, &Item::showdate);
    f.optional("tags"_L1, &Item::tags);
    f.defaulted("torrent_count"_L1, &Item::torrentCount);
    f.defaulted("watch_num"_L1, &Item::watchNum);
    f.defaulted("playable"_L1, &Item::playable);
    f.defaulted("episodes"_L1, &Item::episodes);
    f.defaulted("stars"_L1, &Item::stars);
    f.defaulted("director"_L1, &Item::director);
    f.defaulted("country"_L1, &Item::country);
    f.optional("char_date"_L1, &Item::charDate);
    f.defaulted("badge"_L1, &Item::badge);
    f.optional("alias"_L1, &Item::alias);
    f.optional("rank"_L1, &Item::rank);
};
}

Decoded<Item> Item::fromJson(const QJsonValue &value)
{
    return json::readRecord<Item>(value, kItemFields);
}

std::optional<QString> Item::flexibleString(const QJsonObject &object, QLatin1StringView key)
{
    return json::flexibleText(object, key);
}

std::optional<QString> Item::flexibleString(const QJsonObject &object, const QString &key)
{
    const auto it = object.constFind(key);
    if (it == object.constEnd())
        return std::nullopt;
    return json::flexibleText(*it);
}

size_t qHash(const Item &item, size_t seed)
{
    return HashBuilder(seed)
        .add(item.did).add(item.title).add(item.titles).add(item.image).add(item.score)
        .add(item.showdate).add(item.tags).add(item.torrentCount).add(item.watchNum)
        .add(item.playable).add(item.episodes).add(item.stars).add(item.director)
        .add(item.country).add(item.charDate).add(item.badge).add(item.alias).add(item.rank)
        .result();
}

// ---- HotItem, RankItem ------------------------------------------------------------------------

namespace {
constexpr auto kHotItemFields = [](auto &f) {
    f.required("did"_L1, &HotItem::did);
    f.required("title"_L1, &HotItem::title);
    f.required("image"_L1, &HotItem::image);
    f.required("count"_L1, &HotItem::count);
    f.required("watch_num"_L1, &HotItem::watchNum);
};

constexpr auto kRankItemFields = [](auto &f) {
    f.required("did"_L1, &RankItem::did);
    f.required("title"_L1, &RankItem::title);
    f.required("image"_L1, &RankItem::image);
    f.required("count"_L1, &RankItem::count);
};
}

Decoded<HotItem> HotItem::fromJson(const QJsonValue &value)
{
    return json::readRecord<HotItem>(value, kHotItemFields);
}

size_t qHash(const HotItem &item, size_t seed)
{
    return HashBuilder(seed)
        .add(item.did).add(item.title).add(item.image).add(item.count).add(item.watchNum)
        .result();
}

Decoded<RankItem> RankItem::fromJson(const QJsonValue &value)
{
    return json::readRecord<RankItem>(value, kRankItemFields);
}

size_t qHash(const RankItem &item, size_t seed)
{
    return HashBuilder(seed).add(item.did).add(item.title).add(item.image).add(item.count).result();
}

// ---- HomeData ---------------------------------------------------------------------------------

namespace {
constexpr auto kHomeDataFields = [](auto &f) {
    f.defaulted("hot"_L1, &HomeData::hot);
    f.defaulted("follow"_L1, &HomeData::follow);
    f.defaulted("erotica"_L1, &HomeData::erotica);
    f.defaulted("tv"_L1, &HomeData::tv);
    f.defaulted("new"_L1, &HomeData::new_);
    f.defaulted("list"_L1, &HomeData::list);
    f.optional("category_ero"_L1, &HomeData::categoryEro);
    f.optional("category_tv"_L1, &HomeData::categoryTv);
    f.lenient("more_tv"_L1, &HomeData::moreTv, json::textOrIntegerRule);
    f.optional("year"_L1, &HomeData::year);
    f.optional("date"_L1, &HomeData::date);
};
}

Decoded<HomeData> HomeData::fromJson(const QJsonValue &value)
{
    return json::readRecord<HomeData>(value, kHomeDataFields);
}

// ---- NavItem ----------------------------------------------------------------------------------

namespace {
constexpr auto kNavItemFields = [](auto &f) {
    f.lenient("id"_L1, &NavItem::id, json::textOrIntegerRule);
    f.required("name"_L1, &NavItem::name);
    f.defaulted("icon"_L1, &NavItem::icon);
    f.optional("url"_L1, &NavItem::url);
    f.defaulted("external"_L1, &NavItem::external);
    f.defaulted("new_count"_L1, &NavItem::newCount);
};
}

Decoded<NavItem> NavItem::fromJson(const QJsonValue &value)
{
    return json::readRecord<NavItem>(value, kNavItemFields);
}

NavItem NavItem::virtualItem(const QString &name)
{
    // Read through the same rules as a server entry so that every default is the reader's. The
    // name goes in as a JSON value, never spliced into JSON text, so quotes, backslashes and
    // control characters in it survive.
    if (auto item = fromJson(QJsonObject{{u"name"_s, name}}))
        return std::move(*item);
    NavItem item;
    item.name = name;
    return item;
}

void NavItem::writeJson(json::Writer &w) const
{
    w.beginObject();
    w.member("id"_L1, id);
    w.member("name"_L1, name);
    w.member("icon"_L1, icon);
    w.optionalMember("url"_L1, url);
    w.member("external"_L1, external);
    w.member("new_count"_L1, newCount);
    w.endObject();
}

QJsonObject NavItem::toJson() const
{
    QJsonObject object{{u"id"_s, id}, {u"name"_s, name}, {u"icon"_s, icon},
                       {u"external"_s, external}, {u"new_count"_s, newCount}};
    if (url)
        object.insert(u"url"_s, *url);
    return object;
}

QByteArray NavItem::toJsonBytes() const
{
    return json::writeRecord(*this);
}

size_t qHash(const NavItem &item, size_t seed)
{
    return HashBuilder(seed)
        .add(item.id).add(item.name).add(item.icon).add(item.url).add(item.external)
        .add(item.newCount)
        .result();
}

QByteArray navItemsToJson(const QList<NavItem> &items)
{
    return json::writeList(items);
}

// ---- SuggestItem ------------------------------------------------------------------------------

namespace {

constexpr auto kFormattedFields = [](auto &f) {
    f.optional("title"_L1, &SuggestItem::Formatted::title);
    f.optional("stars"_L1, &SuggestItem::Formatted::stars);
};

// A search hit as it comes, every member read on its own; SuggestItem is formed from it.
struct SuggestHit
{
    std::optional<SuggestItem::Formatted> formatted;
    std::optional<QString> did;
    std::optional<QStringList> title;
    std::optional<QString> showdate;
    std::optional<QString> score;
    std::optional<qint64> torrents;
    std::optional<QStringList> stars;
};

constexpr auto kSuggestHitFields = [](auto &f) {
    f.tolerant("_formatted"_L1, &SuggestHit::formatted);
    f.lenient("did"_L1, &SuggestHit::did, json::oneDecimal);
    f.tolerant("title"_L1, &SuggestHit::title);
    f.lenient("showdate"_L1, &SuggestHit::showdate, json::oneDecimal);
    f.lenient("score"_L1, &SuggestHit::score, json::oneDecimal);
    f.lenient("torrents"_L1, &SuggestHit::torrents, json::integerOrTextRule);
    f.tolerant("stars"_L1, &SuggestHit::stars);
};

SuggestItem suggestItemFrom(SuggestHit &&hit)
{
    SuggestItem item;
    item.did = hit.did.value_or(QString());

    const auto &formatted = hit.formatted;
    if (formatted && formatted->title && !formatted->title->isEmpty())
        item.titleMarked = formatted->title->first();
    else if (hit.title && !hit.title->isEmpty())
        item.titleMarked = hit.title->first();

    // Only the year of the release date is kept.
    if (hit.showdate && hit.showdate->size() >= 4)
        item.year = hit.showdate->left(4);

    item.score = std::move(hit.score);
    item.torrentCount = hit.torrents.value_or(0);

    // The highlighted cast wins whenever the block has one, even an empty one.
    if (formatted && formatted->stars)
        item.starsMarked = *formatted->stars;
    else if (hit.stars)
        item.starsMarked = std::move(*hit.stars);
    return item;
}

}

Decoded<SuggestItem::Formatted> SuggestItem::Formatted::fromJson(const QJsonValue &value)
{
    return json::readRecord<Formatted>(value, kFormattedFields);
}

Decoded<SuggestItem> SuggestItem::fromJson(const QJsonValue &value)
{
    auto hit = json::readRecord<SuggestHit>(value, kSuggestHitFields);
    if (!hit)
        return std::unexpected(std::move(hit.error()));
    return suggestItemFrom(std::move(*hit));
}

size_t qHash(const SuggestItem &item, size_t seed)
{
    return HashBuilder(seed)
        .add(item.did).add(item.titleMarked).add(item.year).add(item.score)
        .add(item.torrentCount).add(item.starsMarked)
        .result();
}

// ---- Choice, Tag, FilterOptions ---------------------------------------------------------------

namespace {
constexpr auto kChoiceFields = [](auto &f) {
    f.required("value"_L1, &Choice::value);
    f.required("label"_L1, &Choice::label);
};

constexpr auto kTagFields = [](auto &f) {
    f.lenient("id"_L1, &Tag::id, json::integerOrTextRule);
    f.required("name"_L1, &Tag::name);
};

constexpr auto kFilterOptionsFields = [](auto &f) {
    f.required("column"_L1, &FilterOptions::column);
    f.required("country"_L1, &FilterOptions::country);
    f.required("year"_L1, &FilterOptions::year);
    f.required("sort"_L1, &FilterOptions::sort);
    f.required("isbt"_L1, &FilterOptions::isbt);
    f.required("isplay"_L1, &FilterOptions::isplay);
};
}

Decoded<Choice> Choice::fromJson(const QJsonValue &value)
{
    return json::readRecord<Choice>(value, kChoiceFields);
}

void Choice::writeJson(json::Writer &w) const
{
    w.beginObject();
    w.member("value"_L1, value);
    w.member("label"_L1, label);
    w.endObject();
}

QJsonObject Choice::toJson() const
{
    return {{u"value"_s, value}, {u"label"_s, label}};
}

size_t qHash(const Choice &choice, size_t seed)
{
    return HashBuilder(seed).add(choice.value).add(choice.label).result();
}

Decoded<Tag> Tag::fromJson(const QJsonValue &value)
{
    return json::readRecord<Tag>(value, kTagFields);
}

void Tag::writeJson(json::Writer &w) const
{
    w.beginObject();
    w.member("id"_L1, id);
    w.member("name"_L1, name);
    w.endObject();
}

QJsonObject Tag::toJson() const
{
    return {{u"id"_s, id}, {u"name"_s, name}};
}

size_t qHash(const Tag &tag, size_t seed)
{
    return HashBuilder(seed).add(tag.id).add(tag.name).result();
}

Decoded<FilterOptions> FilterOptions::fromJson(const QJsonValue &value)
{
    return json::readRecord<FilterOptions>(value, kFilterOptionsFields);
}

void FilterOptions::writeJson(json::Writer &w) const
{
    w.beginObject();
    w.member("column"_L1, column);
    w.member("country"_L1, country);
    w.member("year"_L1, year);
    w.member("sort"_L1, sort);
    w.member("isbt"_L1, isbt);
    w.member("isplay"_L1, isplay);
    w.endObject();
}

QJsonObject FilterOptions::toJson() const
{
    return {{u"column"_s, json::toArray(column)},
            {u"country"_s, json::toArray(country)},
            {u"year"_s, json::toArray(year)},
            {u"sort"_s, QJsonArray::fromStringList(sort)},
            {u"isbt"_s, QJsonArray::fromStringList(isbt)},
            {u"isplay"_s, QJsonArray::fromStringList(isplay)}};
}

QByteArray FilterOptions::toJsonBytes() const
{
    return json::writeRecord(*this);
}

}
