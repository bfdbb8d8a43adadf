#include "models/cropgeometry.h"
#include "support/testmain.h"
#include "uccfixture.h"
#include "views/usercenter/avatarcropview.h"
#include "views/usercenter/cropeditor.h"

#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
#include <QTest>

using namespace tovra;
using namespace tovra::test;

namespace {
QImage halves(QSize size, QColor left, QColor right)
{
    return QImage::fromData(pngBytes(size, left, right));
}

bool near(QColor a, QColor b)
{
    return std::abs(a.red() - b.red()) < 40 && std::abs(a.green() - b.green()) < 40 && std::abs(a.blue() - b.blue()) < 40;
}

void mouse(QWidget *w, QEvent::Type type, QPointF at)
{
    QMouseEvent e(type, at, w->mapToGlobal(at), Qt::LeftButton,
                  type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &e);
}
}

class TestCrop : public QObject
{
    Q_OBJECT
private slots:
    void pinch_data()
    {
        QTest::addColumn<qreal>("base");
        QTest::addColumn<qreal>("magnification");
        QTest::addColumn<qreal>("expected");
        QTest::newRow("within") << 1.0 << 1.5 << 1.5;
        QTest::newRow("past the top") << 2.0 << 3.0 << 5.0;
        QTest::newRow("below the bottom") << 1.0 << 0.2 << 0.5;
        QTest::newRow("from slider value") << 3.0 << 0.5 << 1.5;
    }
    void pinch()
    {
        QFETCH(qreal, base);
        QFETCH(qreal, magnification);
        CropGeometry g;
        g.slide(base);
        g.endSlide();
        g.pinch(magnification);
        QTEST(g.scale, "expected");
        QCOMPARE(g.lastScale, base);
        g.endPinch();
        // A later pinch starts from the clamped value.
        g.pinch(1);
        QTEST(g.scale, "expected");
    }

    void sliderDoesNotMoveBaseUntilReleased()
    {
        CropGeometry g;
        g.slide(2);
        QCOMPARE(g.lastScale, 1.0);
        g.endSlide();
        QCOMPARE(g.lastScale, 2.0);
    }

    void dragsAddUpAndResetClears()
    {
        CropGeometry g;
        g.drag({20, -5});
        g.drag({30, -10});
        g.endDrag();
        g.drag({-5, 5});
        g.endDrag();
        QCOMPARE(g.offset, QPointF(25, -5));
        for (int i = 0; i < 4; ++i)
            g.rotateLeft();
        QCOMPARE(g.rotation, -360);
        g.pinch(3);
        g.reset();
        QCOMPARE(g.scale, 1.0);
        QCOMPARE(g.lastScale, 1.0);
        QCOMPARE(g.offset, QPointF());
        QCOMPARE(g.lastOffset, QPointF());
        QCOMPARE(g.rotation, 0);
    }

    void fillSize_data()
    {
        QTest::addColumn<QSizeF>("image");
        QTest::addColumn<QSizeF>("expected");
        QTest::newRow("landscape") << QSizeF(1000, 500) << QSizeF(640, 320);
        QTest::newRow("portrait") << QSizeF(300, 900) << QSizeF(320, 960);
        QTest::newRow("small square") << QSizeF(10, 10) << QSizeF(320, 320);
    }
    void fillSize()
    {
        QFETCH(QSizeF, image);
        QTEST(CropGeometry::fillSize(image), "expected");
    }

