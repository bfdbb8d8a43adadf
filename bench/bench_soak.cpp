// Soak: the client's window and its process-wide objects wired as the client wires them, in a
// throw-away profile pointed at the sample site on loopback. Opens 300 title pages one after the
// other, each loaded with its posters, and goes back after each; then opens and closes a site
// page once and the native player once. Reads the process's proportional set size along the
// way, and watches whether the web engine's helper processes end within 30 s of the site page
// closing (their own PSS is shown while they live).
//
//   bench_soak [pages, default 300]       (offscreen unless told otherwise)
//
// Prints the growth from the first page to the last last (goal <= 40 MB).

#include "clientrun.h"

#include "network/apiclient.h"
#include "network/imageloader.h"
#include "store/authstore.h"
#include "network/paths.h"
#include "views/catalogue/homeview.h"
#include "views/contentview.h"
#include "views/detail/detailview.h"
#include "views/navigationstack.h"
#include "views/palette.h"
#include "views/player/playerview.h"
#include "views/webpageview.h"
#include "samplesite/mediasite.h"

#include <QApplication>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkDiskCache>
#include <QNetworkReply>
#include <QSet>

#include <unistd.h>

#include <malloc.h>

using namespace tovra;
using namespace tovra::bench;

namespace {

void collectDids(const QJsonValue &value, QStringList &out, QSet<QString> &seen)
{
    if (value.isObject()) {
        const QJsonObject object = value.toObject();
        const QString did = object.value(QStringLiteral("did")).toString();
        if (!did.isEmpty() && !seen.contains(did)) {
            seen.insert(did);
            out.append(did);
        }
        for (const QJsonValue &child : object)
            collectDids(child, out, seen);
    } else if (value.isArray()) {
        for (const QJsonValue &child : value.toArray())
            collectDids(child, out, seen);
    }
}

// Titles the site knows, from the lists it serves.
QStringList siteTitles(QNetworkAccessManager &network, const QString &base)
{
    QStringList out;
    QSet<QString> seen;
    for (const char *path : {"/api/index", "/api/top250", "/api/ranking"}) {
        QNetworkReply *reply = network.get(QNetworkRequest(QUrl(base + QLatin1String(path))));
        spinUntil([reply] { return reply->isFinished(); }, 10000);
        collectDids(QJsonDocument::fromJson(reply->readAll()).object(), out, seen);
        reply->deleteLater();
    }
    return out;
}

struct Memory
{
    double pss = 0, anon = 0, images = 0;
};

Memory memory(const ImageLoader &images)
{
    const qint64 pid = QCoreApplication::applicationPid();
    return {pssKb(pid) / 1024.0, pssKb(pid, "Pss_Anon") / 1024.0, images.memoryUsed() / 1048576.0};
}

// The web engine's helper processes (the zygotes, renderers and utilities of QtWebEngineProcess)
// among this process's descendants.
QList<qint64> engineHelpers()
{
    QHash<qint64, qint64> parentOf;
    QHash<qint64, QByteArray> nameOf;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        if (!numeric)
            continue;
        // "pid (comm) state ppid ...": the name may hold spaces and parentheses, so read from the last ')'.
        const QByteArray stat = procFile(pid, "stat");
        const qsizetype close = stat.lastIndexOf(')');
        if (close < 0)
            continue;
        const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
        if (fields.size() > 1) {
            parentOf.insert(pid, fields.at(1).toLongLong());
            nameOf.insert(pid, stat.mid(stat.indexOf('(') + 1, close - stat.indexOf('(') - 1));
        }
    }
    const qint64 self = QCoreApplication::applicationPid();
    QList<qint64> found;
    for (auto it = parentOf.cbegin(); it != parentOf.cend(); ++it) {
        qint64 up = it.value();
        for (int depth = 0; depth < 8 && up > 1 && up != self; ++depth)
            up = parentOf.value(up, 0);
        if (up == self && nameOf.value(it.key()).startsWith("QtWebEngineProc"))
            found.append(it.key());
    }
    return found;
}

// Each helper's kind as Chromium names it ("zygote", "renderer", ...), for the report.
QString helperKinds(const QList<qint64> &helpers)
{
    QStringList kinds;
    for (qint64 pid : helpers) {
        QString kind = QStringLiteral("?");
        // A process forked from the zygote rewrites its command line as one space-separated string.
        for (const QByteArray &arg : procFile(pid, "cmdline").replace('\0', ' ').split(' ')) {
            if (arg.startsWith("--type="))
                kind = QString::fromLatin1(arg.mid(7));
        }
        kinds.append(kind);
    }
    return kinds.join(QStringLiteral(", "));
}

