#include "views/toolbar/accountbox.h"

#include "models/accountchip.h"
#include "views/toolbar/accountchipbutton.h"
#include "views/toolbar/toolbarbutton.h"

#include <QHBoxLayout>

namespace tovra {

AccountBox::AccountBox(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("accountBox"));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);

    m_login = new ToolbarButton(ToolbarButton::Style::Bordered, this);
    m_login->setObjectName(QStringLiteral("loginButton"));
    m_login->setText(QStringLiteral("登录"));
    m_login->setSymbol(QStringLiteral("person.crop.circle"));
    m_chip = new AccountChipButton(this);
    row->addWidget(m_login, 0, Qt::AlignVCenter);
    row->addWidget(m_chip, 1, Qt::AlignVCenter);
    m_chip->hide();

    connect(m_login, &ToolbarButton::clicked, this, &AccountBox::loginClicked);
    connect(m_chip, &AccountChipButton::clicked, this, &AccountBox::chipClicked);
    connect(m_chip, &AccountChipButton::hoverChanged, this, &AccountBox::chipHoverChanged);
}

void AccountBox::setSignedIn(bool signedIn)
{
    m_signedIn = signedIn;
    m_login->setVisible(!signedIn);
    m_chip->setVisible(signedIn);
}

void AccountBox::setUser(const std::optional<User> &user)
{
    m_chip->setContent(AccountChip::from(user));
}

}
