#pragma once

#include <QList>
#include <QString>
#include <optional>

// The decisions of the sign-in page that need no widget: its three modes and their texts, when
// a form may be sent, what a mode change clears, and the resend countdown.
namespace tovra {

// Declaration order is the order of the mode switcher.
enum class LoginMode { login, register_, reset };

namespace loginpage {

inline constexpr int kCountdownStart = 60;
inline constexpr int kCaptchaScale = 2;
inline constexpr int kMinPasswordLength = 6;

QList<LoginMode> allModes();
// "登录", "注册", "找回密码": the switcher's segments and the page's title.
QString rawValue(LoginMode mode);
// Exactly the three raw values; anything else is none.
std::optional<LoginMode> modeFromRaw(const QString &text);
QString submitLabel(LoginMode mode);
QString headerTitle(LoginMode mode);
// The purpose the site checks a picture code for.
QString captchaAction(LoginMode mode);
// Characters as a reader counts them (grapheme clusters), so "密码" is two and an emoji with a
// skin tone is one.
qsizetype characterCount(const QString &text);
QString sentNotice(const QString &email);

}

// Everything the sign-in page holds, as typed: nothing is trimmed, so the site sees exactly what
// the user entered.
struct LoginState
{
    LoginMode mode = LoginMode::login;
    QString account;
    QString password;
    QString email;
    QString captchaInput;
    QString emailCode;
    QString newPassword;
    bool captchaPassed = false;
    int countdown = 0;
    std::optional<QString> error;
    std::optional<QString> notice;
    bool busy = false;

    bool canSubmit() const;
    // The e-mail code button: free, an address and a picture code typed, no countdown running.
    bool canSendCode() const;
    bool countdownRunning() const { return countdown > 0; }
    QString submitText() const;
    // "获取验证码", or the seconds left followed by "s".
    QString codeButtonText() const;

    // Clears what belongs to one mode; account, password, email and busy stay.
    void resetState();
    // A mode change always clears, whatever caused it. Answers whether the mode changed.
    bool setMode(LoginMode next);
    // After a password reset: log-in mode with the address filled in, and the line that says so.
    void finishReset();
    void startCountdown() { countdown = loginpage::kCountdownStart; }
    // One second gone; answers whether the countdown is still running.
    bool tick();
};

}
