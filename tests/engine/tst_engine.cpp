#include "community/communityfixture.h"
#include "shell/shellfixture.h"
#include "support/screentext.h"
#include "support/testmain.h"
#include "views/community/communityview.h"
#include "views/community/countbadge.h"
#include "views/community/postfeed.h"
#include "views/community/postslide.h"
#include "views/components/busyindicator.h"
#include "views/components/stateoverlay.h"
#include "views/engine/engineloader.h"
#include "views/player/playerview.h"
#include "views/webpageview.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace tovra;
using namespace tovra::test;
using namespace Qt::StringLiterals;

namespace {

const QString kUnavailable = EngineLoader::kUnavailableText.toString();

// The files of the libraries the engine brings, as this process has them mapped.
QStringList mappedEngineLibraries()
{
    QFile maps(u"/proc/self/maps"_s);
    if (!maps.open(QIODevice::ReadOnly))
        return {u"(no /proc/self/maps)"_s};
    QStringList found;
    for (const QByteArray &line : maps.readAll().split('\n')) {
        const QString file = QString::fromLocal8Bit(line.mid(line.indexOf('/')));
        const QString name = file.section(u'/', -1);
        if ((name.startsWith(u"libQt6WebEngineCore"_s) || name.startsWith(u"libQt6Multimedia"_s)
             || name == QLatin1String(EngineLoader::kFileName))
            && !found.contains(file))
            found << file;
    }
    return found;
}

bool mapsAll(const QStringList &files)
{
    for (const QString &prefix : {u"libQt6WebEngineCore.so"_s, u"libQt6Multimedia.so"_s,
                                  QString::fromLatin1(EngineLoader::kFileName)}) {
        if (std::ranges::none_of(files, [&](const QString &f) { return f.section(u'/', -1).startsWith(prefix); }))
            return false;
    }
    return true;
}

// Points the loader at one file for as long as it lives.
struct EngineFile
{
    explicit EngineFile(const QString &path) { qputenv(EngineLoader::kPathVariable, QFile::encodeName(path)); }
    ~EngineFile() { qunsetenv(EngineLoader::kPathVariable); }
};

}

// This program links neither the web engine nor the media player, like the client: the screens
// that need them load the real plugin from the build folder.
class EngineTest : public QObject
{
    Q_OBJECT
private slots:
    // A missing or broken plugin: the screen that needed it says so in Chinese, nothing else
    // breaks, nothing of the engine is mapped, and nothing goes to the site on its behalf.
    void missingEngineIsReportedOnItsScreen_data()
    {
        QTest::addColumn<QString>("screen");
        QTest::addColumn<bool>("brokenFile");
        QTest::newRow("web page, no file") << u"web"_s << false;
        QTest::newRow("web page, not a plugin") << u"web"_s << true;
        QTest::newRow("native player") << u"native"_s << false;
        QTest::newRow("HTML5 player") << u"html5"_s << true;
        QTest::newRow("community video") << u"video"_s << false;
        QTest::newRow("community audio") << u"audio"_s << true;
    }
    void missingEngineIsReportedOnItsScreen()
    {
        QFETCH(QString, screen);
        QFETCH(bool, brokenFile);
        QTemporaryDir folder;
        const QString file = folder.filePath(QLatin1String(EngineLoader::kFileName));
        if (brokenFile) {
            QFile junk(file);
            QVERIFY(junk.open(QIODevice::WriteOnly));
            junk.write("\x7f" "ELF not really");
        }
        EngineFile named(file);
        CatalogueFixture f;
        const QString tag = QString::fromLatin1(QTest::currentDataTag()).replace(u", "_s, u"-"_s).replace(u' ', u'-');

        if (screen == u"web") {
            f.site.route(u"/page"_s, FakeSite::text("<p>ok</p>"));
            WebPageView view(f.site.url(u"page"_s).toString(), u"论坛"_s);
            view.resize(900, 560);
            view.show();
            QCOMPARE(view.error(), std::optional(kUnavailable));
            QVERIFY(!view.isLoading() && view.spinner()->isHidden());
            QVERIFY(view.errorView()->isVisible());
            QCOMPARE(view.errorView()->messageText(), kUnavailable);
            QVERIFY(!view.webView());
            QVERIFY(test::shownTexts(&view).contains(kUnavailable));
            QVERIFY2(test::clippedTexts(&view).isEmpty(), qPrintable(test::clippedTexts(&view).join(u',')));
            QVERIFY(!grabToPng(&view, u"engine-missing-"_s + tag).isEmpty());
            view.errorView()->retryButton()->click();
            QCOMPARE(view.error(), std::optional(kUnavailable));
        } else if (screen == u"native" || screen == u"html5") {
            const QString stream = screen == u"native" ? u"/a.m3u8"_s : u"/a.mpd"_s;
            f.site.route(u"/user/requestmpd"_s,
                         FakeSite::ok(QJsonDocument(QJsonObject{{"url", f.site.url(stream.mid(1)).toString()}, {"token", "t"},
                                                                {"et", 0}, {"l", 1}})
                                          .toJson(QJsonDocument::Compact)));
            PlayerView view(PlayEntry{1, u"d"_s, u"t"_s, 4102444800}, u"星河"_s, 0);
            view.resize(900, 560);
            view.show();
            QVERIFY(waitFor([&] { return !view.isLoading(); }));
            QCOMPARE(view.shown(), PlayerView::Shown::Error);
            QCOMPARE(view.error(), std::optional(kUnavailable));
            QCOMPARE(view.overlay()->messageText(), kUnavailable);
            QVERIFY(view.overlay()->isVisible());
            QVERIFY(test::shownTexts(&view).contains(kUnavailable));
            QVERIFY2(test::clippedTexts(&view).isEmpty(), qPrintable(test::clippedTexts(&view).join(u',')));
            QVERIFY(!grabToPng(&view, u"engine-missing-"_s + tag).isEmpty());
            // The retry asks again and meets the same answer.
            view.overlay()->retryButton()->click();
            QVERIFY(waitFor([&] { return !view.isLoading(); }));
            QCOMPARE(view.overlay()->messageText(), kUnavailable);
            QCOMPARE(f.site.requestsTo(u"/user/requestmpd"_s).size(), 2);
        } else {
            f.site.route(u"/api/bbs_list"_s,
                         FakeSite::ok(QJsonDocument(QJsonArray{postJson(f, u"m"_s, screen)}).toJson(QJsonDocument::Compact)));
            CommunityView board;
            board.resize(900, 640);
            board.show();
            QVERIFY(waitFor([&] { return !board.isLoading() && board.feed()->currentSlide(); }));
            PostSlide *slide = board.feed()->currentSlide();
            if (screen == u"audio")
                slide->media()->findChild<QAbstractButton *>()->click();
            QVERIFY(slide->mediaError());
            QCOMPARE(slide->mediaError()->text(), kUnavailable);
            QCOMPARE(slide->mediaError()->textFormat(), Qt::PlainText);
            QVERIFY(slide->mediaError()->isVisible());
            QVERIFY(!slide->player());
            // The rest of the post still works.
            QVERIFY(slide->likeButton()->isEnabled() && slide->contentLabel()->isVisible());
            QVERIFY(test::shownTexts(&board).contains(kUnavailable));
            QVERIFY2(test::clippedTexts(&board).isEmpty(), qPrintable(test::clippedTexts(&board).join(u',')));
            QVERIFY(!grabToPng(&board, u"engine-missing-"_s + tag).isEmpty());
        }
        QTest::qWait(50);
        for (const auto &request : f.site.requests())
            QVERIFY2(!request.path.endsWith(u".m3u8"_s) && !request.path.endsWith(u".mpd"_s) && request.path != u"/page"_s,
                     qPrintable(request.path));
        QCOMPARE(mappedEngineLibraries(), QStringList());
    }

