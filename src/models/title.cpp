#include "models/title.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tovra {

namespace {

constexpr auto kPlayEntryFields = [](auto &f) {
    f.required("episode"_L1, &PlayEntry::episode);
    f.required("did"_L1, &PlayEntry::did);
    f.required("token"_L1, &PlayEntry::token);
    f.required("expired"_L1, &PlayEntry::expired);
};

constexpr auto kTorrentFields = [](auto &f) {
    f.required("index"_L1, &Torrent::index);
    f.defaulted("name"_L1, &Torrent::name);
    f.optional("size"_L1, &Torrent::size);
    f.defaulted("price"_L1, &Torrent::price);
    f.optional("date"_L1, &Torrent::date);
    f.defaulted("heat"_L1, &Torrent::heat);
};

constexpr auto kItemDetailFields = [](auto &f) {
    f.defaulted("did"_L1, &ItemDetail::did);
    f.defaulted("title"_L1, &ItemDetail::title);
    f.defaulted("titles"_L1, &ItemDetail::titles);
    f.defaulted("image"_L1, &ItemDetail::image);
    f.defaulted("tags"_L1, &ItemDetail::tags);
    f.defaulted("director"_L1, &ItemDetail::director);
    f.defaulted("stars"_L1, &ItemDetail::stars);
    f.defaulted("country"_L1, &ItemDetail::country);
    f.optional("showdate"_L1, &ItemDetail::showdate);
    f.lenient("score"_L1, &ItemDetail::score, json::textOrDoubleRule);
    f.optional("updated"_L1, &ItemDetail::updated);
    f.defaulted("text"_L1, &ItemDetail::text);
    f.defaulted("adult"_L1, &ItemDetail::adult);
    f.defaulted("play_list"_L1, &ItemDetail::playList);
    f.defaulted("torrents"_L1, &ItemDetail::torrents);
    f.optional("alias"_L1, &ItemDetail::alias);
    f.defaulted("interested"_L1, &ItemDetail::interested);
};

constexpr auto kPlayAuthFields = [](auto &f) {
    f.required("url"_L1, &PlayAuth::url);
    f.required("token"_L1, &PlayAuth::token);
    f.required("et"_L1, &PlayAuth::et);
    f.required("l"_L1, &PlayAuth::l);
};

constexpr auto kTorrentResFields = [](auto &f) {
    f.tolerant("magnet"_L1, &TorrentRes::magnet);
    f.tolerant("xl"_L1, &TorrentRes::xl);
    f.tolerant("bturl"_L1, &TorrentRes::bturl);
};

constexpr auto kTorrentEntryFields = [](auto &f) {
    f.tolerant("name"_L1, &TorrentEntry::name);
    f.tolerant("size"_L1, &TorrentEntry::size);
    f.tolerant("children"_L1, &TorrentEntry::children);
};

constexpr auto kTorrentFileFields = [](auto &f) {
    f.tolerant("name"_L1, &TorrentFile::name);
    f.tolerant("size"_L1, &TorrentFile::size);
};

constexpr auto kTorrentDetailFields = [](auto &f) {
    f.defaulted("did"_L1, &TorrentDetail::did);
    f.optional("title"_L1, &TorrentDetail::title);
    f.optional("name"_L1, &TorrentDetail::name);
    f.optional("size"_L1, &TorrentDetail::size);
    f.optional("magnet"_L1, &TorrentDetail::magnet);
    f.optional("hash"_L1, &TorrentDetail::hash);
    f.tolerant("files"_L1, &TorrentDetail::files);
    f.tolerant("list"_L1, &TorrentDetail::list);
};

// Groups and files whose names carry this are the site's advertising, not content.
const QString kAdvertMarker = u"请访问"_s;

// UTF-16 units in code point order: surrogates (U+D800..U+DFFF, which encode U+10000 and up)
// move above the rest of the BMP.
char32_t codePointOrderKey(char16_t unit)
{
    if (unit >= 0xE000)
        return unit - 0x800;
    if (unit >= 0xD800)
        return unit + 0x2000;
    return unit;
}

}

