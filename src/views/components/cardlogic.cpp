#include "views/components/cardlogic.h"

#include "models/decoding.h"
#include "views/palette.h"

#include <QRegularExpression>
#include <QTextBoundaryFinder>
#include <cmath>
#include <string_view>

namespace tovra::card {

std::optional<QString> scoreText(const std::optional<QString> &score)
{
    if (!score)
        return std::nullopt;
    // Decimal notation only: "inf", "nan" and hexadecimal floats are not scores.
    static const QRegularExpression decimal(
        QStringLiteral("\\A[+-]?(?:[0-9]+(?:\\.[0-9]*)?|\\.[0-9]+)(?:[eE][+-]?[0-9]+)?\\z"));
    if (!decimal.match(*score).hasMatch())
        return std::nullopt;
    bool ok = false;
    const double value = score->toDouble(&ok);
    if (!ok || !std::isfinite(value) || !(value > 1.0))
        return std::nullopt;
    return json::oneDecimalText(value);
}

namespace {
// Unicode gives these ideographs a numeric value (Numeric_Type=Numeric) although their
// category is "other letter", which QChar::isNumber() does not look at.
bool isNumericCharacter(char32_t c)
{
    if (QChar::isNumber(c))
        return true;
    static const std::u32string_view ideographs = U"零一二三四五六七八九十百千万萬亿億兆廿卅壹贰貳叁參肆伍陆陸柒捌玖拾佰仟";
    return ideographs.find(c) != std::u32string_view::npos;
}
}

std::optional<QString> year(const std::optional<QString> &showdate)
{
    if (!showdate)
        return std::nullopt;
    // Characters as a reader counts them (grapheme clusters), not UTF-16 units.
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, *showdate);
    QString head;
    int taken = 0;
    qsizetype start = 0;
    while (taken < 4) {
        const qsizetype end = finder.toNextBoundary();
        if (end < 0)
            return std::nullopt;
        const QString character = showdate->mid(start, end - start);
        const char32_t first = character.toUcs4().value(0);
        if (!isNumericCharacter(first))
            return std::nullopt;
        head += character;
        start = end;
        ++taken;
    }
    return head;
}

RankColors rankColors(qint64 rank)
{
    switch (rank) {
    case 1:
        return {QColor(0xF5, 0xC5, 0x18), QColor(0x1A, 0x12, 0x00)};
    case 2:
        return {QColor(0xC9, 0xD2, 0xDA), QColor(0x14, 0x18, 0x1C)};
    case 3:
        return {QColor(0xD0, 0x8A, 0x4F), QColor(0x1A, 0x12, 0x00)};
    default:
        return {CardStyle::chipBg(), CardStyle::yearText()};
    }
}

Corner topTrailing(const Item &item, const std::optional<QString> &today, bool hovering)
{
    if (item.rank)
        return Corner::Rank;
    if (today && item.charDate && *today == *item.charDate && !hovering)
        return Corner::Updated;
    if (year(item.showdate))
        return Corner::Year;
    return Corner::None;
}

namespace {
QStringList capped(const QStringList &values, int cap)
{
    QStringList kept;
    for (const QString &v : values) {
        if (v.isEmpty())
            continue;
        kept.append(v);
        if (kept.size() == cap)
            break;
    }
    return kept;
}
}

QList<InfoRow> infoRows(const Item &item)
{
    QList<InfoRow> rows;
    const auto add = [&rows](const QString &label, const QStringList &values) {
        if (!values.isEmpty())
            rows.append({label, values});
    };
    add(QStringLiteral("别名"), capped(item.alias ? QStringList{*item.alias} : QStringList{}, 1));
    add(QStringLiteral("类型"), capped(item.tags.value_or(QStringList{}), 3));
    add(QStringLiteral("导演"), capped(item.director, 2));
    add(QStringLiteral("主演"), capped(item.stars, 4));
    add(QStringLiteral("地区"), capped(item.country, 3));
    return rows;
}

QString accessibleName(const Item &item)
{
    QStringList parts{item.title};
    if (const auto score = scoreText(item.score))
        parts << QStringLiteral("评分 ") + *score;
    if (const auto released = year(item.showdate))
        parts << *released;
    return parts.join(QStringLiteral("，"));
}

}
