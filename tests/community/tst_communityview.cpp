#include "communityfixture.h"
#include "network/apierror.h"
#include "views/community/boardchip.h"
#include "views/community/communityview.h"
#include "views/community/countbadge.h"
#include "views/community/postfeed.h"
#include "views/community/postslide.h"
#include "views/components/stateoverlay.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QMediaPlayer>
#include "support/testmain.h"

using namespace tovra;
using namespace tovra::test;

namespace {
const QString kList = QStringLiteral("/api/bbs_list");
const QString kLike = QStringLiteral("/api/bbs_like");

// Images load through the same site, so requests are counted per path.
bool waitForCalls(CatalogueFixture &f, const QString &path, int count)
{
    return waitFor([&] { return f.requests(path).size() >= count; });
}

// The board, shown, with its first load answered.
struct Board
{
    CommunityView view;
    explicit Board(CatalogueFixture &f, int requests = 1)
    {
        view.resize(900, 640);
        view.show();
        QVERIFY(waitForCalls(f, kList, requests));
        QVERIFY(waitFor([&] { return !view.isLoading(); }));
    }
};

QString did(const CommunityView &view, int i)
{
    return view.posts().at(i).did;
}
}

class TestCommunityView : public QObject
{
    Q_OBJECT
private slots:
    void firstFrameIsLoadingBeforeAnyRequest()
    {
        CatalogueFixture f;
        f.site.route(kList, FakeSite::ok(postsJson(f, 0, 3)));
        CommunityView view;
        QCOMPARE(view.overlay()->kind().kase, StateOverlay::Kind::Case::Loading);
        QVERIFY(f.requests(kList).isEmpty());
        view.show();
        QVERIFY(waitForCalls(f, kList, 1));
        QVERIFY(waitFor([&] { return view.posts().size() == 3; }));
        QCOMPARE(view.current(), std::optional(QStringLiteral("p0")));
        QVERIFY(view.feed()->currentSlide()->isActive());
    }

    void pagesNearTheEnd()
    {
        CatalogueFixture f;
        f.site.route(kList, [&f](const FakeSite::Request &r) {
            const int page = r.query().queryItemValue(QStringLiteral("page")).toInt();
            return FakeSite::ok(postsJson(f, (page - 1) * 20, 20), hasMoreMeta(page < 2));
        });
        Board board(f);
        QCOMPARE(board.view.page(), 2);
        QCOMPARE(f.queries(kList).constFirst(), (QMap<QString, QString>{{"page", "1"}}));

        board.view.feed()->step(16); // the 17th post
        QTest::qWait(50);
        QCOMPARE(f.requests(kList).size(), 1);
        board.view.feed()->step(1); // the 18th
        QVERIFY(waitForCalls(f, kList, 2));
        QCOMPARE(f.queries(kList).at(1), (QMap<QString, QString>{{"page", "2"}}));
        QVERIFY(waitFor([&] { return board.view.posts().size() == 40; }));
        QVERIFY(!board.view.hasMore());
        QCOMPARE(board.view.page(), 2);

        board.view.feed()->step(30);
        QTest::qWait(50);
        QCOMPARE(f.requests(kList).size(), 2);
    }

    void shortFirstPageAsksAtOnce()
    {
        CatalogueFixture f;
        f.site.enqueue(kList, FakeSite::ok(postsJson(f, 0, 2), hasMoreMeta(true)));
        // No has_more: the appended page ends the feed without counting on.
        f.site.enqueue(kList, FakeSite::ok(postsJson(f, 1, 3), QByteArray(R"({"page":2})")));
        Board board(f, 2);
        QCOMPARE(f.queries(kList).at(1).value("page"), QStringLiteral("2"));
        QVERIFY(waitFor([&] { return board.view.posts().size() == 4; }));
        QCOMPARE(did(board.view, 2), QStringLiteral("p2"));
        QCOMPARE(did(board.view, 3), QStringLiteral("p3"));
        QVERIFY(!board.view.hasMore());
        QCOMPARE(board.view.page(), 2);
    }

