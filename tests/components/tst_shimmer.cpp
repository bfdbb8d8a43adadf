#include "support/testmain.h"
#include "views/components/shimmerclock.h"
#include "views/components/skeleton.h"

#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

using tovra::ShimmerClock;

class ShimmerTest : public QObject
{
    Q_OBJECT

private slots:
    void phaseSweepsAndRestarts_data()
    {
        QTest::addColumn<qint64>("since");
        QTest::addColumn<qreal>("phase");
        QTest::newRow("start") << qint64(0) << -1.0;
        QTest::newRow("quarter") << qint64(300) << -0.5;
        QTest::newRow("half") << qint64(600) << 0.0;
        QTest::newRow("again from the left") << qint64(1200) << -1.0;
        QTest::newRow("second sweep") << qint64(1500) << -0.5;
        QTest::newRow("clock before start") << qint64(-50) << -1.0;
    }

    void phaseSweepsAndRestarts()
    {
        QFETCH(qint64, since);
        QFETCH(qreal, phase);
        QVERIFY(qFuzzyCompare(1 + ShimmerClock::phase(1000, 1000 + since), 1 + phase));
    }

    void theTimerRunsOnlyWhileSomethingShimmers()
    {
        ShimmerClock *clock = ShimmerClock::shared();
        {
            tovra::SkeletonBox box(8);
            box.resize(100, 150);
            box.show();
            QVERIFY(QTest::qWaitFor([&] { return clock->isRunning(); }, 1000));
            box.hide();
            QVERIFY(QTest::qWaitFor([&] { return !clock->isRunning(); }, 1000));
            box.show();
            QVERIFY(QTest::qWaitFor([&] { return clock->isRunning(); }, 1000));
        }
        QVERIFY(QTest::qWaitFor([&] { return !clock->isRunning(); }, 1000));
        QCOMPARE(clock->subscriberCount(), 0);

        // Scrolled out of sight it is still visible but stops the clock; back in sight, it
        // shimmers again.
        QScrollArea area;
        area.resize(200, 200);
        auto *page = new QWidget;
        page->resize(180, 2000);
        (new tovra::SkeletonBox(8, page))->setGeometry(0, 0, 100, 150);
        area.setWidget(page);
        area.show();
        QVERIFY(QTest::qWaitFor([&] { return clock->isRunning(); }, 1000));
        area.verticalScrollBar()->setValue(1500);
        QVERIFY(QTest::qWaitFor([&] { return !clock->isRunning(); }, 1000));
        area.verticalScrollBar()->setValue(0);
        QVERIFY(QTest::qWaitFor([&] { return clock->isRunning(); }, 1000));
    }

    void anEmptySkeletonGridTakesNoRoom()
    {
        tovra::PosterGridSkeleton none(0);
        QCOMPARE(none.heightForWidth(1000), 0);
        tovra::PosterGridSkeleton eight(8);
        QVERIFY(eight.heightForWidth(1000) > 2 * tovra::PosterGridSkeleton::cellHeight(100));
    }
};

TOVRA_TEST(ShimmerTest)
#include "tst_shimmer.moc"
