#include "support/testmain.h"
#include "views/icons.h"

#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QTest>
#include <QXmlStreamReader>

using tovra::Icons;

namespace {
// Pixels drawn at all, and whether every drawn pixel has the tint's hue.
struct Ink
{
    int drawn = 0;
    int offColour = 0;
};

Ink inkOf(const QImage &image, const QColor &tint)
{
    Ink ink;
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x) {
            const QColor c = QColor::fromRgba(argb.pixel(x, y));
            if (c.alpha() < 128)
                continue;
            ++ink.drawn;
            if (qAbs(c.red() - tint.red()) > 2 || qAbs(c.green() - tint.green()) > 2 || qAbs(c.blue() - tint.blue()) > 2)
                ++ink.offColour;
        }
    }
    return ink;
}
}

class IconsTest : public QObject
{
    Q_OBJECT

private slots:
    void theSidebarSetIsComplete()
    {
        QCOMPARE(Icons::navNames().size(), 13);
        for (const QString &name : Icons::navNames())
            QVERIFY2(Icons::contains(name), qPrintable(name));
    }

    void navNamesResolveExactly_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("drawn");
        QTest::newRow("film") << "film" << "film";
        QTest::newRow("tv") << "tv" << "tv";
        QTest::newRow("capital letter is another name") << "Film" << "tags";
        QTest::newRow("empty") << "" << "tags";
        QTest::newRow("unknown") << "rocket" << "tags";
        // A symbol we draw elsewhere is still not a sidebar icon.
        QTest::newRow("not a sidebar icon") << "chevron.left" << "tags";
    }

    void navNamesResolveExactly()
    {
        QFETCH(QString, name);
        QFETCH(QString, drawn);
        QCOMPARE(Icons::resolveNav(name), drawn);
    }

    void everyDocumentFollowsTheHouseStyle()
    {
        const QStringList names = Icons::names();
        QVERIFY(names.size() >= 60);
        for (const QString &name : names) {
            const QByteArray svg = Icons::svg(name, QColor(0x12, 0x34, 0x56));
            QVERIFY2(!svg.contains("currentColor"), qPrintable(name));
            QXmlStreamReader xml(svg);
            QVERIFY(xml.readNextStartElement());
            QCOMPARE(xml.name(), QStringLiteral("svg"));
            const auto attrs = xml.attributes();
            QCOMPARE(attrs.value(QStringLiteral("viewBox")), QStringLiteral("0 0 24 24"));
            QCOMPARE(attrs.value(QStringLiteral("stroke-width")), QStringLiteral("2"));
            QCOMPARE(attrs.value(QStringLiteral("stroke-linecap")), QStringLiteral("round"));
            QCOMPARE(attrs.value(QStringLiteral("stroke-linejoin")), QStringLiteral("round"));
            QSvgRenderer renderer(svg);
            QVERIFY2(renderer.isValid(), qPrintable(name));
        }
    }

    void iconsTakeTheColourTheyAreGiven()
    {
        const QColor tint(0x0F, 0xA0, 0x5C);
        for (const QString &name : Icons::names()) {
            const QPixmap pm = Icons::pixmap(name, tint, 24, 1.0);
            QCOMPARE(pm.size(), QSize(24, 24));
            const Ink ink = inkOf(pm.toImage(), tint);
            QVERIFY2(ink.drawn > 12, qPrintable(name));
            QVERIFY2(ink.offColour == 0, qPrintable(name));
        }
    }

    void unknownNamesDrawTheFallback()
    {
        const QColor tint(Qt::red);
        QCOMPARE(Icons::pixmap(QStringLiteral("no-such-icon"), tint, 16, 1.0).toImage(),
                 Icons::pixmap(QStringLiteral("tags"), tint, 16, 1.0).toImage());
    }

    void renderedForThePixelRatio()
    {
        const QPixmap pm = Icons::pixmap(QStringLiteral("house"), Qt::black, 16, 2.0);
        QCOMPARE(pm.size(), QSize(32, 32));
        QCOMPARE(pm.devicePixelRatio(), 2.0);
        const QPixmap fractional = Icons::pixmap(QStringLiteral("house"), Qt::black, 16, 1.25);
        QCOMPARE(fractional.size(), QSize(20, 20));
    }

    void translucentColoursKeepTheirAlpha()
    {
        QColor half(Qt::blue);
        half.setAlphaF(0.5f);
        const QImage image = Icons::pixmap(QStringLiteral("square.grid.2x2"), half, 24, 1.0).toImage();
        int maxAlpha = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                maxAlpha = qMax(maxAlpha, qAlpha(image.pixel(x, y)));
        QVERIFY(maxAlpha > 100 && maxAlpha < 150);
    }

    void qiconRendersAtAnySize()
    {
        const QIcon icon = Icons::icon(QStringLiteral("chevron.left"), QColor(Qt::darkGreen));
        const QPixmap small = icon.pixmap(QSize(12, 12));
        const QPixmap large = icon.pixmap(QSize(48, 48));
        QCOMPARE(small.size(), QSize(12, 12));
        QCOMPARE(large.size(), QSize(48, 48));
        QVERIFY(inkOf(large.toImage(), QColor(Qt::darkGreen)).drawn > 30);
        const QPixmap disabled = icon.pixmap(QSize(24, 24), QIcon::Disabled);
        QVERIFY(!disabled.isNull());
    }
};

TOVRA_TEST(IconsTest)
#include "tst_icons.moc"
