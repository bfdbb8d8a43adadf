#include "clientfixture.h"

#include <QTest>

#include "support/testmain.h"

using tovra::APIClient;
using tovra::Params;
using tovra::test::ClientFixture;
using tovra::test::FakeSite;

namespace {

// Awaits one endpoint call and drops its result: these cases are about what goes on the wire.
using Call = std::function<QCoro::Task<>(APIClient &)>;

template<class Make>
Call call(Make make)
{
    return [make](APIClient &client) -> QCoro::Task<> { co_await make(client); };
}

struct Case
{
    const char *name;
    Call run;
    QByteArray method;
    QByteArray target; // path and query exactly as sent
    QByteArray body;
};

const QList<Case> &cases()
{
    static const QList<Case> all = {
        {"home", call([](APIClient &c) { return c.home(); }), "GET", "/api/index", {}},
        {"item", call([](APIClient &c) { return c.item(QStringLiteral("a b")); }), "GET", "/api/item?did=a%20b", {}},
        {"torrent", call([](APIClient &c) { return c.torrent(QStringLiteral("7"), 3); }), "GET", "/api/down?did=7&n=3", {}},
        {"res", call([](APIClient &c) { return c.res(QStringLiteral("7"), 0, 1); }), "GET", "/api/res?did=7&n=0&type=1", {}},
        {"search keeps spaces", call([](APIClient &c) { return c.search(QStringLiteral(" 中 "), 2); }), "GET",
         "/api/search?page=2&q=%20%E4%B8%AD%20", {}},
        {"top250", call([](APIClient &c) { return c.top250(2); }), "GET", "/api/top250?page=2", {}},
        {"filter replaces page", call([](APIClient &c) {
             return c.filter(Params{{"page", "9"}, {"sort", "2"}, {"countryID", "3"}}, 2);
         }), "GET", "/api/filter?countryID=3&page=2&sort=2", {}},
        {"tags without pid", call([](APIClient &c) { return c.tags(std::nullopt); }), "GET", "/api/tags", {}},
        {"tags with pid 0", call([](APIClient &c) { return c.tags(0); }), "GET", "/api/tags?pid=0", {}},
        {"nav", call([](APIClient &c) { return c.nav(); }), "GET", "/api/nav", {}},
        {"filterOptions", call([](APIClient &c) { return c.filterOptions(); }), "GET", "/api/filter_options", {}},
        {"ranking", call([](APIClient &c) { return c.ranking(); }), "GET", "/api/ranking", {}},
        {"me", call([](APIClient &c) { return c.me(); }), "GET", "/api/me", {}},
        {"webCookie", call([](APIClient &c) { return c.webCookie(); }), "GET", "/api/web_cookie", {}},
        {"bbsList empty filter", call([](APIClient &c) { return c.bbsList(QString(), 1); }), "GET", "/api/bbs_list?page=1", {}},
        {"bbsList space filter", call([](APIClient &c) { return c.bbsList(QStringLiteral(" "), 1); }), "GET",
         "/api/bbs_list?filter=%20&page=1", {}},
        {"signStatus", call([](APIClient &c) { return c.signStatus(); }), "GET", "/api/sign_status", {}},
        {"goldLog", call([](APIClient &c) { return c.goldLog(3); }), "GET", "/api/gold_log?page=3", {}},
        {"watching", call([](APIClient &c) { return c.watching(); }), "GET", "/api/watching", {}},
        {"messages", call([](APIClient &c) { return c.messages(QStringLiteral("notice"), QStringLiteral("all"), 2); }), "GET",
         "/api/messages?page=2&tab=notice&type=all", {}},
        {"unread", call([](APIClient &c) { return c.unread(); }), "GET", "/api/unread", {}},
        {"checkUpdate", call([](APIClient &c) { return c.checkUpdate(42); }), "GET", "/api/update?build=42&platform=linux", {}},
        {"playAuth", call([](APIClient &c) { return c.playAuth(QStringLiteral("d1"), QStringLiteral("t/k+"), -5); }), "GET",
         "/user/requestmpd?did=d1&expired=-5&format=json&token=t%2Fk%2B", {}},
        {"login", call([](APIClient &c) { return c.login(QStringLiteral("a@b.c"), QStringLiteral("p w")); }), "POST",
         "/api/login", "mobile_email=a%40b%2Ec&password=p%20w"},
        {"bbsLike", call([](APIClient &c) { return c.bbsLike(QStringLiteral("1"), QStringLiteral("unlike")); }), "POST",
         "/api/bbs_like", "action=unlike&did=1"},
        {"sign", call([](APIClient &c) { return c.sign(); }), "POST", "/api/sign", ""},
        {"exchangeVIP", call([](APIClient &c) { return c.exchangeVIP(30); }), "POST", "/api/vip_exchange", "bt=30"},
        {"updateNickname", call([](APIClient &c) { return c.updateNickname(QStringLiteral("新昵称"), QStringLiteral("ab12")); }),
         "POST", "/api/nickname", "code=ab12&nickname=新昵称"},
        {"reportProgress", call([](APIClient &c) { return c.reportProgress(QStringLiteral("d"), 1, 125, 3600); }), "POST",
         "/api/progress", "did=d&duration=3600&ep=1&pos=125"},
        {"checkCaptcha", call([](APIClient &c) {
             return c.checkCaptcha(QStringLiteral("x9"), QStringLiteral("u@x.cn"), QStringLiteral("register"));
         }), "POST", "/api/check_captcha", "action=register&code=x9&email=u%40x%2Ecn"},
        {"sendEmailCode", call([](APIClient &c) { return c.sendEmailCode(QStringLiteral("u@x.cn")); }), "POST",
         "/api/send_email_code", "email=u%40x%2Ecn"},
        {"registerAccount", call([](APIClient &c) {
             return c.registerAccount(QStringLiteral("u@x.cn"), QStringLiteral("123456"), QStringLiteral("pw&=1"));
         }), "POST", "/api/register", "code=123456&email=u%40x%2Ecn&password=pw%26%3D1"},
        {"resetPassword", call([](APIClient &c) {
             return c.resetPassword(QStringLiteral("u@x.cn"), QStringLiteral("123456"), QStringLiteral("新密码"));
         }), "POST", "/api/resetpwd", "code=123456&email=u%40x%2Ecn&password=新密码"},
    };
    return all;
}

}

