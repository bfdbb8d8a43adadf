#include "loginfixture.h"

#include <QSignalSpy>
#include <QTest>
#include "support/testmain.h"

using namespace tovra;
using namespace tovra::test;

namespace {
using Form = QMap<QString, QString>;
const QString kLogin = QStringLiteral("/api/login");
const QString kCaptcha = QStringLiteral("/api/captcha");
const QString kCheck = QStringLiteral("/api/check_captcha");
const QString kSend = QStringLiteral("/api/send_email_code");
}

class TestLoginView : public QObject
{
    Q_OBJECT
private slots:
    void freshPageAsksNothing()
    {
        LoginFixture f;
        QCOMPARE(f.view.headerLabel()->text(), QStringLiteral("登录 Tovra"));
        QCOMPARE(f.view.navigationTitle(), QStringLiteral("登录"));
        QCOMPARE(f.view.submitButton()->text(), QStringLiteral("登录"));
        QCOMPARE(f.view.passwordField()->echoMode(), QLineEdit::Password);
        LoginFixture::type(f.view.accountField(), QStringLiteral("a"));
        QVERIFY(!f.view.submitButton()->isEnabled());
        QTest::keyClick(f.view.accountField(), Qt::Key_Return);
        QTest::qWait(100);
        QVERIFY(f.site.requests().isEmpty());
    }

    void logInSavesTokenAndReloadsUser()
    {
        LoginFixture f;
        f.site.route(kLogin, FakeSite::ok(R"({"token":"tok 1+","uid":"u9","gold":0,"vip_level":0,"vip_expired":0})"));
        QSignalSpy dismissed(&f.view, &LoginView::dismissRequested);
        // Sent exactly as typed: no trimming, and "+", "&" and spaces survive the form encoding.
        LoginFixture::type(f.view.accountField(), QStringLiteral(" a+b@x.cn "));
        LoginFixture::type(f.view.passwordField(), QStringLiteral("p&w =密"));
        QTest::keyClick(f.view.passwordField(), Qt::Key_Return);
        QTest::keyClick(f.view.passwordField(), Qt::Key_Return);
        QCOMPARE(f.view.submitButton()->text(), QStringLiteral("处理中…"));
        QVERIFY(dismissed.wait());
        QCOMPARE(f.requests(kLogin).size(), 1);
        QCOMPARE(f.form(kLogin), (Form{{"mobile_email", " a+b@x.cn "}, {"password", "p&w =密"}}));
        QCOMPARE(f.auth.tokenValue(), QStringLiteral("tok 1+"));
        QVERIFY(f.auth.user() && f.auth.user()->uid == QStringLiteral("u9"));
        QCOMPARE(f.requests("/api/me").value(0).header("Authorization"), QByteArray("Bearer tok 1+"));
    }

    void logInFailureKeepsFields()
    {
        LoginFixture f;
        f.site.route(kLogin, FakeSite::json(FakeSite::envelope(401, "账号或密码<b>错误</b>")));
        LoginFixture::type(f.view.accountField(), QStringLiteral("u"));
        LoginFixture::type(f.view.passwordField(), QStringLiteral("p"));
        f.view.submitButton()->click();
        QVERIFY(waitFor([&] { return f.view.errorLine()->isVisible(); }));
        QCOMPARE(f.view.errorLabel()->text(), QStringLiteral("账号或密码<b>错误</b>（401）"));
        QCOMPARE(f.view.errorLabel()->textFormat(), Qt::PlainText);
        QCOMPARE(f.view.submitButton()->text(), QStringLiteral("登录"));
        QCOMPARE(f.view.accountField()->text(), QStringLiteral("u"));
        QCOMPARE(f.view.passwordField()->text(), QStringLiteral("p"));
        QVERIFY(!f.auth.tokenValue());
    }

