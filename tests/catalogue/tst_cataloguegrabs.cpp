#include "cataloguefixture.h"
#include "models/catalogue.h"
#include "store/themestore.h"
#include "views/catalogue/browseview.h"
#include "views/catalogue/filterbar.h"
#include "views/catalogue/filterresultview.h"
#include "views/catalogue/homeview.h"
#include "views/catalogue/rankingview.h"
#include "views/catalogue/searchview.h"
#include "views/catalogue/top250view.h"
#include "views/palette.h"

#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QTest>
#include <QVBoxLayout>
#include <functional>
#include "support/screentext.h"
#include "support/testmain.h"

using namespace tovra;
using namespace tovra::test;

namespace {

// Light or dark through the store's own cycle; the settings live in the fixture's home.
void forceAppearance(bool dark)
{
    ThemeStore *store = ThemeStore::shared();
    const auto wanted = dark ? ThemeStore::Mode::Dark : ThemeStore::Mode::Light;
    for (int i = 0; i < 3 && store->mode() != wanted; ++i)
        store->toggle();
}

// The screen as the main window's content area shows it: on the window background.
struct Host
{
    QWidget frame;
    explicit Host(QWidget *screen, QSize size = {1180, 820})
    {
        frame.setAutoFillBackground(true);
        QPalette p = frame.palette();
        p.setColor(QPalette::Window, Palette::windowBackground(Palette::isDark()));
        frame.setPalette(p);
        auto *layout = new QVBoxLayout(&frame);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(screen);
        frame.resize(size);
    }
};

void serveSite(CatalogueFixture &f)
{
    f.site.route(QStringLiteral("/api/index"), FakeSite::ok(homeJson(f, 12)));
    f.site.route(QStringLiteral("/api/ranking"), FakeSite::ok(rankingJson(f, 14)));
    f.site.route(QStringLiteral("/api/top250"), [&f](const FakeSite::Request &r) {
        const int page = r.query().queryItemValue(QStringLiteral("page")).toInt();
        return FakeSite::ok(itemsJson(f, 200 + page * 21, 21), metaJson(page, 12, 250));
    });
    f.site.route(QStringLiteral("/api/filter"), [&f](const FakeSite::Request &r) {
        const int page = r.query().queryItemValue(QStringLiteral("page")).toInt();
        return FakeSite::ok(itemsJson(f, 300 + page * 21, 21), metaJson(page, 4, 79));
    });
    f.site.route(QStringLiteral("/api/search"), [&f](const FakeSite::Request &r) {
        const int page = r.query().queryItemValue(QStringLiteral("page")).toInt();
        return FakeSite::ok(itemsJson(f, 500 + page * 21, 12), metaJson(page, 2, 33));
    });
    f.site.route(QStringLiteral("/api/filter_options"), FakeSite::ok(optionsJson()));
    f.site.route(QStringLiteral("/api/tags"), FakeSite::ok(tagsJson()));
}

// Every poster asked for is downloaded, decoded and handed to its card.
bool postersSettled(CatalogueFixture &f)
{
    return waitFor([&] { return f.images->activeDownloads() == 0 && f.images->pendingWithoutNetwork() == 0; }, 5000);
}

}

class TestCatalogueGrabs : public QObject
{
    Q_OBJECT
private:
    void grab(QWidget &frame, const QString &name, CatalogueFixture &f)
    {
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        // Posters are asked for as they are painted: lay out and paint what is there now, then
        // wait for those posters, so the picture shows them rather than their placeholders.
        QCoreApplication::processEvents();
        frame.repaint();
        QVERIFY2(postersSettled(f), qPrintable(name));
        const QString file = grabToPng(&frame, name);
        QVERIFY2(!file.isEmpty() && QFileInfo(file).size() > 0, qPrintable(name));
        QVERIFY2(clippedTexts(&frame).isEmpty(), qPrintable(name + QStringLiteral(": ") + clippedTexts(&frame).join(u'|')));
    }

