#include "models/detaillogic.h"

#include <QTest>
#include "support/testmain.h"

using namespace tovra;
using namespace tovra::titlepage;

namespace {
Torrent torrent(qint64 index, const QString &name, std::optional<QString> size = std::nullopt, qint64 price = 0)
{
    Torrent t;
    t.index = index;
    t.name = name;
    t.size = std::move(size);
    t.price = price;
    return t;
}

QStringList names(const QList<Torrent> &list)
{
    QStringList out;
    for (const Torrent &t : list)
        out.append(t.name);
    return out;
}
}

class TestDetailLogic : public QObject
{
    Q_OBJECT
private slots:
    void sizes_data()
    {
        QTest::addColumn<std::optional<QString>>("text");
        QTest::addColumn<double>("bytes");
        QTest::newRow("GB") << std::optional<QString>("1.5 GB") << 1610612736.0;
        QTest::newRow("lower mb") << std::optional<QString>("700mb") << 734003200.0;
        QTest::newRow("TB") << std::optional<QString>("2TB") << 2199023255552.0;
        QTest::newRow("KB") << std::optional<QString>("512 KB") << 524288.0;
        QTest::newRow("bytes") << std::optional<QString>("100B") << 100.0;
        QTest::newRow("N/A") << std::optional<QString>("N/A") << 0.0;
        QTest::newRow("none") << std::optional<QString>() << 0.0;
        QTest::newRow("thousands comma") << std::optional<QString>("1,024.5 MB") << 24.5 * 1048576;
        QTest::newRow("GiB") << std::optional<QString>("1.5 GiB") << 0.0;
        QTest::newRow("two dots") << std::optional<QString>("1.2.3 GB") << 0.0;
        QTest::newRow("leading dot") << std::optional<QString>(".5 KB") << 512.0;
    }
    void sizes()
    {
        QFETCH(std::optional<QString>, text);
        QFETCH(double, bytes);
        QCOMPARE(parseSize(text), bytes);
    }