    void registerVerifiesThenCountsDown()
    {
        LoginFixture f;
        f.view.setCountdownInterval(std::chrono::milliseconds(5));
        f.site.route(kCheck, FakeSite::ok({}));
        f.site.route(kSend, FakeSite::ok({}));
        f.site.route(QStringLiteral("/api/register"), FakeSite::ok(R"({"token":"new","uid":"u9","gold":0,"vip_level":0,"vip_expired":0})"));

        f.view.modeButton(LoginMode::register_)->click();
        QCOMPARE(f.view.headerLabel()->text(), QStringLiteral("注册 Tovra"));
        QVERIFY(f.view.captchaButton()->showsSpinner());
        QVERIFY(f.captchaShown());
        const auto captcha = f.requests(kCaptcha).value(0).query();
        QCOMPARE(captcha.queryItemValue("scale"), QStringLiteral("2"));
        QVERIFY(qAbs(captcha.queryItemValue("_").toLongLong() - QDateTime::currentSecsSinceEpoch()) < 5);

        LoginFixture::type(f.view.emailField(), QStringLiteral("me@x.cn"));
        QVERIFY(!f.view.codeButton()->isEnabled());
        LoginFixture::type(f.view.captchaField(), QStringLiteral("k7qx"));
        f.view.codeButton()->click();
        QVERIFY(waitFor([&] { return f.view.noticeLine()->isVisible(); }));
        QCOMPARE(f.form(kCheck), (Form{{"code", "k7qx"}, {"email", "me@x.cn"}, {"action", "register"}}));
        QCOMPARE(f.form(kSend), (Form{{"email", "me@x.cn"}}));
        // The captcha's session cookie goes with the check and the e-mail request.
        QCOMPARE(f.requests(kCheck).value(0).header("Cookie"), QByteArray("cap=s1"));
        QCOMPARE(f.requests(kSend).value(0).header("Cookie"), QByteArray("cap=s1"));
        QCOMPARE(f.view.noticeLabel()->text(), QStringLiteral("验证码已发送到 me@x.cn，5 分钟内有效"));
        QVERIFY(!f.view.emailField()->isEnabled() && !f.view.captchaField()->isEnabled());
        QVERIFY(!f.view.captchaButton()->isEnabled());
        QVERIFY(f.view.codeButton()->text().endsWith('s'));
        QVERIFY(waitFor([&] { return f.view.codeButton()->text() == QStringLiteral("获取验证码"); }));
        QCOMPARE(f.view.state().countdown, 0);

        // Accepted once: a second request asks for the e-mail only.
        f.view.codeButton()->click();
        QVERIFY(f.site.waitForRequests(f.site.requests().size() + 1));
        QVERIFY(waitFor([&] { return f.requests(kSend).size() == 2 && !f.view.state().busy; }));
        QCOMPARE(f.requests(kCheck).size(), 1);

        QSignalSpy dismissed(&f.view, &LoginView::dismissRequested);
        LoginFixture::type(f.view.emailCodeField(), QStringLiteral("123456"));
        LoginFixture::type(f.view.newPasswordField(), QStringLiteral("12345"));
        QVERIFY(!f.view.submitButton()->isEnabled());
        LoginFixture::type(f.view.newPasswordField(), QStringLiteral("6"));
        QTest::keyClick(f.view.newPasswordField(), Qt::Key_Return);
        QVERIFY(dismissed.wait());
        QCOMPARE(f.form("/api/register"), (Form{{"email", "me@x.cn"}, {"code", "123456"}, {"password", "123456"}}));
        QCOMPARE(f.auth.tokenValue(), QStringLiteral("new"));
        QVERIFY(f.auth.user().has_value());
    }

    void refusedCodeRequestWithdrawsPicture_data()
    {
        QTest::addColumn<QString>("refused");
        QTest::newRow("picture code") << kCheck;
        QTest::newRow("e-mail") << kSend;
    }
    void refusedCodeRequestWithdrawsPicture()
    {
        QFETCH(QString, refused);
        LoginFixture f;
        f.site.route(kCheck, FakeSite::ok({}));
        f.site.route(kSend, FakeSite::ok({}));
        f.site.route(refused, FakeSite::json(FakeSite::envelope(400, "图片验证码错误")));
        f.view.setMode(LoginMode::reset);
        QVERIFY(f.captchaShown());
        LoginFixture::type(f.view.emailField(), QStringLiteral("me@x.cn"));
        LoginFixture::type(f.view.captchaField(), QStringLiteral("zzzz"));
        LoginFixture::type(f.view.emailCodeField(), QStringLiteral("1"));
        f.view.sendCode();
        QVERIFY(waitFor([&] { return !f.view.state().busy; }));
        QCOMPARE(f.form(kCheck).value("action"), QStringLiteral("reset"));
        QCOMPARE(f.view.errorLabel()->text(), QStringLiteral("图片验证码错误（400）"));
        QVERIFY(f.view.captchaField()->text().isEmpty());
        QCOMPARE(f.view.emailCodeField()->text(), QStringLiteral("1"));
        QVERIFY(f.view.emailField()->isEnabled() && !f.view.state().captchaPassed);
        QCOMPARE(f.requests(kCaptcha).size(), 2);
        QCOMPARE(f.view.codeButton()->text(), QStringLiteral("获取验证码"));
    }

