#include "support/testmain.h"
#include "views/logo.h"

#include <QImage>
#include <QPainter>
#include <QTest>

using tovra::TovraLogo;

class LogoTest : public QObject
{
    Q_OBJECT

private slots:
    void fit_data()
    {
        QTest::addColumn<QSizeF>("frame");
        QTest::addColumn<qreal>("scale");
        QTest::addColumn<qreal>("dx");
        QTest::addColumn<qreal>("dy");
        QTest::newRow("design size") << QSizeF(110, 100) << 1.0 << 0.0 << 0.0;
        QTest::newRow("wide frame") << QSizeF(220, 100) << 1.0 << 55.0 << 0.0;
        QTest::newRow("sidebar header") << QSizeF(26, 24) << 26.0 / 110 << 0.0 << (24 - 100 * 26.0 / 110) / 2;
        QTest::newRow("tall frame") << QSizeF(55, 100) << 0.5 << 0.0 << 25.0;
        QTest::newRow("no width") << QSizeF(0, 100) << 0.0 << 0.0 << 0.0;
        QTest::newRow("no height") << QSizeF(110, 0) << 0.0 << 0.0 << 0.0;
    }

    void fit()
    {
        QFETCH(QSizeF, frame);
        QFETCH(qreal, scale);
        QFETCH(qreal, dx);
        QFETCH(qreal, dy);
        const TovraLogo::Fit f = TovraLogo::fit(frame);
        QVERIFY(qFuzzyCompare(1 + f.scale, 1 + scale));
        QVERIFY(qFuzzyCompare(1 + f.dx, 1 + dx));
        QVERIFY(qFuzzyCompare(1 + f.dy, 1 + dy));
    }

    void drawsBracketsAndTriangle()
    {
        QImage image(110, 100, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            TovraLogo::paint(painter, QRectF(0, 0, 110, 100), QColor(53, 208, 127));
        }
        const auto inked = [&](int x, int y) { return qAlpha(image.pixel(x, y)) > 200; };
        QVERIFY(inked(18, 50));  // left bracket's upright
        QVERIFY(inked(25, 18));  // its top arm
        QVERIFY(inked(101, 50)); // right bracket's upright
        QVERIFY(inked(60, 50));  // inside the play triangle
        QVERIFY(!inked(40, 50)); // the gap between bracket and triangle
        QVERIFY(!inked(5, 5));
        QCOMPARE(QColor::fromRgba(image.pixel(60, 50)).rgb(), QColor(53, 208, 127).rgb());
        // Square caps reach half the line width beyond the arm's end.
        QVERIFY(inked(36, 18));
        QVERIFY(!inked(38, 18));
    }

    void anEmptyFrameDrawsNothing()
    {
        QImage image(20, 20, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            TovraLogo::paint(painter, QRectF(0, 0, 0, 20), Qt::black);
        }
        QImage blank(20, 20, QImage::Format_ARGB32_Premultiplied);
        blank.fill(Qt::transparent);
        QCOMPARE(image, blank);
    }
};

TOVRA_TEST(LogoTest)
#include "tst_logo.moc"
