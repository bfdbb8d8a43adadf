#include "../components/appearance.h"
#include "shellfixture.h"
#include "support/testmain.h"
#include "views/components/sidebarrow.h"
#include "views/contentview.h"
#include "views/palette.h"

#include <QFileInfo>
#include <QImage>
#include <QTest>

using namespace tovra;
using namespace tovra::test;
using namespace Qt::StringLiterals;

// The main window as a user first sees it, in both appearances, for a reviewer to open under
// build/grabs/.
class ShellGrabsTest : public QObject
{
    Q_OBJECT

private slots:
    void mainWindow_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::newRow("light") << false;
        QTest::newRow("dark") << true;
    }

    void mainWindow()
    {
        QFETCH(bool, dark);
        ShellFixture f;
        QVERIFY(f.start());
        // As the composition root does: standard widgets (the menu bar) follow the appearance too.
        Palette::installApplicationTheme();
        forceAppearance(dark);
        f.site.route(u"/api/nav"_s,
                     FakeSite::ok(jsonArray({
                         navJson(u"1"_s, u"电影"_s, u"film"_s, {}, false, 12),
                         navJson(u"2"_s, u"剧集"_s, u"tv"_s, {}, false, 3),
                         navJson(u"3"_s, u"综艺"_s, u"mic"_s),
                         navJson(u"4"_s, u"动漫"_s, u"play"_s, {}, false, 120),
                         navJson(u"5"_s, u"纪录片"_s, u"camera"_s),
                         navJson(u"9"_s, u"下载排行"_s, u"trophy"_s, u"https://site.example/ranking"_s, true),
                         navJson(u"10"_s, u"Top 250"_s, u"star"_s, u"https://site.example/top250"_s, true),
                         navJson(u"11"_s, u"社区"_s, u"users"_s, u"https://bbs.example/"_s, true),
                         navJson(u"12"_s, u"未知图标"_s, u"nope"_s),
                     })));
        ContentView window;
        QVERIFY(runTask(window.loadNav()));
        window.sidebarRows().at(2)->click(); // 剧集
        window.push(Route::detail(u"1024"_s));
        window.resize(ContentView::kDefaultWidth, ContentView::kDefaultHeight);

        const QString file = grabToPng(&window, dark ? u"shell-main-window-dark"_s : u"shell-main-window-light"_s);
        QVERIFY(!file.isEmpty());
        const QImage image(file);
        QCOMPARE(image.size() / image.devicePixelRatio(), window.size());
        // The sidebar is painted in its own surface colour, not left to the style.
        const QColor sidebar = image.pixelColor(ContentView::kSidebarWidth / 2, image.height() - 5);
        QCOMPARE(sidebar.name(), Palette::surface(dark).name());
        forceAppearance(false);
    }
};

TOVRA_TEST(ShellGrabsTest)
#include "tst_shellgrabs.moc"
