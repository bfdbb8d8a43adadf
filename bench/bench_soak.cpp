// Soak: the client's window and its process-wide objects wired as the client wires them, in a
// throw-away profile pointed at the sample site on loopback. Opens 300 title pages one after the
// other, each loaded with its posters, and goes back after each; reads the process's
// proportional set size along the way.
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

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkDiskCache>
#include <QNetworkReply>
#include <QSet>

#include <malloc.h>

using namespace tovra;
using namespace tovra::bench;

namespace {

bool spinUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::usleep(500);
    }
    return true;
}

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


}

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
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
    Memory marks[4];
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

    std::printf("title pages opened and closed: %d (%d did not show their content), %lld distinct titles\n", pages,
                failed, static_cast<long long>(std::min<qsizetype>(dids.size(), pages)));
    std::printf("%-34s %10s %10s %10s %10s\n", "MB", "start", "1st page", "100", "last");
    std::printf("%-34s %10.1f %10.1f %10.1f %10.1f\n", "PSS", marks[0].pss, marks[1].pss, marks[2].pss, marks[3].pss);
    std::printf("%-34s %10.1f %10.1f %10.1f %10.1f\n", "PSS, anonymous pages", marks[0].anon, marks[1].anon, marks[2].anon,
                marks[3].anon);
    std::printf("%-34s %10.1f %10.1f %10.1f %10.1f (cap %.0f)\n", "decoded posters (image loader)", marks[0].images,
                marks[1].images, marks[2].images, marks[3].images, images->memoryLimit() / 1048576.0);
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
