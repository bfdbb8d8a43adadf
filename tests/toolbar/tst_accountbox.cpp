#include "support/testmain.h"
#include "toolbarfixture.h"
#include "views/contentview.h"
#include "views/toolbar/accountbox.h"
#include "views/toolbar/accountchipbutton.h"
#include "views/toolbar/membermenu.h"
#include "views/toolbar/membermenubutton.h"
#include "views/toolbar/toolbarbutton.h"

#include <QEnterEvent>
#include <QFileInfo>

using namespace tovra;
using namespace tovra::test;
using namespace Qt::StringLiterals;

namespace {

void enter(QWidget *widget)
{
    QEnterEvent event(QPointF(2, 2), QPointF(2, 2), widget->mapToGlobal(QPointF(2, 2)));
    QCoreApplication::sendEvent(widget, &event);
}

void leave(QWidget *widget)
{
    QEvent event(QEvent::Leave);
    QCoreApplication::sendEvent(widget, &event);
}

bool menuOpen(const ContentView &window)
{
    return window.showsMemberMenu() && window.memberMenu()->isVisible();
}

}

class AccountBoxTest : public QObject
{
    Q_OBJECT

private slots:
    void texts_data()
    {
        QTest::addColumn<QByteArray>("me");
        QTest::addColumn<QString>("chip");
        QTest::newRow("member") << userJson(u"u1"_s, u"影迷小王"_s, 1280, 1900000000, true) << u"尊享VIP 影迷小王 BT币 1280"_s;
        QTest::newRow("expired member") << userJson(u"u1"_s, u"影迷小王"_s, 0, 1600000000, false)
                                        << u"尊享VIP已过期 影迷小王 BT币 0"_s;
        QTest::newRow("never a member") << userJson(u"u1"_s, u"影迷小王"_s, 3, 0, true) << u"影迷小王 BT币 3"_s;
        QTest::newRow("no nickname") << userJson(u"u77"_s, std::nullopt, 3, 0, false) << u"u77 BT币 3"_s;
        QTest::newRow("markup in the name") << userJson(u"u1"_s, u"<b>王</b>&amp;"_s, 3, 0, false)
                                            << u"<b>王</b>&amp; BT币 3"_s;
    }

    void texts()
    {
        QFETCH(QByteArray, me);
        QFETCH(QString, chip);
        ShellFixture f;
        QVERIFY(f.start());
        f.site.route(u"/api/me"_s, FakeSite::ok(me).withDelay(100));
        ContentView window;
        AccountBox *box = window.accountBox();

        // Signed out: the "登录" button, no chip, no "会员中心".
        QVERIFY(!box->loginButton()->isHidden());
        QCOMPARE(box->loginButton()->text(), u"登录"_s);
        QCOMPARE(box->loginButton()->symbol(), u"person.crop.circle"_s);
        QCOMPARE(box->loginButton()->style(), ToolbarButton::Style::Bordered);
        QVERIFY(box->chip()->isHidden());
        QVERIFY(window.userCenterButton()->isHidden());
        box->loginButton()->click();
        QCOMPARE(window.path(), QList<Route>{Route::login()});
        window.popToRoot();

        // A token at once shows the chip, before the profile is there.
        f.auth->save(u"tok"_s);
        QVERIFY(box->loginButton()->isHidden());
        QVERIFY(!box->chip()->isHidden());
        QCOMPARE(box->chip()->text(), u"已登录"_s);
        QVERIFY(!window.userCenterButton()->isHidden());
        QCOMPARE(window.userCenterButton()->text(), u"会员中心"_s);

        QVERIFY(runTask(f.auth->refresh()));
        QCOMPARE(box->chip()->text(), chip);

        box->chip()->click();
        window.userCenterButton()->click();
        QCOMPARE(window.path(), (QList<Route>{Route::userCenter(), Route::userCenter()}));
    }

    // Over the chip opens the menu; crossing to the menu within the delay keeps it; leaving both
    // closes it once the delay has passed.
    void hoverOpensAndClosesWithDelay()
    {
        ShellFixture f;
        QVERIFY(f.start());
        f.auth->save(u"tok"_s);
        ContentView window;
        window.show();
        AccountChipButton *chip = window.accountBox()->chip();
        MemberMenu *menu = window.memberMenu();
        QVERIFY(!menuOpen(window));

        enter(chip);
        QVERIFY(menuOpen(window));
        QVERIFY(menu->isWindow());
        QCOMPARE(menu->windowType(), Qt::Tool);
        QCOMPARE(QWidget::mouseGrabber(), nullptr);
        QCOMPARE(menu->width(), MemberMenu::kWidth);
        // Opened below the chip.
        QVERIFY(menu->geometry().top() >= chip->mapToGlobal(QPoint(0, chip->height())).y());

        // Each stay below outlasts the close delay counted from the last leave.
        leave(chip);
        QTest::qWait(150);
        enter(menu);
        QTest::qWait(250);
        QVERIFY(menuOpen(window));

        // Back to the chip and out again without flicker.
        leave(menu);
        QTest::qWait(100);
        enter(chip);
        QVERIFY(menuOpen(window));
        QTest::qWait(300);
        QVERIFY(menuOpen(window));

        leave(chip);
        QTest::qWait(250);
        QVERIFY(menuOpen(window));
        QVERIFY(waitFor([&] { return !menuOpen(window); }, 400));
        QVERIFY(menu->isHidden());
    }

