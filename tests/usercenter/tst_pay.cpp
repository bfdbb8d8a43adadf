#include "ucbfixture.h"
#include "views/usercenter/payview.h"

#include <QLabel>
#include <QTextDocumentFragment>
#include "support/screentext.h"
#include "support/testmain.h"

using namespace tovra;
using namespace tovra::test;

namespace {
using Fixture = PageFixture<PayView>;

QByteArray qrPng()
{
    QImage image(29, 29, QImage::Format_RGB32);
    for (int y = 0; y < 29; ++y)
        for (int x = 0; x < 29; ++x)
            image.setPixel(x, y, (x * 7 + y * 13 + x * y) % 3 ? 0xFFFFFFFF : 0xFF000000);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QString balanceText(const PayView &view)
{
    return QTextDocumentFragment::fromHtml(view.balanceLabel()->text()).toPlainText();
}
}

class TestPay : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { Palette::installApplicationTheme(); }

    void tiers()
    {
        Fixture f;
        auto &view = f.open(f.site.url(QStringLiteral("static/qr.png")));
        QCOMPARE(view.selectedTier(), 2);
        QVERIFY(view.tierButtons().at(2)->isChecked());
        view.tierButtons().at(0)->click();
        QCOMPARE(view.selectedTier(), 0);
        QVERIFY(view.tierButtons().at(0)->isChecked());
        QVERIFY(!view.tierButtons().at(2)->isChecked());
        // Signed out: no balance, and the refresh button still works (it has nothing to ask).
        QVERIFY(!view.balanceLabel()->isVisible());
        view.refreshBalance();
        QVERIFY(waitFor([&] { return !view.isRefreshing(); }));
        // Information only: choosing a tier asks the site nothing.
        QVERIFY(waitFor([&] { return view.qrState() != PayView::QrState::Loading; }));
        QCOMPARE(f.site.requests().size(), 1);
    }

    void qrPicture_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("shown");
        QTest::newRow("picture") << 200 << qrPng() << true;
        QTest::newRow("error page with 200") << 200 << QByteArray("<html>维护中</html>") << false;
        QTest::newRow("404") << 404 << QByteArray("not found") << false;
        QTest::newRow("picture with 404") << 404 << qrPng() << true;
        QTest::newRow("picture with 500") << 500 << qrPng() << true;
    }
    // Fetched once per showing, straight from the site: no API headers, no token.
    void qrPicture()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, shown);
        Fixture f;
        QVERIFY(f.signInAs(userJson(3)));
        f.site.route(QStringLiteral("/static/qr.png"), FakeSite::Reply().withStatus(status).withBody(body));
        auto &view = f.open(f.site.url(QStringLiteral("static/qr.png")));
        QVERIFY(waitFor([&] { return view.qrState() != PayView::QrState::Loading; }));
        QCOMPARE(view.qrState(), shown ? PayView::QrState::Shown : PayView::QrState::Failed);
        QCOMPARE(view.retryButton()->isVisible(), !shown);
        const auto sent = f.site.requestsTo("/static/qr.png");
        QCOMPARE(sent.size(), 1);
        QVERIFY(!sent.at(0).hasHeader("Authorization"));
        QVERIFY(sent.at(0).header("Accept") != "application/json");
    }

    void retryAfterFailure()
    {
        Fixture f;
        f.site.enqueue("/static/qr.png", FakeSite::Reply().withStatus(500));
        f.site.route(QStringLiteral("/static/qr.png"), FakeSite::Reply().withBody(qrPng()).withDelay(200));
        auto &view = f.open(f.site.url(QStringLiteral("static/qr.png")));
        QVERIFY(waitFor([&] { return view.qrState() == PayView::QrState::Failed; }));
        view.retryButton()->click();
        QCOMPARE(view.qrState(), PayView::QrState::Loading);
        QVERIFY(waitFor([&] { return view.qrState() == PayView::QrState::Shown; }));
        QCOMPARE(f.count("/static/qr.png"), 2);
    }

    // Only web addresses are fetched; anything else fails without a request.
    void refusedAddress()
    {
        Fixture f;
        auto &view = f.open(QUrl(QStringLiteral("file:///etc/passwd")));
        QCOMPARE(view.qrState(), PayView::QrState::Failed);
        QVERIFY(f.site.requests().isEmpty());
    }

    void balanceRefresh()
    {
        Fixture f;
        QVERIFY(f.signInAs(userJson(0)));
        auto &view = f.open(f.site.url(QStringLiteral("static/qr.png")));
        QVERIFY(view.balanceLabel()->isVisible());
        QCOMPARE(balanceText(view), QStringLiteral("当前 BT币：0"));

        f.site.route(QStringLiteral("/api/me"), FakeSite::ok(userJson(350)).withDelay(300));
        view.refreshButton()->click();
        QCOMPARE(view.refreshButton()->text(), QStringLiteral("刷新中…"));
        QVERIFY(!view.refreshButton()->isEnabled());
        view.refreshBalance();
        QVERIFY(waitFor([&] { return !view.isRefreshing(); }));
        QCOMPARE(view.refreshButton()->text(), QStringLiteral("刷新余额"));
        QVERIFY(view.refreshButton()->isEnabled());
        QCOMPARE(balanceText(view), QStringLiteral("当前 BT币：350"));
        // One reload for the sign-in, one for the press; the second call while busy sent nothing.
        QCOMPARE(f.count("/api/me"), 2);
        QCOMPARE(f.site.requestsTo("/api/me").last().header("Authorization"), QByteArray("Bearer token-7"));

        // A 401 signs out: the balance disappears and the button comes back.
        f.site.route(QStringLiteral("/api/me"), FakeSite::json(FakeSite::envelope(401, "请重新登录")));
        view.refreshBalance();
        QVERIFY(waitFor([&] { return !view.isRefreshing(); }));
        QVERIFY(!view.balanceLabel()->isVisible());
        QVERIFY(view.refreshButton()->isEnabled());
    }

    void grab()
    {
        Fixture f;
        QVERIFY(f.signInAs(userJson(1280)));
        f.site.route(QStringLiteral("/static/qr.png"), FakeSite::Reply().withBody(qrPng()));
        f.frame.resize(760, 760);
        auto &view = f.open(f.site.url(QStringLiteral("static/qr.png")));
        QVERIFY(waitFor([&] { return view.qrState() == PayView::QrState::Shown; }));
        QVERIFY(f.grabBoth(QStringLiteral("usercenter-pay")));
        const QStringList texts = shownTexts(&f.frame);
        for (const char *text : {"¥9.9", "¥100", "1500 枚 BT 币"})
            QVERIFY2(texts.contains(QString::fromUtf8(text)), text);
        QVERIFY(view.balanceLabel()->text().contains(QStringLiteral("1280")));
    }
};

TOVRA_TEST(TestPay)
#include "tst_pay.moc"
