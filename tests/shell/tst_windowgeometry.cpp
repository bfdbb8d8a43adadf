#include "models/windowgeometry.h"
#include "views/contentview.h"

#include <QTest>
#include "support/testmain.h"

using namespace tovra;

class WindowGeometryTest : public QObject
{
    Q_OBJECT
private slots:
    // A virtual screen: its available area in device pixels and its scale, as the desktop
    // reports them; the window must open inside it, centred, as large as the preferred size
    // allows.
    void opensWithinTheScreen_data()
    {
        QTest::addColumn<QRect>("device");   // available area, device pixels
        QTest::addColumn<qreal>("scale");
        QTest::addColumn<QSize>("size");     // the client area, logical pixels
        QTest::addColumn<QSize>("minimum");
        const QSize preferred(ContentView::kDefaultWidth, ContentView::kDefaultHeight);
        const QSize least(ContentView::kMinimumWidth, ContentView::kMinimumHeight);
        QTest::newRow("1920x1080 at 1.0") << QRect(0, 0, 1920, 1032) << 1.0 << preferred << least;
        QTest::newRow("1920x1080 at 1.25") << QRect(0, 0, 1920, 1032) << 1.25 << QSize(1536, 793) << least;
        QTest::newRow("1920x1200 at 1.25") << QRect(0, 0, 1920, 1152) << 1.25 << QSize(1536, 889) << least;
        QTest::newRow("2560x1440 at 1.5, second screen") << QRect(1920, 0, 2560, 1392) << 1.5 << QSize(1560, 896) << least;
        QTest::newRow("3840x2160 at 2.0") << QRect(0, 48, 3840, 2112) << 2.0 << preferred << least;
        QTest::newRow("1366x768 at 1.0, below the minimum height") << QRect(0, 0, 1366, 720) << 1.0 << QSize(1366, 688)
                                                                  << QSize(1340, 688);
        QTest::newRow("1280x800 at 1.5, smaller than the minimum") << QRect(0, 0, 1280, 752) << 1.5 << QSize(853, 469)
                                                                   << QSize(853, 469);
    }
    void opensWithinTheScreen()
    {
        QFETCH(QRect, device);
        QFETCH(qreal, scale);
        QFETCH(QSize, size);
        QFETCH(QSize, minimum);
        // Qt hands widgets logical pixels: the device area divided by the scale.
        const QRect available(QPoint(int(device.x() / scale), int(device.y() / scale)),
                              QSize(int(device.width() / scale), int(device.height() / scale)));
        const QMargins frame = WindowGeometry::kTitleBarAllowance;
        const auto opening = WindowGeometry::opening({ContentView::kDefaultWidth, ContentView::kDefaultHeight},
                                                     {ContentView::kMinimumWidth, ContentView::kMinimumHeight}, available, frame);
        QCOMPARE(opening.geometry.size(), size);
        QCOMPARE(opening.minimum, minimum);
        const QRect room = available.marginsRemoved(frame);
        QVERIFY(room.contains(opening.geometry));
        QVERIFY(qAbs((opening.geometry.left() - room.left()) - (room.right() - opening.geometry.right())) <= 1);
        QVERIFY(qAbs((opening.geometry.top() - room.top()) - (room.bottom() - opening.geometry.bottom())) <= 1);
        // In device pixels, title bar included, it stays on the screen.
        const QRect onDevice(QPoint(int((opening.geometry.x() - frame.left()) * scale), int((opening.geometry.y() - frame.top()) * scale)),
                             QSize(int((opening.geometry.width() + frame.left() + frame.right()) * scale),
                                   int((opening.geometry.height() + frame.top() + frame.bottom()) * scale)));
        QVERIFY2(device.adjusted(-1, -1, 1, 1).contains(onDevice), qPrintable(QStringLiteral("%1,%2 %3x%4").arg(onDevice.x()).arg(onDevice.y()).arg(onDevice.width()).arg(onDevice.height())));
    }
};

TOVRA_TEST(WindowGeometryTest)
#include "tst_windowgeometry.moc"
