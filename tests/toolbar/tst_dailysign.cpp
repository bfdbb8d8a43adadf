#include "store/clock.h"
#include "support/testmain.h"
#include "toolbarfixture.h"
#include "views/contentview.h"
#include "views/login/loginview.h"
#include "views/navigationstack.h"
#include "views/palette.h"
#include "views/toolbar/toolbarbutton.h"

#include <QSignalSpy>

using namespace tovra;
using namespace tovra::test;
using namespace Qt::StringLiterals;


namespace {

// Every text the sign-in button shows, in order, from the moment the recording starts.
struct LabelRecorder
{
    QStringList texts;

    explicit LabelRecorder(ContentView &window)
    {
        record(window);
        QObject::connect(&window, &ContentView::signLabelChanged, &window, [this, &window] { record(window); });
        QObject::connect(&window, &ContentView::signStatusChanged, &window, [this, &window] { record(window); });
    }

    void record(ContentView &window)
    {
        const QString text = window.signButton()->text();
        if (texts.isEmpty() || texts.last() != text)
            texts << text;
    }
};

}

class DailySignTest : public QObject
{
    Q_OBJECT

private slots:
    void signedOutClickOpensLogIn()
    {
        ShellFixture f;
        QVERIFY(f.start());
        ContentView window;
        ToolbarButton *button = window.signButton();
        QCOMPARE(button->text(), u"签到领BT币"_s);
        QVERIFY(button->isEnabled());
        button->click();
        QCOMPARE(window.path(), QList<Route>{Route::login()});
        QCOMPARE(window.signLabel(), std::nullopt);
        QCOMPARE(button->text(), u"签到领BT币"_s);
        QTest::qWait(50);
        QVERIFY(f.site.requestsTo(u"/api/sign"_s).isEmpty());
        // Again with the log-in page open: back to it; its success closes it wherever it stands.
        auto *login = window.navigationStack()->currentPage();
        window.push(Route::detail(u"7"_s));
        button->click();
        QCOMPARE(window.path(), QList<Route>{Route::login()});
        QCOMPARE(window.navigationStack()->currentPage(), login);
        window.push(Route::detail(u"8"_s));
        emit qobject_cast<LoginView *>(login)->dismissRequested();
        QCOMPARE(window.path(), QList<Route>{Route::detail(u"8"_s)});
    }

    // However often the user clicks while a sign-in runs, one request goes out.
    void oneRequestPerSignIn()
    {
        ShellFixture f;
        QVERIFY(f.start());
        f.site.route("POST", u"/api/sign"_s, FakeSite::ok(R"({"signed":true,"gold":5,"total":30})").withDelay(300));
        f.site.route(u"/api/sign_status"_s, FakeSite::ok(R"({"signed":false,"days":0,"last_time":0})"));
        f.auth->save(u"tok-9"_s);
        ContentView window;
        window.setSignResultShownFor(std::chrono::milliseconds(50));
        QVERIFY(runTask(window.loadSignStatus()));

        window.signButton()->click();
        QCOMPARE(window.signLabel(), std::optional(u"签到中…"_s));
        QVERIFY(!window.signButton()->isEnabled());
        window.signButton()->click();
        window.doSign();
        QTest::qWait(100);
        window.doSign();
        QVERIFY(waitFor([&] { return !window.signLabel(); }));
        QTest::qWait(100);

        const auto posts = f.site.requestsTo(u"/api/sign"_s);
        QCOMPARE(posts.size(), 1);
        QCOMPARE(posts.first().method, QByteArray("POST"));
        QCOMPARE(posts.first().body, QByteArray());
        QCOMPARE(posts.first().header("Content-Type"), QByteArray("application/x-www-form-urlencoded"));
        QCOMPARE(posts.first().header("Authorization"), QByteArray("Bearer tok-9"));
    }

