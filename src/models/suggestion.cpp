#include "models/suggestion.h"

#include <QRegularExpression>
#include <cmath>

namespace tovra::suggestion {

namespace {
bool isBlank(QChar c)
{
    return c == u'\t' || c.category() == QChar::Separator_Space;
}
}

QString trimmedQuery(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text.at(begin)))
        ++begin;
    while (end > begin && isBlank(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

int movedSelection(int active, qsizetype count, int step)
{
    if (count <= 0)
        return active;
    const qsizetype next = qsizetype(active) + step;
    if (next < 0)
        return int(count - 1);
    return next < count ? int(next) : 0;
}

bool returnOpensRow(bool showsPanel, int active, qsizetype count)
{
    return showsPanel && active >= 0 && active < count;
}

std::optional<QString> yearText(const std::optional<QString> &year)
{
    if (!year || year->isEmpty())
        return std::nullopt;
    return *year;
}

std::optional<QString> scoreText(const std::optional<QString> &score)
{
    if (!score)
        return std::nullopt;
    // The whole text must be the number: QString::toDouble alone would also take surrounding
    // spaces and words like "inf".
    static const QRegularExpression number(QStringLiteral(R"(^[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?$)"));
    if (!number.match(*score).hasMatch())
        return std::nullopt;
    bool ok = false;
    const double value = score->toDouble(&ok);
    if (!ok || !std::isfinite(value) || value <= 1.0)
        return std::nullopt;
    return QStringLiteral("⭐") + *score;
}

QString countText(qint64 torrentCount)
{
    return QStringLiteral("资源数(") + QString::number(torrentCount) + u')';
}

std::optional<QString> castLine(const QStringList &starsMarked)
{
    if (starsMarked.isEmpty())
        return std::nullopt;
    return QStringLiteral("主演：") + starsMarked.join(QStringLiteral("、"));
}

}
