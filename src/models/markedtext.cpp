#include "models/markedtext.h"

#include <QFontMetricsF>
#include <QTextLayout>

#include <algorithm>
#include <limits>

namespace tovra {

namespace {

const QString kOpen = QStringLiteral("<b>");
const QString kClose = QStringLiteral("</b>");

void append(QList<MarkedRun> &runs, QStringView text, bool bold)
{
    if (!text.isEmpty())
        runs.append(MarkedRun{text.toString(), bold});
}

QString cssColor(const QColor &color)
{
    if (color.alpha() == 255)
        return color.name(QColor::HexRgb);
    return QStringLiteral("rgba(%1,%2,%3,%4)")
        .arg(color.red())
        .arg(color.green())
        .arg(color.blue())
        .arg(QString::number(color.alphaF(), 'f', 3));
}

QString escapedOneLine(const QString &text)
{
    QString flat = text;
    // One line per label: a break in a title would push the row's second line out of view.
    for (QChar &c : flat) {
        if (c == u'\n' || c == u'\r' || c == QChar(0x2028) || c == QChar(0x2029))
            c = u' ';
    }
    return flat.toHtmlEscaped();
}

}

QList<MarkedRun> splitMarkedText(const QString &marked)
{
    QList<MarkedRun> runs;
    QStringView rest(marked);
    while (true) {
        const qsizetype open = rest.indexOf(kOpen);
        if (open < 0) {
            append(runs, rest, false);
            return runs;
        }
        append(runs, rest.first(open), false);
        rest = rest.sliced(open + kOpen.size());
        const qsizetype close = rest.indexOf(kClose);
        if (close < 0) {
            append(runs, rest, false);
            return runs;
        }
        append(runs, rest.first(close), true);
        rest = rest.sliced(close + kClose.size());
    }
}

QString markedTextHtml(const QString &marked, const QColor &base, const QColor &accent, qreal boldPointSize)
{
    return markedRunsHtml(splitMarkedText(marked), base, accent, boldPointSize);
}

QString markedRunsHtml(const QList<MarkedRun> &runs, const QColor &base, const QColor &accent, qreal boldPointSize)
{
    const QString plainStyle = QStringLiteral("color:%1").arg(cssColor(base));
    const QString boldStyle = QStringLiteral("color:%1;font-weight:700;font-size:%2pt")
                                  .arg(cssColor(accent), QString::number(boldPointSize, 'f', 2));
    QString html = QStringLiteral("<span style=\"white-space:pre\">");
    for (const MarkedRun &run : runs) {
        html += QStringLiteral("<span style=\"%1\">").arg(run.bold ? boldStyle : plainStyle);
        html += escapedOneLine(run.text);
        html += QStringLiteral("</span>");
    }
    html += QStringLiteral("</span>");
    return html;
}

namespace {

constexpr qsizetype kMaxMeasuredUnits = 1024;

// The longest prefix of text, cut between user-perceived characters, that leaves room for suffix
// within room. The text is shaped once and the cut read off its glyph positions: measuring prefix
// after prefix costs the square of the length, and a title of a few thousand zero-width
// characters then holds the UI thread for seconds.
QString fittingPrefix(const QString &text, const QFont &font, qreal room, const QString &suffix)
{
    const QFontMetricsF metrics(font);
    const qreal forText = room - metrics.horizontalAdvance(suffix);
    if (forText <= 0)
        return {};
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (!line.isValid()) {
        layout.endLayout();
        return {};
    }
    line.setLineWidth(std::numeric_limits<int>::max() / 4);
    layout.endLayout();
    int cut = line.xToCursor(forText, QTextLine::CursorOnCharacter);
    while (cut > 0 && line.cursorToX(cut) > forText)
        cut = layout.previousCursorPosition(cut);
    // Shaping the cut text on its own can differ by a fraction of a pixel (kerning across the cut);
    // a few steps back settle it without measuring every prefix.
    for (int step = 0; step < 4 && cut > 0 && metrics.horizontalAdvance(text.left(cut) + suffix) > room; ++step)
        cut = layout.previousCursorPosition(cut);
    return text.left(cut);
}

}

QList<MarkedRun> elidedMarkedRuns(const QList<MarkedRun> &runs, qreal width, const QFont &plain, const QFont &bold)
{
    const QFontMetricsF plainMetrics(plain);
    const QFontMetricsF boldMetrics(bold);
    const auto advance = [&](const MarkedRun &run, const QString &text) {
        return (run.bold ? boldMetrics : plainMetrics).horizontalAdvance(text);
    };
    // Shaping costs time in proportion to the text, and a hit may be any length; no row shows
    // more than this many units, so a longer text is cut before anything is measured and then
    // always ends in "…".
    QList<MarkedRun> measured;
    qsizetype room = kMaxMeasuredUnits;
    for (const MarkedRun &run : runs) {
        if (room <= 0)
            break;
        qsizetype take = std::min(room, run.text.size());
        if (take < run.text.size() && take > 0 && run.text.at(take - 1).isHighSurrogate())
            --take;
        measured.append(MarkedRun{run.text.left(take), run.bold});
        room -= run.text.size();
    }
    const bool truncated = room < 0;

    qreal total = 0;
    for (const MarkedRun &run : measured)
        total += advance(run, run.text);
    if (!truncated && total <= width)
        return runs;

    const QString ellipsis = QStringLiteral("…");
    QList<MarkedRun> kept;
    qreal used = 0;
    for (const MarkedRun &run : measured) {
        const qreal whole = advance(run, run.text);
        if (used + whole + advance(run, ellipsis) <= width) {
            kept.append(run);
            used += whole;
            continue;
        }
        // Cut inside this run: as many characters as leave room for the ellipsis.
        const QString part = fittingPrefix(run.text, run.bold ? bold : plain, width - used, ellipsis);
        kept.append(MarkedRun{part + ellipsis, run.bold});
        return kept;
    }
    // Everything measured fits with room for the ellipsis, but the text went on.
    if (kept.isEmpty())
        kept.append(MarkedRun{ellipsis, false});
    else
        kept.last().text += ellipsis;
    return kept;
}

}
