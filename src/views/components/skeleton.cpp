#include "views/components/skeleton.h"

#include "views/components/appearance.h"
#include "views/components/cardpainter.h"
#include "views/components/gridgeometry.h"
#include "views/components/shimmerclock.h"
#include "views/palette.h"

#include <QPaintEvent>
#include <QPainter>
#include <QVBoxLayout>
#include <cmath>

namespace tovra {

namespace {
constexpr qreal kTitleBarHeight = 12;
constexpr qreal kTitleBarInset = 20;
}

SkeletonBox::SkeletonBox(qreal cornerRadius, QWidget *parent) : QWidget(parent), m_cornerRadius(cornerRadius)
{
    followAppearance(this);
}

void SkeletonBox::showEvent(QShowEvent *event)
{
    // Each box starts its sweep when it is first shown.
    if (m_start < 0)
        m_start = ShimmerClock::shared()->now();
    ShimmerClock::shared()->subscribe(this);
    QWidget::showEvent(event);
}

void SkeletonBox::paintEvent(QPaintEvent *)
{
    ShimmerClock *clock = ShimmerClock::shared();
    clock->subscribe(this);
    if (m_start < 0)
        m_start = clock->now();
    QPainter painter(this);
    CardPainter::paintSkeleton(painter, QRectF(rect()), m_cornerRadius, clock->phaseSince(m_start), Palette::isDark());
}

PosterGridSkeleton::PosterGridSkeleton(int count, QWidget *parent) : QWidget(parent), m_count(qMax(0, count))
{
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    followAppearance(this);
}

void PosterGridSkeleton::setCount(int count)
{
    count = qMax(0, count);
    if (count == m_count)
        return;
    m_count = count;
    updateGeometry();
    update();
}

qreal PosterGridSkeleton::cellHeight(qreal columnWidth)
{
    return columnWidth / CardPainter::kPosterAspect + CardPainter::kTitleSpacing + kTitleBarHeight;
}

int PosterGridSkeleton::heightForWidth(int width) const
{
    GridGeometry g{qreal(width), 0};
    g.cellHeight = cellHeight(g.columnWidth());
    return int(std::ceil(g.height(m_count)));
}

QSize PosterGridSkeleton::sizeHint() const
{
    const int w = width() > 0 ? width() : 1000;
    return {w, heightForWidth(w)};
}

void PosterGridSkeleton::showEvent(QShowEvent *event)
{
    if (m_start < 0)
        m_start = ShimmerClock::shared()->now();
    ShimmerClock::shared()->subscribe(this);
    QWidget::showEvent(event);
}

void PosterGridSkeleton::paintEvent(QPaintEvent *event)
{
    ShimmerClock *clock = ShimmerClock::shared();
    if (m_count > 0)
        clock->subscribe(this);
    if (m_start < 0)
        m_start = clock->now();
    const qreal phase = clock->phaseSince(m_start);
    const bool dark = Palette::isDark();

    GridGeometry g{qreal(width()), 0};
    g.cellHeight = cellHeight(g.columnWidth());
    QPainter painter(this);
    const auto [first, last] = g.rowsIn(event->rect().top(), event->rect().bottom(), m_count);
    for (int row = first; row <= last; ++row) {
        for (int column = 0; column < GridGeometry::kColumns; ++column) {
            const int index = row * GridGeometry::kColumns + column;
            if (index >= m_count)
                break;
            const QRectF cell = g.cell(index);
            const QRectF poster(cell.left(), cell.top(), cell.width(), cell.width() / CardPainter::kPosterAspect);
            CardPainter::paintSkeleton(painter, poster, 8, phase, dark);
            const QRectF bar(cell.left() + kTitleBarInset, poster.bottom() + CardPainter::kTitleSpacing,
                             qMax<qreal>(0, cell.width() - 2 * kTitleBarInset), kTitleBarHeight);
            CardPainter::paintSkeleton(painter, bar, 4, phase, dark);
        }
    }
}

HomeSkeleton::HomeSkeleton(QWidget *parent) : QWidget(parent)
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(22, 22, 22, 22);
    column->setSpacing(28);
    for (int i = 0; i < 3; ++i) {
        auto *section = new QVBoxLayout;
        section->setSpacing(12);
        auto *header = new SkeletonBox(5, this);
        header->setFixedSize(110, 20);
        section->addWidget(header, 0, Qt::AlignLeft);
        section->addWidget(new PosterGridSkeleton(7, this));
        column->addLayout(section);
    }
    column->addStretch(1);
}

}
