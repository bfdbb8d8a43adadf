#include "posterpainter.h"

#include <QBuffer>
#include <QFont>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>

namespace tovra::samplesite {

namespace {

QImage paint(const QString &caption, quint32 seed, QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    const int hue = int(seed * 47u % 360u);
    QLinearGradient gradient(0, 0, size.width(), size.height());
    gradient.setColorAt(0, QColor::fromHsv(hue, 150, 210));
    gradient.setColorAt(1, QColor::fromHsv((hue + 40) % 360, 200, 70));
    painter.fillRect(image.rect(), gradient);

    const QString initial = caption.isEmpty() ? QStringLiteral("?") : caption.left(1);
    QFont big;
    big.setPixelSize(size.height() * 2 / 5);
    big.setBold(true);
    painter.setFont(big);
    painter.setPen(QColor(255, 255, 255, 220));
    painter.drawText(QRect(0, 0, size.width(), size.height() * 4 / 5), Qt::AlignCenter, initial);

    if (size.height() > size.width()) {
        QFont small;
        small.setPixelSize(std::max(12, size.height() / 16));
        painter.setFont(small);
        painter.setPen(QColor(255, 255, 255, 200));
        const QRect band(8, size.height() * 4 / 5, size.width() - 16, size.height() / 5 - 8);
        painter.drawText(band, Qt::AlignCenter | Qt::TextWordWrap, caption);
    }
    painter.end();
    return image;
}

QByteArray encode(const QImage &image, const char *format, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, quality);
    return bytes;
}

}

QByteArray PosterPainter::jpeg(const QString &caption, quint32 seed, QSize size)
{
    return encode(paint(caption, seed, size), "JPEG", 85);
}

QByteArray PosterPainter::png(const QString &caption, quint32 seed, QSize size)
{
    return encode(paint(caption, seed, size), "PNG", -1);
}

}
