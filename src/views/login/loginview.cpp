#include "views/login/loginview.h"

#include "network/apiclient.h"
#include "store/authstore.h"
#include "views/components/access.h"
#include "views/components/appearance.h"
#include "views/components/pointinghand.h"
#include "views/components/symbolview.h"
#include "views/components/typography.h"
#include "views/detail/tint.h"
#include "views/login/captchabutton.h"
#include "views/logo.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace tovra {

namespace {
constexpr int kPadding = 24;
constexpr int kSpacing = 16;
constexpr int kFormSpacing = 10;
constexpr int kRowSpacing = 8;
constexpr int kFieldHeight = 30;
constexpr int kCodeButtonWidth = 96;

void setTextKeepingCursor(QLineEdit *edit, const QString &text)
{
    if (edit->text() != text)
        edit->setText(text);
}
}

LoginView::LoginView(QWidget *parent) : QWidget(parent)
{
    m_countdown = new QTimer(this);
    m_countdown->setTimerType(Qt::PreciseTimer);
    m_countdown->setInterval(std::chrono::seconds(1));
    connect(m_countdown, &QTimer::timeout, this, &LoginView::onCountdownTick);

    auto *column = new QWidget(this);
    column->setFixedWidth(kColumnWidth);
    auto *layout = new QVBoxLayout(column);
    layout->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    layout->setSpacing(kSpacing);
    layout->addWidget(buildHeader());
    layout->addWidget(buildSwitcher());

    m_forms = new QStackedWidget(column);
    m_loginForm = buildLoginForm();
    m_verifyForm = buildVerifyForm();
    m_forms->addWidget(m_loginForm);
    m_forms->addWidget(m_verifyForm);
    layout->addWidget(m_forms);

    m_errorRow = buildMessageLine(QStringLiteral("exclamationmark.circle"), Palette::Name::Error, m_errorText);
    m_noticeRow = buildMessageLine(QStringLiteral("checkmark.circle"), Palette::Name::Accent, m_noticeText);
    // The line is kept free while there is nothing to say, so a message appearing does not push
    // the form about.
    auto *messages = new QWidget(column);
    auto *messageColumn = new QVBoxLayout(messages);
    messageColumn->setContentsMargins(0, 0, 0, 0);
    messageColumn->setSpacing(kSpacing);
    messageColumn->addWidget(m_errorRow);
    messageColumn->addWidget(m_noticeRow);
    messages->setMinimumHeight(qMax(m_errorText->fontMetrics().height(), 13));
    layout->addWidget(messages);

    auto *submitRow = new QHBoxLayout;
    submitRow->setContentsMargins(0, 0, 0, 0);
    submitRow->addStretch(1);
    m_submit = new QPushButton(column);
    m_submit->setDefault(true);
    m_submit->setMinimumWidth(88);
    setPointingHand(m_submit);
    connect(m_submit, &QPushButton::clicked, this, &LoginView::submit);
    submitRow->addWidget(m_submit);
    layout->addLayout(submitRow);

    // The column sits in the middle of whatever room the window gives the page.
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addStretch(1);
    auto *middle = new QHBoxLayout;
    middle->addStretch(1);
    middle->addWidget(column);
    middle->addStretch(1);
    outer->addLayout(middle);
    outer->addStretch(1);

    setWindowTitle(navigationTitle());
    render();
    followAppearance(this, [this](bool) { render(); });
}

LoginView::~LoginView() = default;

bool LoginView::hasCaptchaImage() const
{
    return m_captcha->hasImage();
}

QString LoginView::navigationTitle() const
{
    return loginpage::rawValue(m_state.mode);
}

void LoginView::setCountdownInterval(std::chrono::milliseconds interval)
{
    m_countdown->setInterval(interval);
}

QWidget *LoginView::buildHeader()
{
    auto *header = new QWidget(this);
    auto *row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(10);
    m_logo = new TovraLogo(brandGreen(), header);
    m_logo->setFixedSize(30, 27);
    row->addWidget(m_logo, 0, Qt::AlignVCenter);
    m_title = tintedLabel(QString(), TextStyle::kTitle3, Palette::Name::Text, header, QFont::Bold);
    row->addWidget(m_title, 0, Qt::AlignVCenter);
    row->addStretch(1);
    return header;
}

QWidget *LoginView::buildSwitcher()
{
    auto *switcher = new QWidget(this);
    auto *row = new QHBoxLayout(switcher);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    auto *group = new QButtonGroup(switcher);
    group->setExclusive(true);
    for (LoginMode mode : loginpage::allModes()) {
        auto *segment = new QPushButton(loginpage::rawValue(mode), switcher);
        segment->setCheckable(true);
        segment->setAutoDefault(false);
        // One of three forms: read as the tabs of the page they switch.
        Access::choice(segment, QAccessible::PageTab);
        setPointingHand(segment);
        group->addButton(segment);
        row->addWidget(segment, 1);
        connect(segment, &QPushButton::clicked, this, [this, mode] { setMode(mode); });
        m_modeButtons.append(segment);
    }
    return switcher;
}

