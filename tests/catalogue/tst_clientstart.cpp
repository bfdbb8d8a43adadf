#include "catalogue/cataloguefixture.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include "support/testenv.h"
#include "support/testmain.h"

#include <ctime>
#include <dlfcn.h>
#include <xcb/xcb.h>

using namespace tovra;
using namespace tovra::test;

namespace {
qint64 monotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// libxcb as the client's platform plugin uses it, opened rather than linked like the client does.
template<class Function>
Function xcb(const char *name)
{
    static void *const library = dlopen("libxcb.so.1", RTLD_LAZY);
    return library ? reinterpret_cast<Function>(dlsym(library, name)) : nullptr;
}
#define XCB(name) xcb<decltype(&::name)>(#name)

xcb_atom_t atom(xcb_connection_t *c, const char *name)
{
    xcb_intern_atom_reply_t *reply = XCB(xcb_intern_atom_reply)(c, XCB(xcb_intern_atom)(c, 0, qstrlen(name), name), nullptr);
    const xcb_atom_t value = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return value;
}

QByteArray property(xcb_connection_t *c, xcb_window_t window, xcb_atom_t name)
{
    xcb_get_property_reply_t *reply = XCB(xcb_get_property_reply)(c, XCB(xcb_get_property)(c, 0, window, name, XCB_GET_PROPERTY_TYPE_ANY, 0, 256), nullptr);
    const QByteArray value = reply ? QByteArray(static_cast<const char *>(XCB(xcb_get_property_value)(reply)), XCB(xcb_get_property_value_length)(reply)) : QByteArray();
    free(reply);
    return value;
}

// The shown window of pid whose title holds title; none is XCB_WINDOW_NONE.
xcb_window_t shownWindow(xcb_connection_t *c, qint64 pid, const QByteArray &title)
{
    const xcb_window_t root = XCB(xcb_setup_roots_iterator)(XCB(xcb_get_setup)(c)).data->root;
    const xcb_atom_t pidAtom = atom(c, "_NET_WM_PID"), nameAtom = atom(c, "_NET_WM_NAME");
    xcb_query_tree_reply_t *tree = XCB(xcb_query_tree_reply)(c, XCB(xcb_query_tree)(c, root), nullptr);
    const auto freeTree = qScopeGuard([tree] { free(tree); });
    const xcb_window_t *children = tree ? XCB(xcb_query_tree_children)(tree) : nullptr;
    for (int i = 0; tree && i < XCB(xcb_query_tree_children_length)(tree); ++i) {
        const QByteArray owner = property(c, children[i], pidAtom);
        xcb_get_window_attributes_reply_t *attributes = XCB(xcb_get_window_attributes_reply)(c, XCB(xcb_get_window_attributes)(c, children[i]), nullptr);
        const bool shown = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
        free(attributes);
        if (owner.size() != 4 || *reinterpret_cast<const quint32 *>(owner.constData()) != quint32(pid) || !shown
            || !property(c, children[i], nameAtom).contains(title))
            continue;
        return children[i];
    }
    return XCB_WINDOW_NONE;
}

bool hasShownWindow(const QByteArray &display, qint64 pid, const QByteArray &title)
{
    xcb_connection_t *c = XCB(xcb_connect)(display.constData(), nullptr);
    const auto disconnect = qScopeGuard([c] { XCB(xcb_disconnect)(c); });
    return shownWindow(c, pid, title) != XCB_WINDOW_NONE;
}

// Sends WM_DELETE_WINDOW to the shown window of pid whose title holds title, as a window manager
// does for its close button. False when there is no such window.
bool closeAsWindowManager(const QByteArray &display, qint64 pid, const QByteArray &title)
{
    xcb_connection_t *c = XCB(xcb_connect)(display.constData(), nullptr);
    const auto disconnect = qScopeGuard([c] { XCB(xcb_disconnect)(c); });
    const xcb_window_t window = shownWindow(c, pid, title);
    if (window == XCB_WINDOW_NONE)
        return false;
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = atom(c, "WM_PROTOCOLS");
    message.data.data32[0] = atom(c, "WM_DELETE_WINDOW");
    message.data.data32[1] = XCB_CURRENT_TIME;
    XCB(xcb_send_event)(c, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char *>(&message));
    // Disconnecting as soon as the request is written can lose it: the X server (Xorg 21) drops a
    // client whose socket has hung up without reading what is still in it, and under load it has
    // often not read the request by then. A manager stays connected; here the reply to a later
    // request says the server has handled this one, as it handles a client's requests in order.
    free(XCB(xcb_get_input_focus_reply)(c, XCB(xcb_get_input_focus)(c), nullptr));
    return true;
}

// An X server of its own, on the display number it chose.
QByteArray startDisplay(QProcess &display)
{
    // The server picks a free display and writes its number to the descriptor named.
    display.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                                           QStringLiteral("0"), QStringLiteral("1920x1080x24"), QStringLiteral("-nolisten"),
                                           QStringLiteral("tcp")});
    if (!display.waitForStarted(10000) || !display.waitForReadyRead(10000))
        return {};
    return u':' + display.readLine().trimmed();
}

