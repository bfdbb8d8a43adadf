#pragma once

#include "models/apiresponse.h"
#include "models/catalogue.h"

#include <QColor>
#include <QList>
#include <QMap>
#include <QString>
#include <optional>

// The decisions of the catalogue screens that need no widget: what the home page lays out, how
// wide the hot list runs, which query the category browser sends and when it reloads, and the
// texts built from data.
namespace tovra::catalogue {

// ---- Home page ------------------------------------------------------------------------------

// Hot-list columns for a width: as many 240-wide columns with 24 between them as fit, from 1
// to 5; an unmeasured (0, negative or NaN) width counts as room for 5.
int hotColumns(double width);
inline constexpr int kHotColumnSpacing = 24;
inline constexpr int kHotRowSpacing = 6;

// "1234℃"
QString heatText(qint64 heat);

// The rank badge of the hot list: gold, silver and bronze behind the first three places and
// nothing behind the others; dark digits on the three metals, none (the faint text colour) for
// the rest.
std::optional<QColor> rankBadgeBackground(qint64 rank);
std::optional<QColor> rankBadgeDigits(qint64 rank);

// One poster section of the home page. slot numbers the sections in their fixed order
// (2 "热门关注" to 6 "最近更新"; 1 is the hot list), so a refresh can find the section again.
struct HomeSection
{
    int slot = 0;
    QString title;
    QString symbol;
    std::optional<QString> more; // the category the "更多 ››" link opens
    QList<Item> items;
    friend bool operator==(const HomeSection &, const HomeSection &) = default;
};
// The poster sections that have titles, in page order.
QList<HomeSection> posterSections(const HomeData &data);

// ---- Lists ----------------------------------------------------------------------------------

// "12 次"
QString downloadCountText(qint64 count);
// "共 37 部" when the paging block knows of at least one title.
std::optional<QString> totalText(const std::optional<Meta> &meta);
// The empty text of a search, the query quoted exactly as sent.
QString searchEmptyText(const QString &query);

// ---- Category browser -----------------------------------------------------------------------

// What the browser reloads on. Id and name are compared as a pair: two categories whose texts
// merely run together the same ("1" + "23" and "12" + "3") are still different.
struct CategoryKey
{
    QString id;
    QString name;
    static CategoryKey of(const NavItem &item) { return {item.id, item.name}; }
    friend bool operator==(const CategoryKey &, const CategoryKey &) = default;
};

// The parent id the sub-tags are asked for: the category id as a whole signed decimal number,
// or none (no request at all) for an empty id, any other character, or an overflow.
std::optional<qint64> categoryTagParent(const QString &id);

// The filter bar's state. year and country hold the chosen entry's value (not its position),
// 0 or less meaning any; sort is the position in the server's sort list.
struct BrowseFilters
{
    std::optional<QString> tag;
    qint64 year = 0;
    qint64 country = 0;
    bool onlyTorrent = false;
    bool onlyPlayable = false;
    qint64 sort = 0;
    friend bool operator==(const BrowseFilters &, const BrowseFilters &) = default;
};

// The filter query of a category (the client's parameter map): "column" and "sort" always,
// the others only while chosen; a key that is not chosen is absent, never empty. The client
// adds "page".
QMap<QString, QString> browseQuery(const QString &column, const BrowseFilters &filters);

// How many reloads a filter change asks for: one per picker or toggle whose value changed.
// A chip is not counted: picking one loads by itself (and loads even when picked again).
int reloadsFor(const BrowseFilters &before, const BrowseFilters &after);

}
