#include "views/catalogue/filterbar.h"

#include "views/catalogue/filterchip.h"
#include "views/components/access.h"
#include "views/components/typography.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWheelEvent>

namespace tovra {

namespace {

QComboBox *addPicker(QHBoxLayout *row, const QString &label, int width, QWidget *parent)
{
    auto *box = new QWidget(parent);
    box->setFixedWidth(width);
    auto *layout = new QHBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    auto *caption = new QLabel(label, box);
    caption->setTextFormat(Qt::PlainText);
    caption->setFont(uiFont(TextStyle::kBody));
    layout->addWidget(caption);
    auto *combo = new QComboBox(box);
    combo->setFont(uiFont(TextStyle::kBody));
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    combo->setMinimumContentsLength(3);
    combo->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    caption->setBuddy(combo);
    layout->addWidget(combo, 1);
    row->addWidget(box, 0, Qt::AlignVCenter);
    return combo;
}

// The entries as (text, value) pairs; a changed list is refilled, an equal one left alone so
// an open pop-up is not disturbed.
void fill(QComboBox *combo, const QList<std::pair<QString, qint64>> &entries)
{
    bool same = combo->count() == entries.size();
    for (int i = 0; same && i < entries.size(); ++i)
        same = combo->itemText(i) == entries[i].first && combo->itemData(i).toLongLong() == entries[i].second;
    if (same)
        return;
    combo->clear();
    for (const auto &[text, value] : entries)
        combo->addItem(text, QVariant::fromValue<qint64>(value));
}

// The entry bound to value, or none shown when no entry has it.
void select(QComboBox *combo, qint64 value)
{
    combo->setCurrentIndex(combo->findData(QVariant::fromValue<qint64>(value)));
}

QList<std::pair<QString, qint64>> choices(const QList<Choice> &list)
{
    QList<std::pair<QString, qint64>> entries;
    for (const Choice &choice : list)
        entries.append({choice.label, choice.value});
    return entries;
}

}

FilterBar::FilterBar(QWidget *parent) : QWidget(parent)
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(22, 10, 22, 10);
    column->setSpacing(8);

    m_chipScroll = new QScrollArea(this);
    Access::passThrough(m_chipScroll);
    m_chipScroll->setFrameShape(QFrame::NoFrame);
    m_chipScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_chipScroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_chipScroll->setWidgetResizable(true);
    m_chipScroll->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_chipScroll->viewport()->setAutoFillBackground(false);
    m_chipScroll->viewport()->installEventFilter(this);
    m_chipStrip = new QWidget(m_chipScroll);
    m_chipStrip->setAutoFillBackground(false);
    m_chipLayout = new QHBoxLayout(m_chipStrip);
    m_chipLayout->setContentsMargins(0, 0, 0, 0);
    m_chipLayout->setSpacing(7);
    m_chipLayout->addStretch(1);
    m_chipScroll->setWidget(m_chipStrip);
    m_chipScroll->hide();
    column->addWidget(m_chipScroll);

    auto *controls = new QHBoxLayout;
    controls->setContentsMargins(0, 0, 0, 0);
    controls->setSpacing(10);
    m_pickers = new QWidget(this);
    auto *pickers = new QHBoxLayout(m_pickers);
    pickers->setContentsMargins(0, 0, 0, 0);
    pickers->setSpacing(10);
    m_year = addPicker(pickers, QStringLiteral("年份"), kYearWidth, m_pickers);
    m_country = addPicker(pickers, QStringLiteral("地区"), kCountryWidth, m_pickers);
    m_sort = addPicker(pickers, QStringLiteral("排序"), kSortWidth, m_pickers);
    m_pickers->hide();
    controls->addWidget(m_pickers, 0, Qt::AlignVCenter);
    m_onlyTorrent = new QCheckBox(QStringLiteral("只看有种"), this);
    m_onlyPlayable = new QCheckBox(QStringLiteral("只看可播放"), this);
    for (QCheckBox *toggle : {m_onlyTorrent, m_onlyPlayable}) {
        toggle->setFont(uiFont(TextStyle::kBody));
        controls->addWidget(toggle, 0, Qt::AlignVCenter);
    }
    controls->addStretch(1);
    column->addLayout(controls);

    const auto pickerChanged = [this] {
        if (!m_showing)
            edited();
    };
    for (QComboBox *combo : {m_year, m_country, m_sort})
        connect(combo, &QComboBox::activated, this, pickerChanged);
    connect(m_onlyTorrent, &QCheckBox::toggled, this, pickerChanged);
    connect(m_onlyPlayable, &QCheckBox::toggled, this, pickerChanged);
}

