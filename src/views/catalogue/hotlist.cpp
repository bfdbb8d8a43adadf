#include "views/catalogue/hotlist.h"

#include "models/cataloguelogic.h"
#include "views/components/appearance.h"
#include "views/components/typography.h"
#include "views/palette.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace tovra {

namespace {
constexpr int kPadX = 10;
constexpr int kPadY = 8;
constexpr int kBadge = 22;
constexpr int kGap = 10;
constexpr int kMinSpacer = 4;
constexpr int kFadeMs = 150;
}

HotList::HotList(QWidget *parent) : PaintedList(QAccessible::ListItem, parent)
{
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    setMouseTracking(true);
    for (QVariantAnimation *fade : {&m_fadeIn, &m_fadeOut}) {
        fade->setDuration(kFadeMs);
        fade->setEasingCurve(QEasingCurve::OutCubic);
        connect(fade, &QVariantAnimation::valueChanged, this, [this] { update(); });
    }
    m_fadeIn.setStartValue(0.0);
    m_fadeIn.setEndValue(1.0);
    m_fadeOut.setStartValue(1.0);
    m_fadeOut.setEndValue(0.0);
    followAppearance(this);
}

void HotList::setItems(const QList<HotItem> &items)
{
    if (items == m_items)
        return;
    const bool rowsChanged = items.size() != m_items.size();
    m_items = items;
    if (m_hovered >= m_items.size())
        setHovered(-1);
    if (rowsChanged)
        updateGeometry();
    update();
}

int HotList::columns() const
{
    return catalogue::hotColumns(width());
}

int HotList::heightForWidth(int width) const
{
    if (m_items.isEmpty())
        return 0;
    const int cols = catalogue::hotColumns(width);
    const int rows = int((m_items.size() + cols - 1) / cols);
    return rows * kRowHeight + (rows - 1) * catalogue::kHotRowSpacing;
}

QSize HotList::sizeHint() const
{
    const int w = width() > 0 ? width() : 1200;
    return {w, heightForWidth(w)};
}

QSize HotList::minimumSizeHint() const
{
    return {0, 0};
}

QRect HotList::rowRectFor(int index, int width) const
{
    const int cols = catalogue::hotColumns(width);
    const qreal columnWidth =
        qMax<qreal>(10, (width - (cols - 1) * catalogue::kHotColumnSpacing) / qreal(cols));
    const int row = index / cols;
    const int column = index % cols;
    const qreal x = column * (columnWidth + catalogue::kHotColumnSpacing);
    return QRectF(x, row * (kRowHeight + catalogue::kHotRowSpacing), columnWidth, kRowHeight).toAlignedRect();
}

QRect HotList::rowRect(int index) const
{
    if (index < 0 || index >= m_items.size())
        return {};
    return rowRectFor(index, width());
}

int HotList::indexAt(const QPoint &point) const
{
    for (int i = 0; i < m_items.size(); ++i) {
        if (rowRect(i).contains(point))
            return i;
    }
    return -1;
}

qreal HotList::hoverLevel(int index) const
{
    if (index == m_hovered)
        return m_fadeIn.state() == QAbstractAnimation::Running ? m_fadeIn.currentValue().toReal() : 1.0;
    if (index == m_fading && m_fadeOut.state() == QAbstractAnimation::Running)
        return m_fadeOut.currentValue().toReal();
    return 0;
}

void HotList::setHovered(int index)
{
    if (index == m_hovered)
        return;
    m_fading = m_hovered;
    m_hovered = index;
    m_fadeOut.stop();
    if (m_fading >= 0)
        m_fadeOut.start();
    m_fadeIn.stop();
    if (m_hovered >= 0)
        m_fadeIn.start();
    if (m_hovered >= 0)
        setCursor(Qt::PointingHandCursor);
    else
        unsetCursor();
    update();
}

