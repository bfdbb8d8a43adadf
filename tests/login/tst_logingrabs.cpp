#include "components/appearance.h"
#include "loginfixture.h"
#include "views/palette.h"

#include <QFileInfo>
#include <QTest>
#include "support/screentext.h"
#include "support/testmain.h"

using namespace tovra;
using namespace tovra::test;

class TestLoginGrabs : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { Palette::installApplicationTheme(); }

    void page_data()
    {
        addAppearanceRows();
    }
    // Registration mid-way: picture in, code sent, countdown running, a server complaint shown.
    void page()
    {
        QFETCH(bool, dark);
        LoginFixture f;
        forceAppearance(dark);
        f.site.route(QStringLiteral("/api/check_captcha"), FakeSite::ok({}));
        f.site.route(QStringLiteral("/api/send_email_code"), FakeSite::ok({}));
        f.site.route(QStringLiteral("/api/register"), FakeSite::json(FakeSite::envelope(400, "邮箱验证码错误或已过期")));
        f.paintBackground(dark);
        QVERIFY(QTest::qWaitForWindowExposed(&f.frame));
        f.view.setMode(LoginMode::register_);
        QVERIFY(f.captchaShown());
        LoginFixture::type(f.view.emailField(), QStringLiteral("me@example.cn"));
        LoginFixture::type(f.view.captchaField(), QStringLiteral("K7QX"));
        f.view.sendCode();
        QVERIFY(waitFor([&] { return f.view.state().countdown > 0 && !f.view.state().busy; }));
        LoginFixture::type(f.view.emailCodeField(), QStringLiteral("000000"));
        LoginFixture::type(f.view.newPasswordField(), QStringLiteral("secret1"));
        f.view.submit();
        QVERIFY(waitFor([&] { return f.view.errorLine()->isVisible(); }));
        const QString file = grabToPng(&f.frame, dark ? QStringLiteral("login-dark") : QStringLiteral("login-light"));
        QVERIFY(!file.isEmpty() && QFileInfo(file).size() > 0);
        QVERIFY(std::ranges::any_of(shownTexts(f.view.errorLine()),
                                    [](const QString &text) { return text.startsWith(QStringLiteral("邮箱验证码错误或已过期")); }));
        QVERIFY2(clippedTexts(&f.frame).isEmpty(), qPrintable(clippedTexts(&f.frame).join(u'|')));
    }
};

TOVRA_TEST(TestLoginGrabs)
#include "tst_logingrabs.moc"
