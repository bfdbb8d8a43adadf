#include "views/usercenter/nicknameview.h"

#include "models/loginlogic.h"
#include "models/usercenterpages.h"
#include "network/apiclient.h"
#include "store/authstore.h"
#include "views/components/pointinghand.h"
#include "views/components/typography.h"
#include "views/detail/tint.h"
#include "views/login/captchabutton.h"
#include "views/usercenter/outcomeline.h"
#include "views/usercenter/prominentbutton.h"
#include "views/usercenter/roundedpanel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace tovra {

namespace {
constexpr int kPadding = 24;
constexpr int kCardWidth = 560;
constexpr int kFieldHeight = 44;
constexpr int kLabelWidth = 64;
}

NicknameView::NicknameView(QWidget *parent) : QWidget(parent)
{
    auto *page = new QVBoxLayout(this);
    page->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    page->setSpacing(0);

    auto *header = new QVBoxLayout;
    header->setSpacing(4);
    header->setContentsMargins(0, 0, 0, 18);
    header->addWidget(tintedLabel(QStringLiteral("修改昵称"), TextStyle::kTitle3, Palette::Name::Text, this, QFont::Bold));
    header->addWidget(tintedLabel(QStringLiteral("直接在文本框中修改成你想要的昵称，点击确定即可"), TextStyle::kCallout,
                                  Palette::Name::TextDim, this));
    page->addLayout(header);

    auto *card = new RoundedPanel(12, Palette::Name::Surface2, this);
    card->setStroke(Palette::Name::Border);
    card->setMaximumWidth(kCardWidth);
    auto *rows = new QVBoxLayout(card);
    rows->setContentsMargins(20, 20, 20, 20);
    rows->setSpacing(16);

    // Kept exactly as typed: the site gets the text without trimming.
    m_nicknameField = input(QStringLiteral("2 到 12 个字符"), 260, false);
    connect(m_nicknameField, &QLineEdit::textEdited, this, [this](const QString &text) {
        m_nickname = text;
        render();
    });
    rows->addWidget(field(QStringLiteral("你的昵称"), m_nicknameField));

    auto *codeRow = new QWidget(card);
    auto *codeLayout = new QHBoxLayout(codeRow);
    codeLayout->setContentsMargins(0, 0, 0, 0);
    codeLayout->setSpacing(12);
    m_codeField = input(QStringLiteral("4 位"), 120, true);
    connect(m_codeField, &QLineEdit::textEdited, this, [this](const QString &text) {
        m_code = text;
        render();
    });
    connect(m_codeField, &QLineEdit::returnPressed, this, &NicknameView::save);
    codeLayout->addWidget(m_codeField);
    m_captcha = new CaptchaButton(codeRow);
    m_captcha->setFixedSize(120, kFieldHeight);
    m_captcha->setToolTip(QStringLiteral("看不清？点击换一张"));
    connect(m_captcha, &CaptchaButton::clicked, this, &NicknameView::reloadCaptcha);
    codeLayout->addWidget(m_captcha);
    codeLayout->addWidget(tintedLabel(QStringLiteral("点击图片换一张"), TextStyle::kCaption2, Palette::Name::TextFaint, codeRow));
    codeLayout->addStretch(1);
    rows->addWidget(field(QStringLiteral("验证码"), codeRow));

    auto *actionRow = new QHBoxLayout;
    actionRow->setSpacing(12);
    m_save = new QPushButton(card);
    m_save->setAutoDefault(false);
    m_save->setMinimumSize(88, 32);
    makeProminent(m_save);
    setPointingHand(m_save);
    connect(m_save, &QPushButton::clicked, this, &NicknameView::save);
    actionRow->addWidget(m_save);
    m_outcome = new OutcomeLine(QStringLiteral("checkmark.circle.fill"), QStringLiteral("exclamationmark.circle.fill"), true, card);
    actionRow->addWidget(m_outcome, 1);
    rows->addLayout(actionRow);

    page->addWidget(card);
    page->addStretch(1);
    connect(AuthStore::shared(), &AuthStore::userChanged, this, &NicknameView::followUser);
    connect(AuthStore::shared(), &AuthStore::accountChanged, this, &NicknameView::dropAccount);
    render();
}