class TestEndpoints : public QObject
{
    Q_OBJECT
private slots:
    void requestOnTheWire_data()
    {
        QTest::addColumn<int>("index");
        for (int i = 0; i < cases().size(); ++i)
            QTest::newRow(cases().at(i).name) << i;
    }
    void requestOnTheWire()
    {
        QFETCH(int, index);
        const Case &c = cases().at(index);
        ClientFixture f;
        f.token = QStringLiteral("tk");
        QVERIFY(tovra::test::runTask(c.run(f.client())));
        QCOMPARE(f.site.requests().size(), 1);
        const auto &request = f.site.requests().first();
        QCOMPARE(request.method, c.method);
        QCOMPARE(request.target, c.target);
        QCOMPARE(request.body, c.body);
        QCOMPARE(request.header("Accept"), QByteArray("application/json"));
        QCOMPARE(request.header("Authorization"), QByteArray("Bearer tk"));
        if (c.method == "POST")
            QCOMPARE(request.header("Content-Type"), QByteArray("application/x-www-form-urlencoded"));
    }

    void typedRepliesComeBack()
    {
        ClientFixture f;
        f.site.route(QStringLiteral("api/top250"), FakeSite::ok(R"([{"did":"1","title":"甲"},{"did":2,"title":"乙"}])",
                                                                R"({"page":1,"pages":13})"));
        f.site.route(QStringLiteral("api/nav"), FakeSite::ok(R"([{"id":3,"name":"电影"}])"));
        f.site.route(QStringLiteral("api/tags"), FakeSite::ok(R"([{"id":"5","name":"动作"}])"));
        const auto top = tovra::test::runTask(f.client().top250(1));
        QVERIFY(top);
        QCOMPARE(top->data.size(), 2);
        QCOMPARE(top->data.at(1).did, QStringLiteral("2"));
        QCOMPARE(top->meta->pages, std::optional<qint64>(13));
        const auto nav = tovra::test::runTask(f.client().nav());
        QVERIFY(nav);
        QCOMPARE(nav->first().id, QStringLiteral("3"));
        const auto tags = tovra::test::runTask(f.client().tags(std::nullopt));
        QVERIFY(tags);
        QCOMPARE(tags->first().id, qint64(5));
    }
};

TOVRA_TEST(TestEndpoints)
#include "tst_endpoints.moc"
