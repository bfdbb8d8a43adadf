#include "downloadfixture.h"
#include "views/components/stateoverlay.h"
#include "views/components/symbolview.h"
#include "views/download/torrenttree.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include "support/testmain.h"

using namespace tovra;
using namespace tovra::test;
using Action = downloads::DownAction;

namespace {
// The action has left its busy text, one way or the other.
bool settled(DownloadView &v, Action a)
{
    return waitFor([&] { return v.actionState(a) && *v.actionState(a) != downloads::busyText(a); });
}
}

class TestDownloadView : public QObject
{
    Q_OBJECT
private slots:
    void loadsAndShowsTree()
    {
        DownloadFixture f;
        f.site.route(QStringLiteral("/api/down"), FakeSite::ok(torrentDetailJson()).withDelay(150));
        auto view = f.page(2);
        QCOMPARE(view->shown(), DownloadView::Shown::Loading);
        QCOMPARE(view->navigationTitle(), QStringLiteral("种子下载"));
        QVERIFY(waitFor([&] { return view->shown() == DownloadView::Shown::Content; }));
        QCOMPARE(f.queries("/api/down").first(), (QMap<QString, QString>{{"did", "d1"}, {"n", "2"}}));
        QCOMPARE(view->navigationTitle(), QStringLiteral("星河 S01 1080p"));
        QCOMPARE(view->nameLabel()->text(), QStringLiteral("星河 S01 1080p"));
        QCOMPARE(view->nameLabel()->textFormat(), Qt::PlainText);
        QCOMPARE(view->sizeLabel()->text(), QStringLiteral("3.6 GB"));

        TorrentTree *tree = view->tree();
        QCOMPARE(tree->rowCount(), 3);
        QCOMPARE(tree->icon(0)->name(), QStringLiteral("folder.fill"));
        QCOMPARE(tree->icon(2)->name(), QStringLiteral("film"));
        QVERIFY(!tree->children(0)->isVisible());
        QCOMPARE(tree->chevron(0)->name(), QStringLiteral("chevron.right"));
        QTest::mouseClick(tree->row(0), Qt::LeftButton);
        QVERIFY(tree->children(0)->isVisible());
        QCOMPARE(tree->chevron(0)->name(), QStringLiteral("chevron.down"));
        QTest::mouseClick(tree->row(0), Qt::LeftButton);
        QVERIFY(!tree->children(0)->isVisible());
    }

    void failedLoadRetries()
    {
        DownloadFixture f;
        f.site.enqueue(QStringLiteral("/api/down"), FakeSite::json(FakeSite::envelope(500, QStringLiteral("维护中"))));
        f.site.route(QStringLiteral("/api/down"), FakeSite::ok(R"({"title":"只有标题","files":[]})"));
        auto view = f.page();
        QVERIFY(waitFor([&] { return view->shown() == DownloadView::Shown::Error; }));
        QCOMPARE(view->overlay()->messageText(), APIError::server(500, QStringLiteral("维护中")).description());
        view->overlay()->retryButton()->click();
        QVERIFY(waitFor([&] { return view->shown() == DownloadView::Shown::Content; }));
        QCOMPARE(view->navigationTitle(), QStringLiteral("只有标题"));
        QCOMPARE(view->emptyTreeLabel()->text(), QStringLiteral("没有文件明细"));
        QVERIFY(!view->sizeLabel()->isVisible());
    }

    void copyThenOpenReusesLinks()
    {
        DownloadFixture f;
        f.site.route(QStringLiteral("/api/down"), FakeSite::ok(torrentDetailJson()));
        f.site.route(QStringLiteral("/api/res"), FakeSite::ok("{\"magnet\":\"magnet:?xt=urn:btih:ABC\",\"xl\":\"thunder://QUFodHRwOi8vZS5jb20vWlo=\"}"));
        auto view = f.page();
        QVERIFY(waitFor([&] { return view->shown() == DownloadView::Shown::Content; }));

        view->button(Action::Copy)->click();
        QCOMPARE(view->button(Action::Copy)->text(), QStringLiteral("复制中…"));
        QVERIFY(!view->button(Action::Copy)->isEnabled());
        QVERIFY(view->button(Action::Magnet)->isEnabled());
        QVERIFY(settled(*view, Action::Copy));
        QCOMPARE(view->button(Action::Copy)->text(), QStringLiteral("复制成功"));
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("magnet:?xt=urn:btih:ABC"));
        QCOMPARE(f.queries("/api/res").first().value("type"), QStringLiteral("0"));

