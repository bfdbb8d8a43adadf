#include "store/themestore.h"
#include "support/testmain.h"
#include "views/catalogue/hotlist.h"
#include "views/components/cardlogic.h"
#include "views/components/postergrid.h"
#include "views/components/sidebarrow.h"
#include "views/detail/playgrid.h"
#include "views/toolbar/membermenu.h"
#include "windowfixture.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

using namespace tovra;
using namespace tovra::test;
using namespace Qt::StringLiterals;

namespace {

// What a Tab stop is, in words a failing comparison can show.
QString stopName(QWidget *w)
{
    if (auto *row = qobject_cast<SidebarRow *>(w))
        return u"row:"_s + row->title();
    if (auto *button = qobject_cast<QAbstractButton *>(w); button && button->text() == u"更多 ››"_s)
        return u"moreButton"_s;
    if (qobject_cast<HotList *>(w))
        return u"hotList"_s;
    if (qobject_cast<PosterGrid *>(w))
        return u"posterGrid"_s;
    return w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName();
}

// One full round of Tab from the first stop, each stop as name() calls it.
template <typename Name>
QStringList tabRound(WindowFixture &f, Name name, int limit = 200)
{
    QStringList stops;
    QWidget *first = nullptr;
    for (int i = 0; i < limit; ++i) {
        QTest::keyClick(f.focus() ? f.focus() : f.window.get(), Qt::Key_Tab);
        QWidget *w = f.focus();
        if (!w || w == first)
            break;
        if (!first)
            first = w;
        stops << name(w);
    }
    return stops;
}

}

class KeyboardTest : public QObject
{
    Q_OBJECT

private slots:
    // From a fresh home page, Tab walks the sidebar, the bar and then the page; in the grid the
    // arrows move between cards, and Enter opens the card's title page.
    void tabReachesAPosterAndEnterOpensIt()
    {
        WindowFixture f;
        QVERIFY(f.open());
        QStringList stops = tabRound(f, stopName);
        // Rotate so the round starts at the first sidebar row, whichever stop had the focus first.
        const qsizetype home = stops.indexOf(u"row:首页"_s);
        QVERIFY2(home >= 0, qPrintable(stops.join(u", "_s)));
        stops = stops.mid(home) + stops.mid(0, home);
        // Signed out: "登录" in place of the account chip, no "会员中心".
        const QStringList head{u"row:首页"_s, u"row:电影"_s,  u"row:剧集"_s,   u"searchEdit"_s,
                               u"searchButton"_s,          u"themeButton"_s, u"signButton"_s, u"loginButton"_s,
                               u"hotList"_s};
        QCOMPARE(stops.mid(0, head.size()), head);
        // Then each section of the page: its "更多 ››" link when it has one, and its grid.
        const QStringList page = stops.mid(head.size());
        QVERIFY2(page.count(u"posterGrid"_s) >= 5, qPrintable(page.join(u", "_s)));
        for (const QString &stop : page)
            QVERIFY2(stop == u"posterGrid"_s || stop == u"moreButton"_s, qPrintable(page.join(u", "_s)));

        QVERIFY(f.tabUntil([](QWidget *w) { return qobject_cast<PosterGrid *>(w) != nullptr; }));
        auto *grid = qobject_cast<PosterGrid *>(f.focus());
        QCOMPARE(grid->currentEntry(), 0);
        QAccessibleInterface *gridFace = QAccessible::queryAccessibleInterface(grid);
        QCOMPARE(gridFace->role(), QAccessible::List);
        QCOMPARE(gridFace->childCount(), int(grid->items().size()));
        QVERIFY(gridFace->focusChild());
        QCOMPARE(gridFace->focusChild()->text(QAccessible::Name), card::accessibleName(grid->items().at(0)));

        struct Step
        {
            Qt::Key key;
            int expected;
        };
        const int last = int(grid->items().size()) - 1;
        for (const Step &step : {Step{Qt::Key_Left, 0}, Step{Qt::Key_Up, 0}, Step{Qt::Key_Right, 1},
                                 Step{Qt::Key_Right, 2}, Step{Qt::Key_Left, 1}, Step{Qt::Key_End, last},
                                 Step{Qt::Key_Right, last}, Step{Qt::Key_Home, 0}, Step{Qt::Key_Right, 1}}) {
            QTest::keyClick(grid, step.key);
            QCOMPARE(grid->currentEntry(), step.expected);
        }
        QVERIFY(gridFace->child(1)->state().focused);
        const QString did = grid->items().at(1).did;
        QTest::keyClick(grid, Qt::Key_Return);
        QCOMPARE(f.window->path().size(), 1);
        QCOMPARE(f.window->path().last(), Route::detail(did));
    }

