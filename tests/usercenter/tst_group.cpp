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

    void address()
    {
        const QUrl url = GroupView::defaultAddress();
        QCOMPARE(url.scheme(), QStringLiteral("https"));
        QVERIFY(!url.host().isEmpty());
        QCOMPARE(url.path(), kPath);
        QVERIFY(!url.hasQuery());
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
    }
};

TOVRA_TEST(TestGroup)
#include "tst_group.moc"
