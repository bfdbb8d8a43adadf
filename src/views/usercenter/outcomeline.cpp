#include "views/usercenter/outcomeline.h"

#include "views/components/appearance.h"
#include "views/components/symbolview.h"
#include "views/components/typography.h"
#include "views/palette.h"

#include <QHBoxLayout>
#include <QLabel>

namespace tovra {

OutcomeLine::OutcomeLine(QString successIcon, QString errorIcon, bool paletteError, QWidget *parent)
    : QWidget(parent), m_successIcon(std::move(successIcon)), m_errorIcon(std::move(errorIcon)),
      m_paletteError(paletteError)
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    m_icon = new SymbolView(m_successIcon, 14, Palette::Name::Text, this);
    row->addWidget(m_icon, 0, Qt::AlignVCenter);
    // Server messages: plain text, never markup.
    m_text = new QLabel(this);
    m_text->setTextFormat(Qt::PlainText);
    m_text->setFont(uiFont(TextStyle::kCallout));
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    row->addWidget(m_text, 1);
    hide();
    followAppearance(this, [this](bool) { restyle(); });
}

void OutcomeLine::showOutcome(const QString &text, bool isError)
{
    m_isError = isError;
    m_text->setText(text);
    restyle();
    setVisible(true);
}

void OutcomeLine::clear()
{
    m_text->clear();
    setVisible(false);
}

QString OutcomeLine::text() const
{
    return isHidden() ? QString() : m_text->text();
}

QString OutcomeLine::iconName() const
{
    return m_icon->name();
}

QColor OutcomeLine::color() const
{
    const bool dark = Palette::isDark();
    if (!m_isError)
        return systemGreen(dark);
    return m_paletteError ? Palette::error(dark) : systemRed(dark);
}

QColor OutcomeLine::systemGreen(bool dark)
{
    return dark ? QColor(48, 209, 88) : QColor(40, 167, 69);
}

QColor OutcomeLine::systemRed(bool dark)
{
    return dark ? QColor(255, 69, 58) : QColor(255, 59, 48);
}

void OutcomeLine::restyle()
{
    const QColor c = color();
    m_icon->setName(m_isError ? m_errorIcon : m_successIcon);
    m_icon->setFixedColor(c);
    QPalette p = m_text->palette();
    p.setColor(QPalette::WindowText, c);
    m_text->setPalette(p);
}

}
