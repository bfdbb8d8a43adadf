#include "views/components/poster.h"

#include "views/components/appearance.h"
#include "views/components/shimmerclock.h"
#include "views/palette.h"

#include <QPainter>
#include <QPainterPath>
#include <QPointer>

namespace tovra {

Poster::Poster(const QString &url, QWidget *parent) : QWidget(parent)
{
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    m_slot.setUrl(url);
    followAppearance(this);
}

void Poster::setUrl(const QString &url)
{
    if (url == m_slot.url)
        return;
    m_slot.setUrl(url);
    m_shimmerStart = -1;
    update();
}

void Poster::setCornerRadius(qreal radius)
{
    m_cornerRadius = radius;
    update();
}

int Poster::heightForWidth(int width) const
{
    return qRound(width / CardPainter::kPosterAspect);
}

QSize Poster::sizeHint() const
{
    return {160, 240};
}

QRectF Poster::frameRect() const
{
    const QRectF r(rect());
    qreal w = r.width();
    qreal h = w / CardPainter::kPosterAspect;
    if (h > r.height()) {
        h = r.height();
        w = h * CardPainter::kPosterAspect;
    }
    return {r.center().x() - w / 2, r.center().y() - h / 2, w, h};
}

void Poster::hideEvent(QHideEvent *event)
{
    // Off screen: no download on our behalf.
    m_slot.stopLoading();
    QWidget::hideEvent(event);
}

void Poster::paintEvent(QPaintEvent *)
{
    const QRectF frame = frameRect();
    if (frame.isEmpty())
        return;
    QPointer<Poster> self(this);
    const bool changed = m_slot.request(this, CardPainter::decodeSize(frame.size(), devicePixelRatioF()),
                                        [self](const QImage &image) {
                                            if (!self)
                                                return;
                                            self->m_slot.finish(image);
                                            self->update();
                                        });
    Q_UNUSED(changed);
    ShimmerClock *clock = ShimmerClock::shared();
    if (m_slot.needsShimmer()) {
        if (m_shimmerStart < 0)
            m_shimmerStart = clock->now();
        clock->subscribe(this);
    } else {
        clock->unsubscribe(this);
    }

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (m_cornerRadius > 0) {
        QPainterPath clip;
        clip.addRoundedRect(frame, m_cornerRadius, m_cornerRadius);
        painter.setClipPath(clip);
    }
    CardPainter::paintPoster(painter, frame, m_slot.visual(clock->phaseSince(m_shimmerStart)), Palette::isDark());
}

}
