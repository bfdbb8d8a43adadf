#include "models/messagelogic.h"
#include "support/screentext.h"
#include "support/testmain.h"
#include "uccfixture.h"
#include "views/components/stateoverlay.h"
#include "views/usercenter/messageview.h"

#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTest>

using namespace tovra;
using namespace tovra::test;

namespace {
using Fixture = UccFixture<MessageView>;

// An image tag with a double-quoted alt, escaped for JSON.
const char kPraise[] = "<p>说得好&nbsp;<img src=\\\"x\\\" alt=\\\"赞\\\"></p>";
const QByteArray kNotices = QByteArray(R"({"tab":"notice","type":"all","page":1,"notice":{"total":3,"titles":{"d1":"星河 & 往事"},"list":[
 {"type":"reply","sid":1,"did":"d1","unread":true,"actor":{"uid":7,"nickname":"<b>阿飞</b>"},"content":")") + kPraise + R"(","target":{"cid":3,"content":"我觉得 &amp; 不错"},"dateshow":"3分钟前"},
 {"type":"like","sid":2,"did":9,"actor":{"uid":"8"},"created":1700000000},
 {"sid":3,"content":"<br>","target":{"content":"<i></i>"}}]}})";
const QByteArray kBoard = R"({"tab":"board","board":[
 {"id":5,"content":"<script>x</script>片源失效","created":1700000000,"unread":true,"reply":{"name":"站长","time":1700003600,"message":"已修复"}},
 {"id":6,"content":"","reply":{"name":"站长","message":""}}]})";

QStringList labelTexts(QWidget *root)
{
    QStringList out;
    for (QLabel *label : root->findChildren<QLabel *>())
        if (label->isVisibleTo(root))
            out.append(label->text());
    return out;
}
}

