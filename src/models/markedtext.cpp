#include "models/markedtext.h"

#include <QFontMetricsF>

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

QList<MarkedRun> elidedMarkedRuns(const QList<MarkedRun> &runs, qreal width, const QFont &plain, const QFont &bold)
{
    const QFontMetricsF plainMetrics(plain);
    const QFontMetricsF boldMetrics(bold);
    const auto advance = [&](const MarkedRun &run, const QString &text) {
        return (run.bold ? boldMetrics : plainMetrics).horizontalAdvance(text);
    };
    qreal total = 0;
    for (const MarkedRun &run : runs)
        total += advance(run, run.text);
    if (total <= width)
        return runs;

    const QString ellipsis = QStringLiteral("…");
    QList<MarkedRun> kept;
    qreal used = 0;
    for (const MarkedRun &run : runs) {
        const qreal whole = advance(run, run.text);
        if (used + whole + advance(run, ellipsis) <= width) {
            kept.append(run);
            used += whole;
            continue;
        }
        // Cut inside this run: as many characters as leave room for the ellipsis.
        QString part;
        for (qsizetype i = 0; i < run.text.size(); ++i) {
            qsizetype step = run.text.at(i).isHighSurrogate() && i + 1 < run.text.size() ? 2 : 1;
            const QString next = part + run.text.mid(i, step);
            if (used + advance(run, next) + advance(run, ellipsis) > width)
                break;
            part = next;
            i += step - 1;
        }
        kept.append(MarkedRun{part + ellipsis, run.bold});
        return kept;
    }
    return kept;
}

}
