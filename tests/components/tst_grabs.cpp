#include "appearance.h"
#include "network/imageloader.h"
#include "posterfixtures.h"
#include "support/fakesite.h"
#include "support/testenv.h"
#include "support/testmain.h"
#include "views/components/brandheader.h"
#include "views/components/pager.h"
#include "views/components/postergrid.h"
#include "views/components/sectionheader.h"
#include "views/components/sidebarrow.h"
#include "views/components/skeleton.h"
#include "views/components/stateoverlay.h"
#include "views/icons.h"
#include "views/palette.h"

#include <QApplication>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QTest>
#include <QVBoxLayout>
#include <memory>

using namespace tovra;
using tovra::test::FakeSite;

namespace {

QWidget *filled(QWidget *w, const QColor &colour)
{
    w->setAutoFillBackground(true);
    QPalette p = w->palette();
    p.setColor(QPalette::Window, colour);
    w->setPalette(p);
    return w;
}

// All icons with their names, for a reviewer to look over.
class IconSheet : public QWidget
{
public:
    explicit IconSheet(bool dark) : m_dark(dark)
    {
        resize(8 * 120, kLarge + (int(Icons::names().size()) + 7) / 8 * 56 + 10);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Palette::surface(m_dark));
        // The sidebar's icons large, to judge their drawing.
        const QStringList nav = Icons::navNames();
        for (int i = 0; i < nav.size(); ++i)
            Icons::paint(painter, QRectF(8 + i * 73, 8, 64, 64), nav.at(i), Palette::text(m_dark));
        painter.translate(0, kLarge);
        const QStringList names = Icons::names();
        QFont font = painter.font();
        font.setPixelSize(9);
        painter.setFont(font);
        for (int i = 0; i < names.size(); ++i) {
            const QRectF cell((i % 8) * 120, (i / 8) * 56 + 5, 120, 56);
            const bool nav = Icons::navNames().contains(names.at(i));
            Icons::paint(painter, QRectF(cell.center().x() - 12, cell.top() + 4, 24, 24), names.at(i),
                         nav ? Palette::accent(m_dark) : Palette::text(m_dark));
            painter.setPen(Palette::textDim(m_dark));
            painter.drawText(QRectF(cell.left(), cell.top() + 32, cell.width(), 16), Qt::AlignCenter, names.at(i));
        }
    }

private:
    static constexpr int kLarge = 80;
    bool m_dark;
};

}

// Renders the shared components off screen, light and dark, into the build's grabs folder.
// Nothing here judges looks: it checks the files were written and that colours came out in
// the right appearance; a reviewer opens the pictures.
class GrabTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<tovra::test::IsolatedHome> m_home;
    std::unique_ptr<tovra::test::PosterSite> m_posters;

    QList<Item> showcase() const
    {
        QList<Item> items = tovra::test::sampleItems(m_posters->site, 14);
        items[0].title = QStringLiteral("流浪地球2");
        items[0].score = QStringLiteral("8.26");
        items[0].rank = 1;
        items[1].title = QStringLiteral("一部片名特别特别长的电影，长到两行也放不下的那种名字");
        items[1].rank = 2;
        items[1].score = QStringLiteral("7.9");
        items[2].rank = 3;
        items[2].badge = QStringLiteral("更新至第12集");
        items[3].rank = 12;
        items[4].charDate = QStringLiteral("2024-05-01");
        items[4].title = QStringLiteral("今日更新的剧");
        items[4].score = QStringLiteral("9.1");
        items[5].image = m_posters->site.url(QStringLiteral("missing.png")).toString();
        items[5].title = QStringLiteral("海报加载失败");
        items[6].title = QStringLiteral("悬停的卡片 <b>不是</b> & 粗体");
        items[6].alias = QStringLiteral("The Hovered One");
        items[6].tags = QStringList{QStringLiteral("剧情"), QStringLiteral("科幻"), QStringLiteral("冒险"),
                                    QStringLiteral("多余")};
        items[6].director = {QString(), QStringLiteral("郭帆"), QStringLiteral("张三"), QStringLiteral("李四")};
        items[6].stars = {QStringLiteral("吴京"), QStringLiteral("刘德华"), QStringLiteral("李雪健"),
                          QStringLiteral("沙溢"), QStringLiteral("宁理")};
        items[6].country = {QStringLiteral("中国大陆")};
        items[6].badge = QStringLiteral("HD国语");
        items[6].score = QStringLiteral("8.0");
        items[7].showdate = QStringLiteral("未知");
        items[8].badge = QStringLiteral("超长的角标文字超长的角标文字超长的角标文字");
        return items;
    }

    QString grab(QWidget *w, const QString &name)
    {
        const QString file = tovra::test::grabToPng(w, name);
        if (file.isEmpty() || !QFileInfo(file).size())
            return {};
        return file;
    }

