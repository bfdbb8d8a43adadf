#include "views/catalogue/filterchip.h"

#include "views/components/access.h"
#include "views/components/appearance.h"
#include "views/components/focusring.h"
#include "views/components/typography.h"
#include "views/palette.h"

#include <QPainter>
#include <QPainterPath>

namespace tovra {

namespace {
constexpr int kPadX = 10;
constexpr int kPadY = 4;
constexpr qreal kRingInset = 2;
}

FilterChip::FilterChip(const QString &text, QWidget *parent) : QAbstractButton(parent), m_label(text)
{
    setAccessibleName(text);
    setFont(uiFont(TextStyle::kCallout));
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    // One of its row's values, the chosen one read as checked.
    Access::choice(this, QAccessible::RadioButton);
    // The strip the chips scroll in is as tall as a chip: a ring outside would be cut off.
    FocusRing::setDrawsOwnRing(this);
    followAppearance(this);
}

void FilterChip::setActive(bool active)
{
    if (active == m_active)
        return;
    m_active = active;
    Access::setCurrent(this, active);
    update();
}

QSize FilterChip::sizeHint() const
{
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(m_label) + 2 * kPadX, metrics.height() + 2 * kPadY};
}

void FilterChip::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool dark = Palette::isDark();
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath capsule;
    capsule.addRoundedRect(r, r.height() / 2, r.height() / 2);
    const QColor fill = m_active ? Palette::accent(dark) : Palette::surface2(dark);
    painter.fillPath(capsule, fill);
    // Set in from the edge, so a ring darker than the fill does not read as a smaller chip.
    if (FocusRing::shows(this))
        FocusRing::paintInside(painter, r.adjusted(kRingInset, kRingInset, -kRingInset, -kRingInset), dark,
                               r.height() / 2 - kRingInset, fill);
    painter.setFont(font());
    painter.setPen(m_active ? QColor(Qt::white) : Palette::text(dark));
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, m_label);
}

}
