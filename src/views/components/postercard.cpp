#include "views/components/postercard.h"

#include "views/components/appearance.h"
#include "views/components/pointinghand.h"
#include "views/components/shimmerclock.h"
#include "views/palette.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <cmath>

namespace tovra {

PosterCard::PosterCard(const Item &item, const std::optional<QString> &today, QWidget *parent)
    : QWidget(parent), m_item(item), m_today(today)
{
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    setMouseTracking(true);
    setPointingHand(this);
    m_slot.setUrl(item.image);
    followAppearance(this);
}

void PosterCard::setItem(const Item &item)
{
    if (item == m_item)
        return;
    if (item.title != m_item.title)
        m_titleWidth = -1;
    m_item = item;
    m_slot.setUrl(item.image);
    update();
}

void PosterCard::setToday(const std::optional<QString> &today)
{
    if (today == m_today)
        return;
    m_today = today;
    update();
}

int PosterCard::heightForWidth(int width) const
{
    return int(std::ceil(CardPainter::cardHeight(width)));
}

QSize PosterCard::sizeHint() const
{
    return {160, heightForWidth(160)};
}

void PosterCard::resizeEvent(QResizeEvent *event)
{
    m_titleWidth = -1;
    QWidget::resizeEvent(event);
}

void PosterCard::hideEvent(QHideEvent *event)
{
    m_slot.stopLoading();
    setHovering(false);
    QWidget::hideEvent(event);
}

void PosterCard::setHovering(bool hovering)
{
    if (hovering == m_hovering)
        return;
    m_hovering = hovering;
    update();
}

void PosterCard::mouseMoveEvent(QMouseEvent *event)
{
    // The information panel follows the poster only, not the title below it.
    setHovering(CardPainter::posterRect(QRectF(rect())).contains(event->position()));
    QWidget::mouseMoveEvent(event);
}

void PosterCard::leaveEvent(QEvent *event)
{
    setHovering(false);
    QWidget::leaveEvent(event);
}

void PosterCard::mousePressEvent(QMouseEvent *event)
{
    m_pressed = event->button() == Qt::LeftButton;
    event->accept();
}

void PosterCard::mouseReleaseEvent(QMouseEvent *event)
{
    const bool click = m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    m_pressed = false;
    if (!click)
        return;
    const QString did = m_item.did;
    QPointer<PosterCard> self(this);
    if (m_onClick)
        m_onClick(did);
    if (self)
        emit clicked(did);
}

void PosterCard::paintEvent(QPaintEvent *)
{
    const QRectF card(rect());
    const QRectF poster = CardPainter::posterRect(card);
    if (card.width() != m_titleWidth) {
        m_titleLines = CardPainter::titleLines(m_item.title, card.width());
        m_titleWidth = card.width();
    }
    QPointer<PosterCard> self(this);
    m_slot.request(this, CardPainter::decodeSize(poster.size(), devicePixelRatioF()), [self](const QImage &image) {
        if (!self)
            return;
        self->m_slot.finish(image);
        self->update();
    });
    ShimmerClock *clock = ShimmerClock::shared();
    if (m_slot.needsShimmer()) {
        if (m_shimmerStart < 0)
            m_shimmerStart = clock->now();
        clock->subscribe(this);
    } else {
        clock->unsubscribe(this);
    }
    QPainter painter(this);
    CardPainter::paintCard(painter, card, m_item, m_today, m_hovering, m_slot.visual(clock->phaseSince(m_shimmerStart)),
                           m_titleLines, Palette::isDark());
}

}