        view->button(Action::Xl)->click();
        QVERIFY(settled(*view, Action::Xl));
        QCOMPARE(view->button(Action::Xl)->text(), QStringLiteral("已下载"));
        // The held links serve: no second request, and the base64 payload keeps its case.
        QCOMPARE(f.requests("/api/res").size(), 1);
        QCOMPARE(f.opened, QStringList{"thunder://QUFodHRwOi8vZS5jb20vWlo="});
    }

    void refusesForeignSchemes()
    {
        DownloadFixture f;
        f.site.route(QStringLiteral("/api/down"), FakeSite::ok(torrentDetailJson()));
        f.site.route(QStringLiteral("/api/res"), FakeSite::ok("{\"magnet\":\"javascript:alert(1)\",\"xl\":\"file:///etc/passwd\"}"));
        auto view = f.page();
        QVERIFY(waitFor([&] { return view->shown() == DownloadView::Shown::Content; }));
        for (Action a : {Action::Magnet, Action::Xl}) {
            view->button(a)->click();
            QVERIFY(settled(*view, a));
            QCOMPARE(*view->actionState(a), QStringLiteral("获取失败"));
            QCOMPARE(view->messageLabel()->text(), QStringLiteral("没有获取到资源，请稍后重试"));
        }
        QVERIFY(f.opened.isEmpty());
        // The failure text goes after two seconds; the message stays until the next action.
        QVERIFY(waitFor([&] { return !view->actionState(Action::Xl); }, 4000));
        QCOMPARE(view->button(Action::Xl)->text(), QStringLiteral("迅雷下载"));
        QVERIFY(view->messageLabel()->isVisible());
        f.site.route(QStringLiteral("/api/res"), FakeSite::ok("{}").withDelay(300));
        view->button(Action::Bt)->click();
        QVERIFY(!view->messageLabel()->isVisible());
        QVERIFY(settled(*view, Action::Bt));
    }

    // A link nothing on the desktop takes is a failure the user is told about, never a success.
    void linkWithoutHandler_data()
    {
        QTest::addColumn<int>("action");
        QTest::addColumn<bool>("handler");
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("message");
        QTest::newRow("magnet, none") << int(Action::Magnet) << false << "获取失败" << "没有可以打开该链接的应用";
        QTest::newRow("thunder, none") << int(Action::Xl) << false << "获取失败" << "没有可以打开该链接的应用";
        QTest::newRow("magnet, taken") << int(Action::Magnet) << true << "已下载" << "";
    }
    void linkWithoutHandler()
    {
        QFETCH(int, action);
        QFETCH(bool, handler);
        DownloadFixture f;
        f.handlerFound = handler;
        f.site.route(QStringLiteral("/api/down"), FakeSite::ok(torrentDetailJson()));
        f.site.route(QStringLiteral("/api/res"), FakeSite::ok("{\"magnet\":\"magnet:?xt=urn:btih:ABC\",\"xl\":\"thunder://QUFodHRwOi8vZS5jb20vWlo=\"}"));
        auto view = f.page();
        QVERIFY(waitFor([&] { return view->shown() == DownloadView::Shown::Content; }));
        const Action a = Action(action);
        view->button(a)->click();
        QVERIFY(settled(*view, a));
        QCOMPARE(f.opened.size(), 1);
        QTEST(*view->actionState(a), "state");
        QTEST(view->messageLabel()->isVisible() ? view->messageLabel()->text() : QString(), "message");
    }

    void savesIntoChosenFolder()
    {
        DownloadFixture f;
        f.api->setTokenProvider([] { return QStringLiteral("token-1"); });
        f.saveStraightInto(f.folder);
        for (const char *taken : {"x.torrent", "x (2).torrent"}) {
            QFile file(f.folder + "/" + taken);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        const QByteArray bytes = torrentBytes(101);
        f.site.route(QStringLiteral("/api/down"), FakeSite::ok(torrentDetailJson(QStringLiteral("x"))));
        f.site.route(QStringLiteral("/api/res"), FakeSite::ok(QJsonDocument(QJsonObject{{"bturl", f.site.url("files/x.torrent").toString()}}).toJson()));
        f.site.route(QStringLiteral("/files/x.torrent"), FakeSite::text(bytes));
        auto view = f.page();
        QVERIFY(waitFor([&] { return view->shown() == DownloadView::Shown::Content; }));
        view->button(Action::Bt)->click();
        QVERIFY(settled(*view, Action::Bt));
        QCOMPARE(*view->actionState(Action::Bt), QStringLiteral("已保存"));
        QCOMPARE(f.queries("/api/res").first().value("type"), QStringLiteral("1"));

        const QString target = f.folder + QStringLiteral("/x (3).torrent");
        QFile saved(target);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), bytes);
        QCOMPARE(f.revealed, QStringList{target});
        QVERIFY(f.dialogAsked.isEmpty());
        // The torrent's host gets neither the site's token nor its headers.
        const FakeSite::Request download = f.requests("/files/x.torrent").first();
        QVERIFY(!download.hasHeader("Authorization"));
        QVERIFY(download.header("Accept") != "application/json");
        QVERIFY(f.requests("/api/res").first().hasHeader("Authorization"));

        // bt always asks anew, and never overwrites what it saved before.
        view->button(Action::Bt)->click();
        QVERIFY(settled(*view, Action::Bt));
        QCOMPARE(f.requests("/api/res").size(), 2);
        QVERIFY(QFile::exists(f.folder + QStringLiteral("/x (4).torrent")));
    }

    void saveFailures_data()
    {
        QTest::addColumn<QString>("bturl");
        QTest::addColumn<FakeSite::Reply>("file");
        QTest::addColumn<QString>("message");
        const QString empty = QStringLiteral("种子文件地址暂时取不到，可以先用磁力下载");
        QTest::newRow("404") << "files/a.torrent" << FakeSite::text(torrentBytes(), 404)
                             << APIError::server(404, QStringLiteral("种子文件下载失败")).description();
        QTest::newRow("199") << "files/a.torrent" << FakeSite::text(torrentBytes(), 199)
                             << APIError::server(199, QStringLiteral("种子文件下载失败")).description();
        QTest::newRow("100 bytes") << "files/a.torrent" << FakeSite::text(torrentBytes(100)) << empty;
        QTest::newRow("not bencoded") << "files/a.torrent" << FakeSite::text("<html>" + QByteArray(200, ' ')) << empty;
        QTest::newRow("file scheme") << "file:///etc/passwd" << FakeSite::text(torrentBytes()) << empty;
        QTest::newRow("empty") << "" << FakeSite::text(torrentBytes()) << empty;
        QTest::newRow("cut off") << "files/a.torrent" << FakeSite::text(torrentBytes()).closingMidBody()
                                 << APIClient::networkMessage(QNetworkReply::RemoteHostClosedError);
        QTest::newRow("refused") << "http://127.0.0.1:1/a.torrent" << FakeSite::text(torrentBytes())
                                 << QStringLiteral("网络连接失败，请检查网络后重试");
    }
    void saveFailures()
    {
        QFETCH(QString, bturl);
        QFETCH(FakeSite::Reply, file);
        QFETCH(QString, message);
        DownloadFixture f;
        f.saveStraightInto(f.folder);
        const QString address = bturl.startsWith("files/") ? f.site.url(bturl).toString() : bturl;
        f.site.route(QStringLiteral("/api/down"), FakeSite::ok(torrentDetailJson()));
        f.site.route(QStringLiteral("/api/res"), FakeSite::ok(QJsonDocument(QJsonObject{{"bturl", address}}).toJson()));
        f.site.route(QStringLiteral("/files/a.torrent"), file);
        auto view = f.page();
        QVERIFY(waitFor([&] { return view->shown() == DownloadView::Shown::Content; }));
        view->button(Action::Bt)->click();
        QVERIFY(settled(*view, Action::Bt));
        QCOMPARE(*view->actionState(Action::Bt), QStringLiteral("获取失败"));
        QCOMPARE(view->messageLabel()->text(), message);
        QVERIFY(QDir(f.folder).isEmpty());
        QVERIFY(f.revealed.isEmpty());
    }

    void dialogCancelAndChoice()
    {
        DownloadFixture f;
        f.site.route(QStringLiteral("/api/down"), FakeSite::ok(torrentDetailJson(QStringLiteral("A/B: C?"))));
        f.site.route(QStringLiteral("/api/res"), FakeSite::ok(QJsonDocument(QJsonObject{{"bturl", f.site.url("files/a.torrent").toString()}}).toJson()));
        f.site.route(QStringLiteral("/files/a.torrent"), FakeSite::text(torrentBytes()));
        auto view = f.page();
        QVERIFY(waitFor([&] { return view->shown() == DownloadView::Shown::Content; }));
        view->button(Action::Bt)->click();
        QVERIFY(waitFor([&] { return !view->actionState(Action::Bt); }));
        QCOMPARE(f.dialogAsked, QStringList{QDir(AppSettings::shared().defaultTorrentDirectory()).filePath("A_B_ C_.torrent")});
        QVERIFY(!view->message());
        QCOMPARE(view->button(Action::Bt)->text(), QStringLiteral("种子下载"));

        // A file the user picked and confirmed is replaced.
        const QString chosen = f.folder + QStringLiteral("/mine.torrent");
        QFile old(chosen);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old");
        old.close();
        f.dialogAnswer = chosen;
        view->button(Action::Bt)->click();
        QVERIFY(settled(*view, Action::Bt));
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), torrentBytes());

        f.dialogAnswer = f.folder + QStringLiteral("/typed");
        view->button(Action::Bt)->click();
        QVERIFY(settled(*view, Action::Bt) && QFile::exists(f.folder + QStringLiteral("/typed.torrent")));
    }
};

TOVRA_TEST(TestDownloadView)
#include "tst_downloadview.moc"