void HotList::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool dark = Palette::isDark();
    const QFont badgeFont = monoFont(12, QFont::Bold);
    const QFont titleFont = uiFont(TextStyle::kBody);
    const QFont heatFont = uiFont(11.5);
    const QFontMetrics titleMetrics(titleFont);
    const QFontMetrics heatMetrics(heatFont);

    for (int i = 0; i < m_items.size(); ++i) {
        const QRect rect = rowRect(i);
        if (!rect.intersects(event->rect()))
            continue;
        const HotItem &item = m_items.at(i);
        const qint64 rank = i + 1;
        const qreal level = hoverLevel(i);
        if (level > 0) {
            QColor fill = Palette::surface2(dark);
            fill.setAlphaF(fill.alphaF() * level);
            QPainterPath path;
            path.addRoundedRect(QRectF(rect), 8, 8);
            painter.fillPath(path, fill);
        }

        const QRectF badge(rect.left() + kPadX, rect.top() + kPadY, kBadge, kBadge);
        if (const auto background = catalogue::rankBadgeBackground(rank)) {
            QPainterPath path;
            path.addRoundedRect(badge, 6, 6);
            painter.fillPath(path, *background);
        }
        painter.setFont(badgeFont);
        painter.setPen(catalogue::rankBadgeDigits(rank).value_or(Palette::textFaint(dark)));
        painter.drawText(badge, Qt::AlignCenter, QString::number(rank));

        // The heat keeps its natural width; the title gets what is left and is cut at the end.
        const QString heat = catalogue::heatText(item.count);
        const int heatWidth = heatMetrics.horizontalAdvance(heat);
        const int right = rect.right() + 1 - kPadX;
        const QRect heatRect(right - heatWidth, rect.top(), heatWidth, rect.height());
        const int titleLeft = int(badge.right()) + kGap;
        const int titleRight = heatRect.left() - kGap - kMinSpacer;
        if (titleRight > titleLeft) {
            painter.setFont(titleFont);
            painter.setPen(i == m_hovered ? Palette::text(dark) : Palette::textDim(dark));
            const QString title = titleMetrics.elidedText(item.title, Qt::ElideRight, titleRight - titleLeft);
            painter.drawText(QRect(titleLeft, rect.top(), titleRight - titleLeft, rect.height()),
                             Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, title);
        }
        painter.setFont(heatFont);
        painter.setPen(Palette::textFaint(dark));
        painter.drawText(heatRect, Qt::AlignVCenter | Qt::AlignRight | Qt::TextSingleLine, heat);
    }
    paintFocusRing(painter, 8);
}

QString HotList::entryName(int index) const
{
    if (index < 0 || index >= m_items.size())
        return {};
    const HotItem &item = m_items.at(index);
    return QStringLiteral("%1，%2，%3").arg(QString::number(index + 1), item.title, catalogue::heatText(item.count));
}

void HotList::activateEntry(int index)
{
    if (index >= 0 && index < m_items.size())
        emit selected(m_items.at(index).did);
}

void HotList::mouseMoveEvent(QMouseEvent *event)
{
    setHovered(indexAt(event->position().toPoint()));
    QWidget::mouseMoveEvent(event);
}

void HotList::mousePressEvent(QMouseEvent *event)
{
    m_pressed = event->button() == Qt::LeftButton ? indexAt(event->position().toPoint()) : -1;
    event->accept();
}

void HotList::mouseReleaseEvent(QMouseEvent *event)
{
    const int pressed = m_pressed;
    m_pressed = -1;
    if (event->button() != Qt::LeftButton || pressed < 0 || pressed >= m_items.size())
        return;
    if (indexAt(event->position().toPoint()) == pressed)
        activateEntry(pressed);
}

void HotList::leaveEvent(QEvent *event)
{
    setHovered(-1);
    QWidget::leaveEvent(event);
}

void HotList::resizeEvent(QResizeEvent *event)
{
    // A new column count changes the height: the layout has to ask again.
    const int cols = columns();
    if (cols != m_lastColumns) {
        m_lastColumns = cols;
        updateGeometry();
    }
    QWidget::resizeEvent(event);
}

}
