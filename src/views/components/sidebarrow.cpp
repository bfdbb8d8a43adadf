#include "views/components/sidebarrow.h"

#include "views/components/access.h"
#include "views/components/appearance.h"
#include "views/components/focusring.h"
#include "views/components/pointinghand.h"
#include "views/components/typography.h"
#include "views/icons.h"
#include "views/palette.h"

#include <QFocusEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <cmath>

namespace tovra {

namespace {
constexpr qreal kBarWidth = 3;
constexpr qreal kLeading = 20;
constexpr qreal kTrailing = 12;
constexpr qreal kVertical = 13;
constexpr qreal kIconSize = 16;
constexpr qreal kGap = 10;

QColor mix(const QColor &a, const QColor &b, qreal t)
{
    return QColor::fromRgbF(a.redF() + (b.redF() - a.redF()) * t, a.greenF() + (b.greenF() - a.greenF()) * t,
                            a.blueF() + (b.blueF() - a.blueF()) * t, a.alphaF() + (b.alphaF() - a.alphaF()) * t);
}

// The count in the badge is part of what the row says.
QString spokenName(const QString &title, qint64 newCount)
{
    const QString badge = SidebarRow::badgeText(newCount);
    return badge.isEmpty() ? title : title + QStringLiteral("，") + badge;
}

QColor withAlpha(QColor color, qreal alpha)
{
    color.setAlphaF(float(alpha));
    return color;
}
}

SidebarRow::SidebarRow(const QString &title, const QString &icon, bool active, qint64 newCount, QWidget *parent)
    : QAbstractButton(parent), m_title(title), m_icon(icon), m_active(active), m_newCount(newCount)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    // The rows switch the window between its sections: read as tabs, the current one selected.
    Access::choice(this, QAccessible::PageTab, spokenName(m_title, m_newCount));
    Access::setCurrent(this, active);
    FocusRing::setDrawsOwnRing(this);
    setPointingHand(this);
    m_hoverAnimation.setDuration(150);
    m_hoverAnimation.setEasingCurve(QEasingCurve::OutCubic);
    connect(&m_hoverAnimation, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        m_hoverAmount = value.toReal();
        update();
    });
    followAppearance(this);
}

QString SidebarRow::badgeText(qint64 newCount)
{
    return newCount >= 1 ? QStringLiteral("+") + QString::number(newCount) : QString();
}

void SidebarRow::setTitle(const QString &title)
{
    if (title == m_title)
        return;
    m_title = title;
    setAccessibleName(spokenName(m_title, m_newCount));
    updateGeometry();
    update();
}

void SidebarRow::setIcon(const QString &icon)
{
    if (icon == m_icon)
        return;
    m_icon = icon;
    update();
}

void SidebarRow::setActive(bool active)
{
    if (active == m_active)
        return;
    m_active = active;
    Access::setCurrent(this, active);
    update();
}

void SidebarRow::setNewCount(qint64 count)
{
    if (count == m_newCount)
        return;
    m_newCount = count;
    setAccessibleName(spokenName(m_title, m_newCount));
    update();
}

QSize SidebarRow::sizeHint() const
{
    const QFontMetricsF fm(uiFont(14, QFont::DemiBold));
    const qreal content = qMax(kIconSize, fm.height());
    const qreal width = kBarWidth + kLeading + kIconSize + kGap + fm.horizontalAdvance(m_title) + kTrailing;
    return {int(std::ceil(width)), int(std::ceil(kVertical * 2 + content))};
}

QSize SidebarRow::minimumSizeHint() const
{
    return {int(kBarWidth + kLeading + kIconSize + kTrailing), sizeHint().height()};
}

void SidebarRow::setHovering(bool hovering)
{
    if (hovering == m_hovering)
        return;
    m_hovering = hovering;
    m_hoverAnimation.stop();
    m_hoverAnimation.setStartValue(m_hoverAmount);
    m_hoverAnimation.setEndValue(hovering ? 1.0 : 0.0);
    m_hoverAnimation.start();
}