    void episodes_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("kind");
        QTest::addColumn<qint64>("episode");
        QTest::newRow("complete") << "A 全10集" << 2 << qint64(10);
        QTest::newRow("spaced") << "A 全 24 集" << 2 << qint64(24);
        QTest::newRow("both: series wins") << "第3集 全24集" << 2 << qint64(24);
        QTest::newRow("overflow") << "全99999999999999999999集" << 2 << qint64(0);
        QTest::newRow("single") << "A 第2集" << 1 << qint64(2);
        QTest::newRow("range dash") << "A 第1-5集" << 1 << qint64(5);
        QTest::newRow("range fullwidth tilde") << "第 3 ～ 7 集" << 1 << qint64(7);
        QTest::newRow("range em dash") << "第01—12集" << 1 << qint64(12);
        QTest::newRow("season") << "第3季" << 0 << qint64(-1);
        QTest::newRow("all") << "全集" << 0 << qint64(-1);
        QTest::newRow("fullwidth digit") << "第３集" << 0 << qint64(-1);
    }
    void episodes()
    {
        QFETCH(QString, name);
        QFETCH(int, kind);
        QFETCH(qint64, episode);
        QCOMPARE(parseEpisode(name), (EpisodeKey{kind, episode}));
    }

    void episodeOrder()
    {
        const QList<Torrent> list{torrent(0, "A 第1集"), torrent(1, "A 第2集"), torrent(2, "A 全10集"),
                                  torrent(3, "A 合集"), torrent(4, "A 第1-5集"), torrent(5, "B 花絮")};
        const SortState episode{TorrentSort::episode, false};
        QCOMPARE(names(sorted(list, episode)),
                 (QStringList{"A 全10集", "A 第1-5集", "A 第2集", "A 第1集", "A 合集", "B 花絮"}));
        QCOMPARE(names(sorted(list, SortState{})), names(list));
    }

    void sizeOrderIsStable()
    {
        const QList<Torrent> list{torrent(0, "a", "1 GB"), torrent(1, "b", "1024 MB"), torrent(2, "c"),
                                  torrent(3, "d", "2 GB"), torrent(4, "e", "bad")};
        QCOMPARE(names(sorted(list, {TorrentSort::size, false})), (QStringList{"d", "a", "b", "c", "e"}));
        QCOMPARE(names(sorted(list, {TorrentSort::size, true})), (QStringList{"c", "e", "a", "b", "d"}));
    }

    void sortButtons()
    {
        SortState state;
        QList<SortState> seen;
        for (TorrentSort press : {TorrentSort::size, TorrentSort::size, TorrentSort::size, TorrentSort::episode,
                                  TorrentSort::episode, TorrentSort::size, TorrentSort::episode}) {
            state.toggle(press);
            seen.append(state);
        }
        const QList<SortState> expected{{TorrentSort::size, false}, {TorrentSort::size, true},
                                        {TorrentSort::size, false}, {TorrentSort::episode, false},
                                        {std::nullopt, false},      {TorrentSort::size, false},
                                        {TorrentSort::episode, false}};
        QCOMPARE(seen, expected);
    }

    void paidRule_data()
    {
        QTest::addColumn<qint64>("price");
        QTest::addColumn<bool>("member");
        QTest::addColumn<bool>("gate");
        QTest::addColumn<bool>("badge");
        QTest::addColumn<bool>("hint");
        QTest::newRow("free, guest") << qint64(0) << false << false << false << false;
        QTest::newRow("paid, guest") << qint64(5) << false << true << true << true;
        QTest::newRow("paid, member") << qint64(5) << true << false << false << false;
        QTest::newRow("negative, guest") << qint64(-1) << false << true << false << false;
        QTest::newRow("negative, member") << qint64(-1) << true << false << false << false;
    }
    void paidRule()
    {
        QFETCH(qint64, price);
        QFETCH(bool, member);
        const Torrent t = torrent(1, "x", std::nullopt, price);
        QTEST(needsMembership(t, member), "gate");
        QTEST(showsPrice(t, member), "badge");
        QTEST(showsPaidHint({torrent(0, "free"), t}, member), "hint");
    }

    void membership()
    {
        User vip;
        vip.isVip = true;
        QVERIFY(isMember(vip));
        QVERIFY(!isMember(User{}));
        QVERIFY(!isMember(std::nullopt));
        QCOMPARE(membershipMessage(5), QStringLiteral("这个种子需要 5 BT币，开通尊享会员后可以直接下载，不再单独扣币。"));
        QVERIFY(copyEnabled(std::nullopt));
        QVERIFY(copyEnabled(kCopyFailed));
        QVERIFY(!copyEnabled(kCopying));
        QVERIFY(!copyEnabled(kCopied));
    }

    void linkFilters_data()
    {
        QTest::addColumn<QString>("param");
        QTest::addColumn<QString>("title");
        QTest::newRow("tag") << "tag" << "动作类型的影片";
        QTest::newRow("star") << "star" << "动作主演的影片";
        QTest::newRow("director") << "director" << "动作导演的影片";
        QTest::newRow("country") << "country" << "动作地区的影片";
        QTest::newRow("other") << "Star" << "动作的影片";
    }
    void linkFilters()
    {
        QFETCH(QString, param);
        QFETCH(QString, title);
        const FilterRequest request = linkFilter(param, QStringLiteral("动作"));
        QCOMPARE(request.title, title);
        QCOMPARE(request.params, (QMap<QString, QString>{{param, QStringLiteral("动作")}}));
        QCOMPARE(yearFilter("2019"), (FilterRequest{"2019年上映的影片", {{"showtime", "2019"}}}));
        QCOMPARE(linkValues({"", "甲", "", "乙"}), (QStringList{"甲", "乙"}));
    }

    void years_data()
    {
        QTest::addColumn<std::optional<QString>>("showdate");
        QTest::addColumn<std::optional<QString>>("year");
        using S = std::optional<QString>;
        QTest::newRow("date") << S("2019-03-08") << S("2019");
        QTest::newRow("bare") << S("2019") << S("2019");
        QTest::newRow("suffix") << S("1999年") << S("1999");
        QTest::newRow("short") << S("20") << S();
        QTest::newRow("letters") << S("abcd") << S();
        QTest::newRow("none") << S() << S();
        QTest::newRow("pending") << S("待定") << S();
        QTest::newRow("fullwidth") << S("２０１９年") << S("２０１９");
    }
    void years()
    {
        QFETCH(std::optional<QString>, showdate);
        QFETCH(std::optional<QString>, year);
        QCOMPARE(titlepage::year(showdate), year);
    }

    void plainTexts_data()
    {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("text");
        QTest::newRow("paragraphs") << "<p>第一段</p><p>第二段</p>" << "第一段\n第二段";
        QTest::newRow("breaks") << "甲<br/>乙<br >丙" << "甲\n乙\n丙";
        QTest::newRow("upper-case break") << "A<BR>B" << "AB";
        QTest::newRow("double escape") << "&amp;lt;b&amp;gt;" << "<b>";
        QTest::newRow("nbsp trimmed") << "  &nbsp;文本&nbsp;  " << "文本";
        QTest::newRow("inner runs stay") << "a\n\n\nb  c&quot;" << "a\n\n\nb  c\"";
        QTest::newRow("empty paragraph") << "<p></p>" << "";
        QTest::newRow("other entities") << "&copy;&#39;" << "&copy;&#39;";
    }
    void plainTexts()
    {
        QFETCH(QString, html);
        QTEST(plainText(html), "text");
    }

    void scores_data()
    {
        QTest::addColumn<std::optional<QString>>("score");
        QTest::addColumn<std::optional<QString>>("shown");
        using S = std::optional<QString>;
        QTest::newRow("rounds") << S("7.56") << S("7.6");
        QTest::newRow("tie rounds to even") << S("8.25") << S("8.2");
        QTest::newRow("integral") << S("8.0") << S("8.0");
        QTest::newRow("one") << S("1") << S();
        QTest::newRow("zero") << S("0") << S();
        QTest::newRow("words") << S("暂无") << S();
        QTest::newRow("leading space") << S(" 8.0") << S();
        QTest::newRow("infinity") << S("inf") << S();
        QTest::newRow("none") << S() << S();
    }
    void scores()
    {
        QFETCH(std::optional<QString>, score);
        QTEST(scoreText(score), "shown");
    }

    void playTexts()
    {
        QCOMPARE(playButtonText(1, 1), QStringLiteral("播放"));
        QCOMPARE(playButtonText(3, 2), QStringLiteral("第 2 集"));
        QCOMPARE(playTitle("X", 1, 1), QStringLiteral("X"));
        QCOMPARE(playTitle("X", 3, 3), QStringLiteral("X 第3集"));
    }
};

TOVRA_TEST(TestDetailLogic)
#include "tst_detaillogic.moc"