double helpersPssMb(const QList<qint64> &helpers)
{
    qint64 kb = 0;
    for (qint64 pid : helpers)
        kb += pssKb(pid);
    return kb / 1024.0;
}

// Takes the current page off the stack and lets everything it scheduled for deletion go.
void closePage(NavigationStack *stack)
{
    stack->pop();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    spinUntil([] { return false; }, 1000);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}


}

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The engine's sandbox refuses to start for root, as on the test machines.
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // As main.cpp sets it.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    QApplication app(argc, argv);
    const int pages = argc > 1 ? std::max(1, atoi(argv[1])) : 300;

    SampleSite site;
    if (!site.start()) {
        std::fprintf(stderr, "bench_soak: the sample site did not start\n");
        return 1;
    }
    // The profile's folders before anything asks where they are.
    Profile profile(site.base());
    const QProcessEnvironment env = profile.environment();
    for (const QString &name : env.keys()) {
        if (name.startsWith(QLatin1String("XDG_")) || name.startsWith(QLatin1String("TOVRA_")) || name == QLatin1String("HOME"))
            qputenv(name.toLocal8Bit(), env.value(name).toLocal8Bit());
    }
    QApplication::setOrganizationName(QStringLiteral("TovraClient"));
    QApplication::setApplicationName(QStringLiteral("TovraClient"));
    Palette::installApplicationTheme();

    auto *network = new QNetworkAccessManager(&app);
    if (QNetworkDiskCache *httpCache = APIClient::makeHttpCache(network))
        network->setCache(httpCache);
    auto *client = new APIClient(network, &app);
    APIClient::setShared(client);
    auto *auth = new AuthStore(client, appDataDir(), &app);
    AuthStore::setShared(auth);
    client->setTokenProvider([auth] { return auth->tokenValue(); });
    auto *images = new ImageLoader(network, &app);
    ImageLoader::setShared(images);

    const QStringList dids = siteTitles(*network, site.base());
    if (dids.isEmpty()) {
        std::fprintf(stderr, "bench_soak: the site listed no titles\n");
        return 1;
    }

    ContentView window;
    window.show();
    auto *home = window.findChild<HomeView *>();
    if (!home || !spinUntil([&] { return home->shown() == HomeView::Shown::Content && images->activeDownloads() == 0; }, 20000)) {
        std::fprintf(stderr, "bench_soak: the home page never filled\n");
        return 1;
    }
    NavigationStack *stack = window.navigationStack();
    // Start, first page, 100th, last, site page closed, player closed.
    Memory marks[6];
    marks[0] = memory(*images);
    int failed = 0;
    for (int i = 0; i < pages; ++i) {
        window.push(Route::detail(dids.at(i % dids.size())));
        auto *page = qobject_cast<DetailView *>(stack->currentPage());
        if (!page) {
            std::fprintf(stderr, "bench_soak: a title page did not open\n");
            return 1;
        }
        if (!spinUntil([&] { return page->shown() != DetailView::Shown::Loading && images->activeDownloads() == 0; }, 20000)
            || page->shown() != DetailView::Shown::Content)
            ++failed;
        stack->pop();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
        if (i == 0)
            marks[1] = memory(*images);
        if (i == 99)
            marks[2] = memory(*images);
    }
    spinUntil([] { return false; }, 500);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    marks[3] = memory(*images);
    // What stays once the decoded posters, kept on purpose up to the loader's cap, are let go and
    // the allocator hands freed pages back: growth beyond this is held by something else.
    images->clearMemory();
    malloc_trim(0);
    const Memory released = memory(*images);

    // A site page, loaded to the end, then closed; then the player. The posters were let go just
    // before, so these two marks hold what the engine itself leaves behind.
    window.push(Route::web(site.base() + QStringLiteral("/web/soak"), QStringLiteral("示例站点")));
    auto *web = qobject_cast<WebPageView *>(stack->currentPage());
    const bool webShown = web && spinUntil([&] { return !web->isLoading(); }, 60000) && !web->error() && web->webView();
    spinUntil([] { return false; }, 1000);
    const QList<qint64> helpersOpen = engineHelpers();
    const double helpersOpenPss = helpersPssMb(helpersOpen);
    closePage(stack);
    QElapsedTimer sinceClose;
    sinceClose.start();
    marks[4] = memory(*images);
    const double helpersClosedPss = helpersPssMb(engineHelpers());
    const bool helpersEnded = spinUntil([] { return engineHelpers().isEmpty(); }, 30000);
    const double helpersEndMs = sinceClose.elapsed();
    const QList<qint64> helpersLeft = engineHelpers();
    const double helpersLeftPss = helpersPssMb(helpersLeft);

    // The native player (a title the site serves as HLS), playing for a few seconds, then closed.
    QString hlsDid = dids.first();
    for (const QString &did : dids) {
        if (samplesite::MediaSite::playsHls(did)) {
            hlsDid = did;
            break;
        }
    }
    PlayEntry entry;
    entry.episode = 1;
    entry.did = hlsDid;
    entry.token = QStringLiteral("soak");
    entry.expired = QDateTime::currentSecsSinceEpoch() + 3600;
    window.push(Route::play(entry, QStringLiteral("示例"), 0));
    auto *player = qobject_cast<PlayerView *>(stack->currentPage());
    // The playback is reached through its Qt properties: the benchmark does not link the engine.
    auto mediaPlayer = [&]() -> QObject * {
        for (QObject *child : player->findChildren<QObject *>()) {
            if (qstrcmp(child->metaObject()->className(), "tovra::PlayerModel") == 0)
                return child;
        }
        return nullptr;
    };
    const bool played = player && spinUntil([&] { return player->shown() == PlayerView::Shown::Native; }, 20000)
                        && spinUntil([&] {
                               QObject *media = mediaPlayer();
                               return media && media->property("position").toLongLong() >= 3000;
                           }, 60000);
    closePage(stack);
    marks[5] = memory(*images);

    std::printf("title pages opened and closed: %d (%d did not show their content), %lld distinct titles\n", pages,
                failed, static_cast<long long>(std::min<qsizetype>(dids.size(), pages)));
    std::printf("%-31s %9s %9s %9s %9s %9s %9s\n", "MB", "start", "1st page", "100", "last", "web shut", "player");
    auto row = [&](const char *what, double Memory::*field) {
        std::printf("%-31s", what);
        for (const Memory &mark : marks)
            std::printf(" %9.1f", mark.*field);
        std::printf("\n");
    };
    row("PSS", &Memory::pss);
    row("PSS, anonymous pages", &Memory::anon);
    row("decoded posters (image loader)", &Memory::images);
    std::printf("image loader's cap: %.0f MB\n", images->memoryLimit() / 1048576.0);
    std::printf("site page %s; native player %s\n", webShown ? "loaded" : "did NOT load",
                played ? "played 3 s" : "did NOT play");
    std::printf("web engine helpers: %lld while the page was open (%s; PSS %.1f MB), PSS %.1f MB as it closed; ",
                static_cast<long long>(helpersOpen.size()), qPrintable(helperKinds(helpersOpen)), helpersOpenPss,
                helpersClosedPss);
    if (helpersEnded)
        std::printf("all ended %.1f s after the last web view closed\n", helpersEndMs / 1000.0);
    else
        std::printf("%lld still running 30 s after the last web view closed (%s; PSS %.1f MB)\n",
                    static_cast<long long>(helpersLeft.size()), qPrintable(helperKinds(helpersLeft)), helpersLeftPss);
    std::printf("with the posters let go after %d pages: PSS %.1f MB (%+.1f MB on the first page), anonymous %+.1f MB\n",
                pages, released.pss, released.pss - marks[1].pss, released.anon - marks[1].anon);
    // PSS also moves with the shares of library pages as other processes come and go; the
    // anonymous pages are this process's own, so the goal must hold for both.
    const double growth = marks[3].pss - marks[1].pss;
    const double anonGrowth = marks[3].anon - marks[1].anon;
    std::printf("PSS growth from the first page to the last: %.1f MB, anonymous pages %+.1f MB (goal <= 40 MB): %s\n",
                growth, anonGrowth, growth <= 40 && anonGrowth <= 40 && failed == 0 ? "met" : "NOT met");
    ImageLoader::setShared(nullptr);
    AuthStore::setShared(nullptr);
    APIClient::setShared(nullptr);
    return 0;
}
