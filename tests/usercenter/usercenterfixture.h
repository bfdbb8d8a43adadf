#pragma once

#include "detail/detailfixture.h"
#include "views/palette.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tovra::test {

// A fake site, a sign-in store whose token goes into every request, and a frame on the
// window's background to put one user-centre widget in.
struct UserCenterFixture : DetailFixture
{
    QWidget frame;

    UserCenterFixture()
    {
        api->setTokenProvider([this] { return auth.tokenValue(); });
        frame.setAutoFillBackground(true);
        paintBackground(false);
        auto *layout = new QVBoxLayout(&frame);
        layout->setContentsMargins(0, 0, 0, 0);
        // The extras every screen of the centre asks for; tests replace what they look at.
        site.route(QStringLiteral("/api/sign_status"), FakeSite::ok(R"({"signed":false,"days":0,"last_time":0})"));
        site.route(QStringLiteral("/api/unread"), FakeSite::ok(R"({"reply":0,"like":0,"board":0,"total":0})"));
        site.route(QStringLiteral("/api/gold_log"), FakeSite::ok("[]"));
    }

    // Builds w into the frame and shows it, which starts its loads.
    template<class W>
    W *show(W *w, QSize size = {860, 560})
    {
        frame.layout()->addWidget(w);
        frame.resize(size);
        frame.show();
        return w;
    }

    void paintBackground(bool dark)
    {
        QPalette p = frame.palette();
        p.setColor(QPalette::Window, Palette::windowBackground(dark));
        frame.setPalette(p);
    }

    // Signs in as the given profile through the site's own "api/me".
    bool signInAs(const QJsonObject &user)
    {
        site.route(QStringLiteral("/api/me"), FakeSite::ok(QJsonDocument(user).toJson(QJsonDocument::Compact)));
        auth.save(QStringLiteral("tok-uc"));
        return runTask(auth.refresh()) && auth.user().has_value();
    }

    static QByteArray compact(const QJsonValue &v)
    {
        return v.isArray() ? QJsonDocument(v.toArray()).toJson(QJsonDocument::Compact)
                           : QJsonDocument(v.toObject()).toJson(QJsonDocument::Compact);
    }

    // The text of the named label inside a row widget.
    static QString textOf(QWidget *row, const char *name)
    {
        auto *label = row ? row->findChild<QLabel *>(QString::fromLatin1(name)) : nullptr;
        return label ? label->text() : QStringLiteral("<none>");
    }
};

inline QJsonObject userObject(const QString &nickname, qint64 gold, bool vip, qint64 expired = 0,
                              const QString &uid = QStringLiteral("u1"))
{
    QJsonObject o{{"uid", uid}, {"gold", gold}, {"vip_level", vip ? 1 : 0}, {"vip_expired", expired}, {"is_vip", vip}};
    if (!nickname.isNull())
        o.insert("nickname", nickname);
    return o;
}

}
