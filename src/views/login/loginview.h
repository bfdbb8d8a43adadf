#pragma once

#include "models/loadgeneration.h"
#include "models/loginlogic.h"
#include "views/palette.h"

#include <QCoroTask>
#include <QList>
#include <QWidget>
#include <chrono>

class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QTimer;

namespace tovra {

class CaptchaButton;
class TovraLogo;

// The page for logging in, registering and resetting a password. Registration and reset share
// one verification form: e-mail address, picture captcha, e-mail code with a resend countdown,
// and the new password. A log-in or registration that succeeds stores the token, reloads the
// user and asks the window to pop the page; a reset keeps the page, back in log-in mode.
//
// Built fresh for every visit: nothing of an earlier one survives.
class LoginView : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kColumnWidth = 380;

    explicit LoginView(QWidget *parent = nullptr);
    ~LoginView() override;

    const LoginState &state() const { return m_state; }
    LoginMode mode() const { return m_state.mode; }
    bool hasCaptchaImage() const;
    // The raw value of the mode, as the window's title for this page.
    QString navigationTitle() const;

    // The resend countdown steps once per interval (one second; tests shorten it).
    void setCountdownInterval(std::chrono::milliseconds interval);

    // The parts, for tests and a reviewer's grabs.
    QPushButton *modeButton(LoginMode mode) const { return m_modeButtons.value(int(mode)); }
    QLabel *headerLabel() const { return m_title; }
    QLineEdit *accountField() const { return m_account; }
    QLineEdit *passwordField() const { return m_password; }
    QLineEdit *emailField() const { return m_email; }
    QLineEdit *captchaField() const { return m_captchaInput; }
    QLineEdit *emailCodeField() const { return m_emailCode; }
    QLineEdit *newPasswordField() const { return m_newPassword; }
    CaptchaButton *captchaButton() const { return m_captcha; }
    QPushButton *codeButton() const { return m_codeButton; }
    QPushButton *submitButton() const { return m_submit; }
    QWidget *errorLine() const { return m_errorRow; }
    QLabel *errorLabel() const { return m_errorText; }
    QWidget *noticeLine() const { return m_noticeRow; }
    QLabel *noticeLabel() const { return m_noticeText; }

public slots:
    void setMode(tovra::LoginMode mode);
    // The one forward action of the mode; does nothing while busy or while the form is incomplete.
    void submit();
    void reloadCaptcha();
    void sendCode();

signals:
    // The page is done (signed in or registered): the window pops it.
    void dismissRequested();
    void navigationTitleChanged(const QString &title);

private:
    QWidget *buildHeader();
    QWidget *buildSwitcher();
    QWidget *buildLoginForm();
    QWidget *buildVerifyForm();
    QWidget *buildMessageLine(const QString &icon, Palette::Name role, QLabel *&text);
    QLineEdit *field(const QString &placeholder, QString LoginState::*member, bool secret);

    QCoro::Task<> runSubmit(LoginMode mode);
    QCoro::Task<> loadCaptcha();
    QCoro::Task<> runSendCode();
    void startCountdown();
    void onCountdownTick();
    void modeChanged();
    void render();

    LoginState m_state;
    // Captcha loads: only the newest may set the picture or its error, so a slow answer for an
    // earlier tap or an earlier mode never replaces a newer picture.
    LoadGeneration m_captchaGeneration;
    // Bumped on every mode change: a code request answered after the user moved to another
    // mode must not lock that mode's fields or start its countdown.
    quint64 m_modeEpoch = 0;

    QTimer *m_countdown = nullptr;
    QList<QPushButton *> m_modeButtons; // by mode, in switcher order
    TovraLogo *m_logo = nullptr;
    QLabel *m_title = nullptr;
    QStackedWidget *m_forms = nullptr;
    QWidget *m_loginForm = nullptr;
    QWidget *m_verifyForm = nullptr;
    QLineEdit *m_account = nullptr;
    QLineEdit *m_password = nullptr;
    QLineEdit *m_email = nullptr;
    QLineEdit *m_captchaInput = nullptr;
    QLineEdit *m_emailCode = nullptr;
    QLineEdit *m_newPassword = nullptr;
    CaptchaButton *m_captcha = nullptr;
    QPushButton *m_codeButton = nullptr;
    QWidget *m_errorRow = nullptr;
    QLabel *m_errorText = nullptr;
    QWidget *m_noticeRow = nullptr;
    QLabel *m_noticeText = nullptr;
    QPushButton *m_submit = nullptr;
};

}
