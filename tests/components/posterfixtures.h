#pragma once

#include "models/catalogue.h"
#include "support/fakesite.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QUrlQuery>

namespace tovra::test {

// Serves "/poster.png?n=<number>" with a coloured 300 × 450 poster numbered n, and counts
// nothing itself: the site's request log does.
inline void servePosters(FakeSite &site, int delayMs = 0)
{
    site.route("/poster.png", [delayMs](const FakeSite::Request &request) {
        const int n = request.query().queryItemValue(QStringLiteral("n")).toInt();
        QImage image(300, 450, QImage::Format_RGB32);
        QPainter painter(&image);
        QLinearGradient gradient(0, 0, 300, 450);
        gradient.setColorAt(0, QColor::fromHsv((n * 47) % 360, 150, 210));
        gradient.setColorAt(1, QColor::fromHsv((n * 47 + 80) % 360, 200, 90));
        painter.fillRect(image.rect(), gradient);
        painter.setPen(QColor(255, 255, 255, 200));
        QFont font = painter.font();
        font.setPixelSize(120);
        font.setBold(true);
        painter.setFont(font);
        painter.drawText(image.rect(), Qt::AlignCenter, QString::number(n));
        painter.end();
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "JPEG", 85);
        FakeSite::Reply reply;
        reply.headers = {{"Content-Type", "image/jpeg"}};
        reply.body = bytes;
        reply.delayMs = delayMs;
        return reply;
    });
}

inline Item sampleItem(const FakeSite &site, int n)
{
    Item item;
    item.did = QStringLiteral("d%1").arg(n);
    item.title = QStringLiteral("样片 %1").arg(n);
    item.image = site.url(QStringLiteral("poster.png?n=%1").arg(n)).toString();
    item.showdate = QStringLiteral("20%1-01-01").arg(10 + n % 15);
    return item;
}

inline QList<Item> sampleItems(const FakeSite &site, int count)
{
    QList<Item> items;
    items.reserve(count);
    for (int i = 0; i < count; ++i)
        items.append(sampleItem(site, i));
    return items;
}

}
