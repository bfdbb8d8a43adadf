#include "catalogue/cataloguefixture.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include "support/testenv.h"
#include "support/testmain.h"

#include <ctime>

using namespace tovra;
using namespace tovra::test;

namespace {
qint64 monotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000LL + now.tv_nsec;
}
}

// The client executable itself, started as a user starts it: what it has mapped once its home
// page is painted with content. Whatever a library costs to map and relocate, every start pays
// it, so only what the home page uses belongs there. On an X display that includes OpenGL, which
// offscreen never loads: a GLX context brings Mesa's driver, LLVM and a pool of threads.
class TestClientStart : public QObject
{
    Q_OBJECT
private slots:
    void homeMapsNoEngineNorImageCodecs_data()
    {
        QTest::addColumn<bool>("onDisplay");
        QTest::newRow("offscreen") << false;
        QTest::newRow("X display") << true;
    }
    void homeMapsNoEngineNorImageCodecs()
    {
        QFETCH(bool, onDisplay);
        QProcess display;
        QByteArray displayNumber;
        if (onDisplay) {
            if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
                QSKIP("Xvfb is not installed");
            // The server picks a free display and writes its number to the descriptor named.
            display.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                                                   QStringLiteral("0"), QStringLiteral("1920x1080x24"), QStringLiteral("-nolisten"),
                                                   QStringLiteral("tcp")});
            QVERIFY(display.waitForStarted(10000) && display.waitForReadyRead(10000));
            displayNumber = display.readLine().trimmed();
        }
        CatalogueFixture f;
        // The sidebar's list comes well after the home page: a fully drawn page that did not wait
        // for its rows would be reported before the list was even sent.
        constexpr int kNavDelayMs = 400;
        qint64 navSent = 0;
        f.site.route(QStringLiteral("/api/nav"), [&navSent](const FakeSite::Request &) {
            navSent = monotonicNs() + qint64(kNavDelayMs) * 1000000;
            return FakeSite::ok(R"([{"id":"1","name":"电影","icon":"film","external":false,"new_count":12}])").withDelay(kNavDelayMs);
        });
        f.site.route(QStringLiteral("/api/index"), FakeSite::ok(homeJson(f)));
        // Posters never arrive: a decoded poster brings its image plugin in, on purpose and after
        // the first paint, and must not be mistaken for the start's doing.
        f.site.route(QStringLiteral("/poster.png"), FakeSite::Reply().stalling());
        QDir(f.home.configHome()).mkpath(QStringLiteral("TovraClient"));
        QFile settings(QDir(f.home.configHome()).filePath(QStringLiteral("TovraClient/TovraClient.conf")));
        QVERIFY(settings.open(QIODevice::WriteOnly));
        settings.write("[General]\nbaseURL=" + f.site.url().toString().toUtf8() + "\n");
        settings.close();

        QProcess client;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TOVRA_FIRST_PAINT_MARK"), QStringLiteral("1"));
        if (onDisplay) {
            env.insert(QStringLiteral("DISPLAY"), u':' + QString::fromLatin1(displayNumber));
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        }
        client.setProcessEnvironment(env);
        client.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        client.start(QStringLiteral(TOVRA_CLIENT_PROGRAM), {});
        QVERIFY2(client.waitForStarted(10000), qPrintable(client.errorString()));
        // The fake site answers from this process, so the wait keeps its event loop turning.
        const bool painted = QTest::qWaitFor([&] { return client.canReadLine() || client.state() != QProcess::Running; }, 30000);
        const QByteArray line = client.readLine();
        QFile maps(QStringLiteral("/proc/%1/maps").arg(client.processId()));
        const QByteArray mapped = maps.open(QIODevice::ReadOnly) ? maps.readAll() : QByteArray();
        // Posters never arrive, and none is in the cache: only the sidebar's rows are waited for.
        waitFor([&] { return client.canReadLine() || client.state() != QProcess::Running; }, 30000);
        const QByteArray drawn = client.readLine();
        client.kill();
        client.waitForFinished(5000);
        display.terminate();
        display.waitForFinished(5000);
        QVERIFY2(painted && line.startsWith("first-paint "), line.constData());
        QVERIFY2(drawn.startsWith("drawn "), drawn.constData());
        QVERIFY(drawn.mid(6).toLongLong() >= line.mid(12).toLongLong());
        QVERIFY(navSent > 0 && drawn.mid(6).toLongLong() > navSent);
        QVERIFY(mapped.contains("libQt6Widgets"));

        QStringList found;
        for (const QByteArray &entry : mapped.split('\n')) {
            const QByteArray file = entry.mid(entry.indexOf('/'));
            // The image-format plugins come as a set, each with its codec libraries, the first
            // time Qt has to guess a file's format from its bytes; the style's PNG icons made it.
            // An OpenGL context maps its vendor's GLX library and its driver.
            for (const char *heavy : {"libQt6WebEngine", "libQt6Multimedia", "libtovra_engine", "libgstreamer",
                                      "libavcodec", "/plugins/imageformats/", "libGLX_", "_dri.so", "libLLVM"}) {
                if (file.contains(heavy) && !found.contains(QString::fromUtf8(file)))
                    found << QString::fromUtf8(file);
            }
        }
        QVERIFY2(found.isEmpty(), qPrintable(found.join(u'\n')));
    }
};

TOVRA_TEST(TestClientStart)
#include "tst_clientstart.moc"
