#include "buildconfig.h"
#include "support/screentext.h"
#include "support/testmain.h"
#include "uccfixture.h"
#include "views/usercenter/groupview.h"

#include <QFileInfo>
#include <QPushButton>
#include <QTest>

using namespace tovra;
using namespace tovra::test;

namespace {
using Fixture = UccFixture<GroupView>;
enum Form { Code = 0, Failed = 1, Progress = 2 };
const QString kPath = QStringLiteral("/external/static/image/wx_group.webp");
}

class TestGroup : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { Palette::installApplicationTheme(); }

    // The web host of a local site keeps its scheme and port; anything else is the built-in host.
    void address_data()
    {
        QTest::addColumn<QByteArray>("web");
        QTest::addColumn<QString>("origin");
        const QString builtIn = QStringLiteral("https://") + QUrl(QString::fromUtf8(build::kWebUrl)).host();
        QTest::newRow("unset") << QByteArray() << builtIn;
        QTest::newRow("local site") << QByteArray("http://127.0.0.1:8123/web?x=1") << QStringLiteral("http://127.0.0.1:8123");
        QTest::newRow("file") << QByteArray("file:///etc/passwd") << builtIn;
        QTest::newRow("no host") << QByteArray("https:///x") << builtIn;
    }
    void address()
    {
        QFETCH(QByteArray, web);
        QFETCH(QString, origin);
        const QByteArray saved = qgetenv("TOVRA_WEB_URL");
        qputenv("TOVRA_WEB_URL", web);
        const QUrl url = GroupView::defaultAddress();
        qputenv("TOVRA_WEB_URL", saved);
        QCOMPARE(url.toString(QUrl::RemovePath | QUrl::RemoveQuery), origin);
        QCOMPARE(url.path(), kPath);
        QVERIFY(!url.hasQuery());
    }

    // Only the body counts: a picture is shown whatever status it came with.
    void pictureWhateverStatus_data()
    {
        QTest::addColumn<int>("status");
        QTest::newRow("200") << 200;
        QTest::newRow("404") << 404;
        QTest::newRow("503") << 503;
    }
    void pictureWhateverStatus()
    {
        QFETCH(int, status);
        Fixture f;
        f.site.route(kPath, FakeSite::Reply().withStatus(status).withBody(pngBytes(QSize(120, 120))));
        GroupView &view = f.show(f.site.url(kPath));
        QVERIFY(waitFor([&] { return view.shownForm() != Progress; }));
        QCOMPARE(view.shownForm(), int(Code));
        QCOMPARE(view.image().size(), QSize(120, 120));
    }

    // The code is a plain picture of the web site: the client's headers and token stay home.
    void fetchesWithoutClientHeaders()
    {
        Fixture f;
        QVERIFY(f.signIn(false));
        f.site.route(kPath, FakeSite::Reply().withHeader("Content-Type", "image/webp").withBody(pngBytes(QSize(300, 200))));
        GroupView &view = f.show(f.site.url(kPath));
        QCOMPARE(view.shownForm(), int(Progress));
        QVERIFY(waitFor([&] { return view.shownForm() == Code; }));
        const auto sent = f.requests(kPath);
        QCOMPARE(sent.size(), 1);
        QVERIFY(!sent.at(0).hasHeader("Authorization"));
        QVERIFY(sent.at(0).header("Accept") != QByteArray("application/json"));
        QCOMPARE(view.image().size(), QSize(300, 200));
    }

    void failures_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("html 404") << 404 << QByteArray("<html><body>Not Found</body></html>");
        QTest::newRow("not an image") << 200 << QByteArray("GIF89a but not really");
        QTest::newRow("empty") << 200 << QByteArray();
    }
    void failures()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        Fixture f;
        f.site.enqueue(kPath, FakeSite::Reply().withStatus(status).withBody(body));
        f.site.route(kPath, FakeSite::Reply().withBody(pngBytes(QSize(210, 210))).withDelay(200));
        GroupView &view = f.show(f.site.url(kPath));
        QVERIFY(waitFor([&] { return view.shownForm() == Failed; }));
        QVERIFY(view.failed());
        view.retryButton()->click();
        // The failure box gives way at once, before the fetch ends.
        QCOMPARE(view.shownForm(), int(Progress));
        QVERIFY(waitFor([&] { return view.shownForm() == Code; }));
        QCOMPARE(f.requests(kPath).size(), 2);
    }

    void refusedAddress()
    {
        Fixture f;
        GroupView &view = f.show(QUrl(QStringLiteral("file:///etc/passwd")));
        QVERIFY(waitFor([&] { return view.shownForm() == Failed; }));
    }

    void laterFailureKeepsCode()
    {
        Fixture f;
        f.site.enqueue(kPath, FakeSite::Reply().withBody(pngBytes(QSize(210, 210))));
        f.site.route(kPath, FakeSite::Reply().withStatus(500));
        GroupView &view = f.show(f.site.url(kPath));
        QVERIFY(waitFor([&] { return view.shownForm() == Code; }));
        f.images->clearMemory();
        view.load();
        QVERIFY(waitFor([&] { return view.failed(); }));
        QCOMPARE(view.shownForm(), int(Code));
        QVERIFY(!view.image().isNull());
    }

    void grab_data()
    {
        addAppearanceRows();
    }
    void grab()
    {
        QFETCH(bool, dark);
        Fixture f;
        forceAppearance(dark);
        f.paintBackground(dark);
        f.site.route(kPath, FakeSite::Reply().withBody(pngBytes(QSize(420, 420))));
        GroupView &view = f.show(f.site.url(kPath));
        QVERIFY(waitFor([&] { return view.shownForm() == Code; }));
        const QString file = grabToPng(&f.frame, dark ? QStringLiteral("group-dark") : QStringLiteral("group-light"));
        QVERIFY(QFileInfo(file).size() > 0);
        const QStringList texts = shownTexts(&f.frame);
        QVERIFY(texts.contains(QStringLiteral("官方信息交流群")));
        QVERIFY(texts.contains(QStringLiteral("扫码加入，获取最新公告和站点动态")));
        QVERIFY2(clippedTexts(&f.frame).isEmpty(), qPrintable(clippedTexts(&f.frame).join(u'|')));
    }
};

TOVRA_TEST(TestGroup)
#include "tst_group.moc"
