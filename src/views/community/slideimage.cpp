#include "views/community/slideimage.h"

#include "models/communitylogic.h"
#include "network/imageloader.h"
#include "views/components/busyindicator.h"

#include <QPainter>

namespace tovra {

namespace {
// Decoded no larger than a big window needs; the memory cache is shared with every poster.
constexpr QSize kDecodeBound{1920, 1920};
}

SlideImage::SlideImage(const QString &address, QWidget *parent) : QWidget(parent)
{
    m_spinner = new BusyIndicator(20, this);
    const auto url = community::mediaUrl(address);
    ImageLoader *loader = ImageLoader::shared();
    if (!url || !loader)
        return;
    loader->load(*url, this, [this](const QImage &image) {
        if (image.isNull())
            return;
        m_image = image;
        m_spinner->hide();
        update();
    }, kDecodeBound);
}

void SlideImage::resizeEvent(QResizeEvent *)
{
    const QSize hint = m_spinner->sizeHint();
    m_spinner->setGeometry(QRect(QPoint((width() - hint.width()) / 2, (height() - hint.height()) / 2), hint));
}

void SlideImage::paintEvent(QPaintEvent *)
{
    if (m_image.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QSizeF scaled = QSizeF(m_image.size()).scaled(QSizeF(size()), Qt::KeepAspectRatio);
    painter.drawImage(QRectF((width() - scaled.width()) / 2, (height() - scaled.height()) / 2, scaled.width(),
                             scaled.height()),
                      m_image);
}

}
