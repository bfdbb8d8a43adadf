#include "models/communitylogic.h"

#include <QTest>
#include "support/testmain.h"

using namespace tovra;

namespace {
QList<BbsPost> posts(const QStringList &dids)
{
    QList<BbsPost> out;
    for (const QString &did : dids) {
        BbsPost post;
        post.did = did;
        post.content = did + QStringLiteral("-text");
        out.append(post);
    }
    return out;
}

QStringList dids(const QList<BbsPost> &list)
{
    QStringList out;
    for (const BbsPost &post : list)
        out.append(post.did);
    return out;
}
}

class TestCommunityLogic : public QObject
{
    Q_OBJECT
private slots:
    void appendKeepsReplyOrderWithoutRepeats()
    {
        const auto fresh = community::newPosts(posts({"a", "b"}), posts({"c", "b", "d", "c", "a", "e"}));
        QCOMPARE(dids(fresh), QStringList({"c", "d", "e"}));
        QCOMPARE(dids(community::distinctPosts(posts({"x", "y", "x"}))), QStringList({"x", "y"}));
    }

    void nearEnd_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("position");
        QTest::addColumn<bool>("near");
        QTest::newRow("20 posts, 17th") << 20 << 16 << false;
        QTest::newRow("20 posts, 18th") << 20 << 17 << true;
        QTest::newRow("20 posts, last") << 20 << 19 << true;
        QTest::newRow("2 posts, first") << 2 << 0 << true;
        QTest::newRow("unknown did") << 5 << -1 << false;
    }
    void nearEnd()
    {
        QFETCH(int, count);
        QFETCH(int, position);
        QFETCH(bool, near);
        QStringList list;
        for (int i = 0; i < count; ++i)
            list.append(QString::number(i));
        QCOMPARE(community::isNearEnd(posts(list), position < 0 ? QStringLiteral("zz") : QString::number(position)), near);
    }

    void paging()
    {
        QVERIFY(!community::hasMorePages(std::nullopt));
        Meta meta;
        QVERIFY(!community::hasMorePages(meta));
        meta.hasMore = true;
        QVERIFY(community::hasMorePages(meta));
        QCOMPARE(community::likeAction(true), QStringLiteral("unlike"));
        QCOMPARE(community::likeAction(false), QStringLiteral("like"));
    }

    void links_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<int>("action");
        const int open = int(community::LinkAction::Open), ignore = int(community::LinkAction::Ignore);
        QTest::newRow("magnet") << "magnet:?xt=urn:btih:abcdef" << open;
        QTest::newRow("MAGNET case") << " MAGNET:?xt=urn:btih:abcdef" << open;
        QTest::newRow("https") << "https://example.com/a.torrent" << open;
        QTest::newRow("http") << "http://example.com/a.torrent" << open;
        QTest::newRow("thunder") << "thunder://QUFodHRwOi8v" << open;
        QTest::newRow("http without host") << "http:///a.torrent" << ignore;
        QTest::newRow("ftp") << "ftp://example.com/a.torrent" << ignore;
        QTest::newRow("file") << "file:///etc/passwd" << ignore;
        QTest::newRow("javascript") << "javascript:alert(1)" << ignore;
        QTest::newRow("relative") << "a.torrent" << ignore;
        QTest::newRow("empty") << "" << ignore;
    }
    void links()
    {
        QFETCH(QString, link);
        QFETCH(int, action);
        QCOMPARE(int(community::linkAction(link)), action);
    }

    void mediaAddresses()
    {
        QVERIFY(community::mediaUrl(QStringLiteral("https://img.example.com/a.jpg")));
        QVERIFY(!community::mediaUrl(QStringLiteral("file:///tmp/a.jpg")));
        QVERIFY(!community::mediaUrl(QStringLiteral("qrc:/icons/a.svg")));
        QVERIFY(!community::mediaUrl(QStringLiteral("data:image/png;base64,AAAA")));
        QVERIFY(!community::mediaUrl(QStringLiteral("not a url")));
    }
};

TOVRA_TEST(TestCommunityLogic)
#include "tst_communitylogic.moc"
