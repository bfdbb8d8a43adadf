#include "views/components/postergrid.h"

#include "views/components/appearance.h"
#include "views/components/cardlogic.h"
#include "views/components/cardpainter.h"
#include "views/components/pointinghand.h"
#include "views/components/shimmerclock.h"
#include "views/palette.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QRegion>
#include <QSet>
#include <cmath>

namespace tovra {

namespace {
// Beyond this many screen heights above or below what is visible, a card lets go of its
// download; beyond twice that, of its image too.
constexpr qreal kKeepLoading = 1.0;
constexpr qreal kKeepImages = 2.0;
}

PosterGrid::PosterGrid(QWidget *parent) : PaintedList(QAccessible::Button, parent)
{
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    followAppearance(this);
}

PosterGrid::PosterGrid(const QList<Item> &items, std::function<void(const QString &)> onSelect,
                       const std::optional<QString> &today, QWidget *parent)
    : PosterGrid(parent)
{
    m_onSelect = std::move(onSelect);
    m_today = today;
    setItems(items);
}

QString PosterGrid::cardKey(const Item &item)
{
    return item.did + QChar(0x1F) + item.image;
}

void PosterGrid::setItems(const QList<Item> &items)
{
    if (items == m_items)
        return;
    const int oldCount = int(m_items.size());
    m_items = items;

    // Keep the state of titles that stay; forget the rest (their loads are cancelled).
    QSet<QString> present;
    present.reserve(m_items.size());
    for (const Item &item : std::as_const(m_items))
        present.insert(cardKey(item));
    for (auto it = m_cards.begin(); it != m_cards.end();) {
        if (!present.contains(it.key())) {
            it->poster.drop();
            it = m_cards.erase(it);
        } else {
            ++it;
        }
    }
    for (const Item &item : std::as_const(m_items)) {
        Card &card = m_cards[cardKey(item)];
        card.poster.setUrl(item.image);
    }
    if (m_hovered >= int(m_items.size()))
        setHovered(-1, false);
    m_pressed = -1;
    m_lastTrimmed = QRectF();
    if (int(m_items.size()) != oldCount)
        updateGeometry();
    update();
}

void PosterGrid::setToday(const std::optional<QString> &today)
{
    if (today == m_today)
        return;
    m_today = today;
    update();
}

GridGeometry PosterGrid::geometryFor(qreal width) const
{
    GridGeometry g{width, 0};
    g.cellHeight = CardPainter::cardHeight(g.columnWidth());
    return g;
}

int PosterGrid::heightForWidth(int width) const
{
    return int(std::ceil(geometryFor(width).height(int(m_items.size()))));
}

QSize PosterGrid::sizeHint() const
{
    const int w = width() > 0 ? width() : 1000;
    return {w, heightForWidth(w)};
}

QRect PosterGrid::cardRect(int index) const
{
    if (index < 0 || index >= m_items.size())
        return {};
    return geometryFor(width()).cell(index).toAlignedRect();
}

int PosterGrid::indexAt(const QPoint &point) const
{
    return geometryFor(width()).indexAt(QPointF(point), int(m_items.size()));
}

int PosterGrid::heldImageCount() const
{
    int count = 0;
    for (const Card &card : m_cards)
        count += card.poster.image.isNull() ? 0 : 1;
    return count;
}

int PosterGrid::pendingLoadCount() const
{
    int count = 0;
    for (const Card &card : m_cards)
        count += card.poster.isLoading() ? 1 : 0;
    return count;
}

QRectF PosterGrid::visibleArea() const
{
    return QRectF(visibleRegion().boundingRect());
}

void PosterGrid::resizeEvent(QResizeEvent *event)
{
    m_lastTrimmed = QRectF();
    QWidget::resizeEvent(event);
    if (!m_decodeCachedBeforePaint || !ImageLoader::shared() || width() <= 0)
        return;
    // Where the window will show the grid, as far as the layout knows yet: the paint decodes
    // whatever this guessed wrong.
    const QRectF inWindow = QRectF(window()->rect()).translated(-QPointF(mapTo(window(), QPoint())));
    ImageLoader::shared()->prefetchCached(missingPosters(inWindow.intersected(QRectF(rect()))), decodeSize());
}

QSize PosterGrid::decodeSize() const
{
    const GridGeometry g = geometryFor(width());
    return CardPainter::decodeSize(QSizeF(g.columnWidth(), g.columnWidth() / CardPainter::kPosterAspect), devicePixelRatioF());
}

QList<QUrl> PosterGrid::missingPosters(const QRectF &visible) const
{
    QList<QUrl> missing;
    if (visible.isEmpty())
        return missing;
    const GridGeometry g = geometryFor(width());
    const auto [first, last] = g.rowsIn(visible.top(), visible.bottom(), int(m_items.size()));
    for (int index = first * GridGeometry::kColumns; index < (last + 1) * GridGeometry::kColumns && index < m_items.size(); ++index) {
        const auto card = m_cards.constFind(cardKey(m_items.at(index)));
        if (card != m_cards.cend() && card->poster.image.isNull() && g.cell(index).intersects(visible))
            missing.append(QUrl(card->poster.url));
    }
    return missing;
}

void PosterGrid::hideEvent(QHideEvent *event)
{
    // Nothing of ours is on screen: stop every download. Images stay, for a quick return.
    for (Card &card : m_cards)
        card.poster.stopLoading();
    setHovered(-1, false);
    QWidget::hideEvent(event);
}

void PosterGrid::onPosterLoaded(const QString &key, const QImage &image)
{
    auto found = m_cards.find(key);
    if (found == m_cards.end())
        return;
    found->poster.finish(image);
    // Repaint the cells showing this card (a title may appear more than once).
    for (int i = 0; i < m_items.size(); ++i) {
        if (cardKey(m_items.at(i)) == key)
            update(cardRect(i));
    }
}

void PosterGrid::shimmerTick()
{
    const QRectF visible = visibleArea();
    if (visible.isEmpty())
        return;
    const GridGeometry g = geometryFor(width());
    const auto [first, last] = g.rowsIn(visible.top(), visible.bottom(), int(m_items.size()));
    QRegion dirty;
    for (int row = first; row <= last; ++row) {
        for (int column = 0; column < GridGeometry::kColumns; ++column) {
            const int index = row * GridGeometry::kColumns + column;
            if (index >= m_items.size())
                break;
            const auto card = m_cards.constFind(cardKey(m_items.at(index)));
            if (card != m_cards.cend() && card->poster.needsShimmer())
                dirty += CardPainter::posterRect(g.cell(index)).toAlignedRect();
        }
    }
    if (dirty.isEmpty())
        ShimmerClock::shared()->unsubscribe(this);
    else
        update(dirty);
}

void PosterGrid::trim(const QRectF &visible)
{
    // Only when the view moved enough to matter: a full pass over a long list on every
    // shimmer frame would be waste.
    if (!m_lastTrimmed.isNull() && std::abs(m_lastTrimmed.top() - visible.top()) < visible.height() / 4
        && std::abs(m_lastTrimmed.height() - visible.height()) < 1)
        return;
    m_lastTrimmed = visible;
    const GridGeometry g = geometryFor(width());
    const qreal span = visible.height();
    const qreal loadTop = visible.top() - kKeepLoading * span;
    const qreal loadBottom = visible.bottom() + kKeepLoading * span;
    const qreal keepTop = visible.top() - kKeepImages * span;
    const qreal keepBottom = visible.bottom() + kKeepImages * span;
    for (int i = 0; i < m_items.size(); ++i) {
        auto card = m_cards.find(cardKey(m_items.at(i)));
        if (card == m_cards.end())
            continue;
        PosterSlot &slot = card->poster;
        if (!slot.isLoading() && slot.image.isNull())
            continue;
        const QRectF cell = g.cell(i);
        const bool nearForLoad = cell.bottom() >= loadTop && cell.top() <= loadBottom;
        const bool nearForImage = cell.bottom() >= keepTop && cell.top() <= keepBottom;
        if (!nearForImage) {
            slot.drop();
        } else if (!nearForLoad) {
            slot.stopLoading();
        }
    }
}

void PosterGrid::paintEvent(QPaintEvent *event)
{
    if (m_items.isEmpty())
        return;
    QRectF visible = visibleArea();
    // Rendered while not on screen (QWidget::grab of a hidden grid): what is painted is
    // what counts as visible.
    if (visible.isEmpty())
        visible = QRectF(event->rect());
    const GridGeometry g = geometryFor(width());
    const bool dark = Palette::isDark();
    ShimmerClock *clock = ShimmerClock::shared();
    if (m_shimmerStart < 0)
        m_shimmerStart = clock->now();
    const qreal phase = clock->phaseSince(m_shimmerStart);
    bool shimmering = false;

    trim(visible);

    QPainter painter(this);
    const QRect exposed = event->rect();
    const auto [first, last] = g.rowsIn(exposed.top(), exposed.bottom(), int(m_items.size()));
    const QSize decode = decodeSize();
    if (m_decodeCachedBeforePaint && ImageLoader::shared())
        ImageLoader::shared()->decodeCachedNow(missingPosters(visible), decode);
    QPointer<PosterGrid> self(this);
    for (int row = first; row <= last; ++row) {
        for (int column = 0; column < GridGeometry::kColumns; ++column) {
            const int index = row * GridGeometry::kColumns + column;
            if (index >= m_items.size())
                break;
            const QRectF cell = g.cell(index);
            if (!cell.intersects(QRectF(exposed)))
                continue;
            const Item &item = m_items.at(index);
            const QString key = cardKey(item);
            Card &card = m_cards[key];
            if (cell.intersects(visible)) {
                card.poster.request(this, decode, [self, key](const QImage &image) {
                    if (self)
                        self->onPosterLoaded(key, image);
                });
            }
            if (card.titleWidth != cell.width() || card.title != item.title) {
                card.titleLines = CardPainter::titleLines(item.title, cell.width());
                card.titleWidth = cell.width();
                card.title = item.title;
            }
            shimmering = shimmering || card.poster.needsShimmer();
            const bool hovering = index == m_hovered && m_hoverOnPoster;
            CardPainter::paintCard(painter, cell, item, m_today, hovering, card.poster.visual(phase), card.titleLines,
                                   dark);
        }
    }
    paintFocusRing(painter, CardPainter::kCornerRadius);
    if (shimmering)
        clock->subscribe(this, [this] { shimmerTick(); });
}

QString PosterGrid::entryName(int index) const
{
    return index >= 0 && index < m_items.size() ? card::accessibleName(m_items.at(index)) : QString();
}

void PosterGrid::setHovered(int index, bool overPoster)
{
    if (index == m_hovered && overPoster == m_hoverOnPoster)
        return;
    const int previous = m_hovered;
    m_hovered = index;
    m_hoverOnPoster = overPoster;
    if (previous >= 0)
        update(cardRect(previous));
    if (index >= 0)
        update(cardRect(index));
    // The hand over every card, the arrow over the gaps between them.
    if ((previous >= 0) != (index >= 0))
        setPointingHand(this, index >= 0);
}

void PosterGrid::mouseMoveEvent(QMouseEvent *event)
{
    const int index = indexAt(event->position().toPoint());
    bool overPoster = false;
    if (index >= 0)
        overPoster = CardPainter::posterRect(QRectF(cardRect(index))).contains(event->position());
    setHovered(index, overPoster);
    QWidget::mouseMoveEvent(event);
}

void PosterGrid::leaveEvent(QEvent *event)
{
    setHovered(-1, false);
    QWidget::leaveEvent(event);
}

void PosterGrid::mousePressEvent(QMouseEvent *event)
{
    m_pressed = event->button() == Qt::LeftButton ? indexAt(event->position().toPoint()) : -1;
    if (m_pressed >= 0)
        event->accept();
    else
        QWidget::mousePressEvent(event);
}

void PosterGrid::mouseReleaseEvent(QMouseEvent *event)
{
    const int pressed = m_pressed;
    m_pressed = -1;
    if (event->button() != Qt::LeftButton || pressed < 0 || indexAt(event->position().toPoint()) != pressed) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    activateEntry(pressed);
}

void PosterGrid::activateEntry(int index)
{
    if (index < 0 || index >= m_items.size())
        return;
    const QString did = m_items.at(index).did;
    QPointer<PosterGrid> self(this);
    if (m_onSelect)
        m_onSelect(did);
    if (self)
        emit selected(did);
}

}