QLineEdit *LoginView::field(const QString &placeholder, QString LoginState::*member, bool secret)
{
    auto *edit = new QLineEdit(this);
    edit->setPlaceholderText(placeholder);
    // A screen reader does not read placeholders as names.
    edit->setAccessibleName(placeholder);
    edit->setMinimumHeight(kFieldHeight);
    if (secret)
        edit->setEchoMode(QLineEdit::Password);
    // Kept exactly as typed: the site gets the field's text without trimming.
    connect(edit, &QLineEdit::textEdited, this, [this, member](const QString &text) {
        m_state.*member = text;
        render();
    });
    connect(edit, &QLineEdit::returnPressed, this, &LoginView::submit);
    return edit;
}

QWidget *LoginView::buildLoginForm()
{
    auto *form = new QWidget(this);
    auto *column = new QVBoxLayout(form);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(kFormSpacing);
    m_account = field(QStringLiteral("手机号 / 邮箱"), &LoginState::account, false);
    m_password = field(QStringLiteral("密码"), &LoginState::password, true);
    column->addWidget(m_account);
    column->addWidget(m_password);
    column->addStretch(1);
    return form;
}

QWidget *LoginView::buildVerifyForm()
{
    auto *form = new QWidget(this);
    auto *column = new QVBoxLayout(form);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(kFormSpacing);

    m_email = field(QStringLiteral("邮箱"), &LoginState::email, false);
    column->addWidget(m_email);

    auto *captchaRow = new QHBoxLayout;
    captchaRow->setSpacing(kRowSpacing);
    m_captchaInput = field(QStringLiteral("图片验证码"), &LoginState::captchaInput, false);
    m_captcha = new CaptchaButton(form);
    connect(m_captcha, &CaptchaButton::clicked, this, &LoginView::reloadCaptcha);
    captchaRow->addWidget(m_captchaInput, 1);
    captchaRow->addWidget(m_captcha);
    column->addLayout(captchaRow);

    auto *codeRow = new QHBoxLayout;
    codeRow->setSpacing(kRowSpacing);
    m_emailCode = field(QStringLiteral("邮箱验证码"), &LoginState::emailCode, false);
    m_codeButton = new QPushButton(form);
    m_codeButton->setFixedWidth(kCodeButtonWidth);
    m_codeButton->setAutoDefault(false);
    setPointingHand(m_codeButton);
    connect(m_codeButton, &QPushButton::clicked, this, &LoginView::sendCode);
    codeRow->addWidget(m_emailCode, 1);
    codeRow->addWidget(m_codeButton);
    column->addLayout(codeRow);

    m_newPassword = field(QString(), &LoginState::newPassword, true);
    column->addWidget(m_newPassword);
    column->addStretch(1);
    return form;
}

QWidget *LoginView::buildMessageLine(const QString &icon, Palette::Name role, QLabel *&text)
{
    auto *line = new QWidget(this);
    auto *row = new QHBoxLayout(line);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    row->addWidget(new SymbolView(icon, 13, role, line), 0, Qt::AlignTop);
    // Server messages and typed addresses: plain text, never markup.
    text = tintedLabel(QString(), TextStyle::kCallout, role, line);
    text->setWordWrap(true);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    row->addWidget(text, 1);
    line->hide();
    return line;
}

void LoginView::setMode(LoginMode mode)
{
    if (m_state.setMode(mode))
        modeChanged();
    render();
}

void LoginView::modeChanged()
{
    ++m_modeEpoch;
    m_countdown->stop();
    // A picture still on its way belongs to the mode just left.
    m_captchaGeneration.invalidate();
    setWindowTitle(navigationTitle());
    emit navigationTitleChanged(navigationTitle());
    // Every entry into registration or reset shows a fresh picture; log-in never asks for one.
    if (m_state.mode != LoginMode::login)
        loadCaptcha();
}

void LoginView::submit()
{
    if (m_state.busy || !m_state.canSubmit())
        return;
    m_state.busy = true;
    m_state.error.reset();
    m_state.notice.reset();
    render();
    runSubmit(m_state.mode);
}

QCoro::Task<> LoginView::runSubmit(LoginMode mode)
{
    QPointer self = this;
    APIClient *api = APIClient::shared();
    const LoginState sent = m_state;

    if (mode == LoginMode::reset) {
        auto reply = co_await api->resetPassword(sent.email, sent.emailCode, sent.newPassword);
        if (!self)
            co_return;
        if (reply) {
            const LoginMode before = m_state.mode;
            m_state.finishReset();
            if (m_state.mode != before)
                modeChanged();
        } else {
            m_state.error = reply.error().description();
        }
        m_state.busy = false;
        render();
        co_return;
    }

    Result<LoginResult> reply = std::unexpected(APIError::badURL());
    if (mode == LoginMode::login)
        reply = co_await api->login(sent.account, sent.password);
    else
        reply = co_await api->registerAccount(sent.email, sent.emailCode, sent.newPassword);

    if (reply) {
        // The account exists now whether or not the page is still there to see it: keep the
        // token and the profile even if the user left the page meanwhile.
        QPointer<AuthStore> auth = AuthStore::shared();
        auth->save(reply->token);
        co_await auth->refresh();
        if (!self)
            co_return;
        m_state.busy = false;
        render();
        emit dismissRequested();
        co_return;
    }
    if (!self)
        co_return;
    m_state.error = reply.error().description();
    m_state.busy = false;
    render();
}