void pointClientAt(const CatalogueFixture &f)
{
    QDir(f.home.configHome()).mkpath(QStringLiteral("TovraClient"));
    QFile settings(QDir(f.home.configHome()).filePath(QStringLiteral("TovraClient/TovraClient.conf")));
    if (settings.open(QIODevice::WriteOnly))
        settings.write("[General]\nbaseURL=" + f.site.url().toString().toUtf8() + "\n");
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
            displayNumber = startDisplay(display);
            QVERIFY(!displayNumber.isEmpty());
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
        pointClientAt(f);

        QProcess client;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TOVRA_FIRST_PAINT_MARK"), QStringLiteral("1"));
        if (onDisplay) {
            env.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(displayNumber));
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

    // The title bar's close button, with no window manager in between: the request goes straight
    // to the window, as a manager sends it.
    void closeRequestEndsTheProcess_data()
    {
        QTest::addColumn<QByteArray>("update");
        // The window that must be up before the close, besides the main window.
        QTest::addColumn<QByteArray>("alsoShown");
        QTest::addColumn<bool>("beforeCheck");
        const QByteArray none = R"({"has_update":false,"force":false,"version":"","build":0,"url":"","sha256":"","size":0,"notes":""})";
        const QByteArray found = R"({"has_update":true,"force":false,"version":"9.0","build":999999,"url":"http:\/\/127.0.0.1:9\/u.zip","sha256":"","size":1,"notes":"n"})";
        QTest::newRow("home, nothing played") << none << QByteArray() << false;
        // The update panel is window-modal: Qt drops a manager's close for the window under it.
        QTest::newRow("update panel open") << found << QByteArray("检查更新") << false;
        // Closed during the pause: the update check that would have followed never runs.
        QTest::newRow("closed before the update check") << found << QByteArray() << true;
    }
    void closeRequestEndsTheProcess()
    {
        QFETCH(QByteArray, update);
        QFETCH(QByteArray, alsoShown);
        QFETCH(bool, beforeCheck);
        if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
            QSKIP("Xvfb is not installed");
        QProcess display;
        const QByteArray displayNumber = startDisplay(display);
        const auto stopDisplay = qScopeGuard([&display] { display.terminate(); display.waitForFinished(5000); });
        QVERIFY(!displayNumber.isEmpty());
        CatalogueFixture f;
        f.site.route(QStringLiteral("/api/index"), FakeSite::ok(homeJson(f)));
        f.site.route(QStringLiteral("/api/update"), FakeSite::ok(update));
        pointClientAt(f);
        QProcess client;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TOVRA_FIRST_PAINT_MARK"), QStringLiteral("1"));
        env.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(displayNumber));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        client.setProcessEnvironment(env);
        client.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        client.start(QStringLiteral(TOVRA_CLIENT_PROGRAM), {});
        const auto stopClient = qScopeGuard([&client] { client.kill(); client.waitForFinished(5000); });
        // Still starting is not running either.
        QVERIFY2(client.waitForStarted(10000), qPrintable(client.errorString()));
        QVERIFY(waitFor([&] { return client.canReadLine() || client.state() != QProcess::Running; }, 30000));
        // The update check runs after the start-up pause.
        if (!beforeCheck)
            QVERIFY(waitFor([&] { return !f.site.requestsTo(QStringLiteral("/api/update")).isEmpty(); }, 15000));
        if (!alsoShown.isEmpty())
            QVERIFY(waitFor([&] { return hasShownWindow(displayNumber, client.processId(), alsoShown); }, 10000));
        QVERIFY(closeAsWindowManager(displayNumber, client.processId(), "TovraClient"));
        QVERIFY(waitFor([&] { return client.state() == QProcess::NotRunning; }, 3000));
        QCOMPARE(client.exitStatus(), QProcess::NormalExit);
        QCOMPARE(f.site.requestsTo(QStringLiteral("/api/update")).isEmpty(), beforeCheck);
    }
};

TOVRA_TEST(TestClientStart)
#include "tst_clientstart.moc"
