#include "components/appearance.h"
#include "usercenterfixture.h"
#include "models/usercenterlogic.h"
#include "views/icons.h"
#include "views/usercenter/accountcard.h"
#include "views/usercenter/goldlogview.h"
#include "views/usercenter/usercentermenurow.h"
#include "views/usercenter/usercenterview.h"
#include "views/usercenter/vipexchangeview.h"
#include "views/usercenter/watchingview.h"
#include "support/screentext.h"

#include <QSignalSpy>
#include <QTest>
#include "support/testmain.h"

using namespace tovra;
using namespace tovra::test;

namespace {
// Two accounts of one site, told apart by their token. The first one's replies come late, so
// its loads are still under way when it goes.
struct Account
{
    QByteArray token;
    QString nickname;
    int gold, unread, days, delayMs;
    QString name(const char *what) const { return nickname.left(1) + QString::fromUtf8(what); }
};
const Account kFirst{"tok-a", QStringLiteral("甲号"), 77, 3, 3, 150};
const Account kSecond{"tok-b", QStringLiteral("乙号"), 88, 5, 6, 0};

void serveAccounts(FakeSite &site)
{
    const auto route = [&site](const char *path, std::function<QJsonValue(const Account &)> data) {
        site.route(QString::fromLatin1(path), [data](const FakeSite::Request &r) {
            for (const Account &a : {kFirst, kSecond}) {
                if (r.header("Authorization") == "Bearer " + a.token)
                    return FakeSite::ok(UserCenterFixture::compact(data(a))).withDelay(a.delayMs);
            }
            return FakeSite::json(FakeSite::envelope(401, QStringLiteral("请先登录")));
        });
    };
    route("/api/me", [](const Account &a) { return userObject(a.nickname, a.gold, false, 0, a.nickname); });
    route("/api/unread", [](const Account &a) { return QJsonObject{{"reply", a.unread}, {"like", 0}, {"board", 0}, {"total", a.unread}}; });
    route("/api/sign_status", [](const Account &a) { return QJsonObject{{"signed", true}, {"days", a.days}, {"last_time", 1}}; });
    route("/api/gold_log", [](const Account &a) { return QJsonArray{QJsonObject{{"type_name", a.name("的签到")}, {"gold", 5}, {"balance", a.gold}}}; });
    route("/api/watching", [](const Account &a) {
        return QJsonArray{QJsonObject{{"did", "w1"}, {"title", a.name("在看")}, {"image", ""}, {"episode", 1}, {"pos", 30}, {"duration", 60}, {"token", "t"}, {"expired", 9}}};
    });
    route("/api/messages", [](const Account &a) { return QJsonObject{{"notice", QJsonObject{{"list", QJsonArray{QJsonObject{{"content", a.name("的留言")}}}}}}}; });
}
}

class TestUserCenterShell : public QObject
{
    Q_OBJECT
private slots:
    void tabVocabulary()
    {
        QStringList titles;
        for (UserCenterTab tab : usercenter::allTabs()) {
            titles << usercenter::title(tab);
            QCOMPARE(usercenter::fromTitle(usercenter::title(tab)), tab);
            QVERIFY2(Icons::contains(usercenter::icon(tab)), qPrintable(usercenter::icon(tab)));
        }
        QCOMPARE(titles, (QStringList{"BT币记录", "继续观看", "充值BT币（微信）", "兑换尊享会员", "我的消息", "修改昵称",
                                      "修改头像", "官方信息交流群"}));
        QCOMPARE(usercenter::fromTitle(QStringLiteral("充值BT币(微信)")), std::nullopt);
        QCOMPARE(usercenter::fromTitle(QString()), std::nullopt);
    }

    void opensOnInitialTab_data()
    {
        QTest::addColumn<UserCenterTab>("tab");
        QTest::addColumn<QByteArray>("pageClass");
        QTest::newRow("userCenter") << UserCenterTab::gold << QByteArray(GoldLogView::staticMetaObject.className());
        QTest::newRow("userCenterVip") << UserCenterTab::vip << QByteArray(VIPExchangeView::staticMetaObject.className());
    }
    void opensOnInitialTab()
    {
        QFETCH(UserCenterTab, tab);
        QFETCH(QByteArray, pageClass);
        UserCenterFixture f;
        auto *v = f.show(new UserCenterView(tab));
        QCOMPARE(v->tab(), tab);
        QCOMPARE(QByteArray(v->page()->metaObject()->className()), pageClass);
        for (UserCenterTab t : usercenter::allTabs())
            QCOMPARE(v->menuRow(t)->isSelected(), t == tab);
        QCOMPARE(v->windowTitle(), QStringLiteral("会员中心"));
    }

