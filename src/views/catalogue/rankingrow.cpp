#include "views/catalogue/rankingrow.h"

#include "models/cataloguelogic.h"
#include "views/components/access.h"
#include "views/components/appearance.h"
#include "views/components/poster.h"
#include "views/components/typography.h"
#include "views/palette.h"

#include <QMouseEvent>
#include <QPainter>

namespace tovra {

namespace {
constexpr int kPadX = 12;
constexpr int kPadY = 6;
constexpr int kPosterHeight = RankingRow::kPosterWidth * 3 / 2;

QFont placeFont()
{
    return uiFont(TextStyle::kBody, QFont::Bold);
}
}

RankingRow::RankingRow(qint64 place, const RankItem &item, QWidget *parent)
    : QWidget(parent), m_place(place), m_item(item)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
    m_poster = new Poster(item.image, this);
    m_poster->setCornerRadius(4);
    placePoster();
    followAppearance(this);
    Access::control(this, spokenName(), QAccessible::Button, [this] { emit clicked(m_item.did); });
}

QString RankingRow::spokenName() const
{
    return QStringLiteral("%1，%2，%3")
        .arg(QString::number(m_place), m_item.title, catalogue::downloadCountText(m_item.count));
}

void RankingRow::setEntry(qint64 place, const RankItem &item)
{
    if (place == m_place && item == m_item)
        return;
    m_place = place;
    m_item = item;
    m_poster->setUrl(item.image);
    setAccessibleName(spokenName());
    update();
}

QSize RankingRow::sizeHint() const
{
    return {600, kPosterHeight + 2 * kPadY};
}

QSize RankingRow::minimumSizeHint() const
{
    return {kPadX * 2 + kPlaceWidth + kPosterWidth + 3 * kSpacing, kPosterHeight + 2 * kPadY};
}

void RankingRow::placePoster()
{
    m_poster->setGeometry(kPadX + kPlaceWidth + kSpacing, (height() - kPosterHeight) / 2, kPosterWidth,
                          kPosterHeight);
}

void RankingRow::resizeEvent(QResizeEvent *event)
{
    placePoster();
    QWidget::resizeEvent(event);
}

void RankingRow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const bool dark = Palette::isDark();
    const QRect area = rect().adjusted(kPadX, 0, -kPadX, 0);
    if (m_place > 1) {
        // A hairline between rows, indented past the place like a list's separator.
        painter.fillRect(QRect(area.left() + kPlaceWidth + kSpacing, 0, area.width() - kPlaceWidth - kSpacing, 1),
                         Palette::borderSoft(dark));
    }

    painter.setFont(placeFont());
    painter.setPen(m_place <= 3 ? Palette::warn(dark) : Palette::textDim(dark));
    painter.drawText(QRect(area.left(), area.top(), kPlaceWidth, area.height()), Qt::AlignCenter,
                     QString::number(m_place));

    const QFont countFont = uiFont(TextStyle::kCallout);
    const QString count = catalogue::downloadCountText(m_item.count);
    const int countWidth = QFontMetrics(countFont).horizontalAdvance(count);
    const QRect countRect(area.right() + 1 - countWidth, area.top(), countWidth, area.height());
    painter.setFont(countFont);
    painter.setPen(Palette::textDim(dark));
    painter.drawText(countRect, Qt::AlignVCenter | Qt::AlignRight | Qt::TextSingleLine, count);

    const QFont titleFont = uiFont(TextStyle::kBody);
    const int titleLeft = area.left() + kPlaceWidth + kSpacing + kPosterWidth + kSpacing;
    const int titleRight = countRect.left() - kSpacing;
    if (titleRight > titleLeft) {
        painter.setFont(titleFont);
        painter.setPen(Palette::text(dark));
        const QString title =
            QFontMetrics(titleFont).elidedText(m_item.title, Qt::ElideRight, titleRight - titleLeft);
        painter.drawText(QRect(titleLeft, area.top(), titleRight - titleLeft, area.height()),
                         Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, title);
    }
}

void RankingRow::mousePressEvent(QMouseEvent *event)
{
    m_pressed = event->button() == Qt::LeftButton;
    event->accept();
}

void RankingRow::mouseReleaseEvent(QMouseEvent *event)
{
    const bool pressed = m_pressed;
    m_pressed = false;
    if (pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked(m_item.did);
}

}
