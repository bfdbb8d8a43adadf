#include "models/account.h"
#include "models/apiresponse.h"
#include "modeltesting.h"

#include <QSet>
#include <QTest>
#include "support/testmain.h"

using namespace tovra;
using namespace Qt::StringLiterals;
using tovra::test::decodeBoth;
using tovra::test::j;
using tovra::test::OptText;

class AccountRecordsTest : public QObject
{
    Q_OBJECT

private slots:
    void user_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("reads");

        const char *base = "'uid':'u1','gold':10,'vip_level':1,'vip_expired':1700000000,'is_vip':true";
        QTest::newRow("no nickname or photo") << j(("{" + QByteArray(base) + "}").constData()) << true;
        QTest::newRow("both null") << j(("{" + QByteArray(base) + ",'nickname':null,'photo':null}").constData()) << true;
        QTest::newRow("gold as text") << j("{'uid':'u1','gold':'10','vip_level':1,'vip_expired':0,'is_vip':true}") << false;
        QTest::newRow("uid as number") << j("{'uid':1,'gold':10,'vip_level':1,'vip_expired':0,'is_vip':true}") << false;
        QTest::newRow("is_vip as 1") << j("{'uid':'u1','gold':10,'vip_level':1,'vip_expired':0,'is_vip':1}") << false;
        QTest::newRow("no vip_level") << j("{'uid':'u1','gold':10,'vip_expired':0,'is_vip':true}") << false;
        QTest::newRow("nickname number") << j(("{" + QByteArray(base) + ",'nickname':5}").constData()) << false;
    }

    void user()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, reads);
        const auto user = decodeBoth<User>(json);
        QCOMPARE(user.has_value(), reads);
        if (!reads)
            return;
        QCOMPARE(user->nickname, OptText());
        QCOMPARE(user->photo, OptText());
        QCOMPARE(user->gold, 10);
        QCOMPARE(user->isVip, true);
    }

    void smallReplies()
    {
        const auto login = decodeBoth<LoginResult>(
            j("{'token':'t','uid':'u','gold':1,'vip_level':0,'vip_expired':0}"));
        QVERIFY(login);
        QCOMPARE(login->token, u"t"_s);
        QVERIFY(!decodeBoth<LoginResult>(j("{'uid':'u','gold':1,'vip_level':0,'vip_expired':0}")));

        const auto status = decodeBoth<SignStatus>(j("{'signed':true,'days':3,'last_time':5}"));
        QVERIFY(status && status->signed_ && status->days == 3 && status->lastTime == 5);
        QVERIFY(!decodeBoth<SignStatus>(j("{'signed':1,'days':3,'last_time':5}")));

        const auto sign = decodeBoth<SignResult>(j("{'signed':true,'gold':0}"));
        QVERIFY(sign);
        QCOMPARE(sign->total, std::optional<qint64>());
        QCOMPARE(decodeBoth<SignResult>(j("{'signed':true,'gold':5,'total':40}"))->total, std::optional<qint64>(40));

        QVERIFY(decodeBoth<ExchangeResult>(j("{'gold':1,'vip_expired':2}")));
        QVERIFY(!decodeBoth<ExchangeResult>(j("{'gold':1}")));

        const auto unread = decodeBoth<UnreadCount>(j("{'reply':1,'like':2,'board':3,'total':6}"));
        QVERIFY(unread && unread->like == 2 && unread->total == 6);
        QVERIFY(!decodeBoth<UnreadCount>(j("{'reply':1,'like':2,'board':3}")));

        const auto photo = decodeBoth<PhotoResult>(j("{'photo':'p.jpg','photo_url':'https://x/p.jpg'}"));
        QVERIFY(photo);
        QCOMPARE(photo->photoURL, u"https://x/p.jpg"_s);
        QVERIFY(!decodeBoth<PhotoResult>(j("{'photo':'p.jpg','photoURL':'x'}")));
    }

    void coinLog()
    {
        const auto empty = decodeBoth<GoldLog>(j("{}"));
        QVERIFY(empty);
        QCOMPARE(empty->type, 0);
        QCOMPARE(empty->typeName, u"其他"_s);
        QCOMPARE(empty->sign, u"+"_s);
        QCOMPARE(empty->explain, QString());
        QCOMPARE(empty->gold, 0);
        QCOMPARE(empty->balance, 0);
        QCOMPARE(empty->created, 0);
        QCOMPARE(empty->id(), u"0-0-0-0"_s);

        const auto textGold = decodeBoth<GoldLog>(j("{'gold':'5','type':2,'type_name':'签到','explain':'x'}"));
        QVERIFY(textGold);
        QCOMPARE(textGold->gold, 0);
        QCOMPARE(textGold->type, 2);
        QCOMPARE(textGold->typeName, u"签到"_s);

        const auto spent = decodeBoth<GoldLog>(j("{'created':1000,'type':3,'gold':-5,'balance':20}"));
        QCOMPARE(spent->id(), u"1000-3--5-20"_s);

        // A null type name falls back like a missing one.
        QCOMPARE(decodeBoth<GoldLog>(j("{'type_name':null}"))->typeName, u"其他"_s);
        // A list of lines fails only on an element that is not an object.
        QVERIFY(APIResponse<QList<GoldLog>>::decode(j("{'code':200,'message':'','data':[{},{'gold':[]}]}")));
        QVERIFY(!APIResponse<QList<GoldLog>>::decode(j("{'code':200,'message':'','data':[{},null]}")));
    }

    void watchHistory()
    {
        const auto item = decodeBoth<WatchingItem>(j(
            "{'did':'abc','title':'t','image':'i','episode':2,'pos':30,'duration':60,'token':'k','expired':9}"));
        QVERIFY(item);
        QCOMPARE(item->id(), u"abc-2"_s);
        QVERIFY(!decodeBoth<WatchingItem>(j(
            "{'did':'abc','title':'t','image':'i','episode':2,'pos':30,'duration':60,'token':'k'}")));
        WatchingItem moved = *item;
        moved.pos = 45;
        QVERIFY(!(moved == *item));
        QCOMPARE(moved.id(), item->id());
    }

    void noticeIds_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<OptText>("did");
        QTest::addColumn<QString>("id");

        QTest::newRow("numeric did") << j("{'sid':4,'created':100,'did':123}") << OptText(u"123"_s) << u"4-100-123"_s;
        QTest::newRow("text did") << j("{'did':'x7'}") << OptText(u"x7"_s) << u"0-0-x7"_s;
        QTest::newRow("flag did") << j("{'did':true,'sid':1}") << OptText() << u"1-0-"_s;
        QTest::newRow("only unread") << j("{'unread':true}") << OptText() << u"0-0-"_s;
        QTest::newRow("sid as text") << j("{'sid':'4','created':2}") << OptText() << u"0-2-"_s;
    }

    void noticeIds()
    {
        QFETCH(QByteArray, json);
        QFETCH(OptText, did);
        QFETCH(QString, id);
        const auto notice = decodeBoth<NoticeItem>(json);
        QVERIFY(notice);
        QCOMPARE(notice->did, did);
        QCOMPARE(notice->id(), id);
    }

    void noticeParts()
    {
        const auto notice = decodeBoth<NoticeItem>(j(
            "{'type':'reply','unread':1,'actor':{'uid':55,'nickname':'n','img':7},"
            "'target':{'cid':'c1','content':['x']},'content':'hi','dateshow':'昨天'}"));
        QVERIFY(notice);
        QCOMPARE(notice->unread, false);
        QCOMPARE(notice->actor, std::optional<NoticeActor>(NoticeActor{u"55"_s, u"n"_s, std::nullopt}));
        QCOMPARE(notice->target, std::optional<NoticeTarget>(NoticeTarget{u"c1"_s, std::nullopt}));
        QCOMPARE(notice->dateshow, OptText(u"昨天"_s));
        QCOMPARE(decodeBoth<NoticeItem>(j("{'actor':'someone'}"))->actor, std::optional<NoticeActor>());
    }

    void messagePage()
    {
        const auto empty = decodeBoth<MessageData>(j("{}"));
        QVERIFY(empty);
        QCOMPARE(empty->tab, u"notice"_s);
        QCOMPARE(empty->type, u"all"_s);
        QCOMPARE(empty->page, 1);
        QVERIFY(!empty->notice.has_value());
        QVERIFY(empty->board.isEmpty());
        QCOMPARE(empty->boardTotal, 0);
        QCOMPARE(empty->boardHasMore, false);

        const auto broken = decodeBoth<MessageData>(j("{'board':[null],'notice':'x','page':'2','board_has_more':1}"));
        QVERIFY(broken);
        QVERIFY(broken->board.isEmpty());
        QVERIFY(!broken->notice.has_value());
        QCOMPARE(broken->page, 1);
        QCOMPARE(broken->boardHasMore, false);

        const auto page = decodeBoth<MessageData>(j(
            "{'tab':'board','page':3,'notice':{'list':[{'sid':1},{'sid':2}],'total':2,'titles':{'a':'甲'}},"
            "'board':[{'id':9,'content':'c','reply':{'name':'客服','time':5,'message':'m'},'created':1,'unread':true}],"
            "'board_total':1,'board_has_more':true}"));
        QVERIFY(page);
        QCOMPARE(page->notice->list.size(), 2);
        QCOMPARE(page->notice->titles.value(u"a"_s), u"甲"_s);
        QCOMPARE(page->board.first().reply->name, u"客服"_s);
        QVERIFY(page->boardHasMore);
    }

    void noticeBlockFallsBackWhole()
    {
        const auto block = decodeBoth<NoticeBlock>(j("{'list':[{'sid':1},5],'titles':['a'],'total':'3'}"));
        QVERIFY(block);
        QVERIFY(block->list.isEmpty());
        QVERIFY(block->titles.isEmpty());
        QCOMPARE(block->total, 0);
        QVERIFY(decodeBoth<NoticeBlock>(j("{'titles':{'a':'x','b':1}}"))->titles.isEmpty());
    }

    void boardReplies()
    {
        QVERIFY(!decodeBoth<BoardMessage>(j("{'reply':null}"))->reply.has_value());
        const auto answered = decodeBoth<BoardMessage>(j("{'id':3,'reply':{}}"));
        QVERIFY(answered);
        QCOMPARE(answered->reply, std::optional<BoardReply>(BoardReply{u"管理员"_s, 0, QString()}));
        QCOMPARE(answered->id, 3);

        BoardMessage read = *answered;
        read.unread = true;
        QVERIFY(!(read == *answered));
        QCOMPARE(QSet<BoardMessage>({read, *answered, read}).size(), 2);
    }
};

TOVRA_TEST(AccountRecordsTest)
#include "tst_account.moc"
