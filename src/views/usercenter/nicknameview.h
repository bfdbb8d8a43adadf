#pragma once

#include "models/loadgeneration.h"

#include <QCoroTask>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

namespace tovra {

class CaptchaButton;
class OutcomeLine;

// The "修改昵称" tab: the nickname field prefilled from the account, a picture captcha with its
// code field, and the save button. Every save, good or bad, empties the code and fetches a new
// picture; a good one reloads the account so every place showing the name follows.
class NicknameView : public QWidget
{
    Q_OBJECT
public:
    explicit NicknameView(QWidget *parent = nullptr);

    QString nickname() const { return m_nickname; }
    QString code() const { return m_code; }
    bool isBusy() const { return m_busy; }
    bool hasCaptchaImage() const;
    bool canSave() const;

    QLineEdit *nicknameField() const { return m_nicknameField; }
    QLineEdit *codeField() const { return m_codeField; }
    CaptchaButton *captchaButton() const { return m_captcha; }
    QPushButton *saveButton() const { return m_save; }
    OutcomeLine *outcomeLine() const { return m_outcome; }

public slots:
    // Does nothing while a save runs or the fields are too short.
    void save();
    void reloadCaptcha();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    QWidget *field(const QString &label, QWidget *content);
    QLineEdit *input(const QString &placeholder, int width, bool mono);
    QCoro::Task<> loadCaptcha();
    QCoro::Task<> runSave();
    void prefill();
    void followUser();
    void dropAccount();
    void render();

    QString m_nickname;
    // The account's name as last put in the field; the field follows the account while it
    // still holds it (a profile that comes after signing in), never over the user's typing.
    QString m_prefilled;
    QString m_code;
    bool m_busy = false;
    // The site pairs the typed code with the last picture it served, so only the newest load
    // may show its picture; a late answer to an older tap would show a picture whose code no
    // longer counts. Hiding the page abandons every load.
    LoadGeneration m_captchaLoad;
    // Moves on with every change of account: a save sent for the previous one reports to
    // nobody here.
    LoadGeneration m_account;

    QLineEdit *m_nicknameField = nullptr;
    QLineEdit *m_codeField = nullptr;
    CaptchaButton *m_captcha = nullptr;
    QPushButton *m_save = nullptr;
    OutcomeLine *m_outcome = nullptr;
};

}