    void switchingTabsRebuildsPages()
    {
        UserCenterFixture f;
        auto *v = f.show(new UserCenterView(UserCenterTab::gold));
        QPointer<QWidget> first = v->page();
        QTest::mouseClick(v->menuRow(UserCenterTab::gold), Qt::LeftButton);
        QCOMPARE(v->page(), first.data());
        QTest::mouseClick(v->menuRow(UserCenterTab::watching), Qt::LeftButton);
        QCOMPARE(v->tab(), UserCenterTab::watching);
        QVERIFY(qobject_cast<WatchingView *>(v->page()));
        QVERIFY(!first);
        QVERIFY(v->menuRow(UserCenterTab::watching)->isSelected());
        QVERIFY(!v->menuRow(UserCenterTab::gold)->isSelected());
        QTest::mouseClick(v->menuRow(UserCenterTab::gold), Qt::LeftButton);
        auto *again = qobject_cast<GoldLogView *>(v->page());
        QVERIFY(again);
        QCOMPARE(again->page(), 1);
        QVERIFY(again->isLoading());
        // Every tab builds a page without failing.
        for (UserCenterTab t : usercenter::allTabs()) {
            v->selectTab(t);
            QVERIFY(waitFor([&] { return v->page() && v->page()->isVisible(); }));
        }
    }

    void forwardsWatchHistoryChoices()
    {
        UserCenterFixture f;
        const QJsonObject e{{"did", "w1"}, {"title", "归途"}, {"image", f.poster(1)}, {"episode", 2}, {"pos", 30},
                            {"duration", 60}, {"token", "t"}, {"expired", 9}};
        f.site.route(QStringLiteral("/api/watching"), FakeSite::ok(UserCenterFixture::compact(QJsonArray{e})));
        auto *v = f.show(new UserCenterView(UserCenterTab::watching));
        auto *page = qobject_cast<WatchingView *>(v->page());
        QVERIFY(waitFor([&] { return page->rows().size() == 1; }));
        QSignalSpy played(v, &UserCenterView::playRequested);
        QSignalSpy selected(v, &UserCenterView::selected);
        QTest::mouseClick(page->rows()[0]->findChild<QPushButton *>("resumeButton"), Qt::LeftButton);
        QTest::mouseClick(page->rows()[0]->findChild<QPushButton *>("detailButton"), Qt::LeftButton);
        QCOMPARE(played.size(), 1);
        QCOMPARE(played[0][1].toString(), QStringLiteral("归途 第2集"));
        QCOMPARE(played[0][2].toInt(), 30);
        QCOMPARE(selected.value(0).value(0).toString(), QStringLiteral("w1"));
    }

    void unreadBadge_data()
    {
        QTest::addColumn<FakeSite::Reply>("reply");
        QTest::addColumn<QString>("badge");
        QTest::newRow("none") << FakeSite::ok(R"({"reply":0,"like":0,"board":0,"total":0})") << "";
        QTest::newRow("one") << FakeSite::ok(R"({"reply":1,"like":0,"board":0,"total":1})") << "1";
        QTest::newRow("large") << FakeSite::ok(R"({"reply":0,"like":0,"board":0,"total":123456})") << "123456";
        QTest::newRow("refused") << FakeSite::json(FakeSite::envelope(401, "x")) << "";
        QTest::newRow("undecodable") << FakeSite::ok(R"({"total":3})") << "";
    }
    void unreadBadge()
    {
        QFETCH(FakeSite::Reply, reply);
        QFETCH(QString, badge);
        UserCenterFixture f;
        QVERIFY(f.signInAs(userObject("甲", 1, false)));
        f.site.route(QStringLiteral("/api/unread"), reply);
        auto *v = f.show(new UserCenterView(UserCenterTab::gold));
        QVERIFY(waitFor([&] { return f.site.requestsTo("/api/unread").size() == 1; }));
        QVERIFY(f.manager.quiet());
        const auto sent = f.site.requestsTo("/api/unread");
        QCOMPARE(sent[0].method, QByteArray("GET"));
        QCOMPARE(sent[0].header("Authorization"), QByteArray("Bearer tok-uc"));
        for (UserCenterTab t : usercenter::allTabs()) {
            const auto shown = v->menuRow(t)->badgeText();
            QCOMPARE(shown.value_or(QString()), t == UserCenterTab::message ? badge : QString());
        }
        // Asked again each time the page comes back on screen, not while it stays.
        f.frame.hide();
        f.frame.show();
        QVERIFY(waitFor([&] { return f.site.requestsTo("/api/unread").size() == 2; }));
    }

