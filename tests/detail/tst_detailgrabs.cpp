#include "detailfixture.h"
#include "components/appearance.h"
#include "views/detail/detailview.h"
#include "views/detail/sortbutton.h"
#include "views/detail/torrentcard.h"
#include "views/detail/torrentsection.h"
#include "views/palette.h"

#include <QAbstractAnimation>
#include <QFileInfo>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>
#include "support/screentext.h"
#include "support/testmain.h"

using namespace tovra;
using namespace tovra::test;

class TestDetailGrabs : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { Palette::installApplicationTheme(); }

    void page_data()
    {
        addAppearanceRows();
    }
    void page()
    {
        QFETCH(bool, dark);
        DetailFixture f;
        forceAppearance(dark);
        f.site.route(QStringLiteral("/api/item"), FakeSite::ok(detailJson(f, "d1", 12)));
        f.site.route(QStringLiteral("/api/res"), FakeSite::ok(R"({"magnet":"magnet:?xt=urn:btih:abc"})"));

        // On the window background, as the main window's content area shows it; tall enough
        // for every part of the page.
        QWidget frame;
        frame.setAutoFillBackground(true);
        QPalette p = frame.palette();
        p.setColor(QPalette::Window, Palette::windowBackground(dark));
        frame.setPalette(p);
        auto *layout = new QVBoxLayout(&frame);
        layout->setContentsMargins(0, 0, 0, 0);
        auto *view = new DetailView(QStringLiteral("d1"));
        layout->addWidget(view);
        frame.resize(1180, 1480);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QVERIFY(waitFor([&] { return view->shown() == DetailView::Shown::Content; }));
        view->torrentSection()->sizeButton()->click();
        TorrentCard *copied = view->torrentSection()->cards().last();
        copied->copyButton()->click();
        QVERIFY(waitFor([&] { return copied->copyLabel().has_value() && *copied->copyLabel() == QStringLiteral("复制成功"); }));
        QVERIFY(waitFor([&] { return f.images->activeDownloads() == 0; }));
        // Posters handed to their cards and the sort arrow done turning before the grab.
        QVERIFY(f.manager.quiet());
        QVERIFY(waitFor([&] {
            const auto turns = frame.findChildren<QAbstractAnimation *>();
            return f.images->pendingWithoutNetwork() == 0
                   && std::ranges::all_of(turns, [](auto *a) { return a->state() == QAbstractAnimation::Stopped; });
        }));
        const QString file = grabToPng(&frame, dark ? QStringLiteral("detail-dark") : QStringLiteral("detail-light"));
        QVERIFY(!file.isEmpty() && QFileInfo(file).size() > 0);
        const QStringList texts = shownTexts(&frame);
        for (const char *heading : {"剧情简介", "播放列表", "种子信息", "猜你感兴趣", "星河 & 往事", "7.6"})
            QVERIFY2(texts.contains(QString::fromUtf8(heading)), heading);
        QVERIFY2(clippedTexts(&frame).isEmpty(), qPrintable(clippedTexts(&frame).join(u'|')));
    }
};

TOVRA_TEST(TestDetailGrabs)
#include "tst_detailgrabs.moc"
