#pragma once

#include <QRectF>
#include <QtGlobal>

namespace tovra {

// The poster grid's geometry, shared by the grid and its placeholder: seven flexible columns
// of at least 10 pixels, 18 pixels between columns and 22 between rows.
struct GridGeometry
{
    static constexpr int kColumns = 7;
    static constexpr qreal kColumnSpacing = 18;
    static constexpr qreal kRowSpacing = 22;
    static constexpr qreal kMinColumnWidth = 10;

    qreal width = 0;
    qreal cellHeight = 0; // height of one cell for the column width

    qreal columnWidth() const
    {
        return qMax(kMinColumnWidth, (width - (kColumns - 1) * kColumnSpacing) / kColumns);
    }
    int rows(int count) const { return count <= 0 ? 0 : (count + kColumns - 1) / kColumns; }
    qreal height(int count) const
    {
        const int r = rows(count);
        return r == 0 ? 0 : r * cellHeight + (r - 1) * kRowSpacing;
    }
    QRectF cell(int index) const
    {
        const int row = index / kColumns;
        const int column = index % kColumns;
        const qreal w = columnWidth();
        return {column * (w + kColumnSpacing), row * (cellHeight + kRowSpacing), w, cellHeight};
    }
    // The first and last row touching the vertical span [top, bottom], clamped to the rows.
    std::pair<int, int> rowsIn(qreal top, qreal bottom, int count) const
    {
        const int r = rows(count);
        if (r == 0 || bottom < 0)
            return {0, -1};
        const qreal pitch = cellHeight + kRowSpacing;
        const int first = qBound(0, int(top / pitch), r - 1);
        const int last = qBound(0, int(bottom / pitch), r - 1);
        return {first, last};
    }
    // The index under a point, or -1 (gaps between cells belong to no card).
    int indexAt(const QPointF &point, int count) const
    {
        if (point.x() < 0 || point.y() < 0)
            return -1;
        const qreal w = columnWidth();
        const int column = int(point.x() / (w + kColumnSpacing));
        const int row = int(point.y() / (cellHeight + kRowSpacing));
        if (column >= kColumns)
            return -1;
        const int index = row * kColumns + column;
        if (index >= count || !cell(index).contains(point))
            return -1;
        return index;
    }
};

}