    void filterChips()
    {
        CatalogueFixture f;
        f.site.route(kList, [&f](const FakeSite::Request &r) {
            const QString filter = r.query().queryItemValue(QStringLiteral("filter"));
            return FakeSite::ok(postsJson(f, 0, 8, filter.isEmpty() ? QStringLiteral("all") : filter));
        });
        Board board(f);
        const auto chips = board.view.chips();
        QCOMPARE(chips.size(), 5);
        QCOMPARE(chips.at(4)->label(), QStringLiteral("种子"));
        chips.at(0)->click(); // already selected
        QTest::qWait(50);
        QCOMPARE(f.requests(kList).size(), 1);

        chips.at(1)->click();
        QVERIFY(chips.at(1)->isSelected() && !chips.at(0)->isSelected());
        QVERIFY(waitForCalls(f, kList, 2));
        QCOMPARE(f.queries(kList).at(1), (QMap<QString, QString>{{"filter", "video"}, {"page", "1"}}));
        QVERIFY(waitFor([&] { return did(board.view, 0) == u"video0"; }));
        QCOMPARE(board.view.current(), std::optional(QStringLiteral("video0")));

        chips.at(0)->click();
        QVERIFY(waitForCalls(f, kList, 3));
        QCOMPARE(f.queries(kList).at(2), (QMap<QString, QString>{{"page", "1"}}));
    }

    // A slow reply for the filter the user has left must not replace the newer one's posts.
    void staleResetWritesNothing()
    {
        CatalogueFixture f;
        f.site.route(kList, [&f](const FakeSite::Request &r) {
            const QString filter = r.query().queryItemValue(QStringLiteral("filter"));
            auto reply = FakeSite::ok(postsJson(f, 0, 5, filter.isEmpty() ? QStringLiteral("all") : filter));
            return filter.isEmpty() ? reply.withDelay(400) : reply;
        });
        CommunityView view;
        view.show();
        QVERIFY(waitForCalls(f, kList, 1));
        view.chooseFilter(QStringLiteral("image"));
        QVERIFY(waitFor([&] { return !view.posts().isEmpty(); }));
        QTest::qWait(600);
        QCOMPARE(view.posts().constFirst().did, QStringLiteral("image0"));
        QCOMPARE(view.current(), std::optional(QStringLiteral("image0")));
    }

    void failures_data()
    {
        QTest::addColumn<FakeSite::Reply>("reply");
        QTest::addColumn<QString>("message");
        QTest::newRow("server code") << FakeSite::json(FakeSite::envelope(500, QStringLiteral("社区维护中")))
                                     << APIError::server(500, QStringLiteral("社区维护中")).description();
        QTest::newRow("not json") << FakeSite::text("<html>") << QString();
    }
    void failures()
    {
        QFETCH(FakeSite::Reply, reply);
        QFETCH(QString, message);
        CatalogueFixture f;
        f.site.enqueue(kList, reply);
        f.site.route(kList, FakeSite::ok(postsJson(f, 0, 2)));
        CommunityView view;
        view.show();
        QVERIFY(waitFor([&] { return view.error().has_value(); }));
        QCOMPARE(view.overlay()->kind().kase, StateOverlay::Kind::Case::Error);
        QVERIFY(!view.overlay()->messageText().isEmpty());
        if (!message.isEmpty())
            QCOMPARE(view.overlay()->messageText(), message);

        // Retry asks for page 1 again.
        view.overlay()->retryButton()->click();
        QVERIFY(waitForCalls(f, kList, 2));
        QCOMPARE(f.queries(kList).at(1).value("page"), QStringLiteral("1"));
        QVERIFY(waitFor([&] { return view.posts().size() == 2; }));
    }

    void failedAppendStopsQuietly()
    {
        CatalogueFixture f;
        f.site.enqueue(kList, FakeSite::ok(postsJson(f, 0, 2), hasMoreMeta(true)));
        f.site.enqueue(kList, FakeSite::Reply().withStatus(502).withBody("bad gateway"));
        Board board(f, 2);
        QVERIFY(waitFor([&] { return !board.view.hasMore() && !board.view.isLoading(); }));
        QVERIFY(!board.view.error());
        QCOMPARE(board.view.feed()->current(), std::optional(QStringLiteral("p0")));
        board.view.feed()->step(1);
        QTest::qWait(50);
        QCOMPARE(f.requests(kList).size(), 2);
    }

    void emptyFirstPage()
    {
        CatalogueFixture f;
        f.site.route(kList, FakeSite::ok("[]", hasMoreMeta(false)));
        Board board(f);
        QCOMPARE(board.view.overlay()->kind().kase, StateOverlay::Kind::Case::Empty);
        QCOMPARE(board.view.overlay()->messageText(), QStringLiteral("这里还没有内容"));
        QVERIFY(!board.view.current());
    }

