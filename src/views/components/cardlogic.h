#pragma once

#include "models/catalogue.h"

#include <QColor>
#include <QList>
#include <QString>
#include <optional>

namespace tovra::card {

// What a poster card shows, worked out from the record alone so it can be checked without
// painting anything.

// The score chip's text: the score as a decimal number with one decimal, only when the whole
// text is a plain decimal number (no blanks around it) greater than 1.0.
std::optional<QString> scoreText(const std::optional<QString> &score);

// The release year: the first four characters of showdate when there are at least four and
// all four are numeric characters (any script's digits, not only ASCII).
std::optional<QString> year(const std::optional<QString> &showdate);

// What a screen reader says for a card: "片名，评分 8.3，2019", leaving out the score or the year
// when the card shows none.
QString accessibleName(const Item &item);

struct RankColors
{
    QColor background;
    QColor text;
};
// Gold, silver and bronze for the first three places; the dark chip for anything else.
RankColors rankColors(qint64 rank);

// The one chip in the poster's top-trailing corner.
enum class Corner { None, Rank, Updated, Year };
Corner topTrailing(const Item &item, const std::optional<QString> &today, bool hovering);

// The rows of the hover panel, in order; empty texts are dropped before the caps apply.
struct InfoRow
{
    QString label;
    QStringList values;
    QString joined() const { return values.join(QStringLiteral("  ")); }
    friend bool operator==(const InfoRow &, const InfoRow &) = default;
};
QList<InfoRow> infoRows(const Item &item);

}
