#include "models/cataloguelogic.h"

#include "models/decoding.h"

#include <cmath>

namespace tovra::catalogue {

int hotColumns(double width)
{
    if (!(width > 0))
        return 5;
    constexpr double kColumn = 240;
    const double fitting = std::trunc((width + kHotColumnSpacing) / (kColumn + kHotColumnSpacing));
    if (fitting < 1)
        return 1;
    if (fitting > 5)
        return 5;
    return int(fitting);
}

QString heatText(qint64 heat)
{
    return QString::number(heat) + QStringLiteral("℃");
}

std::optional<QColor> rankBadgeBackground(qint64 rank)
{
    switch (rank) {
    case 1: return QColor(0xF5, 0xC5, 0x18);
    case 2: return QColor(0xC9, 0xD2, 0xDA);
    case 3: return QColor(0xD0, 0x8A, 0x4F);
    default: return std::nullopt;
    }
}

std::optional<QColor> rankBadgeDigits(qint64 rank)
{
    switch (rank) {
    case 1:
    case 3: return QColor(0x1A, 0x12, 0x00);
    case 2: return QColor(0x14, 0x18, 0x1C);
    default: return std::nullopt;
    }
}

QList<HomeSection> posterSections(const HomeData &data)
{
    const QList<HomeSection> all = {
        {2, QStringLiteral("热门关注"), QStringLiteral("flame"), std::nullopt, data.follow},
        {3, QStringLiteral("人间情暖"), QStringLiteral("heart"), data.categoryEro, data.erotica},
        {4, QStringLiteral("狂热追剧"), QStringLiteral("tv"), data.categoryTv, data.tv},
        {5, data.year.value_or(QString()) + QStringLiteral("年最新"), QStringLiteral("sparkles"), std::nullopt,
         data.new_},
        {6, QStringLiteral("最近更新"), QStringLiteral("clock"), std::nullopt, data.list},
    };
    QList<HomeSection> shown;
    for (const HomeSection &section : all) {
        if (!section.items.isEmpty())
            shown.append(section);
    }
    return shown;
}

QString downloadCountText(qint64 count)
{
    return QString::number(count) + QStringLiteral(" 次");
}

std::optional<QString> totalText(const std::optional<Meta> &meta)
{
    if (!meta || !meta->total || *meta->total < 1)
        return std::nullopt;
    return QStringLiteral("共 ") + QString::number(*meta->total) + QStringLiteral(" 部");
}

QString searchEmptyText(const QString &query)
{
    return QStringLiteral("没有找到「") + query + QStringLiteral("」相关的资源");
}

std::optional<qint64> categoryTagParent(const QString &id)
{
    return json::parseStrictInteger(id);
}

QMap<QString, QString> browseQuery(const QString &column, const BrowseFilters &filters)
{
    QMap<QString, QString> query;
    query.insert(QStringLiteral("column"), column);
    if (filters.tag)
        query.insert(QStringLiteral("tag"), *filters.tag);
    if (filters.year >= 1)
        query.insert(QStringLiteral("year"), QString::number(filters.year));
    if (filters.country >= 1)
        query.insert(QStringLiteral("countryID"), QString::number(filters.country));
    if (filters.onlyTorrent)
        query.insert(QStringLiteral("isbt"), QStringLiteral("1"));
    if (filters.onlyPlayable)
        query.insert(QStringLiteral("isplay"), QStringLiteral("1"));
    query.insert(QStringLiteral("sort"), QString::number(filters.sort));
    return query;
}

int reloadsFor(const BrowseFilters &before, const BrowseFilters &after)
{
    return int(before.year != after.year) + int(before.country != after.country) + int(before.sort != after.sort)
         + int(before.onlyTorrent != after.onlyTorrent) + int(before.onlyPlayable != after.onlyPlayable);
}

}
