#include "models/hlsplaylist.h"
#include "models/playerlogic.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QUrlQuery>
#include "support/testmain.h"

using namespace tovra;

using Variants = QList<hls::Variant>;
Q_DECLARE_METATYPE(hls::Variant)

namespace {
QString labels(const Variants &list)
{
    QStringList out;
    for (const auto &v : list)
        out << v.label + u'@' + QString::number(v.bandwidth);
    return out.join(u' ');
}
}

class PlayerLogicTest : public QObject
{
    Q_OBJECT
private slots:
    void hlsDetection_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("hls");
        QTest::newRow("upper case") << "https://m.example/v/index.M3U8" << true;
        QTest::newRow("with query") << "https://m.example/v/a.m3u8?x=1#f" << true;
        QTest::newRow("m3u8x") << "https://m.example/v/a.m3u8x" << false;
        QTest::newRow("mp4") << "https://m.example/v/movie.mp4" << false;
        QTest::newRow("no extension") << "https://m.example/play" << false;
        QTest::newRow("only in query") << "https://m.example/play?f=a.m3u8" << false;
        QTest::newRow("dot in folder") << "https://m.example/a.m3u8/play" << false;
        QTest::newRow("not a url") << "http://exa mple/a.m3u8" << false;
        QTest::newRow("empty") << "" << false;
    }
    void hlsDetection()
    {
        QFETCH(QString, address);
        QFETCH(bool, hls);
        QCOMPARE(player::isHLS(address), hls);
    }

    void trialAndResumeTexts_data()
    {
        QTest::addColumn<qint64>("et");
        QTest::addColumn<qint64>("minutes");
        QTest::newRow("1") << qint64(1) << qint64(1);
        QTest::newRow("59") << qint64(59) << qint64(1);
        QTest::newRow("119") << qint64(119) << qint64(1);
        QTest::newRow("120") << qint64(120) << qint64(2);
        QTest::newRow("3599") << qint64(3599) << qint64(59);
    }
    void trialAndResumeTexts()
    {
        QFETCH(qint64, et);
        QFETCH(qint64, minutes);
        QCOMPARE(player::trialBadgeText(et), QStringLiteral("试看 %1 分钟").arg(minutes));
        QCOMPARE(player::trialNotice(et), QStringLiteral("非会员试看 %1 分钟，开通会员可观看完整版").arg(minutes));
    }
    void noTrialAndResumeClock()
    {
        QVERIFY(!player::trialNotice(0));
        QVERIFY(!player::trialNotice(-5));
        QCOMPARE(player::resumeNotice(4), u"已从上次看到的 0:04 继续播放"_qs);
        QCOMPARE(player::resumeNotice(3725), u"已从上次看到的 62:05 继续播放"_qs);
        QCOMPARE(player::failureNotice(player::Failure::Other), u"播放失败：未知错误"_qs);
        QCOMPARE(player::failureNotice(player::Failure::Network), u"播放失败：网络连接失败，请检查网络后重试"_qs);
        QCOMPARE(player::failureNotice(player::Failure::PlayerEnded), u"播放失败：播放组件意外退出，请重试"_qs);
        QCOMPARE(player::failureNotice(player::Failure::PlayerHung), u"播放失败：播放组件停止响应，请重试"_qs);
        QCOMPARE(player::failureNotice(player::Failure::PlayerMissing), u"播放失败：播放组件无法启动，请重新安装客户端后再试"_qs);
    }

    void authedAddress_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("token");
        QTest::addColumn<QString>("query"); // with T for the time
        QTest::newRow("no query") << "https://m.example/a.m3u8" << "abc" << "t=T&token=abc&ct=0";
        QTest::newRow("existing query") << "https://m.example/a.m3u8?a=1#frag" << "abc" << "a=1&t=T&token=abc&ct=0";
        QTest::newRow("escaped token kept") << "https://m.example/a.m3u8" << "ab%2Bc=" << "t=T&token=ab%2Bc=&ct=0";
        QTest::newRow("token cannot add parameters")
            << "https://m.example/a.m3u8" << "x&ct=999#y" << "t=T&token=x%26ct=999%23y&ct=0";
        QTest::newRow("token blanks and plus") << "https://m.example/a.m3u8" << "a b+c" << "t=T&token=a%20b%2Bc&ct=0";
    }
    void authedAddress()
    {
        QFETCH(QString, address);
        QFETCH(QString, token);
        QFETCH(QString, query);
        const auto url = player::authedUrl(address, token, 1700000000123);
        QVERIFY(url);
        QCOMPARE(url->query(QUrl::FullyEncoded), QString(query).replace(u"T"_qs, u"1700000000123"_qs));
        QCOMPARE(url->path(), u"/a.m3u8"_qs);
        QCOMPARE(QUrlQuery(*url).allQueryItemValues(u"ct"_qs), QStringList{u"0"_qs});
    }
    void authedAddressRefusesOtherSchemes()
    {
        for (const char *bad : {"file:///etc/passwd.m3u8", "javascript:alert(1)//a.m3u8", "a.m3u8", "ftp://h/a.m3u8"})
            QVERIFY2(!player::authedUrl(QString::fromLatin1(bad), u"t"_qs, 1), bad);
    }

    void progressRule_data()
    {
        QTest::addColumn<qint64>("resumeAt"); // -1: no resume
        QTest::addColumn<QList<qint64>>("samples");
        QTest::addColumn<QList<qint64>>("reports");
        QTest::newRow("from zero") << qint64(-1) << QList<qint64>{0, 1, 14, 15, 16, 29, 30} << QList<qint64>{15, 30};
        QTest::newRow("after resume") << qint64(600) << QList<qint64>{600, 614, 615, 629, 630} << QList<qint64>{615, 630};
        QTest::newRow("seek back then forward") << qint64(-1) << QList<qint64>{40, 10, 54, 55, 200} << QList<qint64>{40, 55, 200};
    }
    void progressRule()
    {
        QFETCH(qint64, resumeAt);
        QFETCH(QList<qint64>, samples);
        QFETCH(QList<qint64>, reports);
        player::ProgressRule rule;
        if (resumeAt >= 0)
            rule.resumedAt(resumeAt);
        QList<qint64> sent;
        for (qint64 s : samples) {
            if (auto r = rule.sample(s))
                sent << *r;
        }
        QCOMPARE(sent, reports);
        QVERIFY(!player::ProgressRule::worthFinalReport(0));
        QVERIFY(player::ProgressRule::worthFinalReport(1));
    }
    void progressFormFields()
    {
        const Params form = player::progressForm(u"d 1&x"_qs, 3, 615, 0);
        QCOMPARE(form, (Params{{u"did"_qs, u"d 1&x"_qs}, {u"ep"_qs, u"3"_qs}, {u"pos"_qs, u"615"_qs}, {u"duration"_qs, u"0"_qs}}));
        QCOMPARE(player::wholeSeconds(15999), qint64(15));
        QCOMPARE(player::wholeSeconds(-1), qint64(0));
    }

    void variants_data()
    {
        QTest::addColumn<QByteArray>("playlist");
        QTest::addColumn<QString>("expected");
        QTest::newRow("three classes")
            << QByteArray("#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1200000,RESOLUTION=854x480\nlow.m3u8\n"
                          "#EXT-X-STREAM-INF:BANDWIDTH=5000000,RESOLUTION=1920x1080\nhi.m3u8\n"
                          "#EXT-X-STREAM-INF:BANDWIDTH=2800000,RESOLUTION=1280x720\nmid.m3u8\n")
            << "1080p@5000000 720p@2800000 480p@1200000";
        QTest::newRow("width classes, CRLF")
            << QByteArray("#EXT-X-STREAM-INF:BANDWIDTH=4,RESOLUTION=1920x800\r\n#EXT-X-STREAM-INF:BANDWIDTH=3,RESOLUTION=3840x2160\r\n"
                          "#EXT-X-STREAM-INF:BANDWIDTH=2,RESOLUTION=960x540\r\n#EXT-X-STREAM-INF:BANDWIDTH=1,RESOLUTION=899x500\r\n")
            << "1080p@4 4K@3 576p@2 480p@1";
        QTest::newRow("first of a label wins")
            << QByteArray("#EXT-X-STREAM-INF:BANDWIDTH=6000000,RESOLUTION=1920x1080\n#EXT-X-STREAM-INF:BANDWIDTH=4000000,RESOLUTION=1920x1080\n")
            << "1080p@6000000";
        QTest::newRow("kbps labels")
            << QByteArray("#EXT-X-STREAM-INF:BANDWIDTH=800000\n#EXT-X-STREAM-INF:BANDWIDTH=999\n"
                          "#EXT-X-STREAM-INF:RESOLUTION=1920X1080,BANDWIDTH=2000000\n#EXT-X-STREAM-INF:BANDWIDTH=+3000,RESOLUTION=x\n")
            << "2000kbps@2000000 800kbps@800000 3kbps@3000 0kbps@999";
        QTest::newRow("average bandwidth is not bandwidth")
            << QByteArray("#EXT-X-STREAM-INF:AVERAGE-BANDWIDTH=100,BANDWIDTH=700000,RESOLUTION=1280x720\n")
            << "720p@700000";
        QTest::newRow("hostile lines skipped")
            << QByteArray("#EXT-X-STREAM-INF:AVERAGE-BANDWIDTH=900\n#EXT-X-STREAM-INF:BANDWIDTH=\n"
                          "#EXT-X-STREAM-INF:BANDWIDTH=0\n#EXT-X-STREAM-INF:BANDWIDTH=-5\n#EXT-X-STREAM-INF:BANDWIDTH=1e6\n"
                          "#EXT-X-STREAM-INF:BANDWIDTH=99999999999999999999999\n#ext-x-stream-inf:BANDWIDTH=5\n"
                          " #EXT-X-STREAM-INF:BANDWIDTH=5\n#EXT-X-STREAM-INF:BANDWIDTH= 5\n"
                          "#EXT-X-STREAM-INF:BANDWIDTH=500000,RESOLUTION=<script>x1\u2028#EXT-X-STREAM-INF:BANDWIDTH=9000,RESOLUTION=99999999999999999999x1\n")
            << "500kbps@500000 9kbps@9000";
        QTest::newRow("media playlist") << QByteArray("#EXTM3U\n#EXTINF:10,\nseg1.ts\n") << "";
    }
    void variants()
    {
        QFETCH(QByteArray, playlist);
        QFETCH(QString, expected);
        const auto list = hls::parseVariants(playlist);
        QVERIFY(list);
        QCOMPARE(labels(*list), expected);
    }
    void variantAddressesAndBadBytes()
    {
        const auto list = hls::parseVariants(QByteArray("#EXT-X-STREAM-INF:BANDWIDTH=2,RESOLUTION=1280x720\n\n#EXT-X-MEDIA:X\nv/720.m3u8\n"
                                                        "#EXT-X-STREAM-INF:BANDWIDTH=1,RESOLUTION=640x360\n#EXT-X-ENDLIST\n"));
        QVERIFY(list);
        QCOMPARE(list->size(), 2);
        QCOMPARE(list->at(0).uri, u"v/720.m3u8"_qs);
        QCOMPARE(list->at(1).uri, QString());
        const auto plain = hls::parseVariants(QByteArray("#EXT-X-STREAM-INF:BANDWIDTH=2\n\n  v/a.m3u8  \n"));
        QCOMPARE(plain->at(0).uri, u"v/a.m3u8"_qs);
        QVERIFY(!hls::parseVariants(QByteArray("#EXT-X-STREAM-INF:BANDWIDTH=2\n\xff\xfe")));
    }

    void pageKeepsServerValuesInert()
    {
        const QString hostile = QStringLiteral("</script><script>alert(1)</script><!--\u2028\u2029&amp;'\"");
        PlayAuth auth{u"https://m.example/v.mp4?a=1&b=2"_qs, hostile, 150, 7};
        const QString page = player::shakaPage(auth, QUrl(u"https://media.example/base/"_qs),
                                               u"</title><script>alert(1)</script><!--"_qs);
        // Exactly the page's own two script elements: nothing of the token outside the JSON, and
        // the title (the catalogue's text too) only as text.
        QCOMPARE(page.count(u"<script"_qs), 2);
        QCOMPARE(page.count(u"</script>"_qs), 2);
        QVERIFY(!page.contains(QChar(0x2028)));
        QVERIFY(!page.contains(QChar(0x2029)));
        QVERIFY(!page.contains(u"<!--"_qs));
        QVERIFY(page.contains(u"src=\"https://media.example/base/shakaPlayer/shaka-player.ui.js\""_qs));
        QVERIFY(page.contains(u"href=\"https://media.example/base/shakaPlayer/controls.css\""_qs));

        // The request object reads back to the very values it was made from.
        const QString marker = u"const tovraRequest = "_qs;
        const qsizetype from = page.indexOf(marker) + marker.size();
        const QString json = page.mid(from, page.indexOf(u";\n"_qs, from) - from);
        const QJsonObject object = QJsonDocument::fromJson(json.toUtf8()).object();
        QCOMPARE(object.value(u"token"_qs).toString(), hostile);
        QCOMPARE(object.value(u"url"_qs).toString(), auth.url);
        QCOMPARE(object.value(u"et"_qs).toInteger(), 150);
        QCOMPARE(object.value(u"l"_qs).toInteger(), 7);
    }
    void pageRefusesNonWebAddresses()
    {
        for (const char *bad : {"javascript:alert(1)", "file:///etc/passwd", "data:text/html,x"}) {
            PlayAuth auth{QString::fromLatin1(bad), u"t"_qs, 0, 0};
            const QString object = player::requestObject(auth);
            QVERIFY2(object.contains(u"\"url\":\"\""_qs), qPrintable(object));
        }
        const QString media = player::shakaPage(PlayAuth{}, QUrl(u"https://m.example/x\"><b>/"_qs));
        QVERIFY(!media.contains(u"\"><b>"_qs));
    }
    void mediaAddressFromEnvironment()
    {
        qputenv("TOVRA_MEDIA_URL", "https://cdn.example/player");
        QCOMPARE(player::mediaAddress(), QUrl(u"https://cdn.example/player/"_qs));
        qputenv("TOVRA_MEDIA_URL", "file:///tmp/");
        QCOMPARE(player::mediaAddress().scheme().startsWith(u"http"_qs), true);
        qunsetenv("TOVRA_MEDIA_URL");
    }
};

TOVRA_TEST(PlayerLogicTest)
#include "tst_playerlogic.moc"
