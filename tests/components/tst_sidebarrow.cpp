#include "support/testmain.h"
#include "views/components/sidebarrow.h"

#include <QSignalSpy>
#include <QTest>

using tovra::SidebarRow;

class SidebarRowTest : public QObject
{
    Q_OBJECT

private slots:
    void badge_data()
    {
        QTest::addColumn<qint64>("count");
        QTest::addColumn<QString>("badge");
        QTest::newRow("none") << qint64(0) << QString();
        QTest::newRow("negative") << qint64(-4) << QString();
        QTest::newRow("one") << qint64(1) << QStringLiteral("+1");
        QTest::newRow("many") << qint64(120) << QStringLiteral("+120");
    }

    void badge()
    {
        QFETCH(qint64, count);
        QFETCH(QString, badge);
        QCOMPARE(SidebarRow::badgeText(count), badge);
    }

    void oneClickOneAction()
    {
        SidebarRow row(QStringLiteral("电影"), QStringLiteral("film"), false, 0);
        row.resize(220, row.sizeHint().height());
        row.show();
        QSignalSpy clicked(&row, &SidebarRow::clicked);
        QTest::mouseClick(&row, Qt::LeftButton);
        QCOMPARE(clicked.size(), 1);
        QCOMPARE(row.cursor().shape(), Qt::PointingHandCursor);
        // 13 above and below the content.
        QVERIFY(row.sizeHint().height() >= 26 + 16);
    }

    void unknownIconsDrawTheTag()
    {
        const auto picture = [](const QString &icon) {
            SidebarRow row(QStringLiteral("分类"), icon, false, 0);
            row.resize(220, 44);
            return row.grab().toImage();
        };
        QCOMPARE(picture(QStringLiteral("Film")), picture(QStringLiteral("tags")));
        QCOMPARE(picture(QString()), picture(QStringLiteral("tags")));
        QVERIFY(picture(QStringLiteral("film")) != picture(QStringLiteral("tags")));
    }

    void activeLooksDifferentFromIdle()
    {
        SidebarRow idle(QStringLiteral("首页"), QStringLiteral("house"), false, 0);
        SidebarRow active(QStringLiteral("首页"), QStringLiteral("house"), true, 0);
        idle.resize(220, 44);
        active.resize(220, 44);
        const QImage a = active.grab().toImage();
        QVERIFY(idle.grab().toImage() != a);
        // The active bar: three pixels of accent on the leading edge.
        const QColor bar = QColor(a.pixel(1, 22));
        QVERIFY(bar.green() > bar.red() + 60);
        QVERIFY(QColor(a.pixel(4, 22)) != bar);
    }
};

TOVRA_TEST(SidebarRowTest)
#include "tst_sidebarrow.moc"
