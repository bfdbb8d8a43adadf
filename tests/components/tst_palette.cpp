#include "appearance.h"
#include "store/themestore.h"
#include "support/testenv.h"
#include "support/testmain.h"
#include "views/palette.h"

#include <QApplication>
#include <QCheckBox>
#include <QStyleOptionButton>
#include <QProxyStyle>
#include <QStyle>
#include <QTest>
#include <QWidget>

using tovra::Palette;

class PaletteTest : public QObject
{
    Q_OBJECT

private slots:
    void colours_data()
    {
        QTest::addColumn<int>("name");
        QTest::addColumn<QString>("light");
        QTest::addColumn<QString>("dark");
        QTest::addColumn<qreal>("alphaLight");
        QTest::addColumn<qreal>("alphaDark");
        using N = Palette::Name;
        const auto row = [](const char *tag, N n, const char *l, const char *d, qreal al = 1, qreal ad = 1) {
            QTest::newRow(tag) << int(n) << QString::fromLatin1(l) << QString::fromLatin1(d) << al << ad;
        };
        row("text", N::Text, "#17211d", "#e7ecef");
        row("textDim", N::TextDim, "#56655f", "#7c8894");
        row("textFaint", N::TextFaint, "#93a19b", "#4b535c");
        row("surface", N::Surface, "#ffffff", "#12161b");
        row("surface2", N::Surface2, "#e7ece9", "#171c22");
        row("border", N::Border, "#d3dad7", "#232a32");
        row("borderSoft", N::BorderSoft, "#dee4e1", "#1b2129");
        row("accent", N::Accent, "#0fa05c", "#35d07f");
        row("accentDim", N::AccentDim, "#0fa05c", "#35d07f", 0.12, 0.14);
        row("onAccent", N::OnAccent, "#ffffff", "#06130b");
        row("warn", N::Warn, "#c07c00", "#f5a623");
        row("error", N::Error, "#c4463d", "#ff5d5d");
        row("navNew", N::NavNew, "#f03a3f", "#ff4a4f");
        row("metaLink", N::MetaLink, "#7a5d2a", "#c9a063");
        row("metaLinkHover", N::MetaLinkHover, "#5c461f", "#e0c08a");
        row("copiedBg", N::CopiedBg, "#f3f3f3", "#191919");
        row("copiedText", N::CopiedText, "#6a6a6a", "#8b8b8b");
    }

    void colours()
    {
        QFETCH(int, name);
        QFETCH(QString, light);
        QFETCH(QString, dark);
        QFETCH(qreal, alphaLight);
        QFETCH(qreal, alphaDark);
        const QColor l = Palette::color(Palette::Name(name), false);
        const QColor d = Palette::color(Palette::Name(name), true);
        QCOMPARE(l.name(), light);
        QCOMPARE(d.name(), dark);
        QVERIFY(qAbs(l.alphaF() - alphaLight) < 0.002);
        QVERIFY(qAbs(d.alphaF() - alphaDark) < 0.002);
    }

    void everyNameHasAnEntry()
    {
        QCOMPARE(Palette::kCount, 17);
    }

    void dynamicIgnoresTheTopByte()
    {
        const QColor c = Palette::dynamic(0xFF0FA05C, 0xAB35D07F, 1, 0.5, false);
        QCOMPARE(c.name(), QStringLiteral("#0fa05c"));
        const QColor d = Palette::dynamic(0xFF0FA05C, 0xAB35D07F, 1, 0.5, true);
        QCOMPARE(d.name(), QStringLiteral("#35d07f"));
        QVERIFY(qAbs(d.alphaF() - 0.5) < 0.002);
    }

    void applicationPaletteUsesThePaletteColours()
    {
        for (const bool dark : {false, true}) {
            const QPalette p = Palette::applicationPalette(dark);
            QCOMPARE(p.color(QPalette::Active, QPalette::Text), Palette::text(dark));
            QCOMPARE(p.color(QPalette::Active, QPalette::Highlight), Palette::accent(dark));
            QCOMPARE(p.color(QPalette::Active, QPalette::Base), Palette::surface(dark));
            QCOMPARE(p.color(QPalette::Disabled, QPalette::ButtonText), Palette::textFaint(dark));
            // Dark really is dark, light is light.
            QCOMPARE(p.color(QPalette::Window).lightness() < 128, dark);
            // Every role is set, so a desktop palette cannot leak into ours.
            QVERIFY(p.resolveMask() != 0);
        }
    }

    // An unchecked box must stand out from the window in both appearances; Fusion's own frame
    // is the window colour darkened, which disappears on the dark window.
    void checkBoxesStayVisible()
    {
        tovra::test::IsolatedHome home;
        Palette::installApplicationTheme();
        for (const bool dark : {true, false}) {
            tovra::test::forceAppearance(dark);
            QCheckBox box(QStringLiteral("只看有种"));
            box.adjustSize();
            QStyleOptionButton option;
            option.initFrom(&box);
            const QRect indicator = box.style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, &box);
            const QImage image = box.grab().toImage();
            const QColor window = Palette::windowBackground(dark);
            int strongest = 0;
            for (int y = indicator.top(); y <= indicator.bottom(); ++y) {
                for (int x = indicator.left(); x <= indicator.right(); ++x) {
                    const QColor c = image.pixelColor(x * image.devicePixelRatio(), y * image.devicePixelRatio());
                    strongest = std::max(strongest, std::abs(c.lightness() - window.lightness()));
                }
            }
            QVERIFY2(strongest > 60, qPrintable(QStringLiteral("contrast %1").arg(strongest)));
        }
    }

    void theApplicationFollowsTheStore()
    {
        tovra::test::IsolatedHome home;
        Palette::installApplicationTheme();
        auto *style = qobject_cast<QProxyStyle *>(QApplication::style());
        QVERIFY(style && style->baseStyle());
        QCOMPARE(style->baseStyle()->name().toLower(), QStringLiteral("fusion"));
        for (const bool dark : {true, false, true}) {
            tovra::test::forceAppearance(dark);
            QCOMPARE(QApplication::palette().color(QPalette::Window), Palette::windowBackground(dark));
            QCOMPARE(QApplication::palette().color(QPalette::Text), Palette::text(dark));
        }
        // A desktop theme change in a forced mode leaves our palette in place.
        QWidget window;
        window.show();
        QEvent change(QEvent::ThemeChange);
        QCoreApplication::sendEvent(&window, &change);
        QCoreApplication::processEvents();
        QCOMPARE(QApplication::palette().color(QPalette::Window), Palette::windowBackground(true));
        tovra::test::forceAppearance(false);
    }
};

TOVRA_TEST(PaletteTest)
#include "tst_palette.moc"