private slots:
    void initTestCase()
    {
        m_home = std::make_unique<tovra::test::IsolatedHome>();
        // Standard widgets (buttons) in the application's own palette, as the client runs.
        Palette::installApplicationTheme();
        m_posters = std::make_unique<tovra::test::PosterSite>();
        QVERIFY(m_posters->start());
    }

    void cleanupTestCase()
    {
        m_posters.reset();
        m_home.reset();
    }

    void posterGrid_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::newRow("light") << false;
        QTest::newRow("dark") << true;
    }

    void posterGrid()
    {
        QFETCH(bool, dark);
        tovra::test::forceAppearance(dark);
        QCOMPARE(Palette::isDark(), dark);

        QWidget page;
        filled(&page, Palette::windowBackground(dark));
        auto *column = new QVBoxLayout(&page);
        column->setContentsMargins(22, 22, 22, 22);
        column->addWidget(new SectionHeader(QStringLiteral("最近更新"), QStringLiteral("clock"), &page));
        auto *grid = new PosterGrid(showcase(), {}, QStringLiteral("2024-05-01"), &page);
        column->addWidget(grid);
        Meta meta;
        meta.pages = 10;
        meta.hasMore = true;
        column->addWidget(new Pager(meta, 3, {}, &page));
        column->addStretch(1);
        page.resize(1280, 900);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        QVERIFY(tovra::test::waitFor([&] { return grid->pendingLoadCount() == 0 && grid->heldImageCount() == 13; }));

        // The pointer over the seventh card's poster opens its information panel.
        const QPoint over = grid->cardRect(6).center() - QPoint(0, 30);
        QMouseEvent move(QEvent::MouseMove, over, grid->mapToGlobal(over), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(grid, &move);
        QCOMPARE(grid->hoveredIndex(), 6);

        const QString file = grab(&page, dark ? QStringLiteral("postergrid-dark") : QStringLiteral("postergrid-light"));
        QVERIFY(!file.isEmpty());
        // The failed poster shows surface2 in this appearance.
        const QImage shot = page.grab().toImage();
        const QPoint failedCorner = grid->mapTo(&page, grid->cardRect(5).topLeft() + QPoint(12, 40));
        QCOMPARE(QColor(shot.pixel(failedCorner)).name(), Palette::surface2(dark).name());
    }

    void shell_data()
    {
        posterGrid_data();
    }

    void shell()
    {
        QFETCH(bool, dark);
        tovra::test::forceAppearance(dark);

        QWidget window;
        filled(&window, Palette::windowBackground(dark));
        auto *row = new QHBoxLayout(&window);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(0);

        auto *sidebar = filled(new QWidget(&window), Palette::surface(dark));
        sidebar->setFixedWidth(220);
        auto *rows = new QVBoxLayout(sidebar);
        rows->setContentsMargins(0, 0, 0, 10);
        rows->setSpacing(2);
        rows->addWidget(new BrandHeader(brandGreen(), sidebar));
        rows->addSpacing(18);
        rows->addWidget(new SidebarRow(QStringLiteral("首页"), QStringLiteral("house"), false, 0, sidebar));
        rows->addWidget(new SidebarRow(QStringLiteral("电影"), QStringLiteral("film"), true, 12, sidebar));
        rows->addWidget(new SidebarRow(QStringLiteral("电视剧"), QStringLiteral("tv"), false, 120, sidebar));
        rows->addWidget(new SidebarRow(QStringLiteral("排行榜"), QStringLiteral("trophy"), false, 0, sidebar));
        rows->addWidget(new SidebarRow(QStringLiteral("未知图标"), QStringLiteral("Film"), false, 0, sidebar));
        rows->addWidget(new SidebarRow(QStringLiteral("名字很长很长很长很长的分类"), QStringLiteral("users"), false, 3,
                                       sidebar));
        rows->addStretch(1);
        row->addWidget(sidebar);

        auto *content = new QWidget(&window);
        auto *grid = new QGridLayout(content);
        grid->setContentsMargins(22, 22, 22, 22);
        grid->setSpacing(16);
        auto *error = new StateOverlay(
            StateOverlay::Kind::error(QStringLiteral("网络连接失败：无法连接到服务器 <b>127.0.0.1</b>"), [] {}), content);
        auto *empty = new StateOverlay(StateOverlay::Kind::empty(QStringLiteral("没有找到相关的影片")), content);
        auto *loading = new StateOverlay(StateOverlay::Kind::loading(), content);
        for (QWidget *w : {static_cast<QWidget *>(error), static_cast<QWidget *>(empty), static_cast<QWidget *>(loading)})
            filled(w, Palette::surface(dark))->setMinimumHeight(260);
        grid->addWidget(error, 0, 0);
        grid->addWidget(empty, 0, 1);
        grid->addWidget(loading, 0, 2);
        auto *skeleton = new HomeSkeleton(content);
        grid->addWidget(skeleton, 1, 0, 1, 3);
        grid->setRowStretch(1, 1);
        row->addWidget(content, 1);

        window.resize(1400, 1250);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::qWait(300); // a few shimmer frames
        QVERIFY(!grab(&window, dark ? QStringLiteral("shell-dark") : QStringLiteral("shell-light")).isEmpty());
        const QImage shot = window.grab().toImage();
        QCOMPARE(QColor(shot.pixel(5, shot.height() - 5)).name(), Palette::surface(dark).name());
    }

    void iconSheet()
    {
        for (const bool dark : {false, true}) {
            IconSheet sheet(dark);
            QVERIFY(!grab(&sheet, dark ? QStringLiteral("icons-dark") : QStringLiteral("icons-light")).isEmpty());
        }
    }
};

TOVRA_TEST(GrabTest)
#include "tst_grabs.moc"
