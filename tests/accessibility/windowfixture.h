#pragma once

#include "community/communityfixture.h"
#include "detail/detailfixture.h"
#include "download/downloadfixture.h"
#include "shell/shellfixture.h"
#include "views/components/stateoverlay.h"
#include "views/contentview.h"
#include "views/navigationstack.h"

#include <QAccessible>
#include <QApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <algorithm>
#include <memory>

namespace tovra::test {

// The whole window on a fake site that answers every screen with sample data, signed in, shown
// and active, so the keyboard reaches it.
struct WindowFixture : DetailFixture
{
    std::unique_ptr<ContentView> window;

    WindowFixture()
    {
        api->setTokenProvider([this] { return auth.tokenValue(); });
        site.route(QStringLiteral("/api/nav"), FakeSite::ok(jsonArray({
                                                   navJson(QStringLiteral("1"), QStringLiteral("电影"), QStringLiteral("film"),
                                                           {}, false, 12),
                                                   navJson(QStringLiteral("2"), QStringLiteral("剧集"), QStringLiteral("tv")),
                                               })));
        site.route(QStringLiteral("/api/index"), FakeSite::ok(homeJson(*this)));
        site.route(QStringLiteral("/api/ranking"), FakeSite::ok(rankingJson(*this, 8)));
        site.route(QStringLiteral("/api/top250"), FakeSite::ok(itemsJson(*this, 0, 21), metaJson(1, 3, 60)));
        site.route(QStringLiteral("/api/filter"), FakeSite::ok(itemsJson(*this, 0, 21), metaJson(1, 3, 60)));
        site.route(QStringLiteral("/api/search"), FakeSite::ok(itemsJson(*this, 5, 9), metaJson(1, 1, 9)));
        site.route(QStringLiteral("/api/filter_options"), FakeSite::ok(optionsJson()));
        site.route(QStringLiteral("/api/tags"), FakeSite::ok(tagsJson()));
        site.route(QStringLiteral("/api/item"), FakeSite::ok(detailJson(*this, QStringLiteral("d1"))));
        site.route(QStringLiteral("/api/down"), FakeSite::ok(torrentDetailJson()));
        site.route(QStringLiteral("/api/res"), FakeSite::ok(torrentDetailJson()));
        site.route(QStringLiteral("/api/bbs_list"), FakeSite::ok(postsJson(*this, 0, 4), hasMoreMeta(false)));
        site.route(QStringLiteral("/api/sign_status"), FakeSite::ok(R"({"signed":false,"days":0,"last_time":0})"));
        site.route(QStringLiteral("/api/unread"), FakeSite::ok(R"({"reply":2,"like":1,"board":0,"total":3})"));
        site.route(QStringLiteral("/api/gold_log"),
                   FakeSite::ok(R"([{"type":1,"type_name":"签到","sign":"+","explain":"每日签到","gold":5,"balance":30,)"
                                R"("created":1700000000}])"));
        site.route(QStringLiteral("/api/watching"),
                   FakeSite::ok(QJsonDocument(QJsonArray{QJsonObject{{"did", "d3"}, {"title", "雾都谜案"}, {"image", poster(3)},
                                                                     {"episode", 2}, {"pos", 600}, {"duration", 1200},
                                                                     {"token", "tk"}, {"expired", 1900000000}},
                                                         QJsonObject{{"did", "d4"}, {"title", "星河"}, {"image", poster(4)},
                                                                     {"episode", 1}, {"pos", 60}, {"duration", 1200},
                                                                     {"token", "tk"}, {"expired", 1900000000}}})
                                    .toJson(QJsonDocument::Compact)));
        site.route(QStringLiteral("/api/messages"),
                   FakeSite::ok(R"({"tab":"notice","type":"all","page":1,"notice":{"total":1,"titles":{"d1":"星河"},"list":[
                       {"type":"reply","sid":1,"did":"d1","unread":true,"actor":{"uid":7,"nickname":"阿飞"},"content":"好看","target":{"cid":3,"content":"不错"},"dateshow":"3分钟前"}]}})"));
    }

    bool signIn()
    {
        const QJsonObject user{{"uid", "u1"}, {"nickname", "影迷"}, {"gold", 30}, {"vip_level", 0}, {"vip_expired", 0},
                               {"is_vip", false}};
        site.route(QStringLiteral("/api/me"), FakeSite::ok(QJsonDocument(user).toJson(QJsonDocument::Compact)));
        auth.save(QStringLiteral("token-a"));
        return runTask(auth.refresh()) && auth.user().has_value();
    }

    // Opens the window on the home page with its content on screen.
    bool open()
    {
        window = std::make_unique<ContentView>();
        if (!runTask(window->loadNav()))
            return false;
        window->show();
        QApplication::setActiveWindow(window.get());
        if (!QTest::qWaitForWindowActive(window.get()))
            return false;
        return waitFor([this] { return !requests(QStringLiteral("/api/index")).isEmpty(); }) && settle();
    }

    // Waits until the screen has what it asked for: every reply is in, the site has heard nothing
    // new for a moment, and no loading state is on show. The replies are counted, so the moment
    // only has to cover a request set off by a posted event, not the site's answer time.
    bool settle(int quietMs = 30)
    {
        qsizetype heard = -1;
        QElapsedTimer quiet;
        return waitFor([&] {
            if (site.requests().size() != heard || manager.inFlight() > 0) {
                heard = site.requests().size();
                quiet.start();
                return false;
            }
            return quiet.elapsed() >= quietMs && !loadingOnShow();
        });
    }

    bool loadingOnShow() const
    {
        const QList<StateOverlay *> overlays = window ? window->findChildren<StateOverlay *>() : QList<StateOverlay *>();
        return std::any_of(overlays.cbegin(), overlays.cend(), [](const StateOverlay *overlay) {
            return overlay->isVisible() && overlay->kind().kase == StateOverlay::Kind::Case::Loading;
        });
    }

    QWidget *focus() const { return QApplication::focusWidget(); }

    // Presses Tab until pred holds for the focus widget; answers whether it did within limit presses.
    bool tabUntil(const std::function<bool(QWidget *)> &pred, int limit = 80, bool backwards = false)
    {
        for (int i = 0; i < limit; ++i) {
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : window.get(),
                            backwards ? Qt::Key_Backtab : Qt::Key_Tab);
            if (focus() && pred(focus()))
                return true;
        }
        return false;
    }
};

}
