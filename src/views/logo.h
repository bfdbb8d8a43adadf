#pragma once

#include "views/palette.h"

#include <QColor>
#include <QWidget>

class QPainter;

namespace tovra {

// The brand mark: a play triangle between two square brackets, drawn as vectors so it is
// sharp at any size and pixel ratio.
class TovraLogo : public QWidget
{
    Q_OBJECT
public:
    // The mark's design canvas.
    static constexpr qreal kCanvasWidth = 110;
    static constexpr qreal kCanvasHeight = 100;

    struct Fit
    {
        qreal scale = 0;
        qreal dx = 0;
        qreal dy = 0;
    };
    // How the canvas sits in a frame of the given size: uniform scale, centred.
    static Fit fit(const QSizeF &frame);
    // Paints the mark into frame (keeping its proportions, centred). Nothing for an empty frame.
    static void paint(QPainter &painter, const QRectF &frame, const QColor &color);

    explicit TovraLogo(QWidget *parent = nullptr);
    explicit TovraLogo(const QColor &color, QWidget *parent = nullptr);

    QColor color() const { return m_color; }
    void setColor(const QColor &color);
    QSize sizeHint() const override { return {26, 24}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_color = brandGreen();
};

}
