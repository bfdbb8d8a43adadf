#pragma once

#include "components/appearance.h"
#include "detail/detailfixture.h"
#include "login/loginfixture.h"
#include "views/palette.h"
#include "views/usercenter/outcomeline.h"
#include "support/screentext.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

namespace tovra::test {

inline QByteArray userJson(qint64 gold, const QJsonValue &nickname = QJsonValue::Undefined, bool vip = false,
                           qint64 vipExpired = 0)
{
    QJsonObject o{{"uid", "u7"}, {"gold", gold}, {"vip_level", vip ? 1 : 0}, {"vip_expired", vipExpired}, {"is_vip", vip}};
    if (!nickname.isUndefined())
        o.insert("nickname", nickname);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

// A fake site with a sign-in store whose token goes with every request, and one user-centre
// page of type View on a frame painted like the window's content area.
template<class View>
struct PageFixture : DetailFixture
{
    QWidget frame;
    View *view = nullptr;

    PageFixture()
    {
        api->setTokenProvider([this] { return auth.tokenValue(); });
        frame.setAutoFillBackground(true);
        paint(false);
        new QVBoxLayout(&frame);
        frame.layout()->setContentsMargins(0, 0, 0, 0);
        frame.resize(760, 520);
    }

    // Signed in as a user with this profile (the site keeps answering "api/me" with it).
    bool signInAs(const QByteArray &user)
    {
        site.route(QStringLiteral("/api/me"), FakeSite::ok(user));
        auth.save(QStringLiteral("token-7"));
        return runTask(auth.refresh()) && auth.user().has_value();
    }

    template<class... Args>
    View &open(Args &&...args)
    {
        view = new View(std::forward<Args>(args)..., &frame);
        frame.layout()->addWidget(view);
        frame.show();
        if (!QTest::qWaitForWindowExposed(&frame))
            qWarning("page frame not exposed");
        return *view;
    }

    void paint(bool dark)
    {
        QPalette p = frame.palette();
        p.setColor(QPalette::Window, Palette::windowBackground(dark));
        frame.setPalette(p);
    }

    QMap<QString, QString> form(const QString &path, int n = 0) const
    {
        QMap<QString, QString> out;
        const auto sent = site.requestsTo(path);
        if (n < sent.size())
            for (const auto &[k, v] : sent.at(n).form().queryItems(QUrl::FullyDecoded))
                out.insert(k, v);
        return out;
    }

    int count(const QString &path) const { return site.requestsTo(path).size(); }

    // Light and dark grabs of the page as it stands now.
    bool grabBoth(const QString &name)
    {
        bool ok = true;
        for (const bool dark : {false, true}) {
            forceAppearance(dark);
            paint(dark);
            const QString file = grabToPng(&frame, name + (dark ? QStringLiteral("-dark") : QStringLiteral("-light")));
            ok = ok && !file.isEmpty() && QFileInfo(file).size() > 0;
            // Nothing the user reads may be cut short, in either appearance.
            if (const QStringList clipped = clippedTexts(&frame); !clipped.isEmpty()) {
                qWarning("clipped: %s", qPrintable(clipped.join(u'|')));
                ok = false;
            }
        }
        forceAppearance(false);
        paint(false);
        return ok;
    }
};

}
