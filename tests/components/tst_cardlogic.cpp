#include "support/testmain.h"
#include "views/components/cardlogic.h"
#include "views/palette.h"

#include <QTest>

using namespace tovra;

Q_DECLARE_METATYPE(std::optional<QString>)
Q_DECLARE_METATYPE(std::optional<qint64>)

namespace {
std::optional<QString> text(const char *value)
{
    return value ? std::optional<QString>(QString::fromUtf8(value)) : std::nullopt;
}
}

class CardLogicTest : public QObject
{
    Q_OBJECT

private slots:
    void score_data()
    {
        QTest::addColumn<std::optional<QString>>("score");
        QTest::addColumn<std::optional<QString>>("chip");
        QTest::newRow("8.26") << text("8.26") << text("8.3");
        // Exact binary ties round to even, as printf does; 8.35 lies just below its tie.
        QTest::newRow("tie 8.25") << text("8.25") << text("8.2");
        QTest::newRow("tie 6.75") << text("6.75") << text("6.8");
        QTest::newRow("8.35") << text("8.35") << text("8.3");
        QTest::newRow("7") << text("7") << text("7.0");
        QTest::newRow("1.0 is not above 1") << text("1.0") << text(nullptr);
        QTest::newRow("1.01") << text("1.01") << text("1.0");
        QTest::newRow("0.9") << text("0.9") << text(nullptr);
        QTest::newRow("abc") << text("abc") << text(nullptr);
        QTest::newRow("empty") << text("") << text(nullptr);
        QTest::newRow("blank before") << text(" 7.5") << text(nullptr);
        QTest::newRow("blank after") << text("7.5 ") << text(nullptr);
        QTest::newRow("trailing text") << text("7.5分") << text(nullptr);
        QTest::newRow("absent") << text(nullptr) << text(nullptr);
        QTest::newRow("infinity is no score") << text("inf") << text(nullptr);
        QTest::newRow("nan is no score") << text("nan") << text(nullptr);
        QTest::newRow("hex is no score") << text("0x1p3") << text(nullptr);
        QTest::newRow("exponent") << text("8e0") << text("8.0");
        QTest::newRow("huge but finite") << text("1e400") << text(nullptr);
    }

    void score()
    {
        QFETCH(std::optional<QString>, score);
        QFETCH(std::optional<QString>, chip);
        QCOMPARE(card::scoreText(score), chip);
    }

    void year_data()
    {
        QTest::addColumn<std::optional<QString>>("showdate");
        QTest::addColumn<std::optional<QString>>("year");
        QTest::newRow("full date") << text("2021-07-01") << text("2021");
        QTest::newRow("year only") << text("1999") << text("1999");
        QTest::newRow("three characters") << text("202") << text(nullptr);
        QTest::newRow("letters first") << text("July 2021") << text(nullptr);
        QTest::newRow("digit then letter") << text("20a1-01-01") << text(nullptr);
        QTest::newRow("absent") << text(nullptr) << text(nullptr);
        QTest::newRow("empty") << text("") << text(nullptr);
        QTest::newRow("full-width digits") << text("２０２１年") << text("２０２１");
        QTest::newRow("Arabic-Indic digits") << text("٢٠٢١-01") << text("٢٠٢١");
        QTest::newRow("Chinese numerals") << text("二零二一年") << text("二零二一");
        QTest::newRow("Chinese words") << text("今年上映") << text(nullptr);
    }

    void year()
    {
        QFETCH(std::optional<QString>, showdate);
        QFETCH(std::optional<QString>, year);
        QCOMPARE(card::year(showdate), year);
    }

    // What a screen reader says for a card: the shown score and year only, never the raw texts.
    void accessibleName_data()
    {
        QTest::addColumn<std::optional<QString>>("score");
        QTest::addColumn<std::optional<QString>>("showdate");
        QTest::addColumn<QString>("name");
        QTest::newRow("both") << text("8.26") << text("2019-03-08") << QStringLiteral("星河 & 往事，评分 8.3，2019");
        QTest::newRow("no score chip") << text("1.0") << text("2019") << QStringLiteral("星河 & 往事，2019");
        QTest::newRow("no year") << text("7") << text("今年") << QStringLiteral("星河 & 往事，评分 7.0");
        QTest::newRow("neither") << text(nullptr) << text(nullptr) << QStringLiteral("星河 & 往事");
    }

    void accessibleName()
    {
        QFETCH(std::optional<QString>, score);
        QFETCH(std::optional<QString>, showdate);
        QFETCH(QString, name);
        Item item;
        item.title = QStringLiteral("星河 & 往事");
        item.score = score;
        item.showdate = showdate;
        QCOMPARE(card::accessibleName(item), name);
    }

    void rankColors_data()
    {
        QTest::addColumn<qint64>("rank");
        QTest::addColumn<QColor>("background");
        QTest::addColumn<QColor>("text");
        QTest::newRow("1 gold") << qint64(1) << QColor(0xF5C518) << QColor(0x1A1200);
        QTest::newRow("2 silver") << qint64(2) << QColor(0xC9D2DA) << QColor(0x14181C);
        QTest::newRow("3 bronze") << qint64(3) << QColor(0xD08A4F) << QColor(0x1A1200);
        const QColor darkChip = QColor::fromRgbF(10 / 255.0, 13 / 255.0, 16 / 255.0, 0.72);
        QTest::newRow("0") << qint64(0) << darkChip << QColor(0xD9DBDC);
        QTest::newRow("4") << qint64(4) << darkChip << QColor(0xD9DBDC);
        QTest::newRow("12") << qint64(12) << darkChip << QColor(0xD9DBDC);
        QTest::newRow("negative") << qint64(-1) << darkChip << QColor(0xD9DBDC);
    }

