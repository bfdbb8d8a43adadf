#include "views/standinpage.h"

#include "views/components/appearance.h"
#include "views/components/typography.h"
#include "views/palette.h"

#include <QLabel>
#include <QVBoxLayout>

namespace tovra {

namespace {
QLabel *plainLabel(QWidget *parent, int pixelSize, QFont::Weight weight)
{
    auto *label = new QLabel(parent);
    // The texts come from routes, and routes carry server data (titles, names, addresses).
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setFont(uiFont(pixelSize, weight));
    return label;
}
}

StandInPage::StandInPage(const QString &title, const QString &detail, QWidget *parent) : QWidget(parent)
{
    m_title = plainLabel(this, 22, QFont::DemiBold);
    m_title->setObjectName(QStringLiteral("standInTitle"));
    m_detail = plainLabel(this, 13, QFont::Normal);
    m_detail->setObjectName(QStringLiteral("standInDetail"));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(40, 40, 40, 40);
    layout->setSpacing(10);
    layout->addStretch(1);
    layout->addWidget(m_title);
    layout->addWidget(m_detail);
    layout->addStretch(1);

    setTitle(title);
    setDetail(detail);
    applyColors();
    followAppearance(this, [this](bool) { applyColors(); });
}

QString StandInPage::title() const
{
    return m_title->text();
}

QString StandInPage::detail() const
{
    return m_detail->text();
}

void StandInPage::setTitle(const QString &title)
{
    m_title->setText(title);
}

void StandInPage::setDetail(const QString &detail)
{
    m_detail->setText(detail);
    m_detail->setVisible(!detail.isEmpty());
}

void StandInPage::applyColors()
{
    QPalette titlePalette = m_title->palette();
    titlePalette.setColor(QPalette::WindowText, Palette::text());
    m_title->setPalette(titlePalette);
    QPalette detailPalette = m_detail->palette();
    detailPalette.setColor(QPalette::WindowText, Palette::textDim());
    m_detail->setPalette(detailPalette);
}

}