    void labelSequence_data()
    {
        QTest::addColumn<FakeSite::Reply>("reply");
        QTest::addColumn<QStringList>("sequence");
        QTest::addColumn<bool>("doneAfter");
        QTest::newRow("coins gained") << FakeSite::ok(R"({"signed":true,"gold":5,"total":30})")
                                      << QStringList{u"签到领BT币"_s, u"签到中…"_s, u"+5 BT币"_s, u"今日已签到"_s} << true;
        QTest::newRow("twelve") << FakeSite::ok(R"({"signed":true,"gold":12})")
                                << QStringList{u"签到领BT币"_s, u"签到中…"_s, u"+12 BT币"_s, u"今日已签到"_s} << true;
        QTest::newRow("no coins: already signed") << FakeSite::ok(R"({"signed":true,"gold":0})")
                                                  << QStringList{u"签到领BT币"_s, u"签到中…"_s, u"今天已经签过了"_s, u"今日已签到"_s}
                                                  << true;
        QTest::newRow("server refuses") << FakeSite::json(FakeSite::envelope(500, u"签到太频繁"_s))
                                        << QStringList{u"签到领BT币"_s, u"签到中…"_s, u"签到失败"_s, u"签到领BT币"_s} << false;
        QTest::newRow("no connection") << FakeSite::ok("{}").closingMidBody()
                                       << QStringList{u"签到领BT币"_s, u"签到中…"_s, u"签到失败"_s, u"签到领BT币"_s} << false;
        QTest::newRow("undecodable") << FakeSite::ok(R"({"gold":"lots"})")
                                     << QStringList{u"签到领BT币"_s, u"签到中…"_s, u"签到失败"_s, u"签到领BT币"_s} << false;
    }

    // What the user sees from the click until the button settles, and what was asked on the way:
    // after a success the profile and the status are reloaded, after a failure nothing is.
    void labelSequence()
    {
        QFETCH(FakeSite::Reply, reply);
        QFETCH(QStringList, sequence);
        QFETCH(bool, doneAfter);
        ShellFixture f;
        QVERIFY(f.start());
        f.site.route("POST", u"/api/sign"_s, reply);
        f.site.enqueue(u"/api/sign_status"_s, FakeSite::ok(R"({"signed":false,"days":3,"last_time":0})"));
        f.site.route(u"/api/sign_status"_s, FakeSite::ok(R"({"signed":true,"days":4,"last_time":0})"));
        f.site.route(u"/api/me"_s, FakeSite::ok(userJson(u"u1"_s, u"影迷"_s, 35, 0, false)));
        f.auth->save(u"tok"_s);
        ContentView window;
        constexpr int kShownMs = 150;
        window.setSignResultShownFor(std::chrono::milliseconds(kShownMs));
        QVERIFY(runTask(window.loadSignStatus()));
        f.site.clearLog();

        LabelRecorder recorder(window);
        QElapsedTimer clock;
        clock.start();
        window.signButton()->click();
        QVERIFY(waitFor([&] { return recorder.texts.size() >= 3; }));
        const qint64 resultAt = clock.elapsed();
        QVERIFY(waitFor([&] { return !window.signLabel(); }));
        // The result stays for the set time (measured from when it appeared).
        QVERIFY2(clock.elapsed() - resultAt >= kShownMs - 20, qPrintable(QString::number(clock.elapsed() - resultAt)));
        QCOMPARE(recorder.texts, sequence);

        ToolbarButton *button = window.signButton();
        QCOMPARE(button->isEnabled(), !doneAfter);
        QCOMPARE(button->colorRole(), doneAfter ? Palette::Name::TextFaint : Palette::Name::Warn);
        QCOMPARE(button->symbol(), doneAfter ? u"checkmark.seal.fill"_s : u"gift"_s);
        QCOMPARE(window.signedToday(), doneAfter);

        QStringList asked;
        for (const FakeSite::Request &request : f.site.requests())
            asked << QString::fromLatin1(request.method) + u' ' + request.path;
        if (doneAfter) {
            QCOMPARE(asked, (QStringList{u"POST /api/sign"_s, u"GET /api/me"_s, u"GET /api/sign_status"_s}));
            QCOMPARE(window.signDays(), 4);
            QCOMPARE(f.auth->user()->gold, 35);
            QCOMPARE(button->toolTip(), u"今天已经签到过了，已连续 4 天"_s);
        } else {
            QCOMPARE(asked, QStringList{u"POST /api/sign"_s});
            QCOMPARE(window.signedState(), std::optional<bool>(false));
            QCOMPARE(window.signDays(), 3);
            QCOMPARE(button->toolTip(), u"签到领 BT币"_s);
        }
    }

