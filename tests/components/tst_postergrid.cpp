#include "network/imageloader.h"
#include "posterfixtures.h"
#include "support/fakesite.h"
#include "support/testenv.h"
#include "support/testmain.h"
#include "views/components/cardpainter.h"
#include "views/components/postergrid.h"

#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <cmath>
#include <memory>

using namespace tovra;
using tovra::test::FakeSite;

class PosterGridTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<tovra::test::PosterSite> m_posters;

    struct Screen
    {
        std::unique_ptr<QScrollArea> scroll = std::make_unique<QScrollArea>();
        PosterGrid *grid = new PosterGrid;
    };

    std::unique_ptr<Screen> showGrid(const QList<Item> &items, QSize viewport = {1000, 700})
    {
        auto screen = std::make_unique<Screen>();
        screen->grid->setItems(items);
        screen->scroll->setWidgetResizable(true);
        screen->scroll->setWidget(screen->grid);
        screen->scroll->resize(viewport);
        screen->scroll->show();
        if (!QTest::qWaitForWindowExposed(screen->scroll.get()))
            return nullptr;
        return screen;
    }

    int posterRequests() const { return int(m_posters->site.requestsTo("/poster.png").size()); }

    static void sendMouse(QWidget *w, QEvent::Type type, QPoint at)
    {
        QMouseEvent event(type, at, w->mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(w, &event);
    }

private slots:
    void init()
    {
        m_posters = std::make_unique<tovra::test::PosterSite>();
        QVERIFY(m_posters->start());
    }

    void cleanup()
    {
        m_posters.reset();
    }

    void heightFollowsRowsAndWidth()
    {
        PosterGrid grid(tovra::test::sampleItems(m_posters->site, 15), {});
        const qreal column = (1000.0 - 6 * 18) / 7;
        const qreal cell = column * 1.5 + 8 + CardPainter::titleHeight();
        QCOMPARE(grid.heightForWidth(1000), int(std::ceil(3 * cell + 2 * 22)));
        grid.setItems({});
        QCOMPARE(grid.heightForWidth(1000), 0);
    }

    void onlyCardsOnScreenLoadPosters()
    {
        auto screen = showGrid(tovra::test::sampleItems(m_posters->site, 1000));
        QVERIFY(screen);
        PosterGrid *grid = screen->grid;
        QVERIFY(tovra::test::waitFor([&] { return grid->heldImageCount() >= 14; }));
        QTest::qWait(100);
        // A 700-pixel viewport shows three or four rows of seven.
        QVERIFY2(posterRequests() <= 28, qPrintable(QString::number(posterRequests())));
        const QRect visible = grid->visibleRegion().boundingRect();
        for (const auto &request : m_posters->site.requestsTo("/poster.png")) {
            const int n = request.query().queryItemValue(QStringLiteral("n")).toInt();
            QVERIFY(grid->cardRect(n).intersects(visible));
        }
    }

    void scrollingKeepsMemoryBounded()
    {
        auto screen = showGrid(tovra::test::sampleItems(m_posters->site, 1000));
        QVERIFY(screen);
        PosterGrid *grid = screen->grid;
        QScrollBar *bar = screen->scroll->verticalScrollBar();
        QVERIFY(bar->maximum() > 30 * bar->pageStep());
        for (int value = 0; value <= bar->maximum(); value += bar->pageStep()) {
            bar->setValue(value);
            QCoreApplication::processEvents();
        }
        bar->setValue(bar->maximum());
        QVERIFY(tovra::test::waitFor([&] { return grid->pendingLoadCount() == 0; }, 10000));
        // Held images: what is on screen plus two screens above (and none below the end).
        QVERIFY2(grid->heldImageCount() <= 7 * 16, qPrintable(QString::number(grid->heldImageCount())));
        QVERIFY(m_posters->loader.memoryUsed() <= m_posters->loader.memoryLimit());
        // The last row got its posters.
        QVERIFY(grid->heldImageCount() >= 7);
    }

    void aSilentRefreshKeepsPositionAndPosters()
    {
        QList<Item> items = tovra::test::sampleItems(m_posters->site, 200);
        auto screen = showGrid(items);
        QVERIFY(screen);
        PosterGrid *grid = screen->grid;
        QScrollBar *bar = screen->scroll->verticalScrollBar();
        bar->setValue(bar->maximum() / 2);
        QVERIFY(tovra::test::waitFor([&] { return grid->pendingLoadCount() == 0 && grid->heldImageCount() >= 14; }));
        const int position = bar->value();
        const int held = grid->heldImageCount();
        const int requests = posterRequests();

        // Same list again, then the same list with one title renamed.
        grid->setItems(items);
        items[100].title = QStringLiteral("改了名字");
        grid->setItems(items);
        QTest::qWait(200);
        QCOMPARE(bar->value(), position);
        QCOMPARE(grid->heldImageCount(), held);
        QCOMPARE(posterRequests(), requests);
        QCOMPARE(grid->items().at(100).title, QStringLiteral("改了名字"));
    }

    void aNewPosterAddressLoadsAgain()
    {
        QList<Item> items = tovra::test::sampleItems(m_posters->site, 7);
        auto screen = showGrid(items);
        QVERIFY(screen);
        QVERIFY(tovra::test::waitFor([&] { return screen->grid->heldImageCount() == 7; }));
        items[0].image = m_posters->site.url(QStringLiteral("poster.png?n=500")).toString();
        screen->grid->setItems(items);
        QVERIFY(tovra::test::waitFor([&] {
            return !m_posters->site.requestsTo("/poster.png").isEmpty()
                   && m_posters->site.requestsTo("/poster.png").last().query().queryItemValue("n") == QLatin1String("500");
        }));
    }

    void recordsWithoutDidKeepTheirOwnPosters()
    {
        QList<Item> items = tovra::test::sampleItems(m_posters->site, 3);
        for (Item &item : items)
            item.did.clear();
        auto screen = showGrid(items);
        QVERIFY(screen);
        QVERIFY(tovra::test::waitFor([&] { return screen->grid->heldImageCount() == 3; }));
        QCOMPARE(posterRequests(), 3);
    }

    void clicksReportTheTitle()
    {
        QStringList chosen;
        auto screen = showGrid(tovra::test::sampleItems(m_posters->site, 10));
        QVERIFY(screen);
        PosterGrid *grid = screen->grid;
        grid->setOnSelect([&chosen](const QString &did) { chosen.append(did); });

        const QRect card = grid->cardRect(8);
        QTest::mouseClick(grid, Qt::LeftButton, {}, card.center());
        // The title under the poster belongs to the card too.
        QTest::mouseClick(grid, Qt::LeftButton, {}, QPoint(card.center().x(), card.bottom() - 3));
        // The gap between two cards belongs to none.
        const QPoint gap(card.right() + 9, card.center().y());
        sendMouse(grid, QEvent::MouseButtonPress, gap);
        sendMouse(grid, QEvent::MouseButtonRelease, gap);
        QCOMPARE(chosen, (QStringList{"d8", "d8"}));

        // Pressed on one card, released on another: no choice.
        sendMouse(grid, QEvent::MouseButtonPress, grid->cardRect(1).center());
        sendMouse(grid, QEvent::MouseButtonRelease, grid->cardRect(2).center());
        QCOMPARE(chosen.size(), 2);
    }

    void hoverAndCursorFollowThePointer()
    {
        auto screen = showGrid(tovra::test::sampleItems(m_posters->site, 10));
        QVERIFY(screen);
        PosterGrid *grid = screen->grid;
        const QRect card = grid->cardRect(3);
        sendMouse(grid, QEvent::MouseMove, card.center());
        QCOMPARE(grid->hoveredIndex(), 3);
        QCOMPARE(grid->cursor().shape(), Qt::PointingHandCursor);
        sendMouse(grid, QEvent::MouseMove, QPoint(card.right() + 9, card.center().y()));
        QCOMPARE(grid->hoveredIndex(), -1);
        QCOMPARE(grid->cursor().shape(), Qt::ArrowCursor);
    }

    void aGridThatGoesAwayDropsItsDownloads()
    {
        m_posters->site.clearRoutes();
        tovra::test::servePosters(m_posters->site, 1000);
        auto screen = showGrid(tovra::test::sampleItems(m_posters->site, 30));
        QVERIFY(screen);
        QVERIFY(tovra::test::waitFor([&] { return m_posters->loader.activeDownloads() > 0; }));
        screen.reset();
        QCOMPARE(m_posters->loader.activeDownloads(), 0);
    }
};

TOVRA_TEST(PosterGridTest)
#include "tst_postergrid.moc"
