#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QPainter>
#include <QSize>

namespace tovra::test {

// A JPEG poster of the given size: a gradient whose hues follow n, with n written large across
// it, so that posters told apart in a grab are told apart at a glance.
inline QByteArray posterJpeg(int n, QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, size.width(), size.height());
    gradient.setColorAt(0, QColor::fromHsv((n * 47) % 360, 150, 210));
    gradient.setColorAt(1, QColor::fromHsv((n * 47 + 80) % 360, 200, 90));
    painter.fillRect(image.rect(), gradient);
    painter.setPen(QColor(255, 255, 255, 200));
    QFont font = painter.font();
    font.setPixelSize(size.height() * 4 / 15);
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(image.rect(), Qt::AlignCenter, QString::number(n));
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 85);
    return bytes;
}

}