    void resetReturnsToLogIn()
    {
        LoginFixture f;
        f.site.route(QStringLiteral("/api/resetpwd"), FakeSite::ok({}));
        LoginFixture::type(f.view.passwordField(), QStringLiteral("old"));
        f.view.setMode(LoginMode::reset);
        QCOMPARE(f.view.submitButton()->text(), QStringLiteral("重置密码"));
        QCOMPARE(f.view.newPasswordField()->placeholderText(), QStringLiteral("新密码（至少 6 位）"));
        LoginFixture::type(f.view.emailField(), QStringLiteral("me@x.cn"));
        LoginFixture::type(f.view.emailCodeField(), QStringLiteral("42"));
        LoginFixture::type(f.view.newPasswordField(), QStringLiteral("六个字的密码"));
        QSignalSpy dismissed(&f.view, &LoginView::dismissRequested);
        f.view.submit();
        QVERIFY(waitFor([&] { return f.view.mode() == LoginMode::login && !f.view.state().busy; }));
        QCOMPARE(f.form("/api/resetpwd"), (Form{{"email", "me@x.cn"}, {"code", "42"}, {"password", "六个字的密码"}}));
        QCOMPARE(f.view.accountField()->text(), QStringLiteral("me@x.cn"));
        QCOMPARE(f.view.passwordField()->text(), QStringLiteral("old"));
        QCOMPARE(f.view.noticeLabel()->text(), QStringLiteral("密码已重置，请用新密码登录"));
        QVERIFY(f.view.noticeLine()->isVisible() && !f.view.errorLine()->isVisible());
        QVERIFY(f.view.state().emailCode.isEmpty() && f.view.state().newPassword.isEmpty());
        QCOMPARE(dismissed.size(), 0);
        QVERIFY(!f.auth.tokenValue());
    }

    void switchingModesClearsVerification()
    {
        LoginFixture f;
        f.site.route(kCheck, FakeSite::ok({}));
        f.site.route(kSend, FakeSite::ok({}));
        f.view.setMode(LoginMode::reset);
        QVERIFY(f.captchaShown());
        LoginFixture::type(f.view.emailField(), QStringLiteral("me@x.cn"));
        LoginFixture::type(f.view.captchaField(), QStringLiteral("k7qx"));
        LoginFixture::type(f.view.emailCodeField(), QStringLiteral("9"));
        f.view.sendCode();
        QVERIFY(waitFor([&] { return f.view.state().countdown > 0 && !f.view.state().busy; }));
        LoginFixture::type(f.view.newPasswordField(), QStringLiteral("abcdef"));

        f.view.modeButton(LoginMode::register_)->click();
        QCOMPARE(f.view.codeButton()->text(), QStringLiteral("获取验证码"));
        QVERIFY(f.view.captchaField()->text().isEmpty() && f.view.emailCodeField()->text().isEmpty());
        QVERIFY(f.view.newPasswordField()->text().isEmpty());
        QVERIFY(f.view.emailField()->isEnabled() && f.view.captchaButton()->isEnabled());
        QVERIFY(!f.view.noticeLine()->isVisible());
        QCOMPARE(f.view.emailField()->text(), QStringLiteral("me@x.cn"));
        QVERIFY(waitFor([&] { return f.requests(kCaptcha).size() == 2 && f.view.hasCaptchaImage(); }));
        // A countdown stopped by the switch stays stopped.
        QTest::qWait(1200);
        QCOMPARE(f.view.state().countdown, 0);
        f.view.setMode(LoginMode::login);
        QTest::qWait(50);
        QCOMPARE(f.requests(kCaptcha).size(), 2);
    }

    void captchaFailures_data()
    {
        QTest::addColumn<FakeSite::Reply>("reply");
        QTest::addColumn<QString>("error");
        QTest::newRow("not a picture") << FakeSite::text("<html>") << QString();
        QTest::newRow("status 500") << FakeSite::text("oops", 500) << QStringLiteral("验证码获取失败（500）");
        QTest::newRow("empty body") << FakeSite::text("") << QStringLiteral("验证码获取失败（200）");
    }
    void captchaFailures()
    {
        QFETCH(FakeSite::Reply, reply);
        QFETCH(QString, error);
        LoginFixture f;
        f.site.route(kCaptcha, reply);
        f.view.setMode(LoginMode::register_);
        QVERIFY(f.site.waitForRequests(1));
        QTest::qWait(150);
        QVERIFY(f.view.captchaButton()->showsSpinner());
        QCOMPARE(f.view.errorLine()->isVisible(), !error.isEmpty());
        QCOMPARE(f.view.errorLabel()->text(), error);
        // A tap tries again.
        f.site.route(kCaptcha, FakeSite::Reply().withBody(captchaPng()));
        f.view.captchaButton()->click();
        QVERIFY(f.captchaShown());
        QVERIFY(!f.view.captchaButton()->showsSpinner());
    }
};

TOVRA_TEST(TestLoginView)
#include "tst_loginview.moc"
