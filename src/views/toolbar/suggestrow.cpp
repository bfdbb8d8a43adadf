#include "views/toolbar/suggestrow.h"

#include "models/suggestion.h"
#include "views/components/appearance.h"
#include "views/components/pointinghand.h"
#include "views/components/symbolview.h"
#include "views/components/typography.h"
#include "views/palette.h"
#include "views/toolbar/highlighted.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace tovra {

namespace {

constexpr int kPadX = 10;
constexpr int kPadY = 8;
constexpr int kLineSpacing = 10;
constexpr int kMinimumGap = 8;

QLabel *makeLabel(QWidget *parent, Qt::TextFormat format, const QFont &font)
{
    auto *label = new QLabel(parent);
    label->setTextFormat(format);
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    label->setOpenExternalLinks(false);
    label->setWordWrap(false);
    label->setFont(font);
    // Clicks and hover belong to the row.
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    return label;
}

void setInk(QLabel *label, const QColor &color)
{
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, color);
    label->setPalette(p);
}

}

SuggestRow::SuggestRow(const SuggestItem &hit, bool active, QWidget *parent)
    : QAbstractButton(parent), m_hit(hit), m_active(active)
{
    setObjectName(QStringLiteral("suggestRow"));
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setPointingHand(this);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(kPadX, kPadY, kPadX, kPadY);
    column->setSpacing(5);
    auto *line = new QHBoxLayout;
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(kLineSpacing);

    m_title = makeLabel(this, Qt::RichText, uiFont(13));
    m_title->setObjectName(QStringLiteral("suggestTitle"));
    // A long title is cut at the row's edge rather than widening the panel; a short one keeps the
    // year right next to it.
    m_title->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Preferred);
    m_title->setMinimumWidth(1);
    line->addWidget(m_title, 0, Qt::AlignVCenter);

    m_year = makeLabel(this, Qt::PlainText, monoFont(11.5));
    m_year->setObjectName(QStringLiteral("suggestYear"));
    line->addWidget(m_year, 0, Qt::AlignVCenter);

    line->addSpacerItem(new QSpacerItem(kMinimumGap, 0, QSizePolicy::Expanding, QSizePolicy::Minimum));

    // The star is drawn as a symbol rather than the "⭐" character: many font sets have no glyph
    // for it and would show an empty box.
    m_scoreBox = new QWidget(this);
    m_scoreBox->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto *scoreRow = new QHBoxLayout(m_scoreBox);
    scoreRow->setContentsMargins(0, 0, 0, 0);
    scoreRow->setSpacing(2);
    m_star = new SymbolView(QStringLiteral("star.fill"), 11, Palette::Name::Warn, m_scoreBox);
    m_score = makeLabel(m_scoreBox, Qt::PlainText, monoFont(11.5));
    m_score->setObjectName(QStringLiteral("suggestScore"));
    scoreRow->addWidget(m_star, 0, Qt::AlignVCenter);
    scoreRow->addWidget(m_score, 0, Qt::AlignVCenter);
    line->addWidget(m_scoreBox, 0, Qt::AlignVCenter);

    m_count = makeLabel(this, Qt::PlainText, uiFont(11));
    m_count->setObjectName(QStringLiteral("suggestCount"));
    line->addWidget(m_count, 0, Qt::AlignVCenter);
    column->addLayout(line);

    m_cast = makeLabel(this, Qt::RichText, uiFont(11.5));
    m_cast->setObjectName(QStringLiteral("suggestCast"));
    m_cast->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_cast->setMinimumWidth(1);
    column->addWidget(m_cast);

    const auto year = suggestion::yearText(hit.year);
    m_year->setText(year.value_or(QString()));
    m_year->setVisible(year.has_value());
    const auto score = suggestion::scoreText(hit.score);
    m_score->setText(score ? *hit.score : QString());
    m_score->setAccessibleName(score.value_or(QString()));
    m_scoreBox->setVisible(score.has_value());
    m_count->setText(suggestion::countText(hit.torrentCount));
    m_cast->setVisible(!hit.starsMarked.isEmpty());

    QString plainTitle;
    for (const MarkedRun &run : splitMarkedText(hit.titleMarked))
        plainTitle += run.text;
    setAccessibleName(plainTitle);

    refresh();
    followAppearance(this, [this](bool) { refresh(); });
}

void SuggestRow::setActive(bool active)
{
    if (active == m_active)
        return;
    m_active = active;
    refresh();
}

void SuggestRow::refresh()
{
    const bool dark = Palette::isDark();
    const QColor titleBase = isHighlighted() ? Palette::accent(dark) : Palette::text(dark);
    // Before the first layout there is no width to fit: the whole text then sets the row's size.
    const bool laidOut = width() > 0 && testAttribute(Qt::WA_Resized);
    m_title->setText(laidOut ? highlighted(m_hit.titleMarked, titleBase, 13, titleRoom())
                             : highlighted(m_hit.titleMarked, titleBase, 13));
    if (const auto cast = suggestion::castLine(m_hit.starsMarked)) {
        const qreal room = contentsRect().width() - kPadX * 2;
        m_cast->setText(laidOut ? highlighted(*cast, Palette::textFaint(dark), 11.5, room)
                                : highlighted(*cast, Palette::textFaint(dark), 11.5));
    }
    setInk(m_year, Palette::textFaint(dark));
    setInk(m_score, Palette::warn(dark));
    setInk(m_count, Palette::textFaint(dark));
    update();
}

qreal SuggestRow::titleRoom() const
{
    qreal room = contentsRect().width() - kPadX * 2;
    // The flexible space takes no spacing of its own: the box layout leaves it out around empty
    // items.
    int items = 2; // title and count
    room -= kMinimumGap + m_count->sizeHint().width();
    if (!m_year->isHidden()) {
        room -= m_year->sizeHint().width();
        ++items;
    }
    if (!m_scoreBox->isHidden()) {
        room -= m_scoreBox->sizeHint().width();
        ++items;
    }
    room -= kLineSpacing * (items - 1);
    return qMax<qreal>(0, room);
}

void SuggestRow::resizeEvent(QResizeEvent *event)
{
    QAbstractButton::resizeEvent(event);
    refresh();
}

QSize SuggestRow::sizeHint() const
{
    // The width is the panel's; only the height is the row's own.
    return {0, layout()->sizeHint().height()};
}

QSize SuggestRow::minimumSizeHint() const
{
    return {0, layout()->minimumSize().height()};
}

void SuggestRow::enterEvent(QEnterEvent *event)
{
    m_hovering = true;
    refresh();
    QAbstractButton::enterEvent(event);
}

void SuggestRow::leaveEvent(QEvent *event)
{
    m_hovering = false;
    refresh();
    QAbstractButton::leaveEvent(event);
}

void SuggestRow::hideEvent(QHideEvent *event)
{
    m_hovering = false;
    QAbstractButton::hideEvent(event);
}

void SuggestRow::paintEvent(QPaintEvent *)
{
    if (!isHighlighted())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Palette::accentDim());
    painter.drawRoundedRect(QRectF(rect()), 7, 7);
}

}