    void rankColors()
    {
        QFETCH(qint64, rank);
        QFETCH(QColor, background);
        QFETCH(QColor, text);
        const card::RankColors colors = card::rankColors(rank);
        QCOMPARE(colors.background.rgba(), background.rgba());
        QCOMPARE(colors.text.rgba(), text.rgba());
    }

    void corner_data()
    {
        QTest::addColumn<std::optional<qint64>>("rank");
        QTest::addColumn<std::optional<QString>>("charDate");
        QTest::addColumn<std::optional<QString>>("showdate");
        QTest::addColumn<std::optional<QString>>("today");
        QTest::addColumn<bool>("hovering");
        QTest::addColumn<int>("corner");

        const auto none = std::optional<qint64>();
        using C = card::Corner;
        QTest::newRow("rank wins over updated and year")
            << std::optional<qint64>(1) << text("2024-05-01") << text("2020-01-01") << text("2024-05-01") << false
            << int(C::Rank);
        QTest::newRow("rank 0 still a rank") << std::optional<qint64>(0) << text(nullptr) << text("2020") << text(nullptr)
                                             << false << int(C::Rank);
        QTest::newRow("updated today") << none << text("2024-05-01") << text("2020-01-01") << text("2024-05-01") << false
                                       << int(C::Updated);
        QTest::newRow("updated today, hovered: the year") << none << text("2024-05-01") << text("2020-01-01")
                                                          << text("2024-05-01") << true << int(C::Year);
        QTest::newRow("updated today, hovered, no year: nothing")
            << none << text("2024-05-01") << text(nullptr) << text("2024-05-01") << true << int(C::None);
        QTest::newRow("another day: the year") << none << text("2024-04-30") << text("2020-01-01") << text("2024-05-01")
                                               << false << int(C::Year);
        QTest::newRow("no today, no charDate: never updated")
            << none << text(nullptr) << text(nullptr) << text(nullptr) << false << int(C::None);
        QTest::newRow("no today") << none << text("2024-05-01") << text(nullptr) << text(nullptr) << false
                                  << int(C::None);
        QTest::newRow("exact text only") << none << text("2024-5-1") << text(nullptr) << text("2024-05-01") << false
                                         << int(C::None);
    }

    void corner()
    {
        QFETCH(std::optional<qint64>, rank);
        QFETCH(std::optional<QString>, charDate);
        QFETCH(std::optional<QString>, showdate);
        QFETCH(std::optional<QString>, today);
        QFETCH(bool, hovering);
        QFETCH(int, corner);
        Item item;
        item.rank = rank;
        item.charDate = charDate;
        item.showdate = showdate;
        QCOMPARE(int(card::topTrailing(item, today, hovering)), corner);
    }

    void infoRowsDropEmptiesThenCap()
    {
        Item item;
        item.director = {QString(), QStringLiteral("甲"), QStringLiteral("乙"), QStringLiteral("丙")};
        item.stars = {QStringLiteral("a"), QStringLiteral("b"), QString(), QStringLiteral("c"), QStringLiteral("d"),
                      QStringLiteral("e")};
        item.country = {QStringLiteral("中国大陆")};
        item.tags = QStringList{QStringLiteral("剧情"), QStringLiteral("爱情"), QStringLiteral("喜剧"),
                                QStringLiteral("动作")};
        item.alias = QStringLiteral("别的名字");

        const QList<card::InfoRow> rows = card::infoRows(item);
        QCOMPARE(rows.size(), 5);
        QCOMPARE(rows.at(0), (card::InfoRow{QStringLiteral("别名"), {QStringLiteral("别的名字")}}));
        QCOMPARE(rows.at(1).label, QStringLiteral("类型"));
        QCOMPARE(rows.at(1).values.size(), 3);
        QCOMPARE(rows.at(2).label, QStringLiteral("导演"));
        QCOMPARE(rows.at(2).joined(), QStringLiteral("甲  乙"));
        QCOMPARE(rows.at(3).label, QStringLiteral("主演"));
        QCOMPARE(rows.at(3).values, (QStringList{"a", "b", "c", "d"}));
        QCOMPARE(rows.at(4), (card::InfoRow{QStringLiteral("地区"), {QStringLiteral("中国大陆")}}));
    }

    void infoRowsOfAnEmptyRecord()
    {
        Item item;
        item.alias = QString();
        item.tags = QStringList{QString()};
        item.director = {QString(), QString()};
        QVERIFY(card::infoRows(item).isEmpty());
    }

    void cardColoursAreFixed()
    {
        QCOMPARE(CardStyle::score().rgba(), QColor(53, 208, 127).rgba());
        QCOMPARE(CardStyle::yearText().rgba(), QColor(0xD9DBDC).rgba());
        QCOMPARE(CardStyle::chipBg().rgb(), QColor(0x0A0D10).rgb());
        QVERIFY(qAbs(CardStyle::chipBg().alphaF() - 0.72) < 0.005);
        QCOMPARE(CardStyle::title(false), Palette::text(false));
        QCOMPARE(CardStyle::title(true), Palette::text(true));
    }
};

TOVRA_TEST(CardLogicTest)
#include "tst_cardlogic.moc"
