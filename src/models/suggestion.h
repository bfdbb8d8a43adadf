#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace tovra::suggestion {

// Spaces (every Unicode space separator, the ideographic space of Chinese input included) and
// tabs come off both ends; line breaks stay, they are part of what the user typed.
QString trimmedQuery(const QString &text);

// The keyboard highlight after one step (+1 down, -1 up) through count rows, wrapping at both
// ends; -1 is "none", and up from none lands on the last row. With no rows nothing moves.
int movedSelection(int active, qsizetype count, int step);

// Whether Return opens the highlighted row rather than submitting the text: only while the panel
// is wanted and the highlight points at a row.
bool returnOpensRow(bool showsPanel, int active, qsizetype count);

// A row's year, when the hit has a non-empty one.
std::optional<QString> yearText(const std::optional<QString> &year);
// "⭐" and the score exactly as sent, for a score that is wholly a finite decimal number above 1.
std::optional<QString> scoreText(const std::optional<QString> &score);
// "资源数(N)", shown for every hit, 0 included.
QString countText(qint64 torrentCount);
// "主演：" and the (still marked) names joined with "、", when there are any.
std::optional<QString> castLine(const QStringList &starsMarked);

}
