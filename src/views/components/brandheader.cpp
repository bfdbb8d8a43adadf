#include "views/components/brandheader.h"

#include "views/components/appearance.h"
#include "views/components/typography.h"
#include "views/logo.h"
#include "views/palette.h"

#include <QHBoxLayout>
#include <QLabel>

namespace tovra {

BrandHeader::BrandHeader(const QColor &color, QWidget *parent) : QWidget(parent)
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(12, 10, 12, 4);
    row->setSpacing(8);
    m_logo = new TovraLogo(color, this);
    m_logo->setFixedSize(26, 24);
    row->addWidget(m_logo, 0, Qt::AlignVCenter);
    m_name = new QLabel(QStringLiteral("Tovra"), this);
    m_name->setTextFormat(Qt::PlainText);
    m_name->setFont(uiFont(16, QFont::Bold));
    row->addWidget(m_name, 0, Qt::AlignVCenter);
    row->addStretch(1);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    applyColors();
    followAppearance(this, [this](bool) { applyColors(); });
}

QColor BrandHeader::color() const
{
    return m_logo->color();
}

void BrandHeader::applyColors()
{
    QPalette p = m_name->palette();
    p.setColor(QPalette::WindowText, Palette::text());
    m_name->setPalette(p);
}

}
