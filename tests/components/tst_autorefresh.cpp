#include "support/testmain.h"
#include "views/components/autorefresh.h"

#include <QGuiApplication>
#include <QTest>
#include <QWidget>

using tovra::AutoRefresh;

class AutoRefreshTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The first window shown makes the application active, which is itself a refresh
        // trigger: get that over with before counting.
        QWidget first;
        first.show();
        QTest::qWait(50);
    }

    void firstRunComesOneIntervalAfterShowing()
    {
        QWidget view;
        int runs = 0;
        new AutoRefresh(&view, std::chrono::milliseconds(300), [&runs] { ++runs; });
        view.show();
        QTest::qWait(100);
        QCOMPARE(runs, 0);
        QVERIFY(QTest::qWaitFor([&] { return runs >= 1; }, 2000));
        QVERIFY(QTest::qWaitFor([&] { return runs >= 2; }, 2000));
    }

    void hidingStopsTheTimer()
    {
        QWidget view;
        int runs = 0;
        auto *refresh = new AutoRefresh(&view, std::chrono::milliseconds(40), [&runs] { ++runs; });
        view.show();
        QVERIFY(refresh->isTimerRunning());
        view.hide();
        QVERIFY(!refresh->isTimerRunning());
        QTest::qWait(150);
        QCOMPARE(runs, 0);
        // Shown again: a fresh full interval before the next run.
        view.show();
        QVERIFY(refresh->isTimerRunning());
        QVERIFY(QTest::qWaitFor([&] { return runs == 1; }, 1000));
    }

    void activationRunsTheActionEvenOffScreen()
    {
        QWidget view;
        int runs = 0;
        new AutoRefresh(&view, std::chrono::hours(1), [&runs] { ++runs; });
        emit qGuiApp->applicationStateChanged(Qt::ApplicationInactive);
        QCOMPARE(runs, 0);
        emit qGuiApp->applicationStateChanged(Qt::ApplicationActive);
        QCOMPARE(runs, 1);
        view.show();
        emit qGuiApp->applicationStateChanged(Qt::ApplicationActive);
        QCOMPARE(runs, 2);
    }

    void nothingRunsOnceTheViewIsGone()
    {
        int runs = 0;
        {
            QWidget view;
            new AutoRefresh(&view, std::chrono::milliseconds(20), [&runs] { ++runs; });
            view.show();
        }
        emit qGuiApp->applicationStateChanged(Qt::ApplicationActive);
        QTest::qWait(60);
        QCOMPARE(runs, 0);
    }
};

TOVRA_TEST(AutoRefreshTest)
#include "tst_autorefresh.moc"