    void accountCard_data()
    {
        QTest::addColumn<QJsonObject>("user");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("coins");
        QTest::addColumn<QString>("member");
        QTest::addColumn<QString>("symbol");
        QTest::newRow("signed out") << QJsonObject() << "未登录" << "BT币 0" << "" << "person.circle.fill";
        QTest::newRow("no nickname") << userObject(QString(), 42, false) << "未登录" << "BT币 42" << "" << "person.circle.fill";
        QTest::newRow("member, no expiry") << userObject("阿明", 7, true, 0) << "阿明" << "BT币 7" << "会员至 -" << "crown.fill";
        QTest::newRow("member, negative") << userObject("阿明", 7, true, -5) << "阿明" << "BT币 7" << "会员至 -" << "crown.fill";
    }
    void accountCard()
    {
        QFETCH(QJsonObject, user);
        QFETCH(QString, name);
        QFETCH(QString, coins);
        QFETCH(QString, member);
        QFETCH(QString, symbol);
        UserCenterFixture f;
        if (!user.isEmpty())
            QVERIFY(f.signInAs(user));
        auto *v = f.show(new UserCenterView(UserCenterTab::gold));
        AccountCard *card = v->accountCard();
        QCOMPARE(card->nameLabel()->text(), name);
        QCOMPARE(card->coinLabel()->text(), coins);
        QCOMPARE(card->memberLabel()->isVisible(), !member.isEmpty());
        QCOMPARE(card->memberLabel()->text(), member);
        QCOMPARE(card->model().placeholderSymbol, symbol);
        QCOMPARE(card->nameLabel()->textFormat(), Qt::PlainText);
    }

    void cardFollowsRefreshAndLoadsOnlyWebAvatars()
    {
        UserCenterFixture f;
        QJsonObject user = userObject("甲", 1, false);
        user.insert("photo", "file:///etc/passwd");
        QVERIFY(f.signInAs(user));
        auto *v = f.show(new UserCenterView(UserCenterTab::gold));
        AccountCard *card = v->accountCard();
        QCOMPARE(card->model().avatar, std::nullopt);

        user = userObject("甲", 9, true, 1900000000);
        user.insert("photo", f.poster(5));
        f.site.route(QStringLiteral("/api/me"), FakeSite::ok(UserCenterFixture::compact(user)));
        QVERIFY(runTask(f.auth.refresh()));
        QCOMPARE(card->coinLabel()->text(), QStringLiteral("BT币 9"));
        QCOMPARE(card->memberLabel()->text(), QStringLiteral("会员至 ") + usercenter::dateText(1900000000));
        QVERIFY(waitFor([&] { return card->hasAvatarImage(); }));
        QCOMPARE(f.site.requestsTo("/poster.png").value(0).header("Authorization"), QByteArray());

        f.auth.logout();
        QCOMPARE(card->nameLabel()->text(), QStringLiteral("未登录"));
        QVERIFY(!card->hasAvatarImage());
    }

