#pragma once

#include "detail/detailfixture.h"
#include "views/login/captchabutton.h"
#include "views/login/loginview.h"

#include <QBuffer>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

namespace tovra::test {

inline QByteArray captchaPng()
{
    QImage image(192, 72, QImage::Format_RGB32);
    image.fill(QColor(0xEE, 0xF3, 0xF0));
    QPainter painter(&image);
    QFont font;
    font.setPixelSize(44);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(QColor(0x33, 0x55, 0x99));
    painter.drawText(image.rect(), Qt::AlignCenter, QStringLiteral("K7QX"));
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// A fake site with a sign-in store, and a fresh page on screen on the window's background.
struct LoginFixture : DetailFixture
{
    QWidget frame;
    LoginView &view = *new LoginView(&frame);

    LoginFixture()
    {
        // As the composition root wires it: requests carry the store's token.
        api->setTokenProvider([this] { return auth.tokenValue(); });
        frame.setAutoFillBackground(true);
        paintBackground(false);
        auto *layout = new QVBoxLayout(&frame);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(&view);
        site.route(QStringLiteral("/api/captcha"), FakeSite::Reply()
                                                       .withHeader("Content-Type", "image/png")
                                                       .withHeader("Set-Cookie", "cap=s1; Path=/")
                                                       .withBody(captchaPng()));
        const QByteArray user = R"({"uid":"u9","nickname":"新人","gold":0,"vip_level":0,"vip_expired":0,"is_vip":false})";
        site.route(QStringLiteral("/api/me"), FakeSite::ok(user));
        frame.resize(560, 480);
        frame.show();
    }

    void paintBackground(bool dark)
    {
        QPalette p = frame.palette();
        p.setColor(QPalette::Window, Palette::windowBackground(dark));
        frame.setPalette(p);
    }

    // Typing, one key event per character: QTest::keyClicks() only knows ASCII.
    static void type(QLineEdit *edit, const QString &text)
    {
        for (const QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QCoreApplication::sendEvent(edit, &press);
        }
    }

    // The decoded form of the n-th request to path.
    QMap<QString, QString> form(const QString &path, int n = 0) const
    {
        QMap<QString, QString> out;
        const auto sent = site.requestsTo(path);
        if (n >= sent.size())
            return out;
        for (const auto &[k, v] : sent.at(n).form().queryItems(QUrl::FullyDecoded))
            out.insert(k, v);
        return out;
    }

    bool captchaShown() { return waitFor([this] { return view.hasCaptchaImage(); }); }
};

}
