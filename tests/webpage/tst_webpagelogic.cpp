#include "models/webpagelogic.h"

#include <QTest>
#include <QTimeZone>
#include "support/testmain.h"

using namespace tovra;

class TestWebPageLogic : public QObject
{
    Q_OBJECT
private slots:
    void addresses_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("opens");
        QTest::newRow("https") << "https://www.example.com/bbs?tab=1#top" << true;
        QTest::newRow("http with port") << "http://127.0.0.1:8080/" << true;
        QTest::newRow("upper-case scheme") << "HTTPS://example.com/" << true;
        QTest::newRow("qrc") << "qrc:/icons/tv.svg" << false;
        QTest::newRow("ftp") << "ftp://example.com/a" << false;
        QTest::newRow("relative") << "/ranking" << false;
        QTest::newRow("no host") << "http:///path" << false;
        QTest::newRow("empty") << "" << false;
    }
    void addresses()
    {
        QFETCH(QString, text);
        QFETCH(bool, opens);
        const auto url = webpage::pageAddress(text);
        QCOMPARE(url.has_value(), opens);
        if (opens)
            QVERIFY(url->scheme() == u"http" || url->scheme() == u"https");
    }

    void cookiesFollowTheListRule_data()
    {
        QTest::addColumn<std::optional<QList<WebCookieItem>>>("list");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("absent") << std::optional<QList<WebCookieItem>>() << QStringList{"sid=top"};
        QTest::newRow("empty") << std::optional<QList<WebCookieItem>>(QList<WebCookieItem>{}) << QStringList{};
        QTest::newRow("three, in order")
            << std::optional<QList<WebCookieItem>>(QList<WebCookieItem>{{"c", "3"}, {"a", "1"}, {"b", "2"}})
            << QStringList{"c=3", "a=1", "b=2"};
        QTest::newRow("unsound pairs skipped")
            << std::optional<QList<WebCookieItem>>(QList<WebCookieItem>{
                   {"", "x"}, {"a", "1; Domain=evil.example"}, {"b=c", "2"}, {"d", "line\nbreak"}, {"ok", "昵称"}})
            << QStringList{"ok=昵称"};
    }
    void cookiesFollowTheListRule()
    {
        QFETCH(std::optional<QList<WebCookieItem>>, list);
        QFETCH(QStringList, expected);
        WebCookie reply{u"sid"_qs, u"top"_qs, u".example.com"_qs, 1893456000.0, list};
        QStringList got;
        for (const QNetworkCookie &c : webpage::cookiesToSet(reply)) {
            got.append(QString::fromUtf8(c.name() + '=' + c.value()));
            QCOMPARE(c.domain(), u".example.com"_qs);
            QCOMPARE(c.path(), u"/"_qs);
            QCOMPARE(c.expirationDate().toSecsSinceEpoch(), 1893456000);
        }
        QCOMPARE(got, expected);
    }

    void expiryAndFailureTexts()
    {
        QCOMPARE(webpage::expiryDate(0), QDateTime(QDate(1970, 1, 1), QTime(0, 0), QTimeZone::utc()));
        // Far beyond what a date holds: clamped, not wrapped into the past.
        QVERIFY(webpage::expiryDate(1e300) > QDateTime::currentDateTimeUtc());
        QCOMPARE(webpage::loadFailureText(-202, u"net::ERR_CERT_AUTHORITY_INVALID"_qs), u"此服务器的证书无效。"_qs);
        QCOMPARE(webpage::loadFailureText(-999, u"net::ERR_X"_qs), u"页面加载失败（net::ERR_X）"_qs);
    }
};

TOVRA_TEST(TestWebPageLogic)
#include "tst_webpagelogic.moc"
