#include "views/aboutdialog.h"

#include "views/components/typography.h"
#include "views/logo.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tovra {

QString AboutDialog::versionLine(const QString &shortVersion)
{
    return shortVersion.isEmpty() ? QString() : QStringLiteral("版本 ") + shortVersion;
}

AboutDialog::AboutDialog(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("关于 Tovra"));
    setObjectName(QStringLiteral("aboutDialog"));

    auto *logo = new TovraLogo(brandGreen(), this);
    logo->setFixedSize(66, 60);

    auto *name = new QLabel(QStringLiteral("Tovra"), this);
    name->setTextFormat(Qt::PlainText);
    name->setFont(uiFont(18, QFont::Bold));
    name->setAlignment(Qt::AlignCenter);

    m_version = new QLabel(versionLine(QCoreApplication::applicationVersion()), this);
    m_version->setObjectName(QStringLiteral("aboutVersion"));
    m_version->setTextFormat(Qt::PlainText);
    m_version->setFont(uiFont(12));
    m_version->setAlignment(Qt::AlignCenter);
    m_version->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    buttons->setCenterButtons(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(40, 28, 40, 20);
    layout->setSpacing(8);
    layout->addWidget(logo, 0, Qt::AlignHCenter);
    layout->addSpacing(4);
    layout->addWidget(name);
    layout->addWidget(m_version);
    layout->addSpacing(12);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QString AboutDialog::versionText() const
{
    return m_version->text();
}

}
