#include "ucbfixture.h"
#include "uccfixture.h"
#include "views/usercenter/nicknameview.h"

#include <QLineEdit>
#include "support/screentext.h"
#include "support/testmain.h"

using namespace tovra;
using namespace tovra::test;

namespace {
struct Fixture : PageFixture<NicknameView>
{
    Fixture()
    {
        site.route(QStringLiteral("/api/captcha"), FakeSite::Reply().withHeader("Content-Type", "image/png").withBody(captchaPng()));
        site.route(QStringLiteral("/api/nickname"), FakeSite::ok({}));
    }

    NicknameView &openReady()
    {
        auto &page = open();
        if (!waitFor([&] { return page.hasCaptchaImage(); }))
            qWarning("no captcha picture");
        return page;
    }

    void fill(const QString &nickname, const QString &code)
    {
        view->nicknameField()->clear();
        view->codeField()->clear();
        type(view->nicknameField(), nickname);
        type(view->codeField(), code);
    }

    // The whole text in one key event: one QChar at a time would split an emoji's surrogates.
    static void type(QLineEdit *edit, const QString &text)
    {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
        QCoreApplication::sendEvent(edit, &press);
    }

    void pressReturnInCode()
    {
        QTest::keyClick(view->codeField(), Qt::Key_Return);
    }
};
}

