#include "views/components/cardpainter.h"

#include "views/components/cardlogic.h"
#include "views/components/typography.h"
#include "views/icons.h"
#include "views/palette.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>
#include <cmath>

namespace tovra::CardPainter {

namespace {

constexpr qreal kChipInset = 6;

QString withLineSeparators(QString text)
{
    text.replace(QStringLiteral("\r\n"), QString(QChar::LineSeparator));
    text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    text.replace(QLatin1Char('\r'), QChar::LineSeparator);
    return text;
}

QPainterPath roundedRect(const QRectF &rect, qreal radius)
{
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

// A chip: text on a rounded background, sized to the text plus padding.
QSizeF chipSize(const QString &text, const QFont &font, qreal padH, qreal padV)
{
    const QFontMetricsF fm(font);
    return {std::ceil(fm.horizontalAdvance(text)) + 2 * padH, std::ceil(fm.height()) + 2 * padV};
}

void drawChip(QPainter &painter, const QRectF &rect, const QString &text, const QFont &font, const QColor &textColor,
              const QColor &background, qreal radius)
{
    painter.setPen(Qt::NoPen);
    painter.setBrush(background);
    painter.drawRoundedRect(rect, radius, radius);
    painter.setFont(font);
    painter.setPen(textColor);
    painter.drawText(rect, Qt::AlignCenter | Qt::TextSingleLine, text);
}

QRectF topLeading(const QRectF &area, const QSizeF &size, qreal inset)
{
    return {area.left() + inset, area.top() + inset, size.width(), size.height()};
}

QRectF topTrailing(const QRectF &area, const QSizeF &size, qreal inset)
{
    return {area.right() - inset - size.width(), area.top() + inset, size.width(), size.height()};
}

// Lines of text broken to the width, at most maxLines, the last elided when text remains.
QStringList breakLines(const QString &text, const QFont &font, qreal width, int maxLines)
{
    QStringList lines;
    if (text.isEmpty() || width <= 0)
        return lines;
    const QString prepared = withLineSeparators(text);
    QTextLayout layout(prepared, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    for (int i = 0; i < maxLines; ++i) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(width);
        QString piece = prepared.mid(line.textStart(), line.textLength());
        const bool last = i == maxLines - 1;
        const qsizetype end = line.textStart() + line.textLength();
        if (last && end < prepared.size()) {
            QString rest = prepared.mid(line.textStart());
            rest.replace(QChar::LineSeparator, QLatin1Char(' '));
            piece = QFontMetricsF(font).elidedText(rest, Qt::ElideRight, width);
        }
        piece.remove(QChar::LineSeparator);
        lines.append(piece);
    }
    layout.endLayout();
    return lines;
}

void paintBadge(QPainter &painter, const QRectF &area, const QString &badge)
{
    const QFont font = uiFont(11, QFont::DemiBold);
    const QFontMetricsF fm(font);
    const qreal height = 14 + fm.height() + 5;
    const QRectF strip(area.left(), area.bottom() - height, area.width(), height);
    QLinearGradient gradient(strip.bottomLeft(), strip.topLeft());
    gradient.setColorAt(0, QColor::fromRgbF(0, 0, 0, 0.8));
    gradient.setColorAt(1, QColor::fromRgbF(0, 0, 0, 0));
    painter.fillRect(strip, gradient);
    const QRectF textRect(strip.left() + 8, strip.top() + 14, strip.width() - 16, fm.height());
    const QString oneLine = QString(badge).replace(QLatin1Char('\n'), QLatin1Char(' '));
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     fm.elidedText(oneLine, Qt::ElideRight, textRect.width()));
}

void paintInfoPanel(QPainter &painter, const QRectF &area, const Item &item)
{
    const QList<card::InfoRow> rows = card::infoRows(item);
    const QFont labelFont = uiFont(TextStyle::kCaption2, QFont::DemiBold);
    const QFont valueFont = uiFont(TextStyle::kCaption2);
    const QFontMetricsF labelMetrics(labelFont);
    const QFontMetricsF valueMetrics(valueFont);
    const qreal innerWidth = area.width() - 18;

    struct Laid
    {
        QString label;
        qreal labelWidth;
        QStringList lines;
    };
    QList<Laid> laid;
    qreal contentHeight = 0;
    for (const card::InfoRow &row : rows) {
        Laid l{row.label, std::ceil(labelMetrics.horizontalAdvance(row.label)), {}};
        l.lines = breakLines(row.joined(), valueFont, qMax<qreal>(0, innerWidth - l.labelWidth - 5), 2);
        const qreal h = qMax(labelMetrics.height(), valueMetrics.lineSpacing() * qMax<qsizetype>(1, l.lines.size()));
        contentHeight += h + (laid.isEmpty() ? 0 : 4);
        laid.append(l);
    }
    const qreal height = qMin(area.height(), 16 + contentHeight + 9);
    const QRectF panel(area.left(), area.bottom() - height, area.width(), height);
    QLinearGradient gradient(panel.bottomLeft(), panel.topLeft());
    gradient.setColorAt(0, QColor::fromRgbF(0, 0, 0, 0.93));
    gradient.setColorAt(0.5, QColor::fromRgbF(0, 0, 0, 0.93));
    gradient.setColorAt(1, QColor::fromRgbF(0, 0, 0, 0));
    painter.fillRect(panel, gradient);

    qreal y = panel.top() + 16;
    for (const Laid &l : std::as_const(laid)) {
        const qreal x = panel.left() + 9;
        painter.setFont(labelFont);
        painter.setPen(QColor::fromRgbF(1, 1, 1, 0.65));
        painter.drawText(QPointF(x, y + labelMetrics.ascent()), l.label);
        painter.setFont(valueFont);
        painter.setPen(Qt::white);
        qreal ly = y;
        for (const QString &line : l.lines) {
            painter.drawText(QPointF(x + l.labelWidth + 5, ly + valueMetrics.ascent()), line);
            ly += valueMetrics.lineSpacing();
        }
        y += qMax(labelMetrics.height(), valueMetrics.lineSpacing() * qMax<qsizetype>(1, l.lines.size())) + 4;
    }
}

// The updated chip's shape: only its bottom-leading corner is rounded.
QPainterPath updatedChipShape(const QRectF &r, qreal radius)
{
    QPainterPath path;
    path.moveTo(r.topLeft());
    path.lineTo(r.topRight());
    path.lineTo(r.bottomRight());
    path.lineTo(r.left() + radius, r.bottom());
    path.quadTo(r.bottomLeft(), QPointF(r.left(), r.bottom() - radius));
    path.closeSubpath();
    return path;
}

}

QFont titleFont()
{
    return uiFont(14);
}

qreal titleHeight()
{
    return std::ceil(QFontMetricsF(titleFont()).lineSpacing() * 2);
}

qreal cardHeight(qreal width)
{
    return width / kPosterAspect + kTitleSpacing + titleHeight();
}

QRectF posterRect(const QRectF &card)
{
    return {card.left(), card.top(), card.width(), card.width() / kPosterAspect};
}

QRectF titleRect(const QRectF &card)
{
    const QRectF poster = posterRect(card);
    return {card.left(), poster.bottom() + kTitleSpacing, card.width(), titleHeight()};
}

QStringList titleLines(const QString &title, qreal width)
{
    return breakLines(title, titleFont(), width, 2);
}

QSize decodeSize(const QSizeF &poster, qreal dpr)
{
    static constexpr int kStep = 32;
    const auto up = [](qreal v) { return qMax(kStep, int(std::ceil(v / kStep)) * kStep); };
    return {up(poster.width() * dpr), up(poster.height() * dpr)};
}

void paintSkeleton(QPainter &painter, const QRectF &rect, qreal cornerRadius, qreal phase, bool dark)
{
    if (rect.isEmpty())
        return;
    painter.save();
    // A clip path costs a mask per paint; square corners need none, the band is cut to the rect.
    if (cornerRadius > 0) {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setClipPath(roundedRect(rect, cornerRadius), Qt::IntersectClip);
    }
    painter.fillRect(rect, Palette::surface2(dark));
    const qreal w = rect.width();
    const qreal bandWidth = 0.6 * w;
    const qreal centre = rect.center().x() + phase * w * 1.6;
    const QRectF band(centre - bandWidth / 2, rect.top(), bandWidth, rect.height());
    if (band.intersects(rect)) {
        QLinearGradient gradient(band.topLeft(), band.topRight());
        gradient.setColorAt(0, QColor::fromRgbF(1, 1, 1, 0));
        gradient.setColorAt(0.5, QColor::fromRgbF(1, 1, 1, 0.18));
        gradient.setColorAt(1, QColor::fromRgbF(1, 1, 1, 0));
        painter.fillRect(band.intersected(rect), gradient);
    }
    painter.restore();
}

void paintPoster(QPainter &painter, const QRectF &rect, const PosterVisual &visual, bool dark)
{
    if (rect.isEmpty())
        return;
    // Every state draws inside rect, so no clip of its own (on top of a card's rounded one, an
    // intersection costs more than the drawing).
    painter.save();
    switch (visual.state) {
    case PosterVisual::State::Ready: {
        // Aspect fill: the largest centred part of the image with the frame's proportions.
        const QSizeF image = visual.image.size();
        const qreal scale = qMax(rect.width() / image.width(), rect.height() / image.height());
        const QSizeF shown(rect.width() / scale, rect.height() / scale);
        const QRectF source((image.width() - shown.width()) / 2, (image.height() - shown.height()) / 2,
                            shown.width(), shown.height());
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(rect, visual.image, source);
        break;
    }
    case PosterVisual::State::Failed: {
        painter.fillRect(rect, Palette::surface2(dark));
        const qreal side = qMin<qreal>(26, qMin(rect.width(), rect.height()) * 0.5);
        const QRectF icon(rect.center().x() - side / 2, rect.center().y() - side / 2, side, side);
        Icons::paint(painter, icon, QStringLiteral("photo"), Palette::textFaint(dark));
        break;
    }
    case PosterVisual::State::Idle:
    case PosterVisual::State::Loading:
        paintSkeleton(painter, rect, 0, visual.shimmerPhase, dark);
        break;
    }
    painter.restore();
}

void paintCard(QPainter &painter, const QRectF &card, const Item &item, const std::optional<QString> &today,
               bool hovering, const PosterVisual &visual, const QStringList &lines, bool dark)
{
    const QRectF area = posterRect(card);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setClipPath(roundedRect(area, kCornerRadius), Qt::IntersectClip);

    paintPoster(painter, area, visual, dark);

    if (const auto score = card::scoreText(item.score)) {
        const QFont font = uiFont(11.5, QFont::Bold);
        const QRectF r = topLeading(area, chipSize(*score, font, 6, 2), kChipInset);
        drawChip(painter, r, *score, font, CardStyle::score(), CardStyle::chipBg(), 6);
    }

    switch (card::topTrailing(item, today, hovering)) {
    case card::Corner::Rank: {
        const QString text = QString::number(*item.rank);
        const QFont font = monoFont(12, QFont::ExtraBold);
        const card::RankColors colors = card::rankColors(*item.rank);
        const QRectF r = topTrailing(area, chipSize(text, font, 7, 2), kChipInset);
        drawChip(painter, r, text, font, colors.text, colors.background, 6);
        break;
    }
    case card::Corner::Updated: {
        const QString text = QStringLiteral("今日更新");
        const QFont font = uiFont(10.5, QFont::Bold);
        const QRectF r = topTrailing(area, chipSize(text, font, 8, 3), 0);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Palette::accent(dark));
        painter.drawPath(updatedChipShape(r, 8));
        painter.setFont(font);
        painter.setPen(Palette::onAccent(dark));
        painter.drawText(r, Qt::AlignCenter | Qt::TextSingleLine, text);
        break;
    }
    case card::Corner::Year: {
        const QString text = *card::year(item.showdate);
        const QFont font = uiFont(11.5, QFont::DemiBold);
        const QRectF r = topTrailing(area, chipSize(text, font, 6, 2), kChipInset);
        drawChip(painter, r, text, font, CardStyle::yearText(), CardStyle::chipBg(), 6);
        break;
    }
    case card::Corner::None:
        break;
    }

    if (!item.badge.isEmpty())
        paintBadge(painter, area, item.badge);
    if (hovering)
        paintInfoPanel(painter, area, item);
    painter.restore();

    // Title: centred lines below the poster.
    const QRectF titleArea = titleRect(card);
    const QFont font = titleFont();
    const QFontMetricsF fm(font);
    painter.save();
    painter.setFont(font);
    painter.setPen(CardStyle::title(dark));
    qreal y = titleArea.top();
    for (const QString &line : lines) {
        painter.drawText(QRectF(titleArea.left(), y, titleArea.width(), fm.lineSpacing()),
                         Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine, line);
        y += fm.lineSpacing();
    }
    painter.restore();
}

}