class TestMessages : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { Palette::installApplicationTheme(); }

    void plain_data()
    {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("expected");
        QTest::newRow("mixed") << "<p>你好</p>&nbsp;<img src=\"e.png\" alt=\"微笑\">&amp;再见\n" << "你好 [微笑]&再见";
        QTest::newRow("single-quoted alt") << "a<img alt='笑'>b" << "ab";
        QTest::newRow("capital tag") << "a<IMG alt=\"笑\">b" << "ab";
        QTest::newRow("alt with >") << "<img alt=\"a>b\">" << "[a>b]";
        QTest::newRow("only spaces") << "  &nbsp; \n" << "";
        QTest::newRow("tag over lines") << "x<span\nclass=\"c\">y</span>" << "xy";
        QTest::newRow("other entities stay") << "&lt;&gt;&quot;&#39;" << "&lt;&gt;&quot;&#39;";
        QTest::newRow("escaped nbsp") << "&amp;nbsp;" << "&nbsp;";
    }
    void plain()
    {
        QFETCH(QString, html);
        QFETCH(QString, expected);
        QCOMPARE(messagelogic::plain(html), expected);
    }

    void noticeTexts_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("time");
        QTest::newRow("like, dateshow wins") << QByteArray(R"({"type":"like","did":"d1","actor":{"nickname":"甲"},"dateshow":"刚刚","created":5})")
                                             << "甲" << "赞了你" << "· 片名" << "刚刚";
        QTest::newRow("no actor, no type") << QByteArray(R"({"did":"zz","created":0,"dateshow":""})") << "有人" << "回复了你" << "" << "";
        QTest::newRow("empty nickname") << QByteArray(R"({"type":"reply","actor":{"uid":1,"nickname":""},"created":86400})")
                                        << "" << "回复了你" << "" << messagelogic::time(86400);
        QTest::newRow("actor without nickname") << QByteArray(R"({"type":"other","actor":{"uid":1}})") << "有人" << "回复了你" << "" << "";
    }
    void noticeTexts()
    {
        QFETCH(QByteArray, json);
        const auto item = NoticeItem::fromJson(QJsonDocument::fromJson(json).object());
        QVERIFY(item.has_value());
        const QMap<QString, QString> titles{{"d1", "片名"}};
        QTEST(messagelogic::actorName(*item), "name");
        QTEST(messagelogic::actionText(*item), "action");
        QTEST(messagelogic::titlePart(*item, titles).value_or(QString()), "title");
        QTEST(messagelogic::timeText(*item), "time");
    }

    void firstShowLoadsNotices()
    {
        Fixture f;
        QVERIFY(f.signIn(false));
        f.site.route(QStringLiteral("/api/messages"), FakeSite::ok(kNotices));
        MessageView &view = f.show();
        QVERIFY(view.isLoading());
        QCOMPARE(view.overlay()->kind().kase, StateOverlay::Kind::Case::Loading);
        QVERIFY(waitFor([&] { return !view.isLoading(); }));
        const auto sent = f.requests(QStringLiteral("/api/messages"));
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent.at(0).method, QByteArray("GET"));
        QCOMPARE(sent.at(0).header("Authorization"), QByteArray("Bearer token-1"));
        QCOMPARE(f.query(QStringLiteral("/api/messages"), 0),
                 (QMap<QString, QString>{{"tab", "notice"}, {"type", "all"}, {"page", "1"}}));
        QVERIFY(!view.overlay()->isVisible());
        QCOMPARE(view.listContent()->findChildren<QWidget *>(QStringLiteral("noticeRow")).size(), 3);
        const QStringList texts = labelTexts(view.listContent());
        // Names are the server's text, shown as it stands and never as markup.
        const QStringList expected{"<b>阿飞</b>", "回复了你", "· 星河 & 往事", "3分钟前", "说得好 [赞]", "我的原文：我觉得 & 不错",
                                   "有人", "赞了你", messagelogic::time(1700000000), "", "我的原文："};
        for (const QString &t : expected)
            QVERIFY2(texts.contains(t), qPrintable(t));
        for (QLabel *label : view.listContent()->findChildren<QLabel *>())
            QCOMPARE(label->textFormat(), Qt::PlainText);
        QCOMPARE(view.listContent()->findChildren<QWidget *>(QStringLiteral("unreadDot")).size(), 1);
    }

    void boardRows()
    {
        Fixture f;
        f.site.route(QStringLiteral("/api/messages"), FakeSite::ok(kBoard));
        MessageView &view = f.show();
        QVERIFY(waitFor([&] { return !view.isLoading(); }));
        view.setTab(QStringLiteral("board"));
        QVERIFY(waitFor([&] { return !view.isLoading() && f.requests(QStringLiteral("/api/messages")).size() == 2; }));
        QVERIFY(!view.filterControl()->isVisibleTo(&view));
        const QStringList texts = labelTexts(view.listContent());
        QVERIFY(texts.contains(QStringLiteral("<script>x</script>片源失效")));
        QVERIFY(texts.contains(QStringLiteral("站长回复：")));
        QVERIFY(texts.contains(QStringLiteral("已修复")));
        QVERIFY(texts.contains(messagelogic::time(1700003600)));
        QVERIFY(texts.contains(QStringLiteral("（留言已删除）")));
        QVERIFY(texts.contains(messagelogic::time(0)));
        // The deleted message's reply has no text, so only the first row has a reply box.
        QCOMPARE(view.listContent()->findChildren<QWidget *>(QStringLiteral("replyBox")).size(), 1);
    }

    void switchingKeepsFilter()
    {
        Fixture f;
        f.site.route(QStringLiteral("/api/messages"), FakeSite::ok(kNotices));
        MessageView &view = f.show();
        QVERIFY(waitFor([&] { return !view.isLoading(); }));
        // Through the segmented buttons, as a user would.
        const auto press = [&](const QString &title) {
            for (QPushButton *b : view.findChildren<QPushButton *>())
                if (b->text() == title)
                    return b->click();
            QFAIL(qPrintable(title));
        };
        press(QStringLiteral("点赞"));
        QVERIFY(waitFor([&] { return !view.isLoading() && f.requests(QStringLiteral("/api/messages")).size() == 2; }));
        press(QStringLiteral("站内留言"));
        QVERIFY(waitFor([&] { return !view.isLoading() && f.requests(QStringLiteral("/api/messages")).size() == 3; }));
        QCOMPARE(f.query(QStringLiteral("/api/messages"), 1).value("type"), QStringLiteral("like"));
        QCOMPARE(f.query(QStringLiteral("/api/messages"), 2),
                 (QMap<QString, QString>{{"tab", "board"}, {"type", "like"}, {"page", "1"}}));
        press(QStringLiteral("评论提醒"));
        QVERIFY(view.filterControl()->isVisibleTo(&view));
        QCOMPARE(view.type(), QStringLiteral("like"));
    }

    void emptyStates_data()
    {
        QTest::addColumn<QString>("tab");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("message");
        QTest::newRow("no notice block") << "notice" << QByteArray(R"({"board":[]})") << "评论服务暂时不可用";
        QTest::newRow("no notices") << "notice" << QByteArray(R"({"notice":{"list":[]}})") << "暂无评论提醒";
        QTest::newRow("no board messages") << "board" << QByteArray(R"({"notice":{"list":[{}]}})") << "还没有留言";
    }
    void emptyStates()
    {
        QFETCH(QString, tab);
        QFETCH(QByteArray, data);
        Fixture f;
        f.site.route(QStringLiteral("/api/messages"), FakeSite::ok(data));
        MessageView &view = f.show();
        view.setTab(tab);
        QVERIFY(waitFor([&] { return !view.isLoading(); }));
        QCOMPARE(view.overlay()->kind().kase, StateOverlay::Kind::Case::Empty);
        QTEST(view.overlay()->messageText(), "message");
    }

    void errorThenRetry()
    {
        Fixture f;
        f.site.enqueue(QStringLiteral("/api/messages"), FakeSite::ok(kNotices));
        f.site.enqueue(QStringLiteral("/api/messages"), FakeSite::json(FakeSite::envelope(500, "服务繁忙")));
        f.site.route(QStringLiteral("/api/messages"), FakeSite::ok(kBoard));
        MessageView &view = f.show();
        QVERIFY(waitFor([&] { return !view.isLoading(); }));
        view.setType(QStringLiteral("reply"));
        QVERIFY(waitFor([&] { return !view.isLoading(); }));
        // The older reply is still held, but the failure is what shows.
        QVERIFY(view.data().has_value());
        QCOMPARE(view.overlay()->kind().kase, StateOverlay::Kind::Case::Error);
        QCOMPARE(view.overlay()->messageText(), QStringLiteral("服务繁忙（500）"));
        view.overlay()->retryButton()->click();
        QVERIFY(view.isLoading());
        QVERIFY(waitFor([&] { return !view.isLoading(); }));
        QCOMPARE(f.query(QStringLiteral("/api/messages"), 2), f.query(QStringLiteral("/api/messages"), 1));
        QVERIFY(!view.error());
        QCOMPARE(view.data()->board.size(), 2);
    }

    // A slow reply for a selection already left must not overwrite the newer one.
    void staleReplyDropped()
    {
        Fixture f;
        f.site.route(QStringLiteral("/api/messages"), [](const FakeSite::Request &r) {
            const bool board = r.query().queryItemValue(QStringLiteral("tab")) == QStringLiteral("board");
            return board ? FakeSite::ok(kBoard) : FakeSite::ok(kNotices).withDelay(200);
        });
        MessageView &view = f.show();
        QVERIFY(f.site.waitForRequests(1));
        view.setTab(QStringLiteral("board"));
        QVERIFY(waitFor([&] { return !view.isLoading(); }));
        QVERIFY(f.manager.quiet()); // the slow reply has come, and was dropped
        QCOMPARE(view.data()->tab, QStringLiteral("board"));
        QCOMPARE(view.listContent()->findChildren<QWidget *>(QStringLiteral("boardRow")).size(), 2);
    }

    void grab_data()
    {
        addAppearanceRows();
    }
    void grab()
    {
        QFETCH(bool, dark);
        Fixture f;
        forceAppearance(dark);
        f.paintBackground(dark);
        f.site.route(QStringLiteral("/api/messages"), FakeSite::ok(kNotices));
        MessageView &view = f.show();
        QVERIFY(waitFor([&] { return !view.isLoading(); }));
        const QString file = grabToPng(&f.frame, dark ? QStringLiteral("messages-dark") : QStringLiteral("messages-light"));
        QVERIFY(QFileInfo(file).size() > 0);
        // Names and actions as plain text, the markup of the site's editor gone.
        const QStringList texts = shownTexts(&f.frame);
        for (const char *text : {"<b>阿飞</b>", "回复了你", "赞了你", "3分钟前", "评论提醒", "站内留言"})
            QVERIFY2(texts.contains(QString::fromUtf8(text)), text);
        QVERIFY2(clippedTexts(&f.frame).isEmpty(), qPrintable(clippedTexts(&f.frame).join(u'|')));
    }
};

TOVRA_TEST(TestMessages)
#include "tst_messages.moc"
