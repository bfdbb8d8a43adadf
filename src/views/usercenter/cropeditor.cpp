#include "views/usercenter/cropeditor.h"

#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QPainter>
#include <QPainterPath>
#include <QLineF>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace tovra {

CropEditor::CropEditor(const QImage &image, QWidget *parent) : QWidget(parent), m_image(image)
{
    setFixedSize(sizeHint());
    constexpr int kPreviewShortSide = 1280;
    if (!m_image.isNull() && std::min(m_image.width(), m_image.height()) > kPreviewShortSide) {
        m_preview = m_image.width() < m_image.height()
                        ? m_image.scaledToWidth(kPreviewShortSide, Qt::SmoothTransformation)
                        : m_image.scaledToHeight(kPreviewShortSide, Qt::SmoothTransformation);
    } else {
        m_preview = m_image;
    }
    setCursor(Qt::OpenHandCursor);
}

QSize CropEditor::sizeHint() const
{
    const int side = qRound(CropGeometry::kSide);
    return {side, side};
}

void CropEditor::change(const std::function<void(CropGeometry &)> &edit)
{
    edit(m_geometry);
    update();
    emit geometryChanged();
}

bool CropEditor::event(QEvent *event)
{
    // Touchpad pinches arrive as native zoom gestures whose values are increments; their running
    // product is the pinch's magnification since it began.
    if (event->type() == QEvent::NativeGesture) {
        auto *gesture = static_cast<QNativeGestureEvent *>(event);
        switch (gesture->gestureType()) {
        case Qt::BeginNativeGesture:
            m_magnification = 1;
            return true;
        case Qt::ZoomNativeGesture:
            m_magnification *= 1 + gesture->value();
            change([this](CropGeometry &g) { g.pinch(m_magnification); });
            return true;
        case Qt::EndNativeGesture:
            change([](CropGeometry &g) { g.endPinch(); });
            return true;
        default:
            break;
        }
    }
    return QWidget::event(event);
}

void CropEditor::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF area(rect());
    QPainterPath clip;
    clip.addRoundedRect(area, 10, 10);
    painter.setClipPath(clip);
    // What is saved, rendered at this screen's density, then the ring on top.
    const qreal dpr = devicePixelRatioF();
    QImage picture = m_geometry.render(m_preview, CropGeometry::kSide, dpr);
    picture.setDevicePixelRatio(dpr);
    painter.drawImage(area.topLeft(), picture);
    painter.setClipping(false);
    QColor ring(Qt::white);
    ring.setAlphaF(0.85);
    painter.setPen(QPen(ring, 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(area.adjusted(1, 1, -1, -1));
}

void CropEditor::wheelEvent(QWheelEvent *event)
{
    // Ctrl with the wheel zooms, as pinching does: where no touchpad reports pinches, it is the
    // only zoom besides the slider. A notch (120) zooms by an eighth.
    if (!(event->modifiers() & Qt::ControlModifier)) {
        event->ignore();
        return;
    }
    event->accept();
    const qreal magnification = std::pow(1.125, event->angleDelta().y() / 120.0);
    change([magnification](CropGeometry &g) {
        g.pinch(magnification);
        g.endPinch();
    });
}

void CropEditor::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_pressed = true;
    m_dragging = false;
    m_pressAt = event->position();
}

void CropEditor::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_pressed)
        return;
    const QPointF translation = event->position() - m_pressAt;
    if (!m_dragging && QLineF(QPointF(), translation).length() < CropGeometry::kDragThreshold)
        return;
    m_dragging = true;
    setCursor(Qt::ClosedHandCursor);
    change([translation](CropGeometry &g) { g.drag(translation); });
}

void CropEditor::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_pressed)
        return;
    m_pressed = false;
    if (m_dragging)
        change([](CropGeometry &g) { g.endDrag(); });
    m_dragging = false;
    setCursor(Qt::OpenHandCursor);
}

}