    // The real two seconds, once.
    void resultStaysTwoSeconds()
    {
        ShellFixture f;
        QVERIFY(f.start());
        f.site.route("POST", u"/api/sign"_s, FakeSite::json(FakeSite::envelope(500, u"忙"_s)));
        f.auth->save(u"tok"_s);
        ContentView window;
        window.signButton()->click();
        QVERIFY(waitFor([&] { return window.signLabel() == std::optional(u"签到失败"_s); }));
        QTest::qWait(1800);
        QCOMPARE(window.signLabel(), std::optional(u"签到失败"_s));
        QVERIFY(waitFor([&] { return !window.signLabel(); }, 1000));
        QVERIFY(window.signButton()->isEnabled());
    }

    void streakTooltip_data()
    {
        QTest::addColumn<QByteArray>("status");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("tooltip");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("streak of 7") << QByteArray(R"({"signed":true,"days":7,"last_time":0})") << u"今日已签到"_s
                                     << u"今天已经签到过了，已连续 7 天"_s << false;
        QTest::newRow("streak of 2") << QByteArray(R"({"signed":true,"days":2,"last_time":0})") << u"今日已签到"_s
                                     << u"今天已经签到过了，已连续 2 天"_s << false;
        QTest::newRow("streak of 1") << QByteArray(R"({"signed":true,"days":1,"last_time":0})") << u"今日已签到"_s
                                     << u"今天已经签到过了"_s << false;
        QTest::newRow("not yet today") << QByteArray(R"({"signed":false,"days":7,"last_time":0})") << u"签到领BT币"_s
                                       << u"签到领 BT币"_s << true;
    }

    void streakTooltip()
    {
        QFETCH(QByteArray, status);
        QFETCH(QString, text);
        QFETCH(QString, tooltip);
        QFETCH(bool, enabled);
        ShellFixture f;
        QVERIFY(f.start());
        f.site.route(u"/api/sign_status"_s, FakeSite::ok(status));
        f.auth->save(u"tok"_s);
        ContentView window;
        QVERIFY(runTask(window.loadSignStatus()));
        QCOMPARE(window.signButton()->text(), text);
        QCOMPARE(window.signButton()->toolTip(), tooltip);
        QCOMPARE(window.signButton()->isEnabled(), enabled);
    }

    // A status loaded yesterday no longer counts as today's, even before the day watch runs.
    void yesterdaysStatusIsNotToday()
    {
        ShellFixture f;
        QVERIFY(f.start());
        f.site.route(u"/api/sign_status"_s, FakeSite::ok(R"({"signed":true,"days":5,"last_time":0})"));
        f.auth->save(u"tok"_s);
        QDateTime now(QDate(2024, 3, 9), QTime(23, 59, 50));
        ScopedClock clock([&now] { return now; });
        ContentView window;
        window.dayWatch()->stop();
        QVERIFY(runTask(window.loadSignStatus()));
        QCOMPARE(window.signButton()->text(), u"今日已签到"_s);
        now = now.addSecs(20);
        QVERIFY(!window.signedToday());
        window.checkDay();
        QCOMPARE(window.signButton()->text(), u"签到领BT币"_s);
        QVERIFY(window.signButton()->isEnabled());
    }

    // Signing out while the result shows: the button ends signed out and usable.
    void signOutDuringSignIn()
    {
        ShellFixture f;
        QVERIFY(f.start());
        f.site.route("POST", u"/api/sign"_s, FakeSite::ok(R"({"signed":true,"gold":5})").withDelay(200));
        f.site.route(u"/api/sign_status"_s, FakeSite::ok(R"({"signed":true,"days":5,"last_time":0})"));
        f.auth->save(u"tok"_s);
        ContentView window;
        window.setSignResultShownFor(std::chrono::milliseconds(100));
        window.doSign();
        f.auth->logout();
        QVERIFY(waitFor([&] { return !window.signLabel(); }));
        QTest::qWait(100);
        QCOMPARE(window.signButton()->text(), u"签到领BT币"_s);
        QVERIFY(window.signButton()->isEnabled());
        QCOMPARE(window.signedState(), std::nullopt);
    }
};

TOVRA_TEST(DailySignTest)
#include "tst_dailysign.moc"