void SidebarRow::enterEvent(QEnterEvent *event)
{
    setHovering(true);
    QAbstractButton::enterEvent(event);
}

void SidebarRow::leaveEvent(QEvent *event)
{
    setHovering(false);
    QAbstractButton::leaveEvent(event);
}

void SidebarRow::hideEvent(QHideEvent *event)
{
    // A row that disappears under the pointer gets no leave event.
    m_hoverAnimation.stop();
    m_hovering = false;
    m_hoverAmount = 0;
    QAbstractButton::hideEvent(event);
}

void SidebarRow::focusInEvent(QFocusEvent *event)
{
    m_keyboardFocus = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    QAbstractButton::focusInEvent(event);
}

void SidebarRow::focusOutEvent(QFocusEvent *event)
{
    m_keyboardFocus = false;
    QAbstractButton::focusOutEvent(event);
}

void SidebarRow::paintEvent(QPaintEvent *)
{
    const bool dark = Palette::isDark();
    const QColor accent = Palette::accent(dark);
    const QRectF r(rect());
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    // Background and foreground: fixed while active, eased in and out with the hover.
    const qreal hover = m_active ? 1.0 : m_hoverAmount;
    if (m_active)
        painter.fillRect(r, withAlpha(accent, 0.12));
    else if (hover > 0)
        painter.fillRect(r, withAlpha(accent, 0.07 * hover));
    const QColor foreground = mix(Palette::textDim(dark), accent, hover);

    if (m_active)
        painter.fillRect(QRectF(r.left(), r.top(), kBarWidth, r.height()), accent);

    qreal x = r.left() + kBarWidth + kLeading;
    const qreal cy = r.center().y();
    painter.save();
    painter.setOpacity(0.75 + 0.25 * hover);
    Icons::paint(painter, QRectF(x, cy - kIconSize / 2, kIconSize, kIconSize), Icons::resolveNav(m_icon), foreground);
    painter.restore();
    x += kIconSize + kGap;

    const QString badge = badgeText(m_newCount);
    const QFont badgeFont = uiFont(10, QFont::Bold);
    const QFontMetricsF badgeMetrics(badgeFont);
    const QSizeF badgeSize = badge.isEmpty() ? QSizeF()
                                             : QSizeF(std::ceil(badgeMetrics.horizontalAdvance(badge)) + 8,
                                                      std::ceil(badgeMetrics.height()) + 4);

    const QFont titleFont = uiFont(14, m_active ? QFont::DemiBold : QFont::Normal);
    const QFontMetricsF titleMetrics(titleFont);
    const qreal titleRoom = r.right() - kTrailing - x - (badge.isEmpty() ? 0 : kGap + badgeSize.width());
    const QString shown = titleMetrics.elidedText(QString(m_title).replace(QLatin1Char('\n'), QLatin1Char(' ')),
                                                  Qt::ElideRight, qMax<qreal>(0, titleRoom));
    painter.setFont(titleFont);
    painter.setPen(foreground);
    const qreal titleWidth = titleMetrics.horizontalAdvance(shown);
    painter.drawText(QRectF(x, r.top(), titleWidth + 1, r.height()), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     shown);
    x += titleWidth;

    if (!badge.isEmpty()) {
        x += kGap;
        const QRectF pill(x, cy - badgeSize.height() / 2, badgeSize.width(), badgeSize.height());
        painter.setPen(Qt::NoPen);
        painter.setBrush(Palette::navNew(dark));
        painter.drawRoundedRect(pill, 3, 3);
        painter.setFont(badgeFont);
        painter.setPen(Qt::white);
        painter.drawText(pill, Qt::AlignCenter | Qt::TextSingleLine, badge);
    }

    // Inside the row: the sidebar is exactly as wide as the rows, so a ring outside would be cut.
    if (hasFocus() && m_keyboardFocus)
        FocusRing::paintInside(painter, r, dark, 0);
}

}
