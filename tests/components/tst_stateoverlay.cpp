#include "support/testmain.h"
#include "views/components/stateoverlay.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

using tovra::StateOverlay;

class StateOverlayTest : public QObject
{
    Q_OBJECT

private slots:
    void loadingShowsTheCaptionOnly()
    {
        StateOverlay overlay;
        overlay.show();
        QCOMPARE(overlay.titleText(), QStringLiteral("加载中…"));
        QVERIFY(!overlay.retryButton()->isVisible());
    }

    void messagesAreShownVerbatim_data()
    {
        QTest::addColumn<QString>("message");
        QTest::newRow("network") << QStringLiteral("网络连接失败：连接超时");
        QTest::newRow("markup stays text") << QStringLiteral("<b>粗体</b> & <img src=x>");
        QTest::newRow("looks like a key") << QStringLiteral("加载失败");
    }

    void messagesAreShownVerbatim()
    {
        QFETCH(QString, message);
        StateOverlay overlay(StateOverlay::Kind::error(message, [] {}));
        overlay.show();
        QCOMPARE(overlay.titleText(), QStringLiteral("加载失败"));
        QCOMPARE(overlay.messageText(), message);
        for (QLabel *label : overlay.findChildren<QLabel *>())
            QCOMPARE(label->textFormat(), Qt::PlainText);

        overlay.setKind(StateOverlay::Kind::empty(message));
        QCOMPARE(overlay.titleText(), QStringLiteral("没有内容"));
        QCOMPARE(overlay.messageText(), message);
        QVERIFY(!overlay.retryButton()->isVisible());
    }

    void retryRunsOncePerPress()
    {
        int runs = 0;
        StateOverlay overlay(StateOverlay::Kind::error(QStringLiteral("服务器错误"), [&runs] { ++runs; }));
        overlay.show();
        QVERIFY(overlay.retryButton()->isVisible());
        QCOMPARE(overlay.retryButton()->text(), QStringLiteral("重试"));
        QCOMPARE(overlay.retryButton()->cursor().shape(), Qt::PointingHandCursor);
        QTest::mouseClick(overlay.retryButton(), Qt::LeftButton);
        QCOMPARE(runs, 1);
        QTest::mouseClick(overlay.retryButton(), Qt::LeftButton);
        QCOMPARE(runs, 2);
    }

    void retryMayReplaceTheKind()
    {
        StateOverlay overlay;
        int runs = 0;
        overlay.setKind(StateOverlay::Kind::error(QStringLiteral("x"), [&] {
            ++runs;
            overlay.setKind(StateOverlay::Kind::loading());
        }));
        overlay.show();
        QTest::mouseClick(overlay.retryButton(), Qt::LeftButton);
        QCOMPARE(runs, 1);
        QCOMPARE(overlay.kind().kase, StateOverlay::Kind::Case::Loading);
    }
};

TOVRA_TEST(StateOverlayTest)
#include "tst_stateoverlay.moc"