class TestNickname : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { Palette::installApplicationTheme(); }

    void prefill_data()
    {
        QTest::addColumn<QByteArray>("user");
        QTest::addColumn<QString>("field");
        QTest::newRow("named") << userJson(1, "阿明 &<b>") << QStringLiteral("阿明 &<b>");
        QTest::newRow("no nickname") << userJson(1) << QString();
        QTest::newRow("signed out") << QByteArray() << QString();
    }
    void prefill()
    {
        QFETCH(QByteArray, user);
        QFETCH(QString, field);
        Fixture f;
        if (!user.isEmpty())
            QVERIFY(f.signInAs(user));
        auto &view = f.openReady();
        QCOMPARE(view.nicknameField()->text(), field);
        QVERIFY(!view.saveButton()->isEnabled());
        QCOMPARE(view.saveButton()->text(), QStringLiteral("确定"));
        const auto captcha = f.site.requestsTo("/api/captcha");
        QCOMPARE(captcha.size(), 1);
        QCOMPARE(captcha.at(0).query().queryItemValue("scale"), QStringLiteral("2"));
    }

    void lowerBounds_data()
    {
        QTest::addColumn<QString>("nickname");
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("1 + 4") << "a" << "1234" << false;
        QTest::newRow("2 + 3") << "ab" << "123" << false;
        QTest::newRow("2 + 4") << "ab" << "1234" << true;
        QTest::newRow("two hanzi") << "星河" << "abcd" << true;
        QTest::newRow("two emoji") << "😀🎬" << "1234" << true;
        QTest::newRow("one toned emoji") << "👍🏽" << "1234" << false;
        QTest::newRow("two spaces") << "  " << "1234" << true;
        QTest::newRow("13 characters") << "一二三四五六七八九十百千万" << "12345" << true;
    }
    void lowerBounds()
    {
        QFETCH(QString, nickname);
        QFETCH(QString, code);
        QFETCH(bool, enabled);
        Fixture f;
        f.openReady();
        f.fill(nickname, code);
        QCOMPARE(f.view->saveButton()->isEnabled(), enabled);
        f.pressReturnInCode();
        QCOMPARE(f.view->isBusy(), enabled);
        QVERIFY(waitFor([&] { return !f.view->isBusy(); }));
        QCOMPARE(f.count("/api/nickname"), enabled ? 1 : 0);
        if (enabled) {
            // Sent exactly as typed, untrimmed and unchecked against the advertised maximum.
            QCOMPARE(f.form("/api/nickname"), (QMap<QString, QString>{{"nickname", nickname}, {"code", code}}));
        }
    }

    // busy lasts through the account reload and the new picture; Return meanwhile does nothing.
    void success()
    {
        Fixture f;
        QVERIFY(f.signInAs(userJson(5, "旧名")));
        auto &view = f.openReady();
        f.site.route(QStringLiteral("/api/nickname"), FakeSite::ok({}).withDelay(150));
        f.site.route(QStringLiteral("/api/me"), FakeSite::ok(userJson(5, "新名字")));
        f.site.route(QStringLiteral("/api/captcha"), FakeSite::Reply().withBody(captchaPng()).withDelay(300));
        f.fill(QStringLiteral("新名字"), QStringLiteral("K7QX"));
        view.saveButton()->click();
        QVERIFY(view.isBusy());
        QCOMPARE(view.saveButton()->text(), QStringLiteral("保存中…"));
        QVERIFY(!view.saveButton()->isEnabled());
        f.pressReturnInCode();

        QVERIFY(waitFor([&] { return view.outcomeLine()->isVisible(); }));
        QCOMPARE(view.outcomeLine()->text(), QStringLiteral("昵称已更新"));
        QCOMPARE(view.outcomeLine()->iconName(), QStringLiteral("checkmark.circle.fill"));
        QVERIFY(waitFor([&] { return f.count("/api/captcha") == 2; }));
        QVERIFY(view.isBusy());
        QCOMPARE(view.codeField()->text(), QString());
        QVERIFY(waitFor([&] { return !view.isBusy(); }));

        QCOMPARE(f.count("/api/nickname"), 1);
        const auto sent = f.site.requestsTo("/api/nickname").at(0);
        QCOMPARE(sent.method, QByteArray("POST"));
        QCOMPARE(sent.header("Authorization"), QByteArray("Bearer token-7"));
        QCOMPARE(f.auth.user()->nickname, std::optional<QString>(QStringLiteral("新名字")));
        QCOMPARE(view.nicknameField()->text(), QStringLiteral("新名字"));
        // An empty code: the button waits for the new picture's code.
        QVERIFY(!view.saveButton()->isEnabled());
    }

    void failure()
    {
        Fixture f;
        QVERIFY(f.signInAs(userJson(5, "旧名")));
        auto &view = f.openReady();
        const int meBefore = f.count("/api/me");
        f.site.enqueue("/api/nickname", FakeSite::json(FakeSite::envelope(400, "昵称已被占用")));
        f.site.enqueue("/api/nickname", FakeSite::json(FakeSite::envelope(400, "验证码错误")).withDelay(300));
        f.fill(QStringLiteral("撞名"), QStringLiteral("abcd"));
        view.save();
        QVERIFY(waitFor([&] { return !view.isBusy(); }));
        QCOMPARE(view.outcomeLine()->text(), QStringLiteral("昵称已被占用（400）"));
        QVERIFY(view.outcomeLine()->isError());
        QCOMPARE(view.outcomeLine()->iconName(), QStringLiteral("exclamationmark.circle.fill"));
        QCOMPARE(view.outcomeLine()->color(), Palette::error(Palette::isDark()));
        QCOMPARE(view.nicknameField()->text(), QStringLiteral("撞名"));
        QCOMPARE(view.codeField()->text(), QString());
        QCOMPARE(f.count("/api/captcha"), 2);
        QCOMPARE(f.count("/api/me"), meBefore);

        // The last outcome stays up while the next save is under way.
        Fixture::type(view.codeField(), QStringLiteral("wxyz"));
        view.save();
        QVERIFY(view.isBusy());
        QCOMPARE(view.outcomeLine()->text(), QStringLiteral("昵称已被占用（400）"));
        QVERIFY(waitFor([&] { return !view.isBusy(); }));
        QCOMPARE(view.outcomeLine()->text(), QStringLiteral("验证码错误（400）"));
    }

    void captchaNotAPicture()
    {
        Fixture f;
        f.site.route(QStringLiteral("/api/captcha"), FakeSite::Reply().withBody("<html>oops</html>"));
        auto &view = f.open();
        QVERIFY(f.site.waitForRequests(1));
        QVERIFY(f.manager.quiet());
        QVERIFY(!view.hasCaptchaImage());
        QVERIFY(view.captchaButton()->showsSpinner());
        f.site.route(QStringLiteral("/api/captcha"), FakeSite::Reply().withBody(captchaPng()));
        view.captchaButton()->click();
        QVERIFY(waitFor([&] { return view.hasCaptchaImage(); }));
    }

    // Two taps: the answer to the older one arrives last and must not replace the newer picture.
    void onlyTheNewestCaptchaLoadShows()
    {
        Fixture f;
        auto &view = f.openReady();
        const auto png = [](QColor colour) { return pngBytes(QSize(8, 8), colour, colour); };
        f.site.enqueue(QStringLiteral("/api/captcha"), FakeSite::Reply().withBody(png(Qt::red)).withDelay(200));
        f.site.enqueue(QStringLiteral("/api/captcha"), FakeSite::Reply().withBody(png(Qt::blue)));
        view.captchaButton()->click();
        QVERIFY(waitFor([&] { return f.count("/api/captcha") == 2; }));
        view.captchaButton()->click();
        QVERIFY(waitFor([&] { return view.captchaButton()->image().pixelColor(0, 0) == QColor(Qt::blue); }));
        QVERIFY(f.manager.quiet()); // the older answer has come too
        QCOMPARE(view.captchaButton()->image().pixelColor(0, 0), QColor(Qt::blue));
    }

    void grab()
    {
        Fixture f;
        QVERIFY(f.signInAs(userJson(5, "阿明")));
        f.site.route(QStringLiteral("/api/nickname"), FakeSite::json(FakeSite::envelope(400, "验证码错误")));
        auto &view = f.openReady();
        f.fill(QStringLiteral("星河漫游者"), QStringLiteral("K7QX"));
        view.save();
        QVERIFY(waitFor([&] { return !view.isBusy(); }));
        QVERIFY(f.grabBoth(QStringLiteral("usercenter-nickname")));
        QCOMPARE(view.outcomeLine()->text(), QStringLiteral("验证码错误（400）"));
        QCOMPARE(view.nicknameField()->text(), QStringLiteral("星河漫游者"));
        QVERIFY(view.codeField()->text().isEmpty());
        QVERIFY(view.hasCaptchaImage());
    }
};

TOVRA_TEST(TestNickname)
#include "tst_nickname.moc"
