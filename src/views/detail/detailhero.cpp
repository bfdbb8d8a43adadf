#include "views/detail/detailhero.h"

#include "views/components/flowlayout.h"
#include "views/components/poster.h"
#include "views/components/typography.h"
#include "views/detail/metalink.h"
#include "views/detail/tint.h"
#include "views/palette.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace tovra {

namespace {
constexpr int kSpacing = 22;
constexpr int kLabelWidth = 52;
constexpr int kLabelGap = 8;
constexpr int kRowMinHeight = 23;
constexpr qreal kLabelPixels = 12;
constexpr qreal kValuePixels = 13.5;
constexpr qreal kScorePixels = 15;
constexpr int kLinkSpacing = 10;
constexpr int kLinkLineSpacing = 6;

void selectable(QLabel *label)
{
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setCursor(Qt::IBeamCursor);
}
}

DetailHero::DetailHero(const ItemDetail &detail, QWidget *parent) : QWidget(parent)
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(kSpacing);

    m_poster = new Poster(detail.image, this);
    m_poster->setCornerRadius(8);
    m_poster->setFixedSize(kPosterWidth, kPosterHeight);
    row->addWidget(m_poster, 0, Qt::AlignTop);

    auto *column = new QWidget(this);
    column->setMinimumHeight(kPosterHeight);
    m_column = new QVBoxLayout(column);
    m_column->setContentsMargins(0, 0, 0, 0);
    m_column->setSpacing(0);
    row->addWidget(column, 1);

    m_title = tintedLabel(detail.title, TextStyle::kTitle, Palette::Name::Text, column, QFont::Bold);
    m_title->setWordWrap(true);
    selectable(m_title);
    m_column->addWidget(m_title);
    if (detail.alias && !detail.alias->isEmpty()) {
        m_column->addSpacing(4);
        m_alias = tintedLabel(*detail.alias, kValuePixels, Palette::Name::TextDim, column);
        m_alias->setWordWrap(true);
        selectable(m_alias);
        m_column->addWidget(m_alias);
    }
    m_column->addSpacing(10);

    linkRow(QStringLiteral("类型"), detail.tags, QStringLiteral("tag"));
    linkRow(QStringLiteral("主演"), detail.stars, QStringLiteral("star"));
    linkRow(QStringLiteral("导演"), detail.director, QStringLiteral("director"));
    linkRow(QStringLiteral("地区"), detail.country, QStringLiteral("country"));
    if (const auto year = titlepage::year(detail.showdate))
        yearRow(*detail.showdate, *year);
    else
        plainRow(QStringLiteral("上映时间"), detail.showdate);
    plainRow(QStringLiteral("更新时间"), detail.updated);
    scoreRow(detail.score);
    // Each row brings the flexible space above it, so the last one ends level with the
    // poster's foot; without rows the heading stays at the top.
    if (m_rows.isEmpty())
        m_column->addStretch(1);
}

void DetailHero::addRow(const QString &label, QWidget *value, bool link)
{
    auto *rowWidget = new QWidget(m_column->parentWidget());
    rowWidget->setMinimumHeight(kRowMinHeight);
    auto *line = new QHBoxLayout(rowWidget);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(kLabelGap);
    QLabel *name = tintedLabel(label, kLabelPixels, Palette::Name::TextFaint, rowWidget);
    name->setFixedWidth(kLabelWidth);
    // Links sit 2 px lower than their label; plain values share its first baseline.
    int drop = 2;
    if (!link) {
        const QFontMetrics labelMetrics(name->font());
        const QFontMetrics valueMetrics(value->font());
        drop = std::max(0, valueMetrics.ascent() - labelMetrics.ascent());
    }
    name->setContentsMargins(0, drop, 0, 0);
    line->addWidget(name, 0, Qt::AlignTop);
    line->addWidget(value, 1, Qt::AlignTop);

    m_column->addStretch(1);
    m_column->addWidget(rowWidget);
    m_rows.append({label, rowWidget});
}

MetaLink *DetailHero::link(const QString &label, const QString &text, const titlepage::FilterRequest &request)
{
    auto *link = new MetaLink(label, text);
    connect(link, &MetaLink::clicked, this, [this, request] { emit filterRequested(request.title, request.params); });
    return link;
}

void DetailHero::linkRow(const QString &label, const QStringList &values, const QString &param)
{
    const QStringList shown = titlepage::linkValues(values);
    if (shown.isEmpty())
        return;
    auto *box = new QWidget;
    auto *flow = new FlowLayout(kLinkSpacing, kLinkLineSpacing, box);
    flow->setContentsMargins(0, 0, 0, 0);
    for (const QString &value : shown)
        flow->addWidget(link(label, value, titlepage::linkFilter(param, value)));
    box->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    addRow(label, box, true);
}

void DetailHero::yearRow(const QString &showdate, const QString &year)
{
    auto *box = new QWidget;
    auto *flow = new FlowLayout(kLinkSpacing, kLinkLineSpacing, box);
    flow->setContentsMargins(0, 0, 0, 0);
    flow->addWidget(link(QStringLiteral("上映时间"), showdate, titlepage::yearFilter(year)));
    addRow(QStringLiteral("上映时间"), box, true);
}

void DetailHero::plainRow(const QString &label, const std::optional<QString> &value)
{
    if (!value || value->isEmpty())
        return;
    QLabel *text = tintedLabel(*value, kValuePixels, Palette::Name::TextDim, nullptr);
    text->setWordWrap(true);
    selectable(text);
    addRow(label, text, false);
}

void DetailHero::scoreRow(const std::optional<QString> &score)
{
    const auto shown = titlepage::scoreText(score);
    if (!shown)
        return;
    auto *text = new QLabel;
    text->setTextFormat(Qt::PlainText);
    text->setText(*shown);
    text->setFont(uiFont(kScorePixels, QFont::Bold));
    QPalette p = text->palette();
    p.setColor(QPalette::WindowText, CardStyle::score());
    text->setPalette(p);
    addRow(QStringLiteral("评分"), text, false);
}

QStringList DetailHero::rowLabels() const
{
    QStringList out;
    for (const auto &[label, widget] : m_rows)
        out.append(label);
    return out;
}

QStringList DetailHero::rowValues(const QString &label) const
{
    QStringList out;
    for (const auto &[name, widget] : m_rows) {
        if (name != label)
            continue;
        const QList<QLabel *> labels = widget->findChildren<QLabel *>();
        // The first label is the row's name; the rest are its values in order.
        for (qsizetype i = 1; i < labels.size(); ++i)
            out.append(labels.at(i)->text());
    }
    return out;
}

QList<MetaLink *> DetailHero::links(const QString &label) const
{
    for (const auto &[name, widget] : m_rows) {
        if (name == label)
            return widget->findChildren<MetaLink *>();
    }
    return {};
}

}
