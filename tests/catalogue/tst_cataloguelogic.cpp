#include "models/cataloguelogic.h"
#include "models/loadgeneration.h"

#include <QTest>
#include <cmath>
#include <limits>
#include "support/testmain.h"

Q_DECLARE_METATYPE(tovra::catalogue::BrowseFilters)

using namespace tovra;
using namespace tovra::catalogue;

namespace {
Item item(const QString &did)
{
    Item i;
    i.did = did;
    i.title = QStringLiteral("片") + did;
    return i;
}

QStringList keys(const QMap<QString, QString> &query)
{
    QStringList out;
    for (auto it = query.begin(); it != query.end(); ++it)
        out.append(it.key() + QLatin1Char('=') + it.value());
    return out;
}
}

class TestCatalogueLogic : public QObject
{
    Q_OBJECT
private slots:
    void hotColumns_data()
    {
        QTest::addColumn<double>("width");
        QTest::addColumn<int>("columns");
        QTest::newRow("0") << 0.0 << 5;
        QTest::newRow("-10") << -10.0 << 5;
        QTest::newRow("nan") << std::nan("") << 5;
        QTest::newRow("100") << 100.0 << 1;
        QTest::newRow("503") << 503.0 << 1;
        QTest::newRow("504") << 504.0 << 2;
        QTest::newRow("767") << 767.0 << 2;
        QTest::newRow("768") << 768.0 << 3;
        QTest::newRow("1296") << 1296.0 << 5;
        QTest::newRow("3000") << 3000.0 << 5;
        QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << 5;
    }
    void hotColumns()
    {
        QFETCH(double, width);
        QFETCH(int, columns);
        QCOMPARE(catalogue::hotColumns(width), columns);
    }

    void rankBadges()
    {
        QCOMPARE(rankBadgeBackground(1), std::optional<QColor>(QColor(0xF5, 0xC5, 0x18)));
        QCOMPARE(rankBadgeBackground(2), std::optional<QColor>(QColor(0xC9, 0xD2, 0xDA)));
        QCOMPARE(rankBadgeBackground(3), std::optional<QColor>(QColor(0xD0, 0x8A, 0x4F)));
        QVERIFY(!rankBadgeBackground(4));
        QCOMPARE(rankBadgeDigits(1), std::optional<QColor>(QColor(0x1A, 0x12, 0x00)));
        QCOMPARE(rankBadgeDigits(2), std::optional<QColor>(QColor(0x14, 0x18, 0x1C)));
        QCOMPARE(rankBadgeDigits(3), rankBadgeDigits(1));
        QVERIFY(!rankBadgeDigits(4));
        QCOMPARE(heatText(1234), QStringLiteral("1234℃"));
        QCOMPARE(downloadCountText(12), QStringLiteral("12 次"));
    }

    void sectionsFollowTheRecord()
    {
        HomeData data;
        QVERIFY(posterSections(data).isEmpty());

        data.follow = {item("1")};
        data.erotica = {item("2")};
        data.tv = {item("3")};
        data.new_ = {item("4")};
        data.list = {item("5")};
        data.categoryTv = QStringLiteral("电视剧");
        data.moreTv = QStringLiteral("2");
        const auto sections = posterSections(data);
        QCOMPARE(sections.size(), 5);
        QStringList titles;
        for (const auto &s : sections)
            titles.append(s.title);
        QCOMPARE(titles, (QStringList{"热门关注", "人间情暖", "狂热追剧", "年最新", "最近更新"}));
        // No category for the romance section: no link; more_tv never makes one.
        QVERIFY(!sections[1].more);
        QCOMPARE(sections[2].more, std::optional<QString>(QStringLiteral("电视剧")));
        QVERIFY(!sections[0].more && !sections[3].more && !sections[4].more);

        data.year = QStringLiteral("2025");
        data.categoryEro = QStringLiteral("爱情 & 家庭");
        data.follow.clear();
        const auto again = posterSections(data);
        QCOMPARE(again.size(), 4);
        QCOMPARE(again[0].slot, 3);
        QCOMPARE(again[0].more, std::optional<QString>(QStringLiteral("爱情 & 家庭")));
        QCOMPARE(again[2].title, QStringLiteral("2025年最新"));
    }

    void totals_data()
    {
        QTest::addColumn<std::optional<qint64>>("total");
        QTest::addColumn<bool>("hasMeta");
        QTest::addColumn<QString>("text");
        QTest::newRow("no meta") << std::optional<qint64>() << false << QString();
        QTest::newRow("no total") << std::optional<qint64>() << true << QString();
        QTest::newRow("zero") << std::optional<qint64>(0) << true << QString();
        QTest::newRow("negative") << std::optional<qint64>(-3) << true << QString();
        QTest::newRow("one") << std::optional<qint64>(1) << true << QStringLiteral("共 1 部");
        QTest::newRow("37") << std::optional<qint64>(37) << true << QStringLiteral("共 37 部");
    }
    void totals()
    {
        QFETCH(std::optional<qint64>, total);
        QFETCH(bool, hasMeta);
        QFETCH(QString, text);
        std::optional<Meta> meta;
        if (hasMeta) {
            meta.emplace();
            meta->total = total;
        }
        QCOMPARE(totalText(meta).value_or(QString()), text);
    }

