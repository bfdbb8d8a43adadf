#pragma once

// Shared by the start-up and idle-memory benchmarks: a child process that shows either a bare
// window or the home page filled from a warm disk cache, and the parent's side of running it.

#include "network/apiclient.h"
#include "network/imageloader.h"
#include "store/diskcache.h"
#include "support/fakesite.h"
#include "views/catalogue/homeview.h"
#include "views/catalogue/hotlist.h"
#include "views/palette.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QPainter>
#include <QProcess>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrlQuery>

#include <cstdio>
#include <functional>

namespace tovra::bench {

// ---- The site the home page talks to ----------------------------------------------------------

inline QByteArray homeRecord(const QString &base)
{
    const auto poster = [&](int n) { return base + QStringLiteral("/poster.png?n=%1").arg(n); };
    const auto list = [&](int from, int count) {
        QJsonArray out;
        for (int i = 0; i < count; ++i)
            out.append(QJsonObject{{"did", QString::number(from + i)},
                                   {"title", QStringLiteral("影片 %1").arg(from + i)},
                                   {"image", poster(from + i)},
                                   {"score", "7.9"},
                                   {"showdate", "2024-03-01"}});
        return out;
    };
    QJsonArray hot;
    for (int i = 0; i < 12; ++i)
        hot.append(QJsonObject{{"did", QString::number(i)}, {"title", QStringLiteral("热门 %1").arg(i)},
                               {"image", poster(i)}, {"count", 5000 - i * 100}, {"watch_num", i}});
    const QJsonObject data{{"hot", hot},          {"follow", list(100, 14)}, {"erotica", list(200, 14)},
                           {"tv", list(300, 14)}, {"new", list(400, 14)},    {"list", list(500, 28)},
                           {"category_ero", "爱情"}, {"category_tv", "电视剧"}, {"year", "2025"},
                           {"date", "2025-01-01"}};
    return QJsonDocument(QJsonObject{{"code", 200}, {"message", "ok"}, {"data", data}}).toJson(QJsonDocument::Compact);
}

inline void serveSite(test::FakeSite &site)
{
    const QString base = site.url().toString().chopped(1);
    site.route(QStringLiteral("/api/index"), test::FakeSite::json(homeRecord(base)));
    site.route(QStringLiteral("/poster.png"), [](const test::FakeSite::Request &request) {
        const int n = request.query().queryItemValue(QStringLiteral("n")).toInt();
        QImage image(300, 450, QImage::Format_RGB32);
        image.fill(QColor::fromHsv((n * 37) % 360, 140, 160));
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "JPEG", 85);
        return test::FakeSite::Reply().withHeader("Content-Type", "image/jpeg").withBody(bytes);
    });
}

// ---- The child --------------------------------------------------------------------------------

// argv: <self> --child bare|home <cache folder> <base address> [<seconds to stay>]
// Prints "ready" once the window has painted (the home page: with its record on screen), then
// quits at once or after the given seconds.
inline int runChild(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")
        && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString mode = QString::fromLocal8Bit(argv[2]);
    const QString cacheFolder = QString::fromLocal8Bit(argv[3]);
    const QString base = QString::fromLocal8Bit(argv[4]);
    const int stay = argc > 5 ? QString::fromLocal8Bit(argv[5]).toInt() : 0;

    const auto ready = [stay] {
        std::printf("ready\n");
        std::fflush(stdout);
        QTimer::singleShot(stay * 1000, qApp, &QCoreApplication::quit);
    };

    // A filter that reports the first paint of a widget once a condition holds.
    struct PaintWatch : QObject
    {
        std::function<bool()> when;
        std::function<void()> then;
        bool done = false;
        bool eventFilter(QObject *watched, QEvent *event) override
        {
            if (!done && event->type() == QEvent::Paint && when()) {
                done = true;
                // After this paint has been delivered.
                QTimer::singleShot(0, qApp, then);
            }
            return QObject::eventFilter(watched, event);
        }
    };

    if (mode == QLatin1String("bare")) {
        QWidget window;
        window.resize(1560, 960);
        PaintWatch watch;
        watch.when = [] { return true; };
        watch.then = ready;
        window.installEventFilter(&watch);
        window.show();
        return app.exec();
    }

    Palette::installApplicationTheme();
    QNetworkAccessManager manager;
    DiskCache cache(cacheFolder);
    APIClient client([base] { return base; }, base + QStringLiteral("/search"), &manager, &cache);
    ImageLoader images(&manager);
    APIClient::setShared(&client);
    DiskCache::setShared(&cache);
    ImageLoader::setShared(&images);

    QWidget window;
    window.resize(1560, 960);
    auto *row = new QHBoxLayout(&window);
    row->setContentsMargins(0, 0, 0, 0);
    auto *sidebar = new QWidget(&window);
    sidebar->setFixedWidth(220);
    row->addWidget(sidebar);
    auto *home = new HomeView(&window);
    row->addWidget(home, 1);
    PaintWatch watch;
    watch.when = [home] { return home->shown() == HomeView::Shown::Content; };
    watch.then = ready;
    // The hot list is the first part of the filled page and paints itself.
    home->hotList()->installEventFilter(&watch);
    window.show();
    const int code = app.exec();
    ImageLoader::setShared(nullptr);
    DiskCache::setShared(nullptr);
    APIClient::setShared(nullptr);
    return code;
}

// ---- The parent -------------------------------------------------------------------------------

// A temporary home for the children, with the home record already in the response cache.
struct WarmProfile
{
    QTemporaryDir dir;
    QString cacheFolder() const { return dir.filePath(QStringLiteral("cache")); }

    void warm(const QString &base)
    {
        DiskCache cache(cacheFolder());
        cache.saveData(homeRecord(base), APIClient::cacheKey(QStringLiteral("api/index"), {}));
    }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
            env.insert(QString::fromLatin1(name), dir.filePath(QString::fromLatin1(name).toLower()));
        return env;
    }
};

// The local site serving the home page, and a profile whose disk cache already holds it.
struct WarmSite
{
    test::FakeSite site;
    WarmProfile profile;
    QString base;

    bool start(const char *benchName)
    {
        if (!site.start()) {
            std::fprintf(stderr, "%s: the local site did not start\n", benchName);
            return false;
        }
        serveSite(site);
        base = site.url().toString().chopped(1);
        profile.warm(base);
        return true;
    }
};

// Starts the child and spins until it reports ready; answers the milliseconds from start, or -1.
inline qint64 startChild(QProcess &process, const QString &program, const QStringList &arguments,
                         const QProcessEnvironment &env, int timeoutMs = 20000)
{
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    while (timer.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        process.waitForReadyRead(5);
        if (process.canReadLine() && process.readLine().trimmed() == "ready")
            return timer.elapsed();
        if (process.state() == QProcess::NotRunning)
            return -1;
    }
    return -1;
}

}
