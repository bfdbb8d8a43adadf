#include "views/community/countbadge.h"

#include "views/components/typography.h"
#include "views/icons.h"

#include <QPainter>

namespace tovra {

namespace {
constexpr int kSpacing = 4;
}

CountBadge::CountBadge(const QString &symbol, int symbolSize, QWidget *parent)
    : QAbstractButton(parent), m_symbol(symbol), m_symbolSize(symbolSize)
{
    setFont(uiFont(TextStyle::kCaption2 + 1));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setFocusPolicy(Qt::TabFocus);
}

void CountBadge::setSymbol(const QString &symbol, const QColor &color)
{
    m_symbol = symbol;
    m_color = color;
    update();
}

void CountBadge::setCount(std::optional<qint64> count)
{
    m_count = count;
    setAccessibleName(count ? QString::number(*count) : QString());
    updateGeometry();
    update();
}

QSize CountBadge::sizeHint() const
{
    if (!m_count)
        return {m_symbolSize, m_symbolSize};
    const QFontMetrics metrics(font());
    const int width = std::max(m_symbolSize, metrics.horizontalAdvance(QString::number(*m_count)));
    return {width, m_symbolSize + kSpacing + metrics.height()};
}

void CountBadge::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF symbolRect((width() - m_symbolSize) / 2.0, 0, m_symbolSize, m_symbolSize);
    Icons::paint(painter, symbolRect, m_symbol, m_color);
    if (m_count) {
        painter.setPen(Qt::white);
        painter.setFont(font());
        painter.drawText(QRect(0, m_symbolSize + kSpacing, width(), height() - m_symbolSize - kSpacing),
                         Qt::AlignHCenter | Qt::AlignTop, QString::number(*m_count));
    }
}

}
