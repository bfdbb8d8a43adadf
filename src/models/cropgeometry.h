#pragma once

#include <QByteArray>
#include <QImage>
#include <QPointF>
#include <QSizeF>
#include <QTransform>
#include <optional>

namespace tovra {

// The framing of an avatar in the square crop area: zoom, displacement and quarter turns, with
// the bases that the next drag or pinch starts from. Kept apart from the editor's widgets so the
// arithmetic and the rendered output can be checked without a window.
struct CropGeometry
{
    static constexpr qreal kSide = 320;      // the crop square, in logical pixels
    static constexpr qreal kOutputScale = 2; // pixels per logical pixel of the saved image
    static constexpr qreal kMinScale = 0.5;
    static constexpr qreal kMaxScale = 5.0;
    static constexpr int kJpegQuality = 90;
    // A drag counts only once the pointer has moved this far from where it was pressed.
    static constexpr qreal kDragThreshold = 10;

    qreal scale = 1;
    qreal lastScale = 1;
    QPointF offset;     // x to the right, y downwards
    QPointF lastOffset;
    int rotation = 0;   // degrees clockwise, always a multiple of 90, never normalised

    // A drag's whole translation so far, from where it started.
    void drag(QPointF translation);
    void endDrag();
    // A pinch's cumulative magnification, relative to the zoom when it began.
    void pinch(qreal magnification);
    void endPinch();
    // The slider moves the zoom directly; its release makes that the base of the next pinch.
    void slide(qreal value);
    void endSlide();
    void rotateLeft();
    void rotateRight();
    void reset();

    static qreal clampScale(qreal value);

    // The picture's size before any turn, zoom or move: it covers the square, its shorter side
    // equal to side and its longer side overflowing.
    static QSizeF fillSize(QSizeF image, qreal side = kSide);
    // Maps the picture laid out centred on the origin at fillSize() into the square (0,0)-(side,side):
    // turned, then zoomed, then moved, all about the square's centre.
    QTransform transform(qreal side = kSide) const;

    // The square exactly as saved: the picture over black, side × side logical pixels at
    // pixelScale pixels each. A null image for a null picture.
    QImage render(const QImage &picture, qreal side = kSide, qreal pixelScale = kOutputScale) const;
    // JPEG at kJpegQuality, or none when the image cannot be encoded.
    static std::optional<QByteArray> encodeJpeg(const QImage &image);
};

}
