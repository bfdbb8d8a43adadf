#pragma once

#include "models/catalogue.h"
#include "views/components/paintedlist.h"

#include <QList>
#include <QVariantAnimation>

namespace tovra {

// The home page's hot list: numbered rows (rank badge, title, heat) in up to five columns,
// filled row by row. One painted widget; the column count follows its own width.
class HotList : public PaintedList
{
    Q_OBJECT
public:
    static constexpr int kRowHeight = 38; // 8 + 22-point badge + 8

    explicit HotList(QWidget *parent = nullptr);

    const QList<HotItem> &items() const { return m_items; }
    // An equal list changes nothing (no relayout, no repaint).
    void setItems(const QList<HotItem> &items);

    int columns() const;
    // The clickable rectangle of the entry at index, in widget coordinates.
    QRect rowRect(int index) const;
    int indexAt(const QPoint &point) const;
    int hoveredIndex() const { return m_hovered; }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    int entryCount() const override { return int(m_items.size()); }
    QRect entryRect(int index) const override { return rowRect(index); }
    // "1，片名，<heat>": the rank, the title and the heat, as the row shows them.
    QString entryName(int index) const override;
    void activateEntry(int index) override;
    int entryColumns() const override { return columns(); }

signals:
    void selected(const QString &did);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QRect rowRectFor(int index, int width) const;
    void setHovered(int index);
    qreal hoverLevel(int index) const;

    QList<HotItem> m_items;
    int m_hovered = -1;
    int m_fading = -1; // the row losing its hover fill
    int m_pressed = -1;
    int m_lastColumns = 0;
    QVariantAnimation m_fadeIn;
    QVariantAnimation m_fadeOut;
};

}
