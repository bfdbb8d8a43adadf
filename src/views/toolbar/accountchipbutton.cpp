#include "views/toolbar/accountchipbutton.h"

#include "views/components/access.h"
#include "views/components/appearance.h"
#include "views/components/pointinghand.h"
#include "views/components/typography.h"
#include "views/palette.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <cmath>

namespace tovra {

namespace {
constexpr qreal kSpacing = 8;
constexpr qreal kBadgePadX = 9;
constexpr qreal kBadgePadY = 2;
constexpr qreal kMinimumName = 28;
const QString kGoldPrefix = QStringLiteral("BT币 ");

QFont badgeFont() { return uiFont(11, QFont::Bold); }
QFont nameFont() { return uiFont(12); }
QFont goldFont() { return uiFont(12); }
// Digits of equal width, so a changing balance does not make the chip jitter.
QFont goldNumberFont() { return monoFont(12, QFont::Bold); }
}

AccountChipButton::AccountChipButton(QWidget *parent) : QAbstractButton(parent)
{
    setObjectName(QStringLiteral("accountChip"));
    Access::button(this);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setPointingHand(this);
    followAppearance(this);
    setContent(AccountChip::from(std::nullopt));
}

void AccountChipButton::setContent(const AccountChip &content)
{
    if (content == m_content && !text().isEmpty())
        return;
    m_content = content;
    // The accessible text, and what tests read.
    QStringList parts;
    if (!content.badgeText().isEmpty())
        parts << content.badgeText();
    parts << content.name;
    if (content.gold)
        parts << kGoldPrefix + QString::number(*content.gold);
    setText(parts.join(u' '));
    updateGeometry();
    update();
}

AccountChipButton::Metrics AccountChipButton::metrics() const
{
    Metrics m;
    const QString badge = m_content.badgeText();
    if (!badge.isEmpty())
        m.badge = std::ceil(QFontMetricsF(badgeFont()).horizontalAdvance(badge)) + 2 * kBadgePadX;
    m.name = std::ceil(QFontMetricsF(nameFont()).horizontalAdvance(m_content.name));
    if (m_content.gold) {
        m.gold = std::ceil(QFontMetricsF(goldFont()).horizontalAdvance(kGoldPrefix)
                           + QFontMetricsF(goldNumberFont()).horizontalAdvance(QString::number(*m_content.gold)));
    }
    return m;
}

qreal AccountChipButton::fixedWidth(const Metrics &m) const
{
    qreal width = 0;
    if (m.badge > 0)
        width += m.badge + kSpacing;
    if (m.gold > 0)
        width += kSpacing + m.gold;
    return width;
}

QSize AccountChipButton::sizeHint() const
{
    const Metrics m = metrics();
    const qreal height = QFontMetricsF(badgeFont()).height() + 2 * kBadgePadY + 2;
    return {int(std::ceil(fixedWidth(m) + m.name)), int(std::ceil(height))};
}

QSize AccountChipButton::minimumSizeHint() const
{
    const Metrics m = metrics();
    return {int(std::ceil(fixedWidth(m) + qMin(m.name, kMinimumName))), sizeHint().height()};
}

void AccountChipButton::enterEvent(QEnterEvent *event)
{
    m_hovering = true;
    emit hoverChanged(true);
    QAbstractButton::enterEvent(event);
}

void AccountChipButton::leaveEvent(QEvent *event)
{
    m_hovering = false;
    emit hoverChanged(false);
    QAbstractButton::leaveEvent(event);
}

void AccountChipButton::hideEvent(QHideEvent *event)
{
    // A chip hidden under the pointer gets no leave event. Nothing is reported from here: hiding
    // also happens while the window is torn down, and the owner closes the menu itself when it
    // hides the chip.
    m_hovering = false;
    QAbstractButton::hideEvent(event);
}

void AccountChipButton::paintEvent(QPaintEvent *)
{
    const bool dark = Palette::isDark();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (isDown())
        painter.setOpacity(0.7);
    const QRectF r(rect());
    const qreal cy = r.center().y();
    const Metrics m = metrics();
    qreal x = r.left();

    if (m.badge > 0) {
        const QFontMetricsF fm(badgeFont());
        const qreal h = fm.height() + 2 * kBadgePadY;
        const QRectF capsule(x, cy - h / 2, m.badge, h);
        QColor ink;
        if (m_content.badge == AccountChip::Badge::Member) {
            QLinearGradient gradient(capsule.topLeft(), capsule.bottomRight());
            gradient.setColorAt(0, QColor::fromRgbF(0.96f, 0.85f, 0.46f));
            gradient.setColorAt(1, QColor::fromRgbF(0.83f, 0.63f, 0.09f));
            painter.setBrush(gradient);
            ink = QColor::fromRgbF(0.10f, 0.07f, 0.0f);
        } else {
            QColor fill = Palette::text(dark);
            fill.setAlphaF(0.12f);
            painter.setBrush(fill);
            ink = Palette::textDim(dark);
        }
        painter.setPen(Qt::NoPen);
        painter.drawRoundedRect(capsule, h / 2, h / 2);
        painter.setFont(badgeFont());
        painter.setPen(ink);
        painter.drawText(capsule, Qt::AlignCenter | Qt::TextSingleLine, m_content.badgeText());
        x += m.badge + kSpacing;
    }

    const qreal nameRoom = qMax<qreal>(0, r.right() - x - (m.gold > 0 ? kSpacing + m.gold : 0));
    const QFontMetricsF nameMetrics(nameFont());
    QString name = m_content.name;
    name.replace(u'\n', u' ');
    const QString shown = nameMetrics.elidedText(name, Qt::ElideRight, nameRoom);
    painter.setFont(nameFont());
    painter.setPen(Palette::text(dark));
    painter.drawText(QRectF(x, r.top(), nameRoom + 1, r.height()), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     shown);
    x += qMin(nameRoom, m.name);

    if (m.gold > 0) {
        x += kSpacing;
        const QFontMetricsF prefixMetrics(goldFont());
        painter.setFont(goldFont());
        painter.setPen(Palette::textDim(dark));
        const qreal prefixWidth = prefixMetrics.horizontalAdvance(kGoldPrefix);
        painter.drawText(QRectF(x, r.top(), prefixWidth + 1, r.height()), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                         kGoldPrefix);
        x += prefixWidth;
        painter.setFont(goldNumberFont());
        painter.setPen(Palette::warn(dark));
        painter.drawText(QRectF(x, r.top(), r.right() - x + 1, r.height()), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                         QString::number(*m_content.gold));
    }
}

}
