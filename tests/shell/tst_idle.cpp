#include "catalogue/cataloguefixture.h"
#include "store/authstore.h"
#include "views/catalogue/homeview.h"
#include "views/components/shimmerclock.h"
#include "views/contentview.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include "support/testmain.h"

using namespace tovra;
using namespace tovra::test;

namespace {

QString describe(QObject *object)
{
    QStringList chain;
    for (QObject *o = object; o; o = o->parent())
        chain.append(QString::fromLatin1(o->metaObject()->className()) + (o->objectName().isEmpty() ? QString() : u'#' + o->objectName()));
    return chain.join(QStringLiteral(" < "));
}

// Every timer event the main thread delivers while it watches, but those of QTimer::singleShot():
// they fire once, and some are left behind by earlier work in this process.
struct TimerEvents : QObject
{
    QStringList fired;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Timer && !watched->inherits("QSingleShotTimer"))
            fired.append(describe(watched));
        return false;
    }
};

// The repeating timers shorter than a minute held by any object reachable from the application
// or a widget.
QStringList shortRepeatingTimers()
{
    QSet<QObject *> objects;
    for (QObject *o : qApp->findChildren<QObject *>())
        objects.insert(o);
    for (QWidget *w : QApplication::allWidgets()) {
        objects.insert(w);
        for (QObject *o : w->findChildren<QObject *>())
            objects.insert(o);
    }
    QStringList out;
    for (QObject *o : std::as_const(objects)) {
        const auto *timer = qobject_cast<QTimer *>(o);
        // QTimer::singleShot() runs on a private class of its own that fires once.
        const bool once = (timer && timer->isSingleShot()) || o->inherits("QSingleShotTimer");
        for (const auto &info : QAbstractEventDispatcher::instance()->registeredTimers(o)) {
            if (!once && info.interval < 60000)
                out.append(QStringLiteral("%1 every %2 ms").arg(describe(o)).arg(info.interval));
        }
    }
    return out;
}

}

// The window with its home page up and nothing happening: the only periodic work is the
// minute's day watch and the home page's ten-minute refresh; nothing animates.
class IdleTest : public QObject
{
    Q_OBJECT
private slots:
    void anIdleHomePageRunsNoShortTimer_data()
    {
        QTest::addColumn<int>("posterDelayMs");
        QTest::addColumn<bool>("scrollAway");
        QTest::newRow("posters shown") << 0 << false;
        // Grids that began shimmering and were scrolled out of sight before their posters came.
        QTest::newRow("posters arrive out of sight") << 250 << true;
    }

    void anIdleHomePageRunsNoShortTimer()
    {
        QFETCH(int, posterDelayMs);
        QFETCH(bool, scrollAway);
        CatalogueFixture f;
        AuthStore auth(f.api.get(), f.home.dataHome());
        AuthStore::setShared(&auth);
        const auto unset = qScopeGuard([] { AuthStore::setShared(nullptr); });
        f.site.route(QStringLiteral("/api/index"), FakeSite::ok(homeJson(f)));
        f.site.route(QStringLiteral("/api/nav"), FakeSite::ok("[]"));
        // Only posters asked for before the scroll are held back: those asked for later reach the
        // client after it anyway, and holding them too would only queue them behind one another.
        auto scrolled = std::make_shared<bool>(false);
        f.site.route(QStringLiteral("/poster.png"), [posterDelayMs, scrolled](const FakeSite::Request &request) {
            const int n = request.query().queryItemValue(QStringLiteral("n")).toInt();
            return FakeSite::Reply()
                .withHeader("Content-Type", "image/jpeg")
                .withBody(posterJpeg(n, QSize(200, 300)))
                .withDelay(*scrolled ? 0 : posterDelayMs);
        });

        ContentView window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *home = window.findChild<HomeView *>();
        QVERIFY(home);
        QVERIFY(waitFor([&] { return home->shown() == HomeView::Shown::Content; }));
        QVERIFY(waitFor([&] { return !f.site.requestsTo(QStringLiteral("/poster.png")).isEmpty(); }));
        if (scrollAway) {
            QVERIFY(ShimmerClock::shared()->isRunning());
            QScrollBar *bar = home->contentArea()->verticalScrollBar();
            QVERIFY(bar->maximum() > home->height());
            bar->setValue(bar->maximum());
            *scrolled = true;
        }
        QVERIFY(waitFor([&] { return f.images->activeDownloads() == 0; }, 20000));
        QTest::qWait(200);

        TimerEvents events;
        qApp->installEventFilter(&events);
        QTest::qWait(1500);
        qApp->removeEventFilter(&events);
        QVERIFY2(events.fired.isEmpty(), qPrintable(events.fired.join(u'\n')));
        QVERIFY2(shortRepeatingTimers().isEmpty(), qPrintable(shortRepeatingTimers().join(u'\n')));
        QVERIFY(!ShimmerClock::shared()->isRunning());
        QVERIFY(window.dayWatch()->isActive());
        QCOMPARE(window.dayWatch()->intervalAsDuration(), std::chrono::milliseconds(60000));
    }
};

TOVRA_TEST(IdleTest)
#include "tst_idle.moc"
