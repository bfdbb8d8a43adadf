#include "support/testmain.h"
#include "views/components/pager.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

using tovra::Meta;
using tovra::Pager;

Q_DECLARE_METATYPE(std::optional<tovra::Meta>)

namespace {
Meta meta(std::optional<qint64> pages, std::optional<bool> hasMore, std::optional<qint64> page = std::nullopt)
{
    Meta m;
    m.pages = pages;
    m.hasMore = hasMore;
    m.page = page;
    return m;
}
}

class PagerTest : public QObject
{
    Q_OBJECT

private slots:
    void model_data()
    {
        QTest::addColumn<std::optional<Meta>>("meta");
        QTest::addColumn<qint64>("page");
        QTest::addColumn<bool>("shown");
        QTest::addColumn<bool>("previous");
        QTest::addColumn<bool>("next");
        QTest::addColumn<QString>("position");

        QTest::newRow("no meta") << std::optional<Meta>() << qint64(1) << false << false << false << QString();
        QTest::newRow("no page count") << std::optional<Meta>(meta(std::nullopt, true)) << qint64(1) << false << false
                                       << false << QString();
        QTest::newRow("one page") << std::optional<Meta>(meta(1, true)) << qint64(1) << false << false << false
                                  << QString();
        QTest::newRow("two pages, first, more") << std::optional<Meta>(meta(2, true)) << qint64(1) << true << false
                                                << true << QStringLiteral("第 1 / 2 页");
        QTest::newRow("two pages, first, has_more false")
            << std::optional<Meta>(meta(2, false)) << qint64(1) << true << false << false << QStringLiteral("第 1 / 2 页");
        // The next button trusts has_more alone, even when page < pages.
        QTest::newRow("has_more absent before the last page")
            << std::optional<Meta>(meta(10, std::nullopt)) << qint64(3) << true << true << false
            << QStringLiteral("第 3 / 10 页");
        QTest::newRow("has_more true past the page count")
            << std::optional<Meta>(meta(10, true)) << qint64(10) << true << true << true << QStringLiteral("第 10 / 10 页");
        // The pager shows its own page, never meta.page.
        QTest::newRow("meta.page ignored") << std::optional<Meta>(meta(5, true, 4)) << qint64(2) << true << true << true
                                           << QStringLiteral("第 2 / 5 页");
    }

    void model()
    {
        QFETCH(std::optional<Meta>, meta);
        QFETCH(qint64, page);
        QFETCH(bool, shown);
        QFETCH(bool, previous);
        QFETCH(bool, next);
        QFETCH(QString, position);

        const Pager::Model m = Pager::model(meta, page);
        QCOMPARE(m.shown, shown);
        QCOMPARE(m.previousEnabled, previous);
        QCOMPARE(m.nextEnabled, next);
        QCOMPARE(m.position, position);

        // The widget shows exactly what the model says.
        QWidget host;
        auto *layout = new QVBoxLayout(&host);
        auto *pager = new Pager(meta, page, {}, &host);
        layout->addWidget(pager);
        host.show();
        QCOMPARE(pager->isVisible(), shown);
        if (shown) {
            QCOMPARE(pager->previousButton()->isEnabled(), previous);
            QCOMPARE(pager->nextButton()->isEnabled(), next);
            QCOMPARE(pager->positionLabel()->text(), position);
            QCOMPARE(pager->previousButton()->text(), QStringLiteral("上一页"));
            QCOMPARE(pager->nextButton()->text(), QStringLiteral("下一页"));
        }
    }

    void buttonsAskForTheNeighbouringPages()
    {
        QList<qint64> asked;
        QWidget host;
        auto *layout = new QVBoxLayout(&host);
        auto *pager = new Pager(meta(9, true), 4, [&asked](qint64 page) { asked.append(page); }, &host);
        layout->addWidget(pager);
        host.show();

        QTest::mouseClick(pager->previousButton(), Qt::LeftButton);
        QTest::mouseClick(pager->nextButton(), Qt::LeftButton);
        QCOMPARE(asked, (QList<qint64>{3, 5}));
        // It never moves by itself: the screen gives it the new page.
        QCOMPARE(pager->page(), qint64(4));
        QCOMPARE(pager->positionLabel()->text(), QStringLiteral("第 4 / 9 页"));

        pager->setState(meta(9, true), 1);
        QTest::mouseClick(pager->previousButton(), Qt::LeftButton);
        QCOMPARE(asked, (QList<qint64>{3, 5}));
    }

    void takesNoRoomWithoutPages()
    {
        QWidget host;
        auto *layout = new QVBoxLayout(&host);
        auto *pager = new Pager(meta(3, true), 1, {}, &host);
        layout->addWidget(pager);
        host.show();
        QVERIFY(pager->isVisible());
        pager->setState(meta(1, false), 1);
        QVERIFY(!pager->isVisible());
        pager->setState(meta(3, true), 2);
        QVERIFY(pager->isVisible());
    }

    void aPagerMadeWithoutParentNeverOpensAWindow()
    {
        auto *pager = new Pager(meta(3, true), 1, {});
        QVERIFY(!pager->isVisible());
        QWidget host;
        auto *layout = new QVBoxLayout(&host);
        layout->addWidget(pager);
        host.show();
        QVERIFY(QTest::qWaitFor([&] { return pager->isVisible(); }, 1000));
    }
};

TOVRA_TEST(PagerTest)
#include "tst_pager.moc"