void LoginView::reloadCaptcha()
{
    loadCaptcha();
}

QCoro::Task<> LoginView::loadCaptcha()
{
    QPointer self = this;
    const auto ticket = m_captchaGeneration.begin();
    m_captcha->setImage({});
    auto reply = co_await APIClient::shared()->captcha(loginpage::kCaptchaScale);
    if (!self || !m_captchaGeneration.isCurrent(ticket))
        co_return;
    if (reply) {
        // Bytes that are no picture leave the spinner: a tap tries again.
        m_captcha->setImage(QImage::fromData(reply->bytes));
    } else {
        m_state.error = reply.error().description();
        render();
    }
}

void LoginView::sendCode()
{
    runSendCode();
}

QCoro::Task<> LoginView::runSendCode()
{
    if (!m_state.canSendCode())
        co_return;
    QPointer self = this;
    APIClient *api = APIClient::shared();
    const quint64 epoch = m_modeEpoch;
    // The address the picture code is checked for is the one the e-mail goes to, even if the
    // field is edited while the check is under way.
    const QString email = m_state.email;
    const QString code = m_state.captchaInput;
    const QString action = loginpage::captchaAction(m_state.mode);
    m_state.busy = true;
    m_state.error.reset();
    m_state.notice.reset();
    render();

    const auto finish = [this] {
        m_state.busy = false;
        render();
    };

    std::optional<APIError> failure;
    if (!m_state.captchaPassed) {
        auto checked = co_await api->checkCaptcha(code, email, action);
        if (!self)
            co_return;
        if (epoch != m_modeEpoch)
            co_return finish();
        if (checked) {
            m_state.captchaPassed = true;
            m_state.email = email;
            render();
        } else {
            failure = checked.error();
        }
    }
    if (!failure) {
        auto sent = co_await api->sendEmailCode(email);
        if (!self)
            co_return;
        if (epoch != m_modeEpoch)
            co_return finish();
        if (!sent)
            failure = sent.error();
    }

    if (failure) {
        m_state.error = failure->description();
        m_state.captchaPassed = false;
        m_state.captchaInput.clear();
        render();
        co_await loadCaptcha();
        if (!self)
            co_return;
        co_return finish();
    }

    m_state.notice = loginpage::sentNotice(email);
    startCountdown();
    finish();
}

void LoginView::startCountdown()
{
    m_state.startCountdown();
    m_countdown->start();
}

void LoginView::onCountdownTick()
{
    if (!m_state.tick())
        m_countdown->stop();
    render();
}

void LoginView::render()
{
    const LoginState &s = m_state;
    const bool verifying = s.mode != LoginMode::login;
    m_title->setText(loginpage::headerTitle(s.mode));
    for (LoginMode mode : loginpage::allModes()) {
        QPushButton *segment = modeButton(mode);
        const bool selected = mode == s.mode;
        segment->setChecked(selected);
        // Fusion's pressed shade barely shows in the dark appearance: the chosen segment also
        // takes the accent colour and a heavier weight.
        QPalette p = segment->palette();
        p.setColor(QPalette::ButtonText, selected ? Palette::accent() : Palette::text());
        segment->setPalette(p);
        QFont font = segment->font();
        font.setBold(selected);
        segment->setFont(font);
    }
    m_forms->setCurrentWidget(verifying ? m_verifyForm : m_loginForm);

    setTextKeepingCursor(m_account, s.account);
    setTextKeepingCursor(m_password, s.password);
    setTextKeepingCursor(m_email, s.email);
    setTextKeepingCursor(m_captchaInput, s.captchaInput);
    setTextKeepingCursor(m_emailCode, s.emailCode);
    setTextKeepingCursor(m_newPassword, s.newPassword);
    m_newPassword->setPlaceholderText(s.mode == LoginMode::reset ? QStringLiteral("新密码（至少 6 位）")
                                                                 : QStringLiteral("设置密码（至少 6 位）"));
    m_newPassword->setAccessibleName(m_newPassword->placeholderText());
    // Once a picture code is accepted the address is fixed: the code goes to the address checked.
    m_email->setEnabled(!s.captchaPassed);
    m_captchaInput->setEnabled(!s.captchaPassed);
    m_captcha->setEnabled(!s.captchaPassed);
    m_codeButton->setText(s.codeButtonText());
    m_codeButton->setEnabled(s.canSendCode());

    m_errorText->setText(s.error.value_or(QString()));
    m_errorRow->setVisible(s.error.has_value());
    m_noticeText->setText(s.notice.value_or(QString()));
    m_noticeRow->setVisible(s.notice.has_value());

    m_submit->setText(s.submitText());
    m_submit->setEnabled(!s.busy && s.canSubmit());
}

}
