#include "models/apiresponse.h"
#include "models/community.h"
#include "modeltesting.h"

#include <QJsonDocument>
#include <QSet>
#include <QTest>
#include "support/testmain.h"

using namespace tovra;
using namespace Qt::StringLiterals;
using tovra::test::decodeBoth;
using tovra::test::j;

Q_DECLARE_METATYPE(BbsPost::Kind)

class CommunityRecordsTest : public QObject
{
    Q_OBJECT

private slots:
    void emptyPost()
    {
        const auto post = decodeBoth<BbsPost>(j("{}"));
        QVERIFY(post);
        QCOMPARE(post->did, QString());
        QVERIFY(post->images.isEmpty() && post->videos.isEmpty() && post->audios.isEmpty());
        QVERIFY(post->torrents.isEmpty());
        QCOMPARE(post->likesNum, 0);
        QCOMPARE(post->liked, false);
        QCOMPARE(post->kind(), BbsPost::Kind::Text);
    }

    void postFieldsFallBackAlone()
    {
        const auto post = decodeBoth<BbsPost>(j(
            "{'did':'p','uid':7,'likes_num':'3','images':['a',null],'torrents':[{'name':'n'}],"
            "'videos':['v'],'comments_num':2,'liked':true}"));
        QVERIFY(post);
        QCOMPARE(post->did, u"p"_s);
        QCOMPARE(post->uid, QString());
        QCOMPARE(post->likesNum, 0);
        QVERIFY(post->images.isEmpty());
        QVERIFY(post->torrents.isEmpty());
        QCOMPARE(post->videos, QStringList{u"v"_s});
        QCOMPARE(post->commentsNum, 2);
        QCOMPARE(post->liked, true);

        QVERIFY(APIResponse<QList<BbsPost>>::decode(j("{'code':200,'message':'','data':[{'did':5},{}]}")));
        QVERIFY(!APIResponse<QList<BbsPost>>::decode(j("{'code':200,'message':'','data':[{},[]]}")));
    }

    void kind_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<BbsPost::Kind>("kind");

