#include "support/testmain.h"
#include "views/components/flowlayout.h"

#include <QTest>
#include <QWidget>

using tovra::FlowLayout;

namespace {
// A widget whose preferred size is fixed, as a chip would be.
class Block : public QWidget
{
public:
    Block(QSize size, QWidget *parent) : QWidget(parent), m_size(size) {}
    QSize sizeHint() const override { return m_size; }

private:
    QSize m_size;
};
}

class FlowLayoutTest : public QObject
{
    Q_OBJECT

private slots:
    void placement_data()
    {
        QTest::addColumn<QList<QSize>>("sizes");
        QTest::addColumn<int>("width");
        QTest::addColumn<QList<QRect>>("frames");
        QTest::addColumn<QSize>("size");

        QTest::newRow("nothing") << QList<QSize>{} << 100 << QList<QRect>{} << QSize(0, 0);
        QTest::newRow("nothing, unbounded") << QList<QSize>{} << FlowLayout::kUnbounded << QList<QRect>{} << QSize(0, 0);
        QTest::newRow("unbounded: one line, widths plus gaps")
            << QList<QSize>{{40, 10}, {60, 20}, {30, 15}} << FlowLayout::kUnbounded
            << QList<QRect>{{0, 0, 40, 10}, {50, 0, 60, 20}, {120, 0, 30, 15}} << QSize(150, 20);
        // 40 + 10 + 50 = 100 exactly: the second item stays on the first line.
        QTest::newRow("exact fit stays") << QList<QSize>{{40, 10}, {50, 10}} << 100
                                         << QList<QRect>{{0, 0, 40, 10}, {50, 0, 50, 10}} << QSize(100, 10);
        QTest::newRow("one over wraps") << QList<QSize>{{40, 10}, {51, 12}} << 100
                                        << QList<QRect>{{0, 0, 40, 10}, {0, 15, 51, 12}} << QSize(51, 27);
        QTest::newRow("wider than the width, first: stays, overhangs, width capped")
            << QList<QSize>{{150, 10}, {20, 10}} << 100 << QList<QRect>{{0, 0, 150, 10}, {0, 15, 20, 10}}
            << QSize(100, 25);
        QTest::newRow("wider than the width, later: own line")
            << QList<QSize>{{20, 10}, {150, 30}, {20, 10}} << 100
            << QList<QRect>{{0, 0, 20, 10}, {0, 15, 150, 30}, {0, 50, 20, 10}} << QSize(100, 60);
        QTest::newRow("line height is the tallest; lines top-aligned")
            << QList<QSize>{{30, 10}, {30, 25}, {30, 5}, {30, 8}} << 100
            << QList<QRect>{{0, 0, 30, 10}, {40, 0, 30, 25}, {0, 30, 30, 5}, {40, 30, 30, 8}} << QSize(70, 38);
    }

    void placement()
    {
        QFETCH(QList<QSize>, sizes);
        QFETCH(int, width);
        QFETCH(QList<QRect>, frames);
        QFETCH(QSize, size);
        const auto placed = FlowLayout::place(sizes, width, 10, 5);
        QCOMPARE(placed.frames, frames);
        QCOMPARE(placed.size, size);
    }

    void placementStartsAtTheOrigin()
    {
        const auto placed = FlowLayout::place({{40, 10}, {60, 10}}, 100, 10, 5, QPoint(7, 9));
        QCOMPARE(placed.frames, (QList<QRect>{{7, 9, 40, 10}, {7, 24, 60, 10}}));
        QCOMPARE(placed.size, QSize(60, 25));
    }

    void layoutPlacesWidgetsAndSkipsHiddenOnes()
    {
        QWidget host;
        auto *flow = new FlowLayout(8, 6, &host);
        flow->setContentsMargins(2, 3, 2, 3);
        auto *a = new Block({50, 20}, &host);
        auto *hidden = new Block({500, 20}, &host);
        auto *b = new Block({50, 30}, &host);
        auto *c = new Block({50, 20}, &host);
        for (QWidget *w : {static_cast<QWidget *>(a), static_cast<QWidget *>(hidden), static_cast<QWidget *>(b),
                           static_cast<QWidget *>(c)})
            flow->addWidget(w);
        hidden->hide();

        // Inner width 120: a and b fit (50 + 8 + 50), c wraps.
        QVERIFY(flow->hasHeightForWidth());
        QCOMPARE(flow->heightForWidth(124), 3 + 30 + 6 + 20 + 3);
        host.resize(124, flow->heightForWidth(124));
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        QCOMPARE(a->geometry(), QRect(2, 3, 50, 20));
        QCOMPARE(b->geometry(), QRect(60, 3, 50, 30));
        QCOMPARE(c->geometry(), QRect(2, 39, 50, 20));
        QCOMPARE(flow->sizeHint(), QSize(2 + 50 + 8 + 50 + 8 + 50 + 2, 3 + 30 + 3));
    }
};

TOVRA_TEST(FlowLayoutTest)
#include "tst_flowlayout.moc"
