#pragma once

#include <QLayout>
#include <QList>
#include <QRect>

namespace tovra {

// Lays its items out in reading order from the leading edge, starting a new line when the
// next item would cross the right edge. Items always keep their preferred size: one wider
// than the available width starts a line of its own and overhangs it.
class FlowLayout : public QLayout
{
    Q_OBJECT
public:
    static constexpr int kUnbounded = -1;

    struct Placement
    {
        QList<QRect> frames; // one per size, in order
        QSize size;          // the room the lines need
    };
    // The placement for items of the given sizes, lines starting at origin. With an
    // availableWidth of kUnbounded nothing wraps. size.width() never exceeds a bounded width.
    static Placement place(const QList<QSize> &sizes, int availableWidth, int spacing, int lineSpacing,
                           QPoint origin = {});

    FlowLayout(int spacing, int lineSpacing, QWidget *parent = nullptr);
    ~FlowLayout() override;

    int horizontalSpacing() const { return m_spacing; }
    int lineSpacing() const { return m_lineSpacing; }

    void addItem(QLayoutItem *item) override;
    int count() const override;
    QLayoutItem *itemAt(int index) const override;
    QLayoutItem *takeAt(int index) override;
    Qt::Orientations expandingDirections() const override { return {}; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    void setGeometry(const QRect &rect) override;

private:
    QList<QSize> itemSizes() const;

    QList<QLayoutItem *> m_items;
    int m_spacing;
    int m_lineSpacing;
};

}
