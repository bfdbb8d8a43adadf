#pragma once

#include "components/appearance.h"
#include "detail/detailfixture.h"
#include "views/palette.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QVBoxLayout>

namespace tovra::test {

// A PNG of the given size: a dark square grid on white, like a QR code, or halves in two colours.
inline QByteArray pngBytes(QSize size, QColor left = Qt::white, QColor right = Qt::white)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(QRect(0, 0, size.width() / 2, size.height()), left);
    painter.fillRect(QRect(size.width() / 2, 0, size.width() - size.width() / 2, size.height()), right);
    if (left == Qt::white && right == Qt::white) {
        const int cell = std::max(1, size.width() / 21);
        for (int y = 0; y < 21; ++y)
            for (int x = 0; x < 21; ++x)
                if ((x * 7 + y * 3 + x * y) % 5 < 2 || ((x < 7 || x > 13) && (y < 7 || (y > 13 && x < 7))))
                    painter.fillRect(QRect(x * cell, y * cell, cell, cell), Qt::black);
    }
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// The fake site with a sign-in store whose token goes into every API request, and a frame on
// the window's background holding the page under test.
template<class View>
struct UccFixture : DetailFixture
{
    QWidget frame;
    View *view = nullptr;

    UccFixture()
    {
        api->setTokenProvider([this] { return auth.tokenValue(); });
        frame.setAutoFillBackground(true);
        paintBackground(false);
        auto *layout = new QVBoxLayout(&frame);
        layout->setContentsMargins(0, 0, 0, 0);
        frame.resize(640, 520);
    }

    // Builds the page and shows it, which is when pages start loading.
    template<class... Args>
    View &show(Args &&...args)
    {
        view = new View(std::forward<Args>(args)..., &frame);
        frame.layout()->addWidget(view);
        frame.show();
        return *view;
    }

    void paintBackground(bool dark)
    {
        QPalette p = frame.palette();
        p.setColor(QPalette::Window, Palette::windowBackground(dark));
        frame.setPalette(p);
    }

    QMap<QString, QString> query(const QString &path, int n) const
    {
        const auto all = queries(path);
        return n < all.size() ? all.at(n) : QMap<QString, QString>{};
    }
};

}
