#include "communityfixture.h"
#include "store/themestore.h"
#include "views/community/communityview.h"
#include "views/community/postfeed.h"
#include "views/palette.h"

#include <QFileInfo>
#include <QTest>
#include "support/screentext.h"
#include "support/testmain.h"

using namespace tovra;
using namespace tovra::test;

namespace {
void forceAppearance(bool dark)
{
    ThemeStore *store = ThemeStore::shared();
    const auto wanted = dark ? ThemeStore::Mode::Dark : ThemeStore::Mode::Light;
    for (int i = 0; i < 3 && store->mode() != wanted; ++i)
        store->toggle();
}
}

class TestCommunityGrabs : public QObject
{
    Q_OBJECT
private slots:
    void board_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::addColumn<QString>("kind");
        QTest::newRow("community-torrent-light") << false << "torrent";
        QTest::newRow("community-torrent-dark") << true << "torrent";
        QTest::newRow("community-image-dark") << true << "image";
    }
    void board()
    {
        QFETCH(bool, dark);
        QFETCH(QString, kind);
        CatalogueFixture f;
        forceAppearance(dark);
        QJsonArray posts{postJson(f, QStringLiteral("p0"), kind), postJson(f, QStringLiteral("p1"))};
        f.site.route(QStringLiteral("/api/bbs_list"), FakeSite::ok(QJsonDocument(posts).toJson(QJsonDocument::Compact)));

        QWidget frame;
        frame.setAutoFillBackground(true);
        QPalette p = frame.palette();
        p.setColor(QPalette::Window, Palette::windowBackground(dark));
        frame.setPalette(p);
        auto *view = new CommunityView(&frame);
        frame.resize(1000, 700);
        view->resize(frame.size());
        frame.show();
        QVERIFY(waitFor([&] { return view->posts().size() == 2; }));
        QVERIFY(waitFor([&] { return f.images->activeDownloads() == 0; }));
        QTest::qWait(100);
        const QString path = grabToPng(&frame, QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(QFileInfo::exists(path));
        // The author and the post's text as text, over the medium; markup stays literal.
        const QStringList texts = shownTexts(&frame);
        QVERIFY(texts.contains(QStringLiteral("影迷p0")));
        QVERIFY(texts.contains(QStringLiteral("帖子 p0：今晚一起看 <b>老电影</b> & 聊聊")));
        QVERIFY2(clippedTexts(&frame).isEmpty(), qPrintable(clippedTexts(&frame).join(u'|')));
        forceAppearance(false);
    }
};

TOVRA_TEST(TestCommunityGrabs)
#include "tst_communitygrabs.moc"
