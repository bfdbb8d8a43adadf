#include "views/components/flowlayout.h"

#include <QWidget>

namespace tovra {

FlowLayout::Placement FlowLayout::place(const QList<QSize> &sizes, int availableWidth, int spacing,
                                        int lineSpacing, QPoint origin)
{
    Placement result;
    result.frames.reserve(sizes.size());
    const bool bounded = availableWidth != kUnbounded;
    const qint64 right = qint64(origin.x()) + availableWidth;
    qint64 x = origin.x();
    qint64 y = origin.y();
    qint64 lineHeight = 0;
    qint64 widest = 0;
    for (const QSize &s : sizes) {
        if (bounded && x > origin.x() && x + s.width() > right) {
            widest = qMax(widest, x - origin.x() - spacing);
            y += lineHeight + lineSpacing;
            x = origin.x();
            lineHeight = 0;
        }
        result.frames.append(QRect(int(x), int(y), s.width(), s.height()));
        x += s.width() + spacing;
        lineHeight = qMax<qint64>(lineHeight, s.height());
    }
    qint64 width = qMax(widest, x - origin.x() - spacing);
    if (bounded)
        width = qMin<qint64>(availableWidth, width);
    result.size = QSize(int(width), int(y - origin.y() + lineHeight));
    return result;
}

FlowLayout::FlowLayout(int spacing, int lineSpacing, QWidget *parent)
    : QLayout(parent), m_spacing(spacing), m_lineSpacing(lineSpacing)
{
    setContentsMargins(0, 0, 0, 0);
}

FlowLayout::~FlowLayout()
{
    while (QLayoutItem *item = takeAt(0))
        delete item;
}

void FlowLayout::addItem(QLayoutItem *item)
{
    m_items.append(item);
    invalidate();
}

int FlowLayout::count() const
{
    return int(m_items.size());
}

QLayoutItem *FlowLayout::itemAt(int index) const
{
    return m_items.value(index);
}

QLayoutItem *FlowLayout::takeAt(int index)
{
    if (index < 0 || index >= m_items.size())
        return nullptr;
    QLayoutItem *item = m_items.takeAt(index);
    invalidate();
    return item;
}

QList<QSize> FlowLayout::itemSizes() const
{
    // Hidden widgets take no place, as if they were not in the layout.
    QList<QSize> sizes;
    for (QLayoutItem *item : m_items) {
        if (!item->isEmpty())
            sizes.append(item->sizeHint());
    }
    return sizes;
}

int FlowLayout::heightForWidth(int width) const
{
    const QMargins m = contentsMargins();
    const int inner = qMax(0, width - m.left() - m.right());
    return place(itemSizes(), inner, m_spacing, m_lineSpacing).size.height() + m.top() + m.bottom();
}

QSize FlowLayout::sizeHint() const
{
    const QMargins m = contentsMargins();
    const QSize s = place(itemSizes(), kUnbounded, m_spacing, m_lineSpacing).size;
    return s + QSize(m.left() + m.right(), m.top() + m.bottom());
}

QSize FlowLayout::minimumSize() const
{
    const QMargins m = contentsMargins();
    return {m.left() + m.right(), m.top() + m.bottom()};
}

void FlowLayout::setGeometry(const QRect &rect)
{
    QLayout::setGeometry(rect);
    const QRect inner = rect.marginsRemoved(contentsMargins());
    const Placement placement =
        place(itemSizes(), qMax(0, inner.width()), m_spacing, m_lineSpacing, inner.topLeft());
    int at = 0;
    for (QLayoutItem *item : m_items) {
        if (item->isEmpty())
            continue;
        item->setGeometry(placement.frames.at(at++));
    }
}

}
