#include "store/authstore.h"

#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>
#include <sys/stat.h>
#include "support/logcapture.h"
#include "sitefixture.h"
#include "support/testmain.h"

using namespace tovra;
using tovra::test::FakeSite;

namespace {
QByteArray userJson(const QByteArray &uid, bool vip = false)
{
    return "{\"uid\":\"" + uid + "\",\"nickname\":\"小明\",\"gold\":12,\"vip_level\":1,"
           "\"vip_expired\":1700000000,\"is_vip\":" + (vip ? "true" : "false") + "}";
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int modeOf(const QString &path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return -1;
    return int(info.st_mode & 07777);
}
}

class TestAuthStore : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        m_env = std::make_unique<SiteFixture>();
        QVERIFY(m_env->start());
    }
    void cleanup() { m_env.reset(); }

    void tokenFileAtStart_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<std::optional<QString>>("expected");
        QTest::newRow("exact") << QByteArray("abc.def") << std::optional<QString>(QStringLiteral("abc.def"));
        QTest::newRow("line end") << QByteArray("abc\n") << std::optional<QString>(QStringLiteral("abc"));
        QTest::newRow("crlf and spaces") << QByteArray(" \tabc \r\n") << std::optional<QString>(QStringLiteral("abc"));
        QTest::newRow("inner space kept") << QByteArray("a b") << std::optional<QString>(QStringLiteral("a b"));
        QTest::newRow("ideographic space") << QByteArray("\xe3\x80\x80" "abc\xe3\x80\x80")
                                           << std::optional<QString>(QStringLiteral("abc"));
        QTest::newRow("only white space") << QByteArray(" \n\t\r\n") << std::optional<QString>();
        QTest::newRow("empty") << QByteArray("") << std::optional<QString>();
        QTest::newRow("not utf-8") << QByteArray("ab\xff\xfe") << std::optional<QString>();
        QTest::newRow("missing") << QByteArray() << std::optional<QString>();
    }
    void tokenFileAtStart()
    {
        QFETCH(QByteArray, content);
        QFETCH(std::optional<QString>, expected);
        if (!content.isNull())
            QVERIFY(writeBytes(m_env->file(QStringLiteral("token")), content));
        LogCapture log;
        m_env->restartAuth();
        QCOMPARE(m_env->auth->tokenValue(), expected);
        QVERIFY(!m_env->auth->user());
        QCOMPARE(log.taken(), QStringList());
    }

    void savedTokenSurvivesRestartPrivately_data()
    {
        QTest::addColumn<bool>("oldFileWorldReadable");
        QTest::addColumn<int>("umask");
        QTest::newRow("new file") << false << 022;
        QTest::newRow("permissive umask") << false << 0;
        QTest::newRow("old file 0644") << true << 022;
    }
    void savedTokenSurvivesRestartPrivately()
    {
        QFETCH(bool, oldFileWorldReadable);
        QFETCH(int, umask);
        const QString path = m_env->file(QStringLiteral("token"));
        if (oldFileWorldReadable) {
            QVERIFY(writeBytes(path, "old-token"));
            QVERIFY(::chmod(QFile::encodeName(path).constData(), 0644) == 0);
        }
        QSignalSpy tokens(m_env->auth.get(), &AuthStore::tokenChanged);
        const mode_t previous = ::umask(mode_t(umask));
        m_env->auth->save(QStringLiteral(" tok/en+1 "));
        ::umask(previous);

        QCOMPARE(m_env->auth->tokenValue(), std::optional<QString>(QStringLiteral(" tok/en+1 ")));
        QCOMPARE(tokens.count(), 1);
        QCOMPARE(readBytes(path), QByteArray(" tok/en+1 "));
        QCOMPARE(modeOf(path), 0600);

        m_env->restartAuth();
        QCOMPARE(m_env->auth->tokenValue(), std::optional<QString>(QStringLiteral("tok/en+1")));
        QVERIFY(!m_env->auth->user());
    }

    void unwritableTokenFileIsLoggedAndKeptInMemory()
    {
        // A folder where the file should be: no write can succeed, whoever runs the test.
        QVERIFY(QDir().mkpath(m_env->file(QStringLiteral("token"))));
        LogCapture log;
        m_env->auth->save(QStringLiteral("abc"));
        QCOMPARE(m_env->auth->tokenValue(), std::optional<QString>(QStringLiteral("abc")));
        const QStringList lines = log.taken();
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.first().startsWith(QStringLiteral("[Tovra] token 保存失败: ")), qPrintable(lines.first()));
        QVERIFY(lines.first().size() > QStringLiteral("[Tovra] token 保存失败: ").size());
    }

    void refreshSendsTokenAndLoadsUser()
    {
        m_env->site.route(QStringLiteral("/api/me"), FakeSite::ok(userJson("u-1", true)));
        m_env->auth->save(QStringLiteral("secret-1"));
        QSignalSpy users(m_env->auth.get(), &AuthStore::userChanged);
        QVERIFY(tovra::test::runTask(m_env->auth->refresh()));

        QCOMPARE(users.count(), 1);
        QVERIFY(m_env->auth->user());
        QCOMPARE(m_env->auth->user()->uid, QStringLiteral("u-1"));
        QVERIFY(m_env->auth->user()->isVip);
        const auto sent = m_env->site.requestsTo(QStringLiteral("/api/me"));
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent.first().method, QByteArray("GET"));
        QCOMPARE(sent.first().header("Authorization"), QByteArray("Bearer secret-1"));

        // Any other request of the client carries the token the store holds now.
        m_env->auth->save(QStringLiteral("secret-2"));
        m_env->site.route(QStringLiteral("/api/unread"), FakeSite::ok("{\"count\":0}"));
        tovra::test::runTask(m_env->client->unread());
        QCOMPARE(m_env->site.requestsTo(QStringLiteral("/api/unread")).last().header("Authorization"),
                 QByteArray("Bearer secret-2"));
        m_env->auth->logout();
        tovra::test::runTask(m_env->client->unread());
        QVERIFY(!m_env->site.requestsTo(QStringLiteral("/api/unread")).last().hasHeader("Authorization"));
    }

    void refreshWithoutTokenSendsNothing()
    {
        QVERIFY(tovra::test::runTask(m_env->auth->refresh()));
        QVERIFY(!m_env->auth->user());
        QCOMPARE(m_env->site.requests().size(), 0);
    }

    void unauthorisedSignsOutSilently()
    {
        m_env->site.enqueue(QStringLiteral("/api/me"), FakeSite::ok(userJson("u-1")));
        m_env->site.enqueue(QStringLiteral("/api/me"), FakeSite::json(FakeSite::envelope(401, QStringLiteral("请先登录"))));
        m_env->auth->save(QStringLiteral("secret"));
        QVERIFY(tovra::test::runTask(m_env->auth->refresh()));
        QVERIFY(m_env->auth->user());
        m_env->cache->saveData("{\"code\":200}", QStringLiteral("api_index"));
        QVERIFY(m_env->cache->diskSize() > 0);

        QList<QByteArray> order;
        connect(m_env->auth.get(), &AuthStore::tokenChanged, this, [&] { order.append("token"); });
        connect(m_env->auth.get(), &AuthStore::userChanged, this, [&] { order.append("user"); });
        LogCapture log;
        QVERIFY(tovra::test::runTask(m_env->auth->refresh()));

        QCOMPARE(m_env->auth->tokenValue(), std::nullopt);
        QVERIFY(!m_env->auth->user());
        QCOMPARE(order, (QList<QByteArray>{"token", "user"}));
        QVERIFY(!QFile::exists(m_env->file(QStringLiteral("token"))));
        QVERIFY(tovra::test::waitFor([&] { return m_env->cache->diskSize() == 0; }));
        QVERIFY(!m_env->cache->loadData(QStringLiteral("api_index"), 1e9));
        QCOMPARE(log.taken(), QStringList());
    }

    void otherFailuresKeepStateAndLogOnce_data()
    {
        QTest::addColumn<FakeSite::Reply>("reply");
        QTest::addColumn<QString>("line");
        QTest::newRow("server 500") << FakeSite::json(FakeSite::envelope(500, QStringLiteral("服务器 100% 忙 %s")))
                                    << QStringLiteral("[Tovra] 拉取用户信息失败: 服务器 100% 忙 %s（500）");
        QTest::newRow("http 500 with a 401 body is still judged by the body")
            << FakeSite::json(FakeSite::envelope(403, QStringLiteral("禁止")), 401)
            << QStringLiteral("[Tovra] 拉取用户信息失败: 禁止（403）");
        QTest::newRow("no data") << FakeSite::json(FakeSite::envelope(200, QStringLiteral("ok")))
                                 << QStringLiteral("[Tovra] 拉取用户信息失败: 服务端没有返回数据");
        // Which of the network texts a dropped connection gets is the client's business; the line
        // carries whatever description the client gives it.
        QTest::newRow("connection dropped") << FakeSite::ok(userJson("u-2")).closingMidBody() << QString();
    }
    void otherFailuresKeepStateAndLogOnce()
    {
        QFETCH(FakeSite::Reply, reply);
        QFETCH(QString, line);
        if (line.isEmpty()) {
            m_env->site.enqueue(QStringLiteral("/api/me"), reply);
            const auto failed = tovra::test::runTask(m_env->client->me());
            QVERIFY(!failed);
            QVERIFY(failed.error().kind() == APIError::Kind::Transport);
            line = QStringLiteral("[Tovra] 拉取用户信息失败: ") + failed.error().description();
        }
        m_env->site.enqueue(QStringLiteral("/api/me"), FakeSite::ok(userJson("u-1")));
        m_env->site.enqueue(QStringLiteral("/api/me"), reply);
        m_env->auth->save(QStringLiteral("secret"));
        QVERIFY(tovra::test::runTask(m_env->auth->refresh()));

        LogCapture log;
        QVERIFY(tovra::test::runTask(m_env->auth->refresh()));
        QCOMPARE(m_env->auth->tokenValue(), std::optional<QString>(QStringLiteral("secret")));
        QVERIFY(m_env->auth->user());
        QCOMPARE(m_env->auth->user()->uid, QStringLiteral("u-1"));
        QCOMPARE(readBytes(m_env->file(QStringLiteral("token"))), QByteArray("secret"));
        QCOMPARE(log.taken(), QStringList{line});
    }

    // Screens drop what they show when the account itself changes, not when its profile is
    // reloaded or its token renewed.
    void accountChangesOnlyWithTheAccount()
    {
        for (const QByteArray &uid : {"u-1", "u-1", "u-1", "u-2"})
            m_env->site.enqueue(QStringLiteral("/api/me"), FakeSite::ok(userJson(uid)));
        m_env->site.enqueue(QStringLiteral("/api/me"), FakeSite::json(FakeSite::envelope(401, QStringLiteral("过期"))));
        QSignalSpy changes(m_env->auth.get(), &AuthStore::accountChanged);
        QList<qsizetype> counts;
        // Signed in; the same profile again; a new token of the same account; another account;
        // refused, so signed out.
        for (const char *token : {"a", "", "a2", "b", ""}) {
            if (*token)
                m_env->auth->save(QString::fromLatin1(token));
            QVERIFY(tovra::test::runTask(m_env->auth->refresh()));
            counts << changes.count();
        }
        QCOMPARE(counts, (QList<qsizetype>{1, 1, 1, 2, 3}));
        QVERIFY(!m_env->auth->isSignedIn());
    }

    void slowProfileCannotUndoLogout()
    {
        m_env->site.route(QStringLiteral("/api/me"), FakeSite::ok(userJson("u-1")).withDelay(300));
        m_env->auth->save(QStringLiteral("secret"));
        auto pending = m_env->auth->refresh();
        QVERIFY(m_env->site.waitForRequests(1));
        m_env->auth->logout();
        QVERIFY(tovra::test::runTask(std::move(pending)));
        QVERIFY(!m_env->auth->user());
        QCOMPARE(m_env->auth->tokenValue(), std::nullopt);
    }

    void staleUnauthorisedCannotSignOutNewLogin()
    {
        m_env->site.enqueue(QStringLiteral("/api/me"),
                            FakeSite::json(FakeSite::envelope(401, QStringLiteral("过期"))).withDelay(300));
        m_env->auth->save(QStringLiteral("old"));
        auto pending = m_env->auth->refresh();
        QVERIFY(m_env->site.waitForRequests(1));
        m_env->auth->save(QStringLiteral("new"));
        QVERIFY(tovra::test::runTask(std::move(pending)));
        QCOMPARE(m_env->auth->tokenValue(), std::optional<QString>(QStringLiteral("new")));
        QCOMPARE(readBytes(m_env->file(QStringLiteral("token"))), QByteArray("new"));
    }

    void withoutFolderTokenLivesForTheRun()
    {
        LogCapture log;
        AuthStore memoryOnly(m_env->client.get(), std::nullopt);
        QCOMPARE(log.taken().size(), 1);
        memoryOnly.save(QStringLiteral("abc"));
        QCOMPARE(memoryOnly.tokenValue(), std::optional<QString>(QStringLiteral("abc")));
        QVERIFY(!QFile::exists(QStringLiteral("token")));
        memoryOnly.logout();
        QCOMPARE(memoryOnly.tokenValue(), std::nullopt);
        QCOMPARE(log.taken().size(), 1);
    }

    void logoutWithoutFileIsQuiet()
    {
        LogCapture log;
        m_env->auth->logout();
        QCOMPARE(m_env->auth->tokenValue(), std::nullopt);
        QVERIFY(!m_env->auth->user());
        QCOMPARE(log.taken(), QStringList());
    }

private:
    std::unique_ptr<SiteFixture> m_env;
};

TOVRA_TEST(TestAuthStore)
#include "tst_authstore.moc"