    template<class Ready>
    void screen(bool dark, const QString &name, QWidget *view, Ready ready, CatalogueFixture &f,
                std::function<void()> before = {})
    {
        Host host(view);
        host.frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host.frame));
        QVERIFY2(waitFor(ready, 8000), qPrintable(name));
        if (before) {
            // What it does starts another load, which must be in and shown too.
            before();
            QVERIFY(f.manager.quiet());
            QVERIFY2(waitFor(ready, 8000), qPrintable(name));
        }
        QVERIFY(postersSettled(f));
        grab(host.frame, name + (dark ? QStringLiteral("-dark") : QStringLiteral("-light")), f);
    }

private slots:
    void initTestCase() { Palette::installApplicationTheme(); }

    void screens_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::newRow("light") << false;
        QTest::newRow("dark") << true;
    }
    void screens()
    {
        QFETCH(bool, dark);
        CatalogueFixture f;
        forceAppearance(dark);
        serveSite(f);

        auto *home = new HomeView;
        screen(dark, QStringLiteral("catalogue-home"), home, [&] { return home->shown() == HomeView::Shown::Content; }, f);

        auto *ranking = new RankingView;
        screen(dark, QStringLiteral("catalogue-ranking"), ranking,
               [&] { return ranking->shown() == RankingView::Shown::List; }, f);

        auto *top = new Top250View;
        screen(dark, QStringLiteral("catalogue-top250"), top, [&] { return top->shown() == Top250View::Shown::List; }, f);

        auto *filtered = new FilterResultView(QStringLiteral("导演：王伟"), Params{{"director", "王伟"}});
        screen(dark, QStringLiteral("catalogue-filterresult"), filtered,
               [&] { return filtered->shown() == FilterResultView::Shown::List; }, f);

        NavItem film;
        film.id = QStringLiteral("1");
        film.name = QStringLiteral("电影");
        auto *browse = new BrowseView(film);
        screen(dark, QStringLiteral("catalogue-browse"), browse,
               [&] { return browse->shown() == BrowseView::Shown::List && !browse->subTags().isEmpty(); }, f, [&] {
                   browse->pickChip(QStringLiteral("科幻"));
               });

        auto *search = new SearchView(QStringLiteral("星河"));
        screen(dark, QStringLiteral("catalogue-search"), search,
               [&] { return search->shown() == SearchView::Shown::List; }, f, [&] { search->changePage(2); });
    }

    void states_data() { screens_data(); }
    void states()
    {
        QFETCH(bool, dark);
        CatalogueFixture f;
        forceAppearance(dark);
        f.site.route(QStringLiteral("/api/index"), FakeSite::ok(homeJson(f)).withDelay(5000));
        f.site.route(QStringLiteral("/api/ranking"), FakeSite::ok("[]"));
        f.site.route(QStringLiteral("/api/top250"), FakeSite::text("", 502));
        f.site.route(QStringLiteral("/api/search"), FakeSite::ok("[]"));
        f.site.route(QStringLiteral("/api/filter"), FakeSite::ok("[]").withDelay(5000));
        f.site.route(QStringLiteral("/api/filter_options"), FakeSite::text("", 500));

        auto *home = new HomeView;
        screen(dark, QStringLiteral("catalogue-home-placeholder"), home, [] { return true; }, f);
        auto *ranking = new RankingView;
        screen(dark, QStringLiteral("catalogue-ranking-empty"), ranking,
               [&] { return ranking->shown() == RankingView::Shown::Empty; }, f);
        auto *top = new Top250View;
        screen(dark, QStringLiteral("catalogue-top250-error"), top, [&] { return top->shown() == Top250View::Shown::Error; }, f);
        auto *search = new SearchView(QStringLiteral(" 不存在 的片 "));
        screen(dark, QStringLiteral("catalogue-search-empty"), search,
               [&] { return search->shown() == SearchView::Shown::Empty; }, f);
        auto *browse = new BrowseView(NavItem::virtualItem(QStringLiteral("爱情")));
        screen(dark, QStringLiteral("catalogue-browse-loading"), browse, [] { return true; }, f);
    }
};

TOVRA_TEST(TestCatalogueGrabs)
#include "tst_cataloguegrabs.moc"