    void likes_data()
    {
        QTest::addColumn<bool>("liked");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("likedAfter");
        QTest::addColumn<qint64>("countAfter");
        QTest::newRow("like with count") << false << QByteArray(R"({"did":"p0","liked":true,"likes_num":5})")
                                         << "like" << true << qint64(5);
        QTest::newRow("like, no count") << false << QByteArray(R"({"did":"p0","liked":true})") << "like" << true
                                        << qint64(3);
        QTest::newRow("unlike") << true << QByteArray(R"({"did":"p0","liked":false,"likes_num":2})") << "unlike"
                                << false << qint64(2);
        QTest::newRow("refused") << false << QByteArray() << "like" << false << qint64(3);
    }
    void likes()
    {
        QFETCH(bool, liked);
        QFETCH(QByteArray, answer);
        QFETCH(QString, action);
        QFETCH(bool, likedAfter);
        QFETCH(qint64, countAfter);
        CatalogueFixture f;
        QJsonObject post = postJson(f, QStringLiteral("p0"));
        post.insert("liked", liked);
        f.site.route(kList, FakeSite::ok(QJsonDocument(QJsonArray{post}).toJson(QJsonDocument::Compact)));
        const auto reply = answer.isEmpty() ? FakeSite::json(FakeSite::envelope(403, QStringLiteral("请先登录")))
                                            : FakeSite::ok(answer);
        f.site.route(kLike, FakeSite::Reply(reply).withDelay(150));
        Board board(f);
        PostSlide *slide = board.view.feed()->currentSlide();
        QVERIFY(slide);
        CountBadge *heart = slide->likeButton();
        QCOMPARE(heart->symbol(), liked ? QStringLiteral("heart.fill") : QStringLiteral("heart"));

        heart->click();
        QVERIFY(!heart->isEnabled());
        slide->toggleLike(); // a second press while one runs sends nothing
        QVERIFY(waitForCalls(f, kLike, 1));
        // Nothing changes before the answer.
        QCOMPARE(slide->post().liked, liked);
        QVERIFY(waitFor([&] { return heart->isEnabled(); }));
        QCOMPARE(f.requests(kLike).size(), 1);
        const QUrlQuery form = f.requests(kLike).constFirst().form();
        QCOMPARE(form.queryItemValue("did"), QStringLiteral("p0"));
        QCOMPARE(form.queryItemValue("action"), action);

        QCOMPARE(heart->symbol(), likedAfter ? QStringLiteral("heart.fill") : QStringLiteral("heart"));
        QCOMPARE(heart->count(), std::optional(countAfter));
        QCOMPARE(board.view.posts().constFirst().liked, likedAfter);
        QCOMPARE(board.view.posts().constFirst().likesNum, countAfter);
    }

    // The answer reaches the board even when the slide was paged away and dropped meanwhile.
    void likeOutlivesItsSlide()
    {
        CatalogueFixture f;
        f.site.route(kList, FakeSite::ok(postsJson(f, 0, 6)));
        f.site.route(kLike, FakeSite::ok(R"({"did":"p0","liked":true,"likes_num":9})").withDelay(200));
        Board board(f);
        board.view.feed()->currentSlide()->likeButton()->click();
        board.view.feed()->step(3);
        QVERIFY(waitFor([&] { return board.view.posts().constFirst().liked; }));
        QCOMPARE(board.view.posts().constFirst().likesNum, 9);
        board.view.feed()->step(-3);
        QCOMPARE(board.view.feed()->currentSlide()->likeButton()->count(), std::optional<qint64>(9));
    }

    void slidesShowTheirMedium()
    {
        CatalogueFixture f;
        const QJsonArray list{postJson(f, "t", "torrent"), postJson(f, "v", "video"), postJson(f, "a", "audio")};
        f.site.route(kList, FakeSite::ok(QJsonDocument(list).toJson(QJsonDocument::Compact)));
        Board board(f);
        PostFeed *feed = board.view.feed();
        QCOMPARE(feed->currentSlide()->media()->findChildren<QAbstractButton *>().size(), 2);
        // The video next door opens no stream; it plays once it is the current slide.
        QVERIFY(!feed->slide("v")->player());
        feed->step(1);
        PostSlide *video = feed->currentSlide();
        QVERIFY(video->player());
        QCOMPARE(video->player()->source(), QUrl("http://127.0.0.1:1/v.mp4"));
        QCOMPARE(video->player()->playbackState(), QMediaPlayer::PlayingState);
        feed->step(1);
        QVERIFY(video->player()->playbackState() != QMediaPlayer::PlayingState);
        PostSlide *audio = feed->currentSlide();
        QVERIFY(!audio->player());
        QVERIFY(!feed->slide("t")); // two posts away: dropped
        // Server text stays text.
        QCOMPARE(audio->contentLabel()->textFormat(), Qt::PlainText);
    }
};

TOVRA_TEST(TestCommunityView)
#include "tst_communityview.moc"