    // A change of account leaves nothing of the previous one to read on any tab, not even from
    // its loads that answer afterwards: each tab reads as if opened afresh for the new state.
    void nothingOfTheLastAccountStays_data()
    {
        QTest::addColumn<UserCenterTab>("tab");
        QTest::addColumn<bool>("signOutFirst");
        QTest::addColumn<QString>("firstRow");
        QTest::addColumn<QString>("secondRow");
        QTest::newRow("BT币记录") << UserCenterTab::gold << true << "甲的签到" << "乙的签到";
        QTest::newRow("继续观看") << UserCenterTab::watching << true << "甲在看" << "乙在看";
        QTest::newRow("我的消息") << UserCenterTab::message << true << "甲的留言" << "乙的留言";
        QTest::newRow("修改昵称") << UserCenterTab::profile << true << "甲号" << "乙号";
        QTest::newRow("兑换尊享会员") << UserCenterTab::vip << true << "当前 BT币：77" << "当前 BT币：88";
        QTest::newRow("BT币记录, another account signs in over it") << UserCenterTab::gold << false << "甲的签到" << "乙的签到";
        QTest::newRow("我的消息, another account signs in over it") << UserCenterTab::message << false << "甲的留言" << "乙的留言";
    }
    void nothingOfTheLastAccountStays()
    {
        QFETCH(UserCenterTab, tab);
        QFETCH(bool, signOutFirst);
        QFETCH(QString, firstRow);
        QFETCH(QString, secondRow);
        UserCenterFixture f;
        serveAccounts(f.site);
        const auto signIn = [&](const Account &a) {
            f.auth.save(QString::fromLatin1(a.token));
            return runTask(f.auth.refresh()) && f.auth.user();
        };
        const QStringList firstTexts{firstRow, "甲号", "BT币 77", "我的消息，3", "已连续签到 3 天"};
        const auto leftOf = [&](QStringList texts) {
            texts.removeIf([heard = heardTexts(&f.frame)](const QString &text) { return !heard.contains(text); });
            return texts;
        };
        // Read in any order, the centre checked must say exactly what one opened afresh says.
        const auto readsAsFresh = [&] {
            QWidget frame;
            auto *fresh = new UserCenterView(tab, &frame);
            fresh->resize(f.frame.size());
            frame.resize(f.frame.size());
            frame.show();
            return waitFor([&] { return heardTexts(&f.frame, true) == heardTexts(&frame, true); });
        };
        QVERIFY(signIn(kFirst));
        f.show(new UserCenterView(tab));
        QVERIFY(waitFor([&] { return leftOf(firstTexts) == firstTexts; }));
        // Shown again, the centre asks again: the first account's answers are now on their way.
        f.frame.hide();
        f.frame.show();
        if (signOutFirst) {
            f.auth.logout();
            QCOMPARE(leftOf(firstTexts), QStringList());
            QVERIFY(readsAsFresh());
            QVERIFY(heardTexts(&f.frame).contains(QStringLiteral("未登录")));
        }
        QVERIFY(signIn(kSecond));
        QCOMPARE(leftOf(firstTexts), QStringList());
        const QStringList secondTexts{secondRow, "乙号", "BT币 88", "我的消息，5", "已连续签到 6 天"};
        QVERIFY(waitFor([&] { return leftOf(secondTexts) == secondTexts; }));
        // By then the first account's late answers have come too, and changed nothing.
        QVERIFY(f.manager.quiet());
        QVERIFY(readsAsFresh());
    }

    void grabs_data()
    {
        addAppearanceRows();
    }
    // A member with an avatar, a signed streak, three unread messages and a paged coin log.
    void grabs()
    {
        QFETCH(bool, dark);
        Palette::installApplicationTheme();
        UserCenterFixture f;
        forceAppearance(dark);
        f.paintBackground(dark);
        QJsonObject user = userObject("星河旅人", 128, true, 1900000000);
        user.insert("photo", f.poster(2));
        QVERIFY(f.signInAs(user));
        f.site.route(QStringLiteral("/api/unread"), FakeSite::ok(R"({"reply":2,"like":1,"board":0,"total":3})"));
        f.site.route(QStringLiteral("/api/sign_status"), FakeSite::ok(R"({"signed":true,"days":4,"last_time":1})"));
        f.site.route(QStringLiteral("/api/gold_log"),
                     FakeSite::ok(R"([{"type":1,"type_name":"签到","explain":"每日签到","gold":5,"balance":128,"created":1746000000},
                                      {"type":2,"type_name":"兑换会员","sign":"-","explain":"月卡","gold":30,"balance":123,"created":1745900000},
                                      {"type":3,"type_name":"充值","explain":"微信","gold":100,"balance":153,"created":1745800000}])",
                                  metaJson(1, 4)));
        auto *v = f.show(new UserCenterView(UserCenterTab::gold), {900, 560});
        auto *page = qobject_cast<GoldLogView *>(v->page());
        QVERIFY(waitFor([&] { return !page->isLoading() && v->unread() == 3 && v->accountCard()->hasAvatarImage(); }));
        QVERIFY(f.manager.quiet());
        const QString file = grabToPng(&f.frame, dark ? QStringLiteral("usercenter-dark") : QStringLiteral("usercenter-light"));
        QVERIFY(!file.isEmpty());
    }
};

TOVRA_TEST(TestUserCenterShell)
#include "tst_usercentershell.moc"
