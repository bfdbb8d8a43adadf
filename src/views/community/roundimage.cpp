#include "views/community/roundimage.h"

#include "models/communitylogic.h"
#include "network/imageloader.h"

#include <QPainter>
#include <QPainterPath>

namespace tovra {

RoundImage::RoundImage(const QString &address, int diameter, const QColor &placeholder, QWidget *parent)
    : QWidget(parent), m_diameter(diameter), m_placeholder(placeholder)
{
    setFixedSize(diameter, diameter);
    const auto url = community::mediaUrl(address);
    ImageLoader *loader = ImageLoader::shared();
    if (!url || !loader)
        return;
    const qreal dpr = devicePixelRatioF();
    const QSize fit(qCeil(diameter * dpr), qCeil(diameter * dpr));
    loader->load(*url, this, [this](const QImage &image) {
        m_image = image;
        update();
    }, fit);
}

void RoundImage::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    QPainterPath circle;
    circle.addEllipse(QRectF(rect()));
    if (m_image.isNull()) {
        painter.fillPath(circle, m_placeholder);
        return;
    }
    painter.setClipPath(circle);
    // Fill the circle, cropping the longer side.
    const QSizeF scaled = QSizeF(m_image.size()).scaled(QSizeF(size()), Qt::KeepAspectRatioByExpanding);
    const QRectF target((width() - scaled.width()) / 2, (height() - scaled.height()) / 2, scaled.width(), scaled.height());
    painter.drawImage(target, m_image);
}

}
