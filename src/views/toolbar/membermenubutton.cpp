#include "views/toolbar/membermenubutton.h"

#include "views/components/appearance.h"
#include "views/components/pointinghand.h"
#include "views/components/typography.h"
#include "views/icons.h"
#include "views/palette.h"

#include <QFontMetricsF>
#include <QPainter>
#include <cmath>

namespace tovra {

namespace {
constexpr qreal kPadX = 8;
constexpr qreal kPadY = 6;
constexpr qreal kSymbol = 13;
constexpr qreal kGap = 7;
}

MemberMenuButton::MemberMenuButton(const QString &title, const QString &symbol, QWidget *parent)
    : QAbstractButton(parent), m_symbol(symbol)
{
    setText(title);
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setPointingHand(this);
    followAppearance(this);
}

QSize MemberMenuButton::sizeHint() const
{
    const QFontMetricsF fm(uiFont(12));
    const qreal width = kPadX + kSymbol + kGap + fm.horizontalAdvance(text()) + kPadX;
    const qreal height = kPadY + qMax(fm.height(), kSymbol) + kPadY;
    return {int(std::ceil(width)), int(std::ceil(height))};
}

void MemberMenuButton::setHighlighted(bool highlighted)
{
    if (highlighted == m_hovering)
        return;
    m_hovering = highlighted;
    update();
}

void MemberMenuButton::enterEvent(QEnterEvent *event)
{
    m_hovering = true;
    update();
    QAbstractButton::enterEvent(event);
}

void MemberMenuButton::leaveEvent(QEvent *event)
{
    m_hovering = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void MemberMenuButton::hideEvent(QHideEvent *event)
{
    m_hovering = false;
    QAbstractButton::hideEvent(event);
}

void MemberMenuButton::paintEvent(QPaintEvent *)
{
    const bool dark = Palette::isDark();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF r(rect());
    if (m_hovering || isDown()) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(Palette::accentDim(dark));
        painter.drawRoundedRect(r, 6, 6);
    }
    const QColor ink = m_hovering ? Palette::accent(dark) : Palette::text(dark);
    const qreal cy = r.center().y();
    Icons::paint(painter, QRectF(r.left() + kPadX, cy - kSymbol / 2, kSymbol, kSymbol), m_symbol, ink);
    painter.setFont(uiFont(12));
    painter.setPen(ink);
    const qreal x = r.left() + kPadX + kSymbol + kGap;
    painter.drawText(QRectF(x, r.top(), r.right() - kPadX - x, r.height()),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text());
}

}
