#include "models/loginlogic.h"

#include <QTest>
#include "support/testmain.h"

using namespace tovra;

class TestLoginLogic : public QObject
{
    Q_OBJECT
private slots:
    void canSubmit_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("first");  // account or e-mail
        QTest::addColumn<QString>("second"); // password or e-mail code
        QTest::addColumn<QString>("newPassword");
        QTest::addColumn<bool>("expected");
        QTest::newRow("login both") << int(LoginMode::login) << "a" << "p" << "" << true;
        QTest::newRow("login no password") << int(LoginMode::login) << "a" << "" << "" << false;
        QTest::newRow("login spaces count") << int(LoginMode::login) << " " << " " << "" << true;
        QTest::newRow("register 5") << int(LoginMode::register_) << "a@b.c" << "1" << "12345" << false;
        QTest::newRow("register 6") << int(LoginMode::register_) << "a@b.c" << "1" << "123456" << true;
        QTest::newRow("register 6 cjk") << int(LoginMode::register_) << "a@b.c" << "1" << "密码密码密码" << true;
        // Five family emoji: dozens of UTF-16 units, five characters to a reader.
        QTest::newRow("register 5 clusters") << int(LoginMode::register_) << "a@b.c" << "1"
                                             << QString::fromUtf8("👨‍👩‍👧👨‍👩‍👧👨‍👩‍👧👨‍👩‍👧👨‍👩‍👧") << false;
        QTest::newRow("reset no code") << int(LoginMode::reset) << "a@b.c" << "" << "1234567" << false;
    }
    void canSubmit()
    {
        QFETCH(int, mode);
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(QString, newPassword);
        QFETCH(bool, expected);
        LoginState s;
        s.mode = LoginMode(mode);
        (s.mode == LoginMode::login ? s.account : s.email) = first;
        (s.mode == LoginMode::login ? s.password : s.emailCode) = second;
        s.newPassword = newPassword;
        QCOMPARE(s.canSubmit(), expected);
    }

    void modesRoundTrip()
    {
        for (LoginMode mode : loginpage::allModes())
            QCOMPARE(loginpage::modeFromRaw(loginpage::rawValue(mode)), mode);
        QCOMPARE(loginpage::modeFromRaw(QStringLiteral("登录 ")), std::nullopt);
        QCOMPARE(loginpage::captchaAction(LoginMode::reset), QStringLiteral("reset"));
        QCOMPARE(loginpage::captchaAction(LoginMode::register_), QStringLiteral("register"));
    }

    void modeChangeClearsOnlyItsOwn()
    {
        LoginState s;
        s.mode = LoginMode::register_;
        s.account = "acc";
        s.password = "pw";
        s.email = "e@x.cn";
        s.captchaInput = "AB12";
        s.emailCode = "999";
        s.newPassword = "secret";
        s.captchaPassed = true;
        s.countdown = 42;
        s.error = "x";
        s.notice = "y";
        s.busy = true;
        QVERIFY(s.setMode(LoginMode::reset));
        QVERIFY(s.captchaInput.isEmpty() && s.emailCode.isEmpty() && s.newPassword.isEmpty());
        QVERIFY(!s.captchaPassed && s.countdown == 0 && !s.error && !s.notice);
        QCOMPARE(s.email, QStringLiteral("e@x.cn"));
        QCOMPARE(s.account, QStringLiteral("acc"));
        QVERIFY(s.busy);
        QVERIFY(!s.setMode(LoginMode::reset));
    }

    void countdown()
    {
        LoginState s;
        s.email = "e";
        s.captchaInput = "c";
        QVERIFY(s.canSendCode());
        s.startCountdown();
        QCOMPARE(s.codeButtonText(), QStringLiteral("60s"));
        QVERIFY(!s.canSendCode());
        int ticks = 0;
        while (s.tick())
            ++ticks;
        QCOMPARE(ticks, 59);
        QCOMPARE(s.codeButtonText(), QStringLiteral("获取验证码"));
        QVERIFY(s.canSendCode());
    }
};

TOVRA_TEST(TestLoginLogic)
#include "tst_loginlogic.moc"
