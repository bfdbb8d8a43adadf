#include "detailfixture.h"
#include "views/components/postergrid.h"
#include "views/components/stateoverlay.h"
#include "views/detail/detailhero.h"
#include "views/detail/detailview.h"
#include "views/detail/metalink.h"
#include "views/detail/playgrid.h"
#include "views/detail/sortbutton.h"
#include "views/detail/torrentcard.h"
#include "views/detail/torrentsection.h"
#include "views/palette.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTest>
#include "support/testmain.h"

using namespace tovra;
using namespace tovra::test;

namespace {
const QString kItem = QStringLiteral("/api/item");

void show(DetailView &view)
{
    view.resize(1200, 900);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
}

bool contentShown(const DetailView &view)
{
    return view.shown() == DetailView::Shown::Content;
}

QStringList cardNames(const DetailView &view)
{
    QStringList out;
    for (TorrentCard *card : view.torrentSection()->cards())
        out.append(card->torrent().name);
    return out;
}

void click(QWidget *widget)
{
    QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
}
}

class TestDetailView : public QObject
{
    Q_OBJECT
private slots:
    void asksForTheTitleAndShowsIt()
    {
        DetailFixture f;
        f.site.route(kItem, FakeSite::ok(detailJson(f, "x y")).withDelay(100));
        DetailView view(QStringLiteral("x y"));
        QCOMPARE(view.navigationTitle(), QStringLiteral("详情"));
        show(view);
        QCOMPARE(view.shown(), DetailView::Shown::Loading);
        QVERIFY(waitFor([&] { return contentShown(view); }));

        const auto sent = f.requests(kItem);
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent.first().method, QByteArray("GET"));
        QCOMPARE(f.queries(kItem).first(), (QMap<QString, QString>{{"did", "x y"}}));
        QCOMPARE(view.navigationTitle(), QStringLiteral("星河 & 往事"));