bool codePointLess(QStringView a, QStringView b)
{
    const qsizetype common = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < common; ++i) {
        const char16_t x = a[i].unicode();
        const char16_t y = b[i].unicode();
        if (x != y)
            return codePointOrderKey(x) < codePointOrderKey(y);
    }
    return a.size() < b.size();
}

// ---- PlayEntry, Torrent -----------------------------------------------------------------------

Decoded<PlayEntry> PlayEntry::fromJson(const QJsonValue &value)
{
    return json::readRecord<PlayEntry>(value, kPlayEntryFields);
}

size_t qHash(const PlayEntry &entry, size_t seed)
{
    return HashBuilder(seed).add(entry.episode).add(entry.did).add(entry.token).add(entry.expired).result();
}

Decoded<Torrent> Torrent::fromJson(const QJsonValue &value)
{
    return json::readRecord<Torrent>(value, kTorrentFields);
}

size_t qHash(const Torrent &torrent, size_t seed)
{
    return HashBuilder(seed)
        .add(torrent.index).add(torrent.name).add(torrent.size).add(torrent.price)
        .add(torrent.date).add(torrent.heat)
        .result();
}

// ---- ItemDetail, PlayAuth, TorrentRes ---------------------------------------------------------

Decoded<ItemDetail> ItemDetail::fromJson(const QJsonValue &value)
{
    return json::readRecord<ItemDetail>(value, kItemDetailFields);
}

Decoded<PlayAuth> PlayAuth::fromJson(const QJsonValue &value)
{
    return json::readRecord<PlayAuth>(value, kPlayAuthFields);
}

Decoded<TorrentRes> TorrentRes::fromJson(const QJsonValue &value)
{
    return json::readRecord<TorrentRes>(value, kTorrentResFields);
}

// ---- File tree --------------------------------------------------------------------------------

Decoded<TorrentEntry> TorrentEntry::fromJson(const QJsonValue &value)
{
    return json::readRecord<TorrentEntry>(value, kTorrentEntryFields);
}

size_t qHash(const TorrentEntry &entry, size_t seed)
{
    HashBuilder hash(seed);
    hash.add(entry.name).add(entry.size).add(entry.children.size());
    for (const TorrentEntry &child : entry.children)
        hash.add(qHash(child, 0));
    return hash.result();
}

Decoded<TorrentFile> TorrentFile::fromJson(const QJsonValue &value)
{
    return json::readRecord<TorrentFile>(value, kTorrentFileFields);
}

size_t qHash(const TorrentFile &file, size_t seed)
{
    return HashBuilder(seed).add(file.name).add(file.size).result();
}

QList<TorrentEntry> TorrentDetail::entriesFromGroups(const QMap<QString, QList<TorrentFile>> &groups)
{
    QStringList names;
    for (auto it = groups.cbegin(); it != groups.cend(); ++it) {
        if (!it.key().contains(kAdvertMarker))
            names.append(it.key());
    }
    std::sort(names.begin(), names.end(),
              [](const QString &a, const QString &b) { return codePointLess(a, b); });

    QList<TorrentEntry> entries;
    entries.reserve(names.size());
    for (const QString &name : std::as_const(names)) {
        const QList<TorrentFile> &files = groups.value(name);
        TorrentEntry entry;
        entry.name = name;
        for (const TorrentFile &file : files) {
            if (file.name.isEmpty() || file.name.contains(kAdvertMarker))
                continue;
            entry.children.append(TorrentEntry{file.name, file.size, {}});
        }
        // A group left with nothing to list still shows the size its first file had.
        if (!files.isEmpty() && entry.children.isEmpty())
            entry.size = files.first().size;
        entries.append(std::move(entry));
    }
    return entries;
}

Decoded<TorrentDetail> TorrentDetail::fromJson(const QJsonValue &value)
{
    auto detail = json::readRecord<TorrentDetail>(value, kTorrentDetailFields);
    if (detail && detail->files.isEmpty())
        detail->files = entriesFromGroups(detail->list.value_or(QMap<QString, QList<TorrentFile>>()));
    return detail;
}

}
