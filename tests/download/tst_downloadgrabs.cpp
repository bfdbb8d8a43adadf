#include "downloadfixture.h"
#include "components/appearance.h"
#include "views/download/torrenttree.h"
#include "views/palette.h"

#include <QFileInfo>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>
#include "support/screentext.h"
#include "support/testmain.h"

using namespace tovra;
using namespace tovra::test;

class TestDownloadGrabs : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { Palette::installApplicationTheme(); }

    void page_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::newRow("light") << false;
        QTest::newRow("dark") << true;
    }
    void page()
    {
        QFETCH(bool, dark);
        DownloadFixture f;
        forceAppearance(dark);
        f.site.route(QStringLiteral("/api/down"), FakeSite::ok(torrentDetailJson(QStringLiteral("星河往事.Stellar.Past.S01.2019.1080p.WEB-DL.H264.AAC-星空字幕组"))));
        f.site.route(QStringLiteral("/api/res"), FakeSite::ok(R"({"magnet":"magnet:?xt=urn:btih:abc"})"));

        QWidget frame;
        frame.setAutoFillBackground(true);
        QPalette p = frame.palette();
        p.setColor(QPalette::Window, Palette::windowBackground(dark));
        frame.setPalette(p);
        auto *layout = new QVBoxLayout(&frame);
        layout->setContentsMargins(0, 0, 0, 0);
        Torrent torrent;
        torrent.index = 1;
        auto *view = new DownloadView(QStringLiteral("d1"), torrent);
        view->setDesktop(f.desktop());
        layout->addWidget(view);
        frame.resize(900, 640);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QVERIFY(waitFor([&] { return view->shown() == DownloadView::Shown::Content; }));
        QTest::mouseClick(view->tree()->row(0), Qt::LeftButton);
        view->button(downloads::DownAction::Copy)->click();
        view->button(downloads::DownAction::Xl)->click();
        QVERIFY(waitFor([&] { return view->message().has_value() && view->actionState(downloads::DownAction::Copy) == QStringLiteral("复制成功"); }));
        QTest::qWait(200);
        const QString file = grabToPng(&frame, dark ? QStringLiteral("download-dark") : QStringLiteral("download-light"));
        QVERIFY(!file.isEmpty() && QFileInfo(file).size() > 0);
        const QStringList texts = shownTexts(&frame);
        for (const char *text : {"复制成功", "磁力下载", "种子下载", "E1.mkv", "没有获取到资源，请稍后重试"})
            QVERIFY2(texts.contains(QString::fromUtf8(text)), text);
        QVERIFY2(clippedTexts(&frame).isEmpty(), qPrintable(clippedTexts(&frame).join(u'|')));
    }
};

TOVRA_TEST(TestDownloadGrabs)
#include "tst_downloadgrabs.moc"