    // The client's own start: the window and the home page come up without the web engine or the
    // media player in the process; a title page's first paint maps the plugin file, and with it
    // both, ahead of a play; the first site page then runs on it, with no complaint from the web
    // engine about how it was brought in.
    void engineIsMappedOnlyOnceAPageNeedsIt()
    {
        QTest::failOnWarning(QRegularExpression(u"initiali[sz]ed from a plugin"_s));
        ShellFixture f;
        QVERIFY(f.start());
        f.site.route(u"/api/nav"_s, FakeSite::ok(jsonArray({navJson(u"1"_s, u"电影"_s)})));
        f.site.route(u"/page"_s, FakeSite::text("<p>站内页面</p>").withHeader("Content-Type", "text/html; charset=utf-8"));
        ContentView window;
        QSignalSpy shown(&window, &ContentView::contentShown);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // The first content may already be up by the time the window is exposed.
        QVERIFY(shown.size() == 1 || shown.wait(5000));
        QVERIFY(waitFor([&] { return window.nav().size() == 1; }));
        QTest::qWait(200);
        const QStringList atHome = mappedEngineLibraries();
        QVERIFY2(atHome.isEmpty(), qPrintable(atHome.join(u", "_s)));

        f.site.route(u"/api/item"_s, FakeSite::ok(R"({"did":"d1","title":"星河","play_list":[]})"));
        EngineLoader::setPreloadAllowed(true);
        window.push(Route::detail(u"d1"_s));
        QVERIFY2(waitFor([&] { return mapsAll(mappedEngineLibraries()); }, 20000), qPrintable(mappedEngineLibraries().join(u", "_s)));
        EngineLoader::setPreloadAllowed(false);

        window.push(Route::web(f.site.url(u"page"_s).toString(), u"站内页面"_s));
        auto *page = qobject_cast<WebPageView *>(window.navigationStack()->currentPage());
        QVERIFY(page);
        QVERIFY(waitFor([&] { return !page->isLoading() || page->error(); }, 20000));
        QVERIFY2(!page->error(), qPrintable(page->error().value_or(QString())));
        QCOMPARE(f.site.requestsTo(u"/page"_s).size(), 1);
        const QStringList withPage = mappedEngineLibraries();
        QVERIFY2(mapsAll(withPage), qPrintable(withPage.join(u", "_s)));
        // The very file the build made, found by the loader, not one named for the test.
        QVERIFY(qEnvironmentVariableIsEmpty(EngineLoader::kPathVariable));
        QVERIFY2(withPage.contains(QFileInfo(EngineLoader::candidates().constLast()).canonicalFilePath()),
                 qPrintable(withPage.join(u", "_s)));
    }
};

TOVRA_TEST(EngineTest)
#include "tst_engine.moc"
