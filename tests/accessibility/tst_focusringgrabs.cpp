#include "components/appearance.h"
#include "support/testmain.h"
#include "views/components/focusring.h"
#include "views/components/postergrid.h"
#include "views/components/sidebarrow.h"
#include "views/palette.h"
#include "views/toolbar/toolbarbutton.h"
#include "windowfixture.h"

#include <QImage>
#include <QTest>

using namespace tovra;
using namespace tovra::test;
using namespace Qt::StringLiterals;

namespace {

// Points on the ring's middle line halfway along each side of target (window coordinates): just
// outside a control, just inside a painted card. On a card the top and the sides run over the
// poster, so only the bottom and the sides beside the title are taken; a chip is round at the
// sides, which are taken at its middle, and its ring is set 2 px in.
QList<QPoint> ringPoints(const QRect &target, bool inside, bool chip = false)
{
    const QPoint c = target.center();
    if (chip)
        return {{c.x(), target.top() + 3}, {c.x(), target.bottom() - 3}, {target.left() + 3, c.y()},
                {target.right() - 3, c.y()}};
    if (inside) {
        const int in = int(FocusRing::kWidth / 2);
        const int low = target.bottom() - 6;
        return {{c.x(), target.bottom() - in}, {target.left() + in, low}, {target.right() - in, low}};
    }
    const int out = int(FocusRing::kGap + FocusRing::kWidth / 2);
    return {{c.x(), target.top() - out}, {c.x(), target.bottom() + out}, {target.left() - out, c.y()},
            {target.right() + out, c.y()}};
}

}

// The keyboard focus ring on a poster card, a toolbar button and the chosen genre chip, in both
// appearances, for a reviewer to open under build/grabs/; the ring must stand out by 3:1 from the
// same pixels once the focus has gone.
class FocusRingGrabsTest : public QObject
{
    Q_OBJECT

private slots:
    void ringIsVisible_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::addColumn<QString>("target");
        for (const bool dark : {false, true}) {
            for (const QString &target : {u"posterCard"_s, u"toolbarButton"_s, u"selectedChip"_s}) {
                const QString name = target + (dark ? u"-dark"_s : u"-light"_s);
                QTest::newRow(qPrintable(name)) << dark << target;
            }
        }
    }

    void ringIsVisible()
    {
        QFETCH(bool, dark);
        QFETCH(QString, target);
        WindowFixture f;
        Palette::installApplicationTheme();
        forceAppearance(dark);
        QVERIFY(f.open());
        QWidget &window = *f.window;

        QRect ringed; // in window coordinates
        if (target == u"posterCard"_s) {
            QVERIFY(f.tabUntil([](QWidget *w) { return qobject_cast<PosterGrid *>(w) != nullptr; }));
            auto *grid = qobject_cast<PosterGrid *>(f.focus());
            QTest::keyClick(grid, Qt::Key_Right);
            const QRect card = grid->cardRect(grid->currentEntry());
            ringed = QRect(grid->mapTo(&window, card.topLeft()), card.size());
        } else if (target == u"selectedChip"_s) {
            // The chosen genre, on its accent fill.
            f.window->sidebarRows().at(1)->click();
            QVERIFY(f.settle());
            QVERIFY(f.tabUntil([](QWidget *w) { return w->accessibleName() == u"全部类型"_s; }));
            QWidget *chip = f.focus();
            ringed = QRect(chip->mapTo(&window, QPoint(0, 0)), chip->size());
        } else {
            QVERIFY(f.tabUntil([](QWidget *w) { return w->objectName() == u"themeButton"_s; }));
            QWidget *button = f.focus();
            ringed = QRect(button->mapTo(&window, QPoint(0, 0)), button->size());
        }
        QVERIFY(FocusRing::keyboardMode());

        const QString file = grabToPng(&window, u"focus-ring-"_s + QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(!file.isEmpty());
        const QImage ring = QImage(file).convertToFormat(QImage::Format_RGB32);
        QCOMPARE(ring.size(), window.size());
        // A click elsewhere puts the keyboard ring away: the same pixels without it.
        QTest::mouseClick(f.window->navigationStack(), Qt::LeftButton, {}, QPoint(2, 2));
        QVERIFY(!FocusRing::keyboardMode());
        const QImage plain = window.grab().toImage().convertToFormat(QImage::Format_RGB32);

        for (const QPoint &p : ringPoints(ringed, target == u"posterCard"_s, target == u"selectedChip"_s)) {
            // Against what is under it, the ring stands out by 3:1 at least.
            const QColor shown = ring.pixelColor(p);
            const QColor under = plain.pixelColor(p);
            QVERIFY2(FocusRing::contrast(shown, under) >= 3,
                     qPrintable(u"%1 at %2,%3 is %4 over %5"_s.arg(target).arg(p.x()).arg(p.y()).arg(shown.name(),
                                                                                           under.name())));
        }
        forceAppearance(false);
    }
};

TOVRA_TEST(FocusRingGrabsTest)
#include "tst_focusringgrabs.moc"
