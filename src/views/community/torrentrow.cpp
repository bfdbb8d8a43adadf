#include "views/community/torrentrow.h"

#include "views/components/appearance.h"
#include "views/components/pointinghand.h"
#include "views/components/typography.h"
#include "views/icons.h"
#include "views/palette.h"

#include <QPainter>
#include <QTextLayout>

namespace tovra {

namespace {
constexpr int kSymbol = 16;
constexpr int kGap = 8;
constexpr int kMaxLines = 2;

// The name laid out in at most kMaxLines lines, the last one elided.
QStringList lines(const QString &text, const QFont &font, int width)
{
    QStringList out;
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    for (;;) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(width);
        if (out.size() == kMaxLines - 1) {
            const QFontMetrics metrics(font);
            out.append(metrics.elidedText(text.mid(line.textStart()).simplified(), Qt::ElideRight, width));
            break;
        }
        out.append(text.mid(line.textStart(), line.textLength()));
    }
    layout.endLayout();
    return out;
}
}

TorrentRow::TorrentRow(const QString &url, const QString &name, QWidget *parent)
    : QAbstractButton(parent), m_url(url), m_name(name)
{
    setAccessibleName(name);
    setFont(uiFont(TextStyle::kBody));
    setPointingHand(this);
    setAttribute(Qt::WA_Hover);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    followAppearance(this);
}

QSize TorrentRow::sizeHint() const
{
    const QFontMetrics metrics(font());
    const int width = std::min(572, kSymbol + kGap + metrics.horizontalAdvance(m_name));
    return {width, heightForWidth(width)};
}

QRect TorrentRow::textRect(int width) const
{
    return QRect(kSymbol + kGap, 0, std::max(1, width - kSymbol - kGap), 0);
}

int TorrentRow::heightForWidth(int width) const
{
    const QFontMetrics metrics(font());
    const auto count = std::max<qsizetype>(1, lines(m_name, font(), textRect(width).width()).size());
    return std::max<int>(kSymbol, int(count) * metrics.lineSpacing());
}

void TorrentRow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool dark = Palette::isDark();
    const QColor ink = underMouse() ? Palette::accent(dark) : Palette::text(dark);
    const QFontMetrics metrics(font());
    const int firstLine = metrics.lineSpacing();
    Icons::paint(painter, QRectF(0, (firstLine - kSymbol) / 2.0, kSymbol, kSymbol), QStringLiteral("arrow.down.circle"), ink);
    painter.setPen(ink);
    painter.setFont(font());
    const QRect area = textRect(width());
    int y = 0;
    for (const QString &line : lines(m_name, font(), area.width())) {
        painter.drawText(QRect(area.x(), y, area.width(), firstLine), Qt::AlignLeft | Qt::AlignVCenter, line);
        y += firstLine;
    }
}

}