    void refreshEntryReloadsTheProfile()
    {
        ShellFixture f;
        QVERIFY(f.start());
        f.site.route(u"/api/me"_s, FakeSite::ok(userJson(u"u1"_s, u"影迷"_s, 40, 0, false)));
        f.auth->save(u"tok"_s);
        ContentView window;
        enter(window.accountBox()->chip());
        QVERIFY(menuOpen(window));
        window.memberMenu()->refreshButton()->click();
        QVERIFY(!menuOpen(window));
        QVERIFY(f.site.waitForRequests(1));
        QCOMPARE(f.site.requestsTo(u"/api/me"_s).size(), 1);
        QVERIFY(waitFor([&] { return window.accountBox()->chip()->text() == u"影迷 BT币 40"_s; }));
    }

    // "退出登录": the menu closes, the token file goes, the caches are emptied, and the toolbar
    // shows the signed-out look.
    void logOutClearsTokenAndCaches()
    {
        ShellFixture f;
        QVERIFY(f.start());
        f.site.route(u"/api/me"_s, FakeSite::ok(userJson(u"u1"_s, u"影迷"_s, 40, 1900000000, true)));
        f.auth->save(u"tok"_s);
        QVERIFY(runTask(f.auth->refresh()));
        const QString tokenFile = f.auth->tokenFile();
        QVERIFY(QFileInfo::exists(tokenFile));
        f.cache->saveData(R"({"code":200,"message":"ok","data":{}})", u"api_item?did=1"_s);
        f.cache->flush();
        QVERIFY(f.cache->diskSize() > 0);

        ContentView window;
        enter(window.accountBox()->chip());
        QVERIFY(menuOpen(window));
        window.memberMenu()->logoutButton()->click();

        QVERIFY(!menuOpen(window));
        QCOMPARE(f.auth->tokenValue(), std::nullopt);
        QVERIFY(!QFileInfo::exists(tokenFile));
        QVERIFY(!window.accountBox()->loginButton()->isHidden());
        QVERIFY(window.accountBox()->chip()->isHidden());
        QVERIFY(window.userCenterButton()->isHidden());
        QVERIFY(waitFor([&] {
            f.cache->flush();
            return !f.cache->loadData(u"api_item?did=1"_s, 600).has_value() && f.cache->diskSize() == 0;
        }));
        // The chip disappeared under the pointer; nothing may reopen the menu afterwards.
        QTest::qWait(400);
        QVERIFY(!menuOpen(window));
    }

    // Without a grab, a click elsewhere must still close the menu, as a popover would.
    void clickElsewhereCloses()
    {
        ShellFixture f;
        QVERIFY(f.start());
        f.auth->save(u"tok"_s);
        ContentView window;
        window.show();
        enter(window.accountBox()->chip());
        QVERIFY(menuOpen(window));
        // A click inside the menu (between its entries) keeps it.
        QTest::mouseClick(window.memberMenu(), Qt::LeftButton, {}, QPoint(3, 3));
        QVERIFY(menuOpen(window));
        QTest::mouseClick(window.signButton(), Qt::LeftButton);
        QVERIFY(!menuOpen(window));
    }

    void themeButtonCycles()
    {
        ShellFixture f;
        QVERIFY(f.start());
        ContentView window;
        ToolbarButton *button = window.themeButton();
        QCOMPARE(button->toolTip(), u"切换主题：跟随系统/浅色/深色"_s);
        QStringList seen{button->text() + u'/' + button->symbol()};
        for (int i = 0; i < 3; ++i) {
            button->click();
            seen << button->text() + u'/' + button->symbol();
        }
        QCOMPARE(seen, (QStringList{u"跟随系统/desktopcomputer"_s, u"浅色/sun.max"_s, u"深色/moon"_s,
                                    u"跟随系统/desktopcomputer"_s}));
    }
};

TOVRA_TEST(AccountBoxTest)
#include "tst_accountbox.moc"