    // Sampled colours of the saved square: inside its top-left and bottom-right quarters, and
    // the top-left corner. The picture is red on its left half and blue on its right.
    void render_data()
    {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<qreal>("scale");
        QTest::addColumn<int>("rotation");
        QTest::addColumn<QPointF>("offset");
        QTest::addColumn<QColor>("top");
        QTest::addColumn<QColor>("bottom");
        QTest::addColumn<QColor>("corner");
        QTest::newRow("portrait, turned right") << QSize(200, 400) << 1.0 << 90 << QPointF() << QColor(Qt::red) << QColor(Qt::blue) << QColor(Qt::red);
        QTest::newRow("landscape, turned left") << QSize(400, 200) << 1.0 << -90 << QPointF() << QColor(Qt::blue) << QColor(Qt::red) << QColor(Qt::blue);
        QTest::newRow("upside down") << QSize(300, 300) << 1.0 << 180 << QPointF() << QColor(Qt::blue) << QColor(Qt::red) << QColor(Qt::blue);
        QTest::newRow("zoomed out") << QSize(300, 300) << 0.5 << 0 << QPointF() << QColor(Qt::black) << QColor(Qt::black) << QColor(Qt::black);
        QTest::newRow("moved down") << QSize(300, 300) << 1.0 << 0 << QPointF(0, 200) << QColor(Qt::black) << QColor(Qt::blue) << QColor(Qt::black);
    }
    void render()
    {
        QFETCH(QSize, picture);
        QFETCH(qreal, scale);
        QFETCH(int, rotation);
        QFETCH(QPointF, offset);
        CropGeometry g;
        g.scale = scale;
        g.rotation = rotation;
        g.offset = offset;
        const QImage out = g.render(halves(picture, Qt::red, Qt::blue));
        QCOMPARE(out.size(), QSize(640, 640));
        QFETCH(QColor, top);
        QFETCH(QColor, bottom);
        QFETCH(QColor, corner);
        QVERIFY(near(out.pixelColor(160, 4), top));
        QVERIFY(near(out.pixelColor(480, 635), bottom));
        QVERIFY(near(out.pixelColor(2, 2), corner));
        // Unmoved, the middle always holds picture.
        QVERIFY(!near(out.pixelColor(300, 320), Qt::black) || offset.y() > 0);
    }

    void jpegIs640Square()
    {
        CropGeometry g;
        const auto jpeg = CropGeometry::encodeJpeg(g.render(halves(QSize(90, 50), Qt::red, Qt::blue)));
        QVERIFY(jpeg.has_value());
        QVERIFY(jpeg->startsWith("\xFF\xD8"));
        QCOMPARE(QImage::fromData(*jpeg, "JPEG").size(), QSize(640, 640));
        QVERIFY(!CropGeometry::encodeJpeg(QImage()).has_value());
    }

    void editorDragThreshold()
    {
        CropEditor editor(halves(QSize(100, 100), Qt::red, Qt::blue));
        mouse(&editor, QEvent::MouseButtonPress, {100, 100});
        mouse(&editor, QEvent::MouseMove, {106, 100});
        QCOMPARE(editor.geometry().offset, QPointF());
        mouse(&editor, QEvent::MouseMove, {130, 90});
        QCOMPARE(editor.geometry().offset, QPointF(30, -10));
        mouse(&editor, QEvent::MouseButtonRelease, {130, 90});
        QCOMPARE(editor.geometry().lastOffset, QPointF(30, -10));
    }

    void sheetControls()
    {
        QByteArray confirmed;
        int cancels = 0;
        AvatarCropView sheet(halves(QSize(100, 100), Qt::red, Qt::blue),
                             [&](const QByteArray &jpeg) { confirmed = jpeg; }, [&] { ++cancels; });
        sheet.rotateLeftButton()->click();
        QCOMPARE(sheet.editor()->geometry().rotation, -90);
        sheet.rotateRightButton()->click();
        sheet.rotateRightButton()->click();
        QCOMPARE(sheet.editor()->geometry().rotation, 90);
        sheet.slider()->setValue(sheet.slider()->maximum());
        QCOMPARE(sheet.editor()->geometry().scale, 5.0);
        sheet.resetButton()->click();
        QCOMPARE(sheet.editor()->geometry().scale, 1.0);
        QCOMPARE(sheet.editor()->geometry().rotation, 0);
        QCOMPARE(sheet.slider()->value(), (sheet.slider()->maximum() * 1) / 9);
        sheet.cancelButton()->click();
        QCOMPARE(cancels, 1);
        sheet.confirmButton()->click();
        QCOMPARE(QImage::fromData(confirmed, "JPEG").size(), QSize(640, 640));
        QCOMPARE(cancels, 1);
    }
};

TOVRA_TEST(TestCrop)
#include "tst_crop.moc"