        QTest::newRow("images and videos") << j("{'images':['i'],'videos':['v']}") << BbsPost::Kind::Video;
        QTest::newRow("images, audios, torrents")
            << j("{'images':['i'],'audios':['a'],'torrents':[{'url':'u','name':'n'}]}") << BbsPost::Kind::Audio;
        QTest::newRow("images and torrents")
            << j("{'images':['i'],'torrents':[{'url':'u','name':'n'}]}") << BbsPost::Kind::Torrent;
        QTest::newRow("images only") << j("{'images':['i']}") << BbsPost::Kind::Image;
        QTest::newRow("text only") << j("{'content':'c'}") << BbsPost::Kind::Text;
    }

    void kind()
    {
        QFETCH(QByteArray, json);
        QFETCH(BbsPost::Kind, kind);
        QCOMPARE(decodeBoth<BbsPost>(json)->kind(), kind);
    }

    void likes()
    {
        BbsPost post = *decodeBoth<BbsPost>(j("{'did':'p','likes_num':10,'liked':false}"));
        const BbsPost before = post;

        const auto withoutCount = decodeBoth<BbsLikeResult>(j("{'did':'p','liked':true}"));
        QVERIFY(withoutCount);
        post.applyLike(*withoutCount);
        QCOMPARE(post.liked, true);
        QCOMPARE(post.likesNum, 10);
        QVERIFY(!(post == before));

        post.applyLike(*decodeBoth<BbsLikeResult>(j("{'did':'p','liked':false,'likes_num':9}")));
        QCOMPARE(post.liked, false);
        QCOMPARE(post.likesNum, 9);

        QVERIFY(!decodeBoth<BbsLikeResult>(j("{'did':'p'}")));
        QVERIFY(!decodeBoth<BbsLikeResult>(j("{'did':'p','liked':true,'likes_num':'9'}")));
    }

    void postWriteAndReadBack()
    {
        const auto post = decodeBoth<BbsPost>(j(
            "{'did':'p1','uid':'u','content':'第一行\\n\\'引号\\' \\\\','nickname':'n','photo':'ph',"
            "'images':['i1','i2'],'videos':[],'audios':['a'],'torrents':[{'url':'magnet:?x','name':'t'}],"
            "'created':1700000000,'comments_num':1,'download_num':2,'watch_num':3,'likes_num':4,'liked':true}"));
        QVERIFY(post);
        const QByteArray bytes = post->toJsonBytes();
        // Keys in the board's order, every field written.
        QStringList keys;
        for (const QString &key : {u"\"did\""_s, u"\"uid\""_s, u"\"content\""_s, u"\"nickname\""_s,
                                   u"\"photo\""_s, u"\"images\""_s, u"\"videos\""_s, u"\"audios\""_s,
                                   u"\"torrents\""_s, u"\"created\""_s, u"\"liked\""_s,
                                   u"\"likes_num\""_s, u"\"comments_num\""_s, u"\"download_num\""_s,
                                   u"\"watch_num\""_s})
            keys.append(key);
        const QString text = QString::fromUtf8(bytes);
        qsizetype last = -1;
        for (const QString &key : std::as_const(keys)) {
            const qsizetype at = text.indexOf(key + u':');
            QVERIFY2(at > last, qPrintable(key));
            last = at;
        }
        QCOMPARE(json::decodeDocument<BbsPost>(bytes).value_or(BbsPost()), *post);
        QCOMPARE(BbsPost::fromJson(post->toJson()).value_or(BbsPost()), *post);
        QCOMPARE(json::decodeDocument<QList<BbsPost>>(bbsPostsToJson({*post, BbsPost()}))->size(), 2);
        // What we write is JSON any reader takes.
        QVERIFY(!QJsonDocument::fromJson(bytes).isNull());
    }

    void cookie()
    {
        const auto single = decodeBoth<WebCookie>(j("{'name':'sid','value':'v','domain':'.x.com','expires':1700000000.5}"));
        QVERIFY(single);
        QVERIFY(!single->cookies.has_value());
        QCOMPARE(single->pairs().size(), 1);
        QCOMPARE(single->pairs().first().name, u"sid"_s);
        QCOMPARE(single->expires, 1700000000.5);

        const auto nullList = decodeBoth<WebCookie>(
            j("{'name':'a','value':'b','domain':'d','expires':1,'cookies':null}"));
        QVERIFY(nullList && !nullList->cookies.has_value());

        const auto emptyList = decodeBoth<WebCookie>(
            j("{'name':'a','value':'b','domain':'d','expires':1,'cookies':[]}"));
        QVERIFY(emptyList && emptyList->cookies.has_value());
        QVERIFY(emptyList->pairs().isEmpty());

        QVERIFY(!decodeBoth<WebCookie>(j("{'name':'a','value':'b','domain':'d','expires':'1'}")));
        QVERIFY(!decodeBoth<WebCookie>(j("{'name':'a','value':'b','domain':'d','expires':1,'cookies':[{'name':'x'}]}")));

        const auto pairs = decodeBoth<WebCookie>(
            j("{'name':'a','value':'b','domain':'d','expires':2,'cookies':[{'name':'x','value':'1'},{'name':'y','value':'2'}]}"));
        QVERIFY(pairs);
        const QByteArray bytes = pairs->toJsonBytes();
        QCOMPARE(bytes, j("{'name':'a','value':'b','domain':'d','expires':2,"
                          "'cookies':[{'name':'x','value':'1'},{'name':'y','value':'2'}]}"));
        const auto reread = json::decodeDocument<WebCookie>(bytes);
        QVERIFY(reread);
        QCOMPARE(reread->pairs().size(), 2);
        QCOMPARE(reread->pairs().at(1).value, u"2"_s);
        QVERIFY(!single->toJsonBytes().contains("cookies"));
        QCOMPARE(WebCookie::fromJson(single->toJson())->expires, single->expires);
    }

    void update()
    {
        const char *full = "{'has_update':true,'force':false,'version':'1.2.0','build':120,"
                           "'url':'https://x/a.zip','sha256':'','size':1024,'notes':'修复'";
        const auto info = decodeBoth<UpdateInfo>(j((QByteArray(full) + "}").constData()));
        QVERIFY(info);
        QCOMPARE(info->published, std::optional<QString>());
        QCOMPARE(info->sha256, QString());
        QCOMPARE(info->build, 120);
        QCOMPARE(decodeBoth<UpdateInfo>(j((QByteArray(full) + ",'published':'2024-01-01'}").constData()))->published,
                 std::optional<QString>(u"2024-01-01"_s));
        QVERIFY(!decodeBoth<UpdateInfo>(j("{'has_update':true,'force':false,'version':'1','build':1,"
                                          "'url':'u','sha256':'','size':1}")));
        QVERIFY(!decodeBoth<UpdateInfo>(j((QByteArray(full) + ",'published':5}").constData())));
    }

    void likeResultWriter()
    {
        const BbsLikeResult result{u"p"_s, true, std::nullopt};
        QCOMPARE(result.toJsonBytes(), j("{'did':'p','liked':true}"));
        const BbsLikeResult counted{u"p"_s, false, 3};
        QCOMPARE(counted.toJsonBytes(), j("{'did':'p','liked':false,'likes_num':3}"));
        QCOMPARE(BbsLikeResult::fromJson(counted.toJson())->likesNum, std::optional<qint64>(3));
    }
};

TOVRA_TEST(CommunityRecordsTest)
#include "tst_community.moc"