        DetailHero *hero = view.hero();
        QCOMPARE(hero->titleLabel()->textFormat(), Qt::PlainText);
        QCOMPARE(hero->aliasLabel()->text(), QStringLiteral("Stellar Past"));
        QCOMPARE(hero->rowLabels(), (QStringList{"类型", "主演", "导演", "地区", "上映时间", "更新时间", "评分"}));
        QCOMPARE(hero->rowValues("类型"), (QStringList{"剧情", "科幻"}));
        QCOMPARE(hero->rowValues("上映时间"), QStringList{"2019-03-08"});
        QCOMPARE(hero->rowValues("评分"), QStringList{"7.6"});
        QCOMPARE(view.introLabel()->text(), QStringLiteral("一艘飞船 迷失在星河。\n第二段 <b>"));
        QVERIFY(view.trialLabel()->isVisible());
        QVERIFY(view.torrentSection()->paidHint()->isVisible());
        QCOMPARE(view.interestedGrid()->items().size(), 4);
    }

    void rowsFollowTheRecord()
    {
        DetailFixture f;
        f.site.route(kItem, FakeSite::ok(detailJson(f, "d1", 0, [](QJsonObject &o) {
                         o.insert("alias", "");
                         o.insert("tags", QJsonArray{"", ""});
                         o.insert("stars", QJsonArray{});
                         o.insert("showdate", "待定");
                         o.insert("score", "暂无");
                         o.insert("text", "<p></p>");
                         o.insert("torrents", QJsonArray{});
                         o.remove("interested");
                     })));
        DetailView view(QStringLiteral("d1"));
        show(view);
        QVERIFY(waitFor([&] { return contentShown(view); }));
        QVERIFY(!view.hero()->aliasLabel());
        QCOMPARE(view.hero()->rowLabels(), (QStringList{"导演", "地区", "上映时间", "更新时间"}));
        QVERIFY(view.hero()->links("上映时间").isEmpty());
        QCOMPARE(view.hero()->rowValues("上映时间"), QStringList{"待定"});
        QVERIFY(view.introSection());
        QCOMPARE(view.introLabel()->text(), QString());
        QVERIFY(!view.playSection());
        QVERIFY(!view.interestedSection());
        QVERIFY(view.torrentSection()->emptyLabel()->isVisible());
        QVERIFY(view.torrentSection()->episodeButton()->isVisible());
    }

    void aFreshStoredReplyShowsAtOnce()
    {
        DetailFixture f;
        f.store("api/item", {{"did", "d1"}}, detailJson(f, "d1", 1));
        f.site.route(kItem, FakeSite::ok(detailJson(f, "d1", 3)).withDelay(300));
        DetailView view(QStringLiteral("d1"));
        show(view);
        QVERIFY(contentShown(view));
        QCOMPARE(view.detail()->playList.size(), 1);
        QVERIFY(waitFor([&] { return view.detail()->playList.size() == 3; }));
        QCOMPARE(view.playGrid()->buttons().size(), 3);
    }

    void aStaleStoredReplyIsNotShown()
    {
        DetailFixture f;
        f.store("api/item", {{"did", "d1"}}, detailJson(f, "d1"));
        f.ageCache(601);
        f.site.route(kItem, FakeSite::ok(detailJson(f, "d1")).withDelay(200));
        DetailView view(QStringLiteral("d1"));
        show(view);
        QCOMPARE(view.shown(), DetailView::Shown::Loading);
        QVERIFY(waitFor([&] { return contentShown(view); }));
    }

    void aFailureKeepsTheStoredRecordQuietly()
    {
        DetailFixture f;
        f.store("api/item", {{"did", "d1"}}, detailJson(f, "d1"));
        f.site.route(kItem, FakeSite::json(FakeSite::envelope(500, "维护中")));
        DetailView view(QStringLiteral("d1"));
        show(view);
        QVERIFY(f.site.waitForRequests(1));
        QVERIFY(waitFor([&] { return !view.isLoading(); }));
        QVERIFY(f.manager.quiet());
        QVERIFY(contentShown(view));
        QVERIFY(!view.error());
    }

    void anErrorOffersRetry()
    {
        DetailFixture f;
        f.site.enqueue(kItem, FakeSite::json(FakeSite::envelope(500, "维护中")));
        f.site.enqueue(kItem, FakeSite::ok(detailJson(f, "d1")).withDelay(200));
        DetailView view(QStringLiteral("d1"));
        show(view);
        QVERIFY(waitFor([&] { return view.shown() == DetailView::Shown::Error; }));
        QCOMPARE(view.overlay()->messageText(), APIError::server(500, "维护中").description());

        view.overlay()->retryButton()->click();
        QCOMPARE(view.shown(), DetailView::Shown::Loading);
        QVERIFY(waitFor([&] { return contentShown(view); }));
        QCOMPARE(f.requests(kItem).size(), 2);
    }

    void onlyTheNewestLoadWrites()
    {
        DetailFixture f;
        f.site.enqueue(kItem, FakeSite::ok(detailJson(f, "d1", 1)).withDelay(400));
        f.site.enqueue(kItem, FakeSite::ok(detailJson(f, "d1", 2)));
        DetailView view(QStringLiteral("d1"));
        show(view);
        QVERIFY(f.site.waitForRequests(1));
        view.reload();
        QVERIFY(waitFor([&] { return contentShown(view); }));
        // The superseded reply has come back and been acted on.
        QVERIFY(f.manager.quiet());
        QCOMPARE(view.detail()->playList.size(), 2);
    }

    void playButtonsReportEntryAndTitle()
    {
        DetailFixture f;
        f.site.enqueue(kItem, FakeSite::ok(detailJson(f, "d1", 3)));
        DetailView view(QStringLiteral("d1"));
        QSignalSpy played(&view, &DetailView::playRequested);
        show(view);
        QVERIFY(waitFor([&] { return contentShown(view); }));
        const auto buttons = view.playGrid()->buttons();
        QCOMPARE(buttons.at(0)->text(), QStringLiteral("第 1 集"));
        QCOMPARE(buttons.at(2)->text(), QStringLiteral("第 3 集"));
        buttons.at(2)->click();
        QCOMPARE(played.size(), 1);
        QCOMPARE(played.at(0).at(0).value<PlayEntry>().token, QStringLiteral("tk3"));
        QCOMPARE(played.at(0).at(1).toString(), QStringLiteral("星河 & 往事 第3集"));

        DetailView single(QStringLiteral("d2"));
        f.site.enqueue(kItem, FakeSite::ok(detailJson(f, "d2", 1)));
        QSignalSpy playedOne(&single, &DetailView::playRequested);
        show(single);
        QVERIFY(waitFor([&] { return contentShown(single); }));
        QCOMPARE(single.playGrid()->buttons().first()->text(), QStringLiteral("播放"));
        single.playGrid()->buttons().first()->click();
        QCOMPARE(playedOne.at(0).at(1).toString(), QStringLiteral("星河 & 往事"));
    }

    void linksAndRelatedTitlesReport()
    {
        DetailFixture f;
        f.site.route(kItem, FakeSite::ok(detailJson(f, "d1")));
        DetailView view(QStringLiteral("d1"));
        QSignalSpy filtered(&view, &DetailView::filterRequested);
        QSignalSpy selected(&view, &DetailView::selected);
        show(view);
        QVERIFY(waitFor([&] { return contentShown(view); }));
        MetaLink *star = view.hero()->links("主演").at(1);
        QTest::mouseMove(star, star->rect().center());
        QVERIFY(waitFor([&] { return star->isHovering(); }));
        QVERIFY(star->font().underline());
        QCOMPARE(star->palette().color(QPalette::WindowText), Palette::metaLinkHover());
        click(star);
        click(view.hero()->links("上映时间").first());
        QCOMPARE(filtered.size(), 2);
        QCOMPARE(filtered.at(0).at(0).toString(), QStringLiteral("李四主演的影片"));
        QCOMPARE(filtered.at(0).at(1).value<Params>(), (Params{{"star", "李四"}}));
        QCOMPARE(filtered.at(1).at(0).toString(), QStringLiteral("2019年上映的影片"));
        QCOMPARE(filtered.at(1).at(1).value<Params>(), (Params{{"showtime", "2019"}}));

        PosterGrid *grid = view.interestedGrid();
        view.contentArea()->ensureWidgetVisible(grid);
        QVERIFY(waitFor([&] { return grid->cardRect(1).isValid(); }));
        QTest::mouseClick(grid, Qt::LeftButton, {}, grid->cardRect(1).center());
        QCOMPARE(selected.size(), 1);
        QCOMPARE(selected.at(0).at(0).toString(), QStringLiteral("d42"));
    }

    void sortButtonsReorderTheCards()
    {
        DetailFixture f;
        f.site.route(kItem, FakeSite::ok(detailJson(f, "d1")));
        DetailView view(QStringLiteral("d1"));
        show(view);
        QVERIFY(waitFor([&] { return contentShown(view); }));
        TorrentSection *section = view.torrentSection();
        QCOMPARE(cardNames(view), (QStringList{"星河 第1集", "星河 全24集", "星河 第2-3集"}));
        section->episodeButton()->click();
        QCOMPARE(cardNames(view), (QStringList{"星河 全24集", "星河 第2-3集", "星河 第1集"}));
        QCOMPARE(section->episodeButton()->targetRotation(), 0.0);
        section->sizeButton()->click();
        section->sizeButton()->click();
        QCOMPARE(cardNames(view), (QStringList{"星河 第2-3集", "星河 第1集", "星河 全24集"}));
        QCOMPARE(section->sizeButton()->targetRotation(), 180.0);
        QCOMPARE(section->episodeButton()->targetRotation(), -90.0);
    }

    // The order chosen over the stored record holds when the fresh record replaces it, and
    // after the page loads again.
    void sortOrderLivesAsLongAsThePage()
    {
        DetailFixture f;
        f.store("api/item", {{"did", "d1"}}, detailJson(f, "d1"));
        f.site.route(kItem, FakeSite::ok(detailJson(f, "d1")).withDelay(300));
        DetailView view(QStringLiteral("d1"));
        show(view);
        QVERIFY(contentShown(view));
        view.torrentSection()->episodeButton()->click();
        const QStringList episodeOrder{"星河 全24集", "星河 第2-3集", "星河 第1集"};
        QCOMPARE(cardNames(view), episodeOrder);
        QVERIFY(f.site.waitForRequests(1));
        QVERIFY(waitFor([&] { return !view.isLoading(); }));
        QCOMPARE(cardNames(view), episodeOrder);
        view.reload();
        QVERIFY(waitFor([&] { return f.requests(kItem).size() == 2; }));
        QVERIFY(f.manager.quiet());
        QCOMPARE(cardNames(view), episodeOrder);
        QCOMPARE(view.torrentSection()->episodeButton()->targetRotation(), 0.0);
    }

    void paidTorrentsAskGuestsToJoin()
    {
        DetailFixture f;
        f.site.route(kItem, FakeSite::ok(detailJson(f, "d1")));
        DetailView view(QStringLiteral("d1"));
        QSignalSpy downloads(&view, &DetailView::downloadRequested);
        QSignalSpy vip(&view, &DetailView::vipRequested);
        show(view);
        QVERIFY(waitFor([&] { return contentShown(view); }));
        const auto cards = view.torrentSection()->cards();
        QVERIFY(cards.at(1)->priceBadge()->isVisible());
        QVERIFY(!cards.at(1)->copyButton()->isVisible());
        QCOMPARE(cards.at(1)->priceLabel()->text(), QStringLiteral("5 BT币"));

        click(cards.at(0));
        QCOMPARE(downloads.size(), 1);
        QCOMPARE(downloads.at(0).at(0).toString(), QStringLiteral("d1"));
        QCOMPARE(downloads.at(0).at(1).value<Torrent>().index, 0);

        click(cards.at(1)->nameLabel());
        QVERIFY(view.membershipAlert());
        QCOMPARE(view.vipGateTorrent()->index, 1);
        QCOMPARE(view.membershipAlert()->informativeText(),
                 QStringLiteral("这个种子需要 5 BT币，开通尊享会员后可以直接下载，不再单独扣币。"));
        view.membershipAlert()->buttons().at(1)->click(); // 以后再说
        QVERIFY(!view.vipGateTorrent());
        QCOMPARE(vip.size(), 0);

        click(cards.at(1));
        QMessageBox *alert = view.membershipAlert();
        QVERIFY(alert);
        QPushButton *join = nullptr;
        for (QAbstractButton *b : alert->buttons())
            if (b->text() == QStringLiteral("开通尊享会员"))
                join = qobject_cast<QPushButton *>(b);
        QVERIFY(join);
        join->click();
        QCOMPARE(vip.size(), 1);
        QVERIFY(!view.vipGateTorrent());
        QCOMPARE(downloads.size(), 1);
    }

    void membersGoStraightToPaidTorrents()
    {
        DetailFixture f;
        QVERIFY(f.signIn(true));
        f.site.route(kItem, FakeSite::ok(detailJson(f, "d1")));
        DetailView view(QStringLiteral("d1"));
        QSignalSpy downloads(&view, &DetailView::downloadRequested);
        show(view);
        QVERIFY(waitFor([&] { return contentShown(view); }));
        QVERIFY(!view.trialLabel()->isVisible());
        QVERIFY(!view.torrentSection()->paidHint()->isVisible());
        TorrentCard *paid = view.torrentSection()->cards().at(1);
        QVERIFY(paid->copyButton()->isVisible());
        click(paid);
        QCOMPARE(downloads.size(), 1);
        QVERIFY(!view.membershipAlert());

        f.auth.logout();
        QVERIFY(waitFor([&] { return view.trialLabel()->isVisible(); }));
        QVERIFY(paid->priceBadge()->isVisible());
    }

    void copyPutsTheMagnetOnTheClipboard()
    {
        DetailFixture f;
        f.site.route(kItem, FakeSite::ok(detailJson(f, "d1")));
        f.site.enqueue(QStringLiteral("/api/res"), FakeSite::ok(R"({"magnet":"magnet:?xt=urn:btih:abc"})").withDelay(100));
        f.site.enqueue(QStringLiteral("/api/res"), FakeSite::ok(R"({"magnet":""})"));
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        DetailView view(QStringLiteral("d1"));
        show(view);
        QVERIFY(waitFor([&] { return contentShown(view); }));
        TorrentCard *card = view.torrentSection()->cards().at(2);
        card->copyButton()->click();
        QCOMPARE(card->copyButton()->text(), QStringLiteral("复制中…"));
        QVERIFY(!card->copyButton()->isEnabled());
        QVERIFY(waitFor([&] { return card->copyLabel() == QStringLiteral("复制成功"); }));
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("magnet:?xt=urn:btih:abc"));
        QCOMPARE(f.queries("/api/res").first(), (QMap<QString, QString>{{"did", "d1"}, {"n", "2"}, {"type", "0"}}));

        TorrentCard *other = view.torrentSection()->cards().at(0);
        other->copyButton()->click();
        QVERIFY(waitFor([&] { return other->copyLabel() == QStringLiteral("复制失败"); }));
        QVERIFY(other->copyButton()->isEnabled());
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("magnet:?xt=urn:btih:abc"));
        QVERIFY(waitFor([&] { return !other->copyLabel(); }, 3000));
        QCOMPARE(other->copyButton()->text(), QStringLiteral("复制磁力"));
        QCOMPARE(card->copyLabel(), std::optional<QString>(QStringLiteral("复制成功")));
    }
};

TOVRA_TEST(TestDetailView)
#include "tst_detailview.moc"