QWidget *FilterBar::chipRow() const
{
    return m_chipScroll;
}

bool FilterBar::pickersShown() const
{
    return !m_pickers->isHidden();
}

void FilterBar::setSubTags(const QList<Tag> &tags)
{
    QStringList before;
    QStringList after;
    for (const Tag &tag : m_tags)
        before.append(tag.name);
    for (const Tag &tag : tags)
        after.append(tag.name);
    m_tags = tags;
    if (before != after || (m_chips.isEmpty() && !tags.isEmpty()))
        rebuildChips();
}

void FilterBar::rebuildChips()
{
    qDeleteAll(m_chips);
    m_chips.clear();
    m_chipScroll->setVisible(!m_tags.isEmpty());
    if (m_tags.isEmpty())
        return;
    const auto addChip = [this](const QString &text, std::optional<QString> pick) {
        auto *chip = new FilterChip(text, m_chipStrip);
        m_chipLayout->insertWidget(m_chipLayout->count() - 1, chip, 0, Qt::AlignVCenter);
        connect(chip, &FilterChip::clicked, this, [this, pick] { emit chipPicked(pick); });
        m_chips.append(chip);
    };
    addChip(QStringLiteral("全部类型"), std::nullopt);
    for (const Tag &tag : m_tags)
        addChip(tag.name, tag.name);
    Access::placeBefore(QList<QWidget *>(m_chips.cbegin(), m_chips.cend()), m_year);
    m_chipScroll->setFixedHeight(m_chips.first()->sizeHint().height());
    m_chipScroll->horizontalScrollBar()->setValue(0);
    showChipState();
}

void FilterBar::showChipState()
{
    for (int i = 0; i < m_chips.size(); ++i) {
        const bool active = i == 0 ? !m_filters.tag : m_filters.tag == m_tags.at(i - 1).name;
        m_chips[i]->setActive(active);
    }
}

void FilterBar::setOptions(const std::optional<FilterOptions> &options)
{
    m_options = options;
    fillPickers();
}

void FilterBar::fillPickers()
{
    m_showing = true;
    m_pickers->setVisible(m_options.has_value());
    if (m_options) {
        fill(m_year, choices(m_options->year));
        fill(m_country, choices(m_options->country));
        QList<std::pair<QString, qint64>> sorts;
        for (qsizetype i = 0; i < m_options->sort.size(); ++i)
            sorts.append({m_options->sort.at(i), qint64(i)});
        fill(m_sort, sorts);
    }
    m_showing = false;
    showPickerState();
}

void FilterBar::setFilters(const catalogue::BrowseFilters &filters)
{
    m_filters = filters;
    showChipState();
    showPickerState();
}

void FilterBar::showPickerState()
{
    m_showing = true;
    select(m_year, m_filters.year);
    select(m_country, m_filters.country);
    select(m_sort, m_filters.sort);
    m_onlyTorrent->setChecked(m_filters.onlyTorrent);
    m_onlyPlayable->setChecked(m_filters.onlyPlayable);
    m_showing = false;
}

void FilterBar::edited()
{
    catalogue::BrowseFilters next = m_filters;
    if (m_year->currentIndex() >= 0)
        next.year = m_year->currentData().toLongLong();
    if (m_country->currentIndex() >= 0)
        next.country = m_country->currentData().toLongLong();
    if (m_sort->currentIndex() >= 0)
        next.sort = m_sort->currentData().toLongLong();
    next.onlyTorrent = m_onlyTorrent->isChecked();
    next.onlyPlayable = m_onlyPlayable->isChecked();
    if (next == m_filters)
        return;
    m_filters = next;
    emit filtersEdited(next);
}

bool FilterBar::eventFilter(QObject *watched, QEvent *event)
{
    // The chip strip has no scroll bar; a plain mouse wheel moves it sideways.
    if (watched == m_chipScroll->viewport() && event->type() == QEvent::Wheel) {
        auto *wheel = static_cast<QWheelEvent *>(event);
        const QPoint delta = wheel->pixelDelta().isNull() ? wheel->angleDelta() / 2 : wheel->pixelDelta();
        const int step = qAbs(delta.x()) > qAbs(delta.y()) ? delta.x() : delta.y();
        QScrollBar *bar = m_chipScroll->horizontalScrollBar();
        bar->setValue(bar->value() - step);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

}
