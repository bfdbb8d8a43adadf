#include "views/components/sectionheader.h"

#include "views/components/appearance.h"
#include "views/components/symbolview.h"
#include "views/components/typography.h"
#include "views/palette.h"

#include <QHBoxLayout>
#include <QLabel>

namespace tovra {

SectionHeader::SectionHeader(const QString &title, const QString &systemImage, QWidget *parent) : QWidget(parent)
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 4, 0, 0);
    row->setSpacing(7);
    m_symbol = new SymbolView(systemImage, 17, Palette::Name::Text, this);
    row->addWidget(m_symbol, 0, Qt::AlignVCenter);
    m_title = new QLabel(title, this);
    m_title->setTextFormat(Qt::PlainText);
    m_title->setFont(uiFont(TextStyle::kTitle3, QFont::DemiBold));
    row->addWidget(m_title, 0, Qt::AlignVCenter);
    row->addStretch(1);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    applyColors();
    followAppearance(this, [this](bool) { applyColors(); });
}

void SectionHeader::applyColors()
{
    QPalette p = m_title->palette();
    p.setColor(QPalette::WindowText, Palette::text());
    m_title->setPalette(p);
}

QString SectionHeader::title() const
{
    return m_title->text();
}

void SectionHeader::setTitle(const QString &title)
{
    m_title->setText(title);
}

QString SectionHeader::systemImage() const
{
    return m_symbol->name();
}

}
