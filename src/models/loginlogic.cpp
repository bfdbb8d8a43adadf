#include "models/loginlogic.h"

#include <QTextBoundaryFinder>

namespace tovra {

namespace loginpage {

QList<LoginMode> allModes()
{
    return {LoginMode::login, LoginMode::register_, LoginMode::reset};
}

QString rawValue(LoginMode mode)
{
    switch (mode) {
    case LoginMode::login: return QStringLiteral("登录");
    case LoginMode::register_: return QStringLiteral("注册");
    case LoginMode::reset: return QStringLiteral("找回密码");
    }
    return {};
}

std::optional<LoginMode> modeFromRaw(const QString &text)
{
    for (LoginMode mode : allModes()) {
        if (rawValue(mode) == text)
            return mode;
    }
    return std::nullopt;
}

QString submitLabel(LoginMode mode)
{
    switch (mode) {
    case LoginMode::login: return QStringLiteral("登录");
    case LoginMode::register_: return QStringLiteral("注册");
    case LoginMode::reset: return QStringLiteral("重置密码");
    }
    return {};
}

QString headerTitle(LoginMode mode)
{
    switch (mode) {
    case LoginMode::login: return QStringLiteral("登录 Tovra");
    case LoginMode::register_: return QStringLiteral("注册 Tovra");
    case LoginMode::reset: return QStringLiteral("找回密码");
    }
    return {};
}

QString captchaAction(LoginMode mode)
{
    return mode == LoginMode::reset ? QStringLiteral("reset") : QStringLiteral("register");
}

qsizetype characterCount(const QString &text)
{
    if (text.isEmpty())
        return 0;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() != -1)
        ++count;
    return count;
}

QString sentNotice(const QString &email)
{
    return QStringLiteral("验证码已发送到 ") + email + QStringLiteral("，5 分钟内有效");
}

}

bool LoginState::canSubmit() const
{
    if (mode == LoginMode::login)
        return !account.isEmpty() && !password.isEmpty();
    return !email.isEmpty() && !emailCode.isEmpty()
        && loginpage::characterCount(newPassword) >= loginpage::kMinPasswordLength;
}

bool LoginState::canSendCode() const
{
    return !busy && !countdownRunning() && !email.isEmpty() && !captchaInput.isEmpty();
}

QString LoginState::submitText() const
{
    return busy ? QStringLiteral("处理中…") : loginpage::submitLabel(mode);
}

QString LoginState::codeButtonText() const
{
    return countdownRunning() ? QString::number(countdown) + QLatin1Char('s') : QStringLiteral("获取验证码");
}

void LoginState::resetState()
{
    error.reset();
    notice.reset();
    captchaInput.clear();
    emailCode.clear();
    newPassword.clear();
    captchaPassed = false;
    countdown = 0;
}

bool LoginState::setMode(LoginMode next)
{
    if (next == mode)
        return false;
    mode = next;
    resetState();
    return true;
}

void LoginState::finishReset()
{
    account = email;
    setMode(LoginMode::login);
    // Only after the clearing, or the line would vanish with it.
    notice = QStringLiteral("密码已重置，请用新密码登录");
}

bool LoginState::tick()
{
    if (countdown > 0)
        --countdown;
    return countdown > 0;
}

}