    // In a grid of many rows, Down moves a whole row and keeps the card in view; the pager below
    // is reached by Tab and works with Enter.
    void arrowsMoveByRowsAndScroll()
    {
        WindowFixture f;
        QVERIFY(f.open());
        f.window->selectSection(SidebarSection::top250());
        QVERIFY(waitFor([&] { return !f.requests(u"/api/top250"_s).isEmpty(); }));
        QVERIFY(f.settle());
        // The pager's buttons take Enter as well as Space.
        QVERIFY(f.tabUntil([](QWidget *w) {
            auto *button = qobject_cast<QAbstractButton *>(w);
            return button && button->text() == u"下一页"_s;
        }));
        QTest::keyClick(f.focus(), Qt::Key_Return);
        QVERIFY(waitFor([&] { return f.queries(u"/api/top250"_s).last().value(u"page"_s) == u"2"_s; }));
        QVERIFY(f.settle());

        // The new page starts at its top, and so does the focus: on its first card.
        auto *grid = qobject_cast<PosterGrid *>(f.focus());
        QVERIFY(grid);
        QCOMPARE(grid->currentEntry(), 0);
        QCOMPARE(grid->items().size(), 21);
        QTest::keyClick(grid, Qt::Key_Down);
        QTest::keyClick(grid, Qt::Key_Down);
        QCOMPARE(grid->currentEntry(), 2 * GridGeometry::kColumns);
        QTest::keyClick(grid, Qt::Key_Down); // no fourth row: stays
        QCOMPARE(grid->currentEntry(), 2 * GridGeometry::kColumns);
        QVERIFY(grid->visibleRegion().boundingRect().contains(grid->cardRect(grid->currentEntry())));
        QTest::keyClick(grid, Qt::Key_Space);
        QCOMPARE(f.window->path().last(), Route::detail(grid->items().at(2 * GridGeometry::kColumns).did));
    }

    // Every kind of control on each screen is a Tab stop, found here by the name it is read by:
    // filter chips and pagers, title links, play buttons, sort buttons, torrent rows and their
    // actions, folders, the user centre's tabs.
    void tabReachesEveryKindOfControl_data()
    {
        QTest::addColumn<QString>("screen");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("category") << u"category"_s << QStringList{u"全部类型"_s, u"剧情"_s, u"全部年份"_s, u"只看可播放"_s, u"下一页"_s};
        QTest::newRow("title page") << u"detail"_s
                                    << QStringList{u"导演 赵六"_s, u"第 1 集"_s,   u"集数倒序"_s,
                                                   u"星河 第1集，1.5 GB"_s, u"复制磁力"_s};
        QTest::newRow("filtered results") << u"filter"_s << QStringList{u"下一页"_s};
        QTest::newRow("torrent") << u"download"_s << QStringList{u"Season 1，3 个文件"_s, u"磁力下载"_s, u"种子下载"_s};
        QTest::newRow("user centre") << u"userCentre"_s << QStringList{u"我的消息，3"_s, u"修改昵称"_s};
    }

