#include "models/cropgeometry.h"

#include <QBuffer>
#include <QImageWriter>
#include <QPainter>
#include <algorithm>

namespace tovra {

void CropGeometry::drag(QPointF translation)
{
    offset = lastOffset + translation;
}

void CropGeometry::endDrag()
{
    lastOffset = offset;
}

void CropGeometry::pinch(qreal magnification)
{
    scale = clampScale(lastScale * magnification);
}

void CropGeometry::endPinch()
{
    lastScale = scale;
}

void CropGeometry::slide(qreal value)
{
    scale = clampScale(value);
}

void CropGeometry::endSlide()
{
    lastScale = scale;
}

void CropGeometry::rotateLeft()
{
    rotation -= 90;
}

void CropGeometry::rotateRight()
{
    rotation += 90;
}

void CropGeometry::reset()
{
    *this = CropGeometry();
}

qreal CropGeometry::clampScale(qreal value)
{
    return std::max(kMinScale, std::min(kMaxScale, value));
}

QSizeF CropGeometry::fillSize(QSizeF image, qreal side)
{
    if (image.isEmpty())
        return {side, side};
    const qreal factor = side / std::min(image.width(), image.height());
    return {image.width() * factor, image.height() * factor};
}

QTransform CropGeometry::transform(qreal side) const
{
    // QTransform applies the last call first: turn, then zoom, then move to the centre plus offset.
    QTransform t;
    t.translate(side / 2 + offset.x(), side / 2 + offset.y());
    t.scale(scale, scale);
    t.rotate(rotation);
    return t;
}

QImage CropGeometry::render(const QImage &picture, qreal side, qreal pixelScale) const
{
    if (picture.isNull())
        return {};
    const int pixels = qRound(side * pixelScale);
    QImage out(pixels, pixels, QImage::Format_RGB32);
    out.fill(Qt::black);
    QPainter painter(&out);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(pixelScale, pixelScale);
    painter.setClipRect(QRectF(0, 0, side, side));
    painter.setTransform(transform(side), true);
    const QSizeF size = fillSize(picture.size(), side);
    painter.drawImage(QRectF(QPointF(-size.width() / 2, -size.height() / 2), size), picture);
    painter.end();
    return out;
}

std::optional<QByteArray> CropGeometry::encodeJpeg(const QImage &image)
{
    if (image.isNull())
        return std::nullopt;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(kJpegQuality);
    if (!writer.write(image) || bytes.isEmpty())
        return std::nullopt;
    return bytes;
}

}
