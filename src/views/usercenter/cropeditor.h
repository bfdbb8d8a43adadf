#pragma once

#include "models/cropgeometry.h"

#include <QImage>
#include <QWidget>

namespace tovra {

// The square crop area: the picture framed as it will be saved, a guide ring showing the
// circular avatar frames, dragging to move, and pinching or Ctrl with the wheel to zoom.
class CropEditor : public QWidget
{
    Q_OBJECT
public:
    explicit CropEditor(const QImage &image, QWidget *parent = nullptr);

    const QImage &image() const { return m_image; }
    const CropGeometry &geometry() const { return m_geometry; }
    // Every control of the sheet changes the framing through here, so the area repaints.
    void change(const std::function<void(CropGeometry &)> &edit);

    QSize sizeHint() const override;

signals:
    void geometryChanged();

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    QImage m_image;
    // A smaller copy for painting while editing; the layout depends only on the aspect ratio,
    // so it frames exactly like the full picture, which is used once, when saving.
    QImage m_preview;
    CropGeometry m_geometry;
    QPointF m_pressAt;
    bool m_pressed = false;
    bool m_dragging = false;
    qreal m_magnification = 1;
};

}