QLineEdit *NicknameView::input(const QString &placeholder, int width, bool mono)
{
    auto *edit = new QLineEdit(this);
    edit->setPlaceholderText(placeholder);
    // A screen reader does not read placeholders as names.
    edit->setAccessibleName(placeholder);
    edit->setFixedSize(width, kFieldHeight);
    edit->setFont(mono ? monoFont(14) : uiFont(14));
    edit->setTextMargins(6, 0, 6, 0);
    return edit;
}

QWidget *NicknameView::field(const QString &label, QWidget *content)
{
    auto *row = new QWidget(this);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(14);
    auto *caption = tintedLabel(label, 13, Palette::Name::TextDim, row);
    caption->setFixedWidth(kLabelWidth);
    caption->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    layout->addWidget(caption);
    content->setParent(row);
    layout->addWidget(content);
    layout->addStretch(1);
    return row;
}

bool NicknameView::hasCaptchaImage() const
{
    return m_captcha->hasImage();
}

bool NicknameView::canSave() const
{
    return usercenterpages::canSaveNickname(m_nickname, m_code, m_busy);
}

void NicknameView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // A window brought back from the dock is not a new visit to the page.
    if (event->spontaneous())
        return;
    prefill();
    render();
    loadCaptcha();
}

void NicknameView::prefill()
{
    const auto user = AuthStore::shared()->user();
    m_prefilled = user ? user->nickname.value_or(QString()) : QString();
    m_nickname = m_prefilled;
}

void NicknameView::followUser()
{
    if (m_nickname != m_prefilled)
        return;
    prefill();
    render();
}

// The name, the typed code and the last outcome were the previous account's. The picture is
// asked for again too: its code was served to that session.
void NicknameView::dropAccount()
{
    m_account.invalidate();
    m_busy = false;
    m_code.clear();
    m_outcome->clear();
    prefill();
    render();
    if (isVisible())
        loadCaptcha();
}

void NicknameView::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    if (!event->spontaneous())
        m_captchaLoad.invalidate();
}

void NicknameView::reloadCaptcha()
{
    loadCaptcha();
}

QCoro::Task<> NicknameView::loadCaptcha()
{
    QPointer self = this;
    const auto ticket = m_captchaLoad.begin();
    auto reply = co_await APIClient::shared()->captcha(loginpage::kCaptchaScale);
    if (!self || !m_captchaLoad.isCurrent(ticket))
        co_return;
    // A failure or bytes that are no picture leave the spinner; a click asks again.
    m_captcha->setImage(reply ? QImage::fromData(reply->bytes) : QImage());
}

void NicknameView::save()
{
    if (!canSave())
        return;
    runSave();
}

QCoro::Task<> NicknameView::runSave()
{
    QPointer self = this;
    const auto account = m_account.current();
    // The account is reloaded after the write only while it is still the one signed in.
    const AccountTicket asked = AuthStore::shared()->ticket();
    const auto shown = [&] { return self && m_account.isCurrent(account); };
    m_busy = true;
    render();

    auto reply = co_await APIClient::shared()->updateNickname(m_nickname, m_code);
    if (reply) {
        if (shown())
            m_outcome->showOutcome(QStringLiteral("昵称已更新"), false);
        // The name has changed on the site even if the tab was left meanwhile.
        QPointer<AuthStore> auth = AuthStore::shared();
        if (auth && asked.isCurrent())
            co_await auth->refresh();
    } else if (shown()) {
        m_outcome->showOutcome(reply.error().description(), true);
    }
    if (!shown())
        co_return;
    // A code is good for one try: the next attempt needs a new picture.
    m_code.clear();
    render();
    co_await loadCaptcha();
    if (!shown())
        co_return;
    m_busy = false;
    render();
}

void NicknameView::render()
{
    if (m_nicknameField->text() != m_nickname)
        m_nicknameField->setText(m_nickname);
    if (m_codeField->text() != m_code)
        m_codeField->setText(m_code);
    m_save->setText(m_busy ? QStringLiteral("保存中…") : QStringLiteral("确定"));
    m_save->setEnabled(canSave());
}

}