    void tabReachesEveryKindOfControl()
    {
        QFETCH(QString, screen);
        QFETCH(QStringList, names);
        WindowFixture f;
        QVERIFY(f.signIn());
        QVERIFY(f.open());
        Torrent torrent;
        torrent.index = 1;
        if (screen == u"category")
            f.window->sidebarRows().at(1)->click();
        else if (screen == u"detail")
            f.window->push(Route::detail(u"d1"_s));
        else if (screen == u"filter")
            f.window->push(Route::filterResult(u"导演：赵六"_s, Params{{u"director"_s, u"赵六"_s}}));
        else if (screen == u"download")
            f.window->push(Route::download(u"d1"_s, torrent));
        else
            f.window->push(Route::userCenter());
        QVERIFY(f.settle());
        const QStringList heard = tabRound(f, [](QWidget *w) {
            return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name);
        }, 300);
        // In this order: the order they are on screen.
        qsizetype at = 0;
        for (const QString &name : std::as_const(names)) {
            const qsizetype found = heard.indexOf(name, at);
            QVERIFY2(found >= 0, qPrintable(name + u" not in order in: "_s + heard.join(u" | "_s)));
            at = found + 1;
        }
    }

    // Focus stays where the user is: going back returns it to the card that opened the title, and
    // a button disabled under it hands it to its own card or row. Neither scrolls the page.
    void focusStaysWhereTheUserIs_data()
    {
        QTest::addColumn<QString>("screen");
        QTest::newRow("back to the card") << u"home"_s;
        QTest::newRow("复制成功 on the title page") << u"detail"_s;
        QTest::newRow("busy 复制磁力 on the resource page") << u"download"_s;
    }

    void focusStaysWhereTheUserIs()
    {
        QFETCH(QString, screen);
        WindowFixture f;
        QVERIFY(f.signIn() && f.open());
        Torrent torrent;
        torrent.index = 1;
        if (screen != u"home"_s)
            f.window->push(screen == u"detail"_s ? Route::detail(u"d1"_s) : Route::download(u"d1"_s, torrent));
        QVERIFY(f.settle());
        // The page's own scroll area: the one with the most to scroll.
        QScrollBar *scroll = f.window->navigationStack()->currentPage()->findChild<QScrollArea *>()->verticalScrollBar();
        for (QScrollArea *area : f.window->navigationStack()->currentPage()->findChildren<QScrollArea *>())
            scroll = area->verticalScrollBar()->maximum() > scroll->maximum() ? area->verticalScrollBar() : scroll;
        // A card below the fold, or the button.
        QVERIFY(f.tabUntil([&](QWidget *w) {
            auto *button = qobject_cast<QAbstractButton *>(w);
            return screen == u"home"_s ? qobject_cast<PosterGrid *>(w) && scroll->value() > 0 : button && button->text() == u"复制磁力"_s;
        }, 300));
        QWidget *stop = f.focus();
        if (screen == u"home"_s)
            QTest::keyClick(stop, Qt::Key_Right);
        const int at = scroll->value();
        QTest::keyClick(stop, Qt::Key_Return);
        if (screen == u"home"_s) {
            QVERIFY(f.settle());
            // Where a desktop leaves the focus on a page just opened: on the page itself.
            f.window->navigationStack()->currentPage()->setFocus();
            QTest::keyClick(f.focus(), Qt::Key_Left, Qt::AltModifier);
            QVERIFY(f.window->path().isEmpty() && f.settle()); // the home page refreshes on return
            QCOMPARE(f.focus(), stop);
            QCOMPARE(qobject_cast<PosterGrid *>(stop)->currentEntry(), 1);
        } else {
            QVERIFY(waitFor([&] { return !stop->isEnabled(); }));
            QVERIFY2(f.focus() && f.focus()->isAncestorOf(stop), qPrintable(f.focus() ? stopName(f.focus()) : u"none"_s));
        }
        QCOMPARE(scroll->value(), at);
    }

    // The episode grid's arrows follow its rows: up and down by row, left and right by episode.
    void episodeGridArrowsFollowRows()
    {
        PlayGrid grid(QList<PlayEntry>(20, PlayEntry{1, u"d1"_s, u"tk"_s, 1900000000}), u"星河"_s);
        grid.resize(PlayGrid::kMinColumn * 5 + PlayGrid::kSpacing * 4, 300);
        grid.show();
        QApplication::setActiveWindow(&grid);
        QVERIFY(QTest::qWaitForWindowActive(&grid));
        grid.buttons().at(0)->setFocus();
        for (const auto &[key, expected] : {std::pair{Qt::Key_Down, 5}, {Qt::Key_Right, 6}, {Qt::Key_Up, 1}, {Qt::Key_Left, 0},
                                            {Qt::Key_Left, 0}, {Qt::Key_Up, 0}}) {
            QTest::keyClick(QApplication::focusWidget(), key);
            QCOMPARE(QApplication::focusWidget(), grid.buttons().at(expected));
        }
    }

    // Every control of the bar is a Tab stop that Enter or Space works.
    void toolbarButtonsAreReachedAndWork()
    {
        WindowFixture f;
        QVERIFY(f.signIn());
        QVERIFY(f.open());
        f.window->setSearchText(u"星河"_s);
        for (const QString &name : {u"searchEdit"_s, u"searchClearButton"_s, u"searchButton"_s, u"themeButton"_s,
                                    u"signButton"_s, u"accountChip"_s, u"userCenterButton"_s}) {
            QVERIFY2(f.tabUntil([&](QWidget *w) { return w->objectName() == name; }), qPrintable(name));
            QVERIFY2(!f.focus()->accessibleName().isEmpty()
                         || !QAccessible::queryAccessibleInterface(f.focus())->text(QAccessible::Name).isEmpty(),
                     qPrintable(name));
        }

        const ThemeStore::Mode before = ThemeStore::shared()->mode();
        QVERIFY(f.tabUntil([](QWidget *w) { return w->objectName() == u"themeButton"_s; }));
        QTest::keyClick(f.focus(), Qt::Key_Space);
        QVERIFY(ThemeStore::shared()->mode() != before);
        while (ThemeStore::shared()->mode() != before)
            ThemeStore::shared()->toggle();

        QVERIFY(f.tabUntil([](QWidget *w) { return w->objectName() == u"userCenterButton"_s; }));
        QTest::keyClick(f.focus(), Qt::Key_Return);
        QCOMPARE(f.window->path().last(), Route::userCenter());

        QVERIFY(f.tabUntil([](QWidget *w) { return w->objectName() == u"searchClearButton"_s; }, 80, true));
        QTest::keyClick(f.focus(), Qt::Key_Enter);
        QVERIFY(f.window->findChild<QLineEdit *>(u"searchEdit"_s)->text().isEmpty());
    }

    // The account chip's menu opens with the arrow keys, which move through its entries; Enter
    // runs the entry and Esc closes the menu, as do the preferences.
    void memberMenuAndSheetsByKeyboard()
    {
        WindowFixture f;
        QVERIFY(f.signIn());
        QVERIFY(f.open());
        QVERIFY(f.tabUntil([](QWidget *w) { return w->objectName() == u"accountChip"_s; }));
        QWidget *chip = f.focus();
        MemberMenu *menu = f.window->memberMenu();
        QTest::keyClick(chip, Qt::Key_Down);
        QVERIFY(f.window->showsMemberMenu());
        QCOMPARE(menu->current(), menu->refreshButton());
        QTest::keyClick(chip, Qt::Key_Escape);
        QVERIFY(!f.window->showsMemberMenu());
        QCOMPARE(menu->current(), nullptr);

        QTest::keyClick(chip, Qt::Key_Up);
        QCOMPARE(menu->current(), menu->logoutButton());
        QTest::keyClick(chip, Qt::Key_Up);
        QCOMPARE(menu->current(), menu->refreshButton());
        QTest::keyClick(chip, Qt::Key_Up);
        QCOMPARE(menu->current(), menu->logoutButton());
        QTest::keyClick(chip, Qt::Key_Return);
        QVERIFY(!f.window->showsMemberMenu());
        QVERIFY(!f.auth.tokenValue().has_value());
        QCOMPARE(f.window->path().size(), 0); // Enter went to the entry, not to the chip

        // Leaving the chip by Tab closes an open menu.
        QVERIFY(f.signIn());
        // The offscreen platform hands activation to the menu's window, which a desktop does not.
        QApplication::setActiveWindow(f.window.get());
        QVERIFY(f.tabUntil([](QWidget *w) { return w->objectName() == u"accountChip"_s; }));
        QTest::keyClick(chip, Qt::Key_Down);
        QVERIFY(f.window->showsMemberMenu());
        QApplication::setActiveWindow(f.window.get());
        QVERIFY(f.window->showsMemberMenu());
        QCOMPARE(f.focus(), chip);
        QTest::keyClick(chip, Qt::Key_Tab);
        QCOMPARE(f.focus()->objectName(), u"userCenterButton"_s);
        QVERIFY(waitFor([&] { return !f.window->showsMemberMenu(); }));

        f.window->showPreferences();
        auto *sheet = f.window->findChild<QDialog *>(u"preferencesWindow"_s);
        QVERIFY(sheet);
        QVERIFY(QTest::qWaitForWindowActive(sheet));
        QTest::keyClick(sheet, Qt::Key_Escape);
        QVERIFY(waitFor([&] { return !sheet->isVisible(); }));
    }
};

TOVRA_TEST(KeyboardTest)
#include "tst_keyboard.moc"
