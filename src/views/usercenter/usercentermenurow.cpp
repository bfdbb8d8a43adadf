#include "views/usercenter/usercentermenurow.h"

#include "views/components/access.h"
#include "views/components/appearance.h"
#include "views/components/pointinghand.h"
#include "views/components/typography.h"
#include "views/icons.h"
#include "views/palette.h"

#include <QPainter>
#include <QPainterPath>

namespace tovra {

namespace {
constexpr int kInsetH = 14;
constexpr int kInsetV = 9;
constexpr int kIconSize = 16;
constexpr int kIconGap = 8;
constexpr int kBadgeInsetH = 5;
constexpr int kBadgeInsetV = 1;

QFont badgeFont()
{
    return uiFont(TextStyle::kCaption2, QFont::Bold);
}
}

UserCenterMenuRow::UserCenterMenuRow(UserCenterTab tab, QWidget *parent) : QAbstractButton(parent), m_tab(tab)
{
    setText(usercenter::title(tab));
    setFont(uiFont(TextStyle::kBody));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    Access::choice(this, QAccessible::PageTab, text());
    setPointingHand(this);
    followAppearance(this);
}

void UserCenterMenuRow::setSelected(bool selected)
{
    if (m_selected == selected)
        return;
    m_selected = selected;
    Access::setCurrent(this, selected);
    update();
}

void UserCenterMenuRow::setUnread(qint64 unread)
{
    const auto badge = usercenter::badgeText(m_tab, unread);
    if (badge == m_badge)
        return;
    m_badge = badge;
    // The unread count is part of what the row says.
    setAccessibleName(badge ? text() + QStringLiteral("，") + *badge : text());
    update();
}

QSize UserCenterMenuRow::sizeHint() const
{
    const int line = qMax(fontMetrics().height(), kIconSize);
    return {kInsetH * 2 + kIconSize + kIconGap + fontMetrics().horizontalAdvance(text()), line + kInsetV * 2};
}

void UserCenterMenuRow::enterEvent(QEnterEvent *event)
{
    m_hovered = true;
    update();
    QAbstractButton::enterEvent(event);
}

void UserCenterMenuRow::leaveEvent(QEvent *event)
{
    m_hovered = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void UserCenterMenuRow::paintEvent(QPaintEvent *)
{
    const bool dark = Palette::isDark();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF whole = QRectF(rect()).adjusted(6, 1, -6, -1);
    if (m_selected || m_hovered) {
        p.setPen(Qt::NoPen);
        p.setBrush(m_selected ? Palette::accentDim(dark) : Palette::surface2(dark));
        p.drawRoundedRect(whole, 6, 6);
    }

    const QColor fg = m_selected ? Palette::accent(dark) : Palette::text(dark);
    const QRect inner = rect().adjusted(kInsetH, kInsetV, -kInsetH, -kInsetV);
    const QRectF iconRect(inner.left(), inner.center().y() - kIconSize / 2.0 + 0.5, kIconSize, kIconSize);
    Icons::paint(p, iconRect, usercenter::icon(m_tab), fg);

    int right = inner.right();
    if (m_badge) {
        const QFontMetrics fm(badgeFont());
        const qreal w = fm.horizontalAdvance(*m_badge) + kBadgeInsetH * 2;
        const qreal h = fm.height() + kBadgeInsetV * 2;
        const QRectF capsule(inner.right() + 1 - w, inner.center().y() - h / 2 + 0.5, w, h);
        p.setPen(Qt::NoPen);
        p.setBrush(Palette::navNew(dark));
        p.drawRoundedRect(capsule, h / 2, h / 2);
        p.setPen(Qt::white);
        p.setFont(badgeFont());
        p.drawText(capsule, Qt::AlignCenter, *m_badge);
        right = int(capsule.left()) - 6;
    }

    p.setFont(font());
    p.setPen(fg);
    const QRect textRect(int(iconRect.right()) + kIconGap, inner.top(), right - int(iconRect.right()) - kIconGap, inner.height());
    p.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft,
               fontMetrics().elidedText(text(), Qt::ElideRight, textRect.width()));
}

}
