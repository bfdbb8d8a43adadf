#include "views/toolbar/toolbarbutton.h"

#include "views/components/access.h"
#include "views/components/appearance.h"
#include "views/components/pointinghand.h"
#include "views/components/typography.h"
#include "views/icons.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace tovra {

namespace {
constexpr qreal kBorderedPadding = 10;
constexpr int kBorderedHeight = 28;
constexpr qreal kGap = 4;
}

ToolbarButton::ToolbarButton(Style style, QWidget *parent) : QAbstractButton(parent), m_style(style)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    Access::button(this);
    setPointingHand(this);
    if (style == Style::Bordered)
        m_symbolSize = 14;
    followAppearance(this);
}

void ToolbarButton::setSymbol(const QString &symbol)
{
    if (symbol == m_symbol)
        return;
    m_symbol = symbol;
    updateGeometry();
    update();
}

void ToolbarButton::setSymbolSize(int pixels)
{
    m_symbolSize = pixels;
    updateGeometry();
    update();
}

void ToolbarButton::setTextSize(qreal pixels)
{
    m_textSize = pixels;
    updateGeometry();
    update();
}

void ToolbarButton::setColorRole(Palette::Name role)
{
    if (role == m_role)
        return;
    m_role = role;
    update();
}

QColor ToolbarButton::labelColor() const
{
    return Palette::color(m_role);
}

QFont ToolbarButton::labelFont() const
{
    return uiFont(m_textSize);
}

QSize ToolbarButton::sizeHint() const
{
    const QFontMetricsF fm(labelFont());
    qreal width = text().isEmpty() ? 0 : fm.horizontalAdvance(text());
    if (!m_symbol.isEmpty())
        width += m_symbolSize + (text().isEmpty() ? 0 : kGap + (m_style == Style::Bordered ? 1 : 0));
    qreal height = qMax<qreal>(fm.height(), m_symbolSize);
    if (m_style == Style::Bordered) {
        width += 2 * kBorderedPadding;
        height = kBorderedHeight;
    }
    return {int(std::ceil(width)), int(std::ceil(height))};
}

void ToolbarButton::enterEvent(QEnterEvent *event)
{
    m_hovering = true;
    update();
    QAbstractButton::enterEvent(event);
}

void ToolbarButton::leaveEvent(QEvent *event)
{
    m_hovering = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void ToolbarButton::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::EnabledChange)
        update();
    QAbstractButton::changeEvent(event);
}

void ToolbarButton::paintEvent(QPaintEvent *)
{
    const bool dark = Palette::isDark();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect());
    QColor ink = Palette::color(m_role, dark);

    if (m_style == Style::Bordered) {
        const QRectF frame = r.adjusted(0.5, 0.5, -0.5, -0.5);
        QColor fill = Palette::surface(dark);
        if (isDown())
            fill = Palette::surface2(dark);
        else if (m_hovering && isEnabled())
            fill = dark ? Palette::surface2(dark).lighter(115) : Palette::surface2(dark).lighter(104);
        painter.setPen(QPen(Palette::border(dark), 1));
        painter.setBrush(fill);
        painter.drawRoundedRect(frame, 7, 7);
        if (!isEnabled())
            ink = Palette::textFaint(dark);
    } else if (isDown()) {
        painter.setOpacity(0.6);
    }

    const QFont font = labelFont();
    const QFontMetricsF fm(font);
    const qreal textWidth = text().isEmpty() ? 0 : fm.horizontalAdvance(text());
    const qreal symbolWidth = m_symbol.isEmpty() ? 0 : m_symbolSize;
    const qreal gap = (!m_symbol.isEmpty() && !text().isEmpty()) ? kGap + (m_style == Style::Bordered ? 1 : 0) : 0;
    qreal x = r.center().x() - (symbolWidth + gap + textWidth) / 2;
    const qreal cy = r.center().y();
    if (!m_symbol.isEmpty()) {
        Icons::paint(painter, QRectF(x, cy - m_symbolSize / 2.0, m_symbolSize, m_symbolSize), m_symbol, ink);
        x += symbolWidth + gap;
    }
    if (!text().isEmpty()) {
        painter.setFont(font);
        painter.setPen(ink);
        painter.drawText(QRectF(x, r.top(), textWidth + 1, r.height()), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                         text());
    }
}

}
