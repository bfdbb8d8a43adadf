#pragma once

#include "models/catalogue.h"

#include <QFont>
#include <QImage>
#include <QRectF>
#include <QStringList>
#include <optional>

class QPainter;

namespace tovra {

// What a poster frame shows now.
struct PosterVisual
{
    enum class State { Idle, Loading, Ready, Failed };
    State state = State::Idle;
    QImage image;             // when Ready
    qreal shimmerPhase = -1;  // while Idle or Loading
};

// The drawing of posters, cards and placeholders, shared by the single-card widgets and the
// painted grid so that both look exactly alike.
namespace CardPainter {

inline constexpr qreal kPosterAspect = 2.0 / 3.0; // width / height
inline constexpr qreal kTitleSpacing = 8;
inline constexpr qreal kCornerRadius = 8;

QFont titleFont();
// Two lines of the title font: always reserved so the cards of a row line up.
qreal titleHeight();
// Height of a card of the given width: poster, gap and two title lines.
qreal cardHeight(qreal width);
QRectF posterRect(const QRectF &card);
QRectF titleRect(const QRectF &card);

// The title broken into at most two lines for the width, the second elided when it runs over.
QStringList titleLines(const QString &title, qreal width);

// The image size worth decoding for a poster of this logical size: enough device pixels to
// cover it, rounded up to a step so small size changes reuse the same decode.
QSize decodeSize(const QSizeF &poster, qreal dpr);

void paintSkeleton(QPainter &painter, const QRectF &rect, qreal cornerRadius, qreal phase, bool dark);
void paintPoster(QPainter &painter, const QRectF &rect, const PosterVisual &visual, bool dark);
// The whole card: poster with its chips, badge strip and (while hovering) the information
// panel, clipped to rounded corners, then the title lines below.
void paintCard(QPainter &painter, const QRectF &card, const Item &item, const std::optional<QString> &today,
               bool hovering, const PosterVisual &visual, const QStringList &titleLines, bool dark);

}

}
