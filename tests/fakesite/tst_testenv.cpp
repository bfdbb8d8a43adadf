#include "support/fakesite.h"
#include "support/testenv.h"
#include "support/testmain.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <QCoro/QCoroNetworkReply>
#include <QCoro/QCoroTimer>
#include <expected>

using namespace tovra::test;

namespace {

QCoro::Task<QByteArray> fetchBody(QNetworkAccessManager *nam, QUrl url)
{
    std::unique_ptr<QNetworkReply> reply(nam->get(QNetworkRequest(url)));
    co_await reply.get();
    co_return reply->readAll();
}

QCoro::Task<std::expected<int, QString>> afterMs(int ms, bool fail)
{
    QTimer timer;
    timer.start(ms);
    co_await timer;
    if (fail)
        co_return std::unexpected(QStringLiteral("失败"));
    co_return ms;
}

QCoro::Task<> sleepMs(int ms, bool *done)
{
    QTimer timer;
    timer.start(ms);
    co_await timer;
    *done = true;
}

}

class TestTestEnv : public QObject
{
    Q_OBJECT
private slots:
    void isolatesFoldersAndSettings()
    {
        const QString dataBefore = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
        const QString homeBefore = qEnvironmentVariable("HOME");
        QString settingsFile;
        {
            IsolatedHome home;
            QVERIFY(home.isValid());
            QCOMPARE(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation), home.dataHome());
            QCOMPARE(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation), home.cacheHome());
            QCOMPARE(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation), home.configHome());
            QCOMPARE(QDir::homePath(), home.path());

            QSettings settings;
            QVERIFY(settings.allKeys().isEmpty());
            settings.setValue("baseURL", "http://127.0.0.1:1/");
            settings.sync();
            settingsFile = settings.fileName();
            QVERIFY2(settingsFile.startsWith(home.configHome() + '/'), qPrintable(settingsFile));
            QVERIFY(QFileInfo::exists(settingsFile));
        }
        QCOMPARE(qEnvironmentVariable("HOME"), homeBefore);
        QCOMPARE(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation), dataBefore);
        QVERIFY(!QFileInfo::exists(settingsFile));
        QVERIFY(QSettings().fileName() != settingsFile);

        // A second home starts empty again.
        IsolatedHome again;
        QVERIFY(QSettings().allKeys().isEmpty());
    }

    void grabsWidgetToPng()
    {
        QLabel label(QStringLiteral("片名 Title"));
        label.resize(200, 40);
        const QString file = grabToPng(&label, QStringLiteral("testenv-label"));
        QVERIFY(!file.isEmpty());
        QVERIFY(file.startsWith(QStringLiteral(TOVRA_GRAB_DIR)));
        const QImage image(file);
        QCOMPARE(image.size(), QSize(200, 40) * label.devicePixelRatio());
    }

    void runsTasksToCompletion()
    {
        FakeSite site;
        QVERIFY(site.start());
        site.route("hello", FakeSite::text("world"));
        QNetworkAccessManager nam;
        QCOMPARE(runTask(fetchBody(&nam, site.url("hello"))), QByteArray("world"));

        const auto good = runTask(afterMs(20, false));
        QVERIFY(good.has_value());
        QCOMPARE(*good, 20);
        const auto bad = runTask(afterMs(1, true));
        QCOMPARE(bad.error(), QStringLiteral("失败"));

        bool done = false;
        QVERIFY(runTask(sleepMs(10, &done)));
        QVERIFY(done);
    }

    void tryRunTaskGivesUpOnStall()
    {
        QNetworkAccessManager nam;
        auto site = std::make_unique<FakeSite>();
        QVERIFY(site->start());
        site->route("stall", FakeSite::Reply().stalling());
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!tryRunTask(fetchBody(&nam, site->url("stall")), 200).has_value());
        QVERIFY(clock.elapsed() < 5000);
        // Let the abandoned coroutine see its reply fail while the manager still exists.
        site.reset();
        QTest::qWait(100);
    }

    void waitForSpinsTheLoop()
    {
        bool fired = false;
        QTimer::singleShot(20, [&] { fired = true; });
        QVERIFY(waitFor([&] { return fired; }, 2000));
        QVERIFY(!waitFor([] { return false; }, 50));
    }
};

TOVRA_TEST(TestTestEnv)
#include "tst_testenv.moc"
