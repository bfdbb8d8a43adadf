#include "../components/appearance.h"
#include "support/screentext.h"
#include "support/testmain.h"
#include "toolbarfixture.h"
#include "views/contentview.h"
#include "views/palette.h"
#include "views/preferencesview.h"
#include "views/toolbar/accountbox.h"
#include "views/toolbar/accountchipbutton.h"
#include "views/toolbar/membermenu.h"
#include "views/toolbar/searchfield.h"
#include "views/toolbar/suggestlayer.h"
#include "views/toolbar/suggestpanel.h"

#include <QDir>
#include <QEnterEvent>
#include <QImage>
#include <QPainter>
#include <QPushButton>

using namespace tovra;
using namespace tovra::test;
using namespace Qt::StringLiterals;

namespace {

QString save(const QPixmap &pixmap, const QString &name)
{
    const QDir folder(QStringLiteral(TOVRA_GRAB_DIR));
    if (!folder.mkpath(u"."_s))
        return {};
    const QString file = folder.filePath(name + u".png"_s);
    return pixmap.save(file, "PNG") ? file : QString();
}

// A signed-in member with today's sign-in still to do, as most screenshots would show it.
void signedInMember(ShellFixture &f, ContentView &window)
{
    f.site.route(u"/api/me"_s, FakeSite::ok(userJson(u"u1"_s, u"影迷小王"_s, 1280, 1900000000, true)));
    f.site.route(u"/api/sign_status"_s, FakeSite::ok(R"({"signed":false,"days":6,"last_time":0})"));
    f.auth->save(u"tok"_s);
    QVERIFY(runTask(f.auth->refresh()));
    QVERIFY(runTask(window.loadSignStatus()));
}

}

// The toolbar as a user sees it, for a reviewer to open under build/grabs/.
class ToolbarGrabsTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { Palette::installApplicationTheme(); }
    void cleanup() { forceAppearance(false); }

    void suggestionPanel_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::newRow("light") << false;
        QTest::newRow("dark") << true;
    }

    void suggestionPanel()
    {
        QFETCH(bool, dark);
        ShellFixture f;
        QVERIFY(f.start());
        forceAppearance(dark);
        f.site.route("POST", u"/search"_s,
                     FakeSite::json(hitsBody({
                         hitJson(u"1"_s, u"<b>星际</b>穿越"_s, u"2014-11-12"_s, u"9.4"_s, 36,
                                 {u"马修·麦康纳"_s, u"安妮·海瑟薇"_s, u"杰西卡·<b>星际</b>"_s}),
                         hitJson(u"2"_s, u"<b>星际</b>宝贝"_s, u"2002-06-21"_s, u"7.9"_s, 4, {u"克里斯·桑德斯"_s}),
                         hitJson(u"3"_s, u"<img src=x><b>星际</b>迷航：超越星辰"_s, u"2016-07-22"_s, u"7.0"_s, 0, {}),
                         hitJson(u"4"_s, u"银河护卫队：<b>星际</b>特别篇"_s, QString(), u"0"_s, 2, {u"克里斯·帕拉特"_s}),
                         hitJson(u"5"_s, u"一个片名非常非常长的<b>星际</b>纪录片，长到一行放不下也不会把面板撑宽"_s,
                                 u"2021-01-01"_s, u"8.25"_s, 120, {u"很多很多演员"_s, u"还有更多演员"_s, u"以及其他"_s}),
                     })));
        ContentView window;
        quickenSearch(window);
        window.resize(ContentView::kDefaultWidth, ContentView::kDefaultHeight);
        window.show();
        signedInMember(f, window);
        window.setSearchText(u"星际"_s);
        QVERIFY(waitFor([&] { return !window.suggestLayer()->isHidden(); }));
        window.moveSuggest(1);
        window.moveSuggest(1);
        window.searchField()->lineEdit()->setFocus();

        const QPixmap shot = window.grab(QRect(0, 0, window.width(), 620));
        const QString file = save(shot, dark ? u"toolbar-suggestions-dark"_s : u"toolbar-suggestions-light"_s);
        QVERIFY(!file.isEmpty());
        const QImage image(file);
        // The panel is painted in the surface colour of the appearance, under the field.
        const QRect panel = window.suggestPanel()->geometry().translated(window.centralWidget()->pos());
        const qreal dpr = image.devicePixelRatio();
        const QColor inside = image.pixelColor(int((panel.right() - 10) * dpr), int((panel.bottom() - 4) * dpr));
        QCOMPARE(inside.name(), Palette::surface(dark).name());
        const QRect field(window.searchField()->fieldGroup()->mapTo(&window, QPoint(0, 0)),
                          window.searchField()->fieldGroup()->size());
        QCOMPARE(panel.left(), field.left());
        QVERIFY(panel.top() > field.bottom());
    }

    void memberMenu_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::newRow("light") << false;
        QTest::newRow("dark") << true;
    }

    void memberMenu()
    {
        QFETCH(bool, dark);
        ShellFixture f;
        QVERIFY(f.start());
        forceAppearance(dark);
        ContentView window;
        window.resize(ContentView::kDefaultWidth, ContentView::kDefaultHeight);
        window.show();
        signedInMember(f, window);
        AccountChipButton *chip = window.accountBox()->chip();
        QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), chip->mapToGlobal(QPointF(2, 2)));
        QCoreApplication::sendEvent(chip, &enter);
        QVERIFY(window.memberMenu()->isVisible());
        QCoreApplication::processEvents();

        // The window's top right corner with the menu laid over it where it opened.
        const int width = 760;
        const QRect area(window.width() - width, 0, width, 220);
        QPixmap shot = window.grab(area);
        {
            QPainter painter(&shot);
            const QPoint origin = window.mapToGlobal(area.topLeft());
            painter.drawPixmap(window.memberMenu()->pos() - origin, window.memberMenu()->grab());
        }
        QVERIFY(!save(shot, dark ? u"toolbar-member-menu-dark"_s : u"toolbar-member-menu-light"_s).isEmpty());
        QVERIFY(!shownTexts(window.memberMenu()).isEmpty());
        QVERIFY2(clippedTexts(window.memberMenu()).isEmpty(), qPrintable(clippedTexts(window.memberMenu()).join(u'|')));
    }

    void preferences_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::newRow("light") << false;
        QTest::newRow("dark") << true;
    }

    void preferences()
    {
        QFETCH(bool, dark);
        ShellFixture f;
        QVERIFY(f.start());
        forceAppearance(dark);
        f.cache->saveData(QByteArray(5'000'000, 'j'), u"api_index"_s);
        f.cache->flush();
        PreferencesView view;
        view.setDirectoryChooser([&](QWidget *, const QString &) { return std::optional(f.home.path() + u"/下载/种子"_s); });
        view.show();
        view.chooseButton()->click();
        view.clearButton()->click();
        QVERIFY(waitFor([&] { return view.cleared().has_value(); }));
        view.adjustSize();
        QVERIFY(!grabToPng(&view, dark ? u"preferences-dark"_s : u"preferences-light"_s).isEmpty());
        // The chosen folder, the promise about saving, and the cache that was emptied.
        QVERIFY(view.shownPath().endsWith(u"/下载/种子"_s));
        QVERIFY(view.downloadNote()->isVisible());
        QVERIFY(view.clearedLabel()->isVisible());
        QVERIFY2(clippedTexts(&view).isEmpty(), qPrintable(clippedTexts(&view).join(u'|')));
    }
};

TOVRA_TEST(ToolbarGrabsTest)
#include "tst_toolbargrabs.moc"
