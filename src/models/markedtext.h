#pragma once

#include <QColor>
#include <QFont>
#include <QList>
#include <QString>

namespace tovra {

// The search service marks matched parts of a title or cast with "<b>" and "</b>". These are the
// only tags it is asked for, and the only ones that mean anything here: everything else in a
// hit, angle brackets included, is text to show.
struct MarkedRun
{
    QString text;
    bool bold = false;

    friend bool operator==(const MarkedRun &, const MarkedRun &) = default;
};

// Splits a marked text into runs, left to right. A "<b>" opens a bold run that the next "</b>"
// closes; tags do not nest (a second "<b>" inside a run is text), a "</b>" outside a run is text,
// an unclosed "<b>" is dropped and what follows it stays plain, and tags in capitals are text.
// Empty runs are left out.
QList<MarkedRun> splitMarkedText(const QString &marked);

// The runs as rich text for a one-line label: every run HTML-escaped, plain runs coloured base,
// bold runs coloured accent in a bold face of boldPointSize. Line breaks inside the text become
// spaces and runs of spaces are kept, so the label shows the characters exactly as sent. This is
// the only markup built from server text that a label ever renders.
QString markedTextHtml(const QString &marked, const QColor &base, const QColor &accent, qreal boldPointSize);
// The same for runs already split (and perhaps shortened).
QString markedRunsHtml(const QList<MarkedRun> &runs, const QColor &base, const QColor &accent, qreal boldPointSize);

// The runs cut to fit width when drawn with plain and bold, with "…" at the cut, so a long title
// ends in an ellipsis instead of half a character. Only the first 1024 UTF-16 units are ever
// measured (more never fit in a row); a longer text is cut there and ends in "…" too.
QList<MarkedRun> elidedMarkedRuns(const QList<MarkedRun> &runs, qreal width, const QFont &plain, const QFont &bold);

}
