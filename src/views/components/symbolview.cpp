#include "views/components/symbolview.h"

#include "views/components/appearance.h"
#include "views/icons.h"

#include <QPainter>

namespace tovra {

SymbolView::SymbolView(const QString &name, int size, Palette::Name role, QWidget *parent)
    : QWidget(parent), m_name(name), m_size(size), m_role(role)
{
    setFixedSize(size, size);
    followAppearance(this);
}

void SymbolView::setName(const QString &name)
{
    if (m_name == name)
        return;
    m_name = name;
    update();
}

void SymbolView::setRole(Palette::Name role)
{
    m_role = role;
    m_fixed.reset();
    update();
}

void SymbolView::setFixedColor(const QColor &color)
{
    m_fixed = color;
    update();
}

QColor SymbolView::currentColor() const
{
    return m_fixed ? *m_fixed : Palette::color(m_role);
}

void SymbolView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    Icons::paint(painter, QRectF(rect()), m_name, isEnabled() ? currentColor() : Palette::textFaint());
}

}