    void searchEmptyTextQuotesExactly()
    {
        QCOMPARE(searchEmptyText(QStringLiteral(" 流浪 地球, ")), QStringLiteral("没有找到「 流浪 地球, 」相关的资源"));
        QCOMPARE(searchEmptyText(QStringLiteral("<b>x</b>")), QStringLiteral("没有找到「<b>x</b>」相关的资源"));
    }

    void tagParent_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<std::optional<qint64>>("pid");
        QTest::newRow("empty") << QString() << std::optional<qint64>();
        QTest::newRow("digits") << QStringLiteral("12") << std::optional<qint64>(12);
        QTest::newRow("plus") << QStringLiteral("+7") << std::optional<qint64>(7);
        QTest::newRow("minus") << QStringLiteral("-7") << std::optional<qint64>(-7);
        QTest::newRow("zero") << QStringLiteral("0") << std::optional<qint64>(0);
        QTest::newRow("space") << QStringLiteral(" 1") << std::optional<qint64>();
        QTest::newRow("letters") << QStringLiteral("1a") << std::optional<qint64>();
        QTest::newRow("sign only") << QStringLiteral("-") << std::optional<qint64>();
        QTest::newRow("fullwidth") << QStringLiteral("１２") << std::optional<qint64>();
        QTest::newRow("max") << QStringLiteral("9223372036854775807") << std::optional<qint64>(9223372036854775807LL);
        QTest::newRow("overflow") << QStringLiteral("9223372036854775808") << std::optional<qint64>();
    }
    void tagParent()
    {
        QFETCH(QString, id);
        QFETCH(std::optional<qint64>, pid);
        QCOMPARE(categoryTagParent(id), pid);
    }

    void query_data()
    {
        QTest::addColumn<BrowseFilters>("filters");
        QTest::addColumn<QStringList>("sent");
        QTest::newRow("start values") << BrowseFilters{} << QStringList{"column=电影", "sort=0"};
        BrowseFilters all;
        all.tag = QStringLiteral("科幻");
        all.year = 2024;
        all.country = 3;
        all.onlyTorrent = true;
        all.onlyPlayable = true;
        all.sort = 2;
        QTest::newRow("everything") << all
                                    << QStringList{"column=电影", "countryID=3", "isbt=1", "isplay=1",
                                                   "sort=2", "tag=科幻", "year=2024"};
        BrowseFilters anyValue;
        anyValue.year = 0;
        anyValue.country = -1;
        QTest::newRow("any year, any region") << anyValue << QStringList{"column=电影", "sort=0"};
        BrowseFilters emptyTag;
        emptyTag.tag = QString();
        QTest::newRow("a chip with an empty name is still a chip")
            << emptyTag << QStringList{"column=电影", "sort=0", "tag="};
    }
    void query()
    {
        QFETCH(BrowseFilters, filters);
        QFETCH(QStringList, sent);
        QCOMPARE(keys(browseQuery(QStringLiteral("电影"), filters)), sent);
    }

    void reloadCount()
    {
        BrowseFilters start;
        BrowseFilters changed;
        QCOMPARE(reloadsFor(start, changed), 0);
        changed.tag = QStringLiteral("x");
        QCOMPARE(reloadsFor(start, changed), 0);
        changed.year = 2020;
        changed.onlyPlayable = true;
        changed.sort = 1;
        QCOMPARE(reloadsFor(changed, start), 3);
        changed.country = 4;
        changed.onlyTorrent = true;
        QCOMPARE(reloadsFor(start, changed), 5);
    }

    void categoryKeyIsAPair()
    {
        NavItem a;
        a.id = QStringLiteral("1");
        a.name = QStringLiteral("23");
        NavItem b;
        b.id = QStringLiteral("12");
        b.name = QStringLiteral("3");
        QVERIFY(CategoryKey::of(a) != CategoryKey::of(b));
        NavItem c = a;
        c.icon = QStringLiteral("film");
        c.newCount = 4;
        QVERIFY(CategoryKey::of(a) == CategoryKey::of(c));
    }

    void generations()
    {
        LoadGeneration generation;
        const auto first = generation.begin();
        QVERIFY(generation.isCurrent(first));
        const auto second = generation.begin();
        QVERIFY(!generation.isCurrent(first));
        QVERIFY(generation.isCurrent(second));
        generation.invalidate();
        QVERIFY(!generation.isCurrent(second));
    }
};

TOVRA_TEST(TestCatalogueLogic)
#include "tst_cataloguelogic.moc"
