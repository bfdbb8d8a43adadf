#pragma once

#include "models/catalogue.h"
#include "models/cataloguelogic.h"

#include <QList>
#include <QWidget>
#include <optional>

class QCheckBox;
class QComboBox;
class QHBoxLayout;
class QScrollArea;

namespace tovra {

class FilterChip;

// The category browser's filter bar: a row of sub-tag chips (only when there are sub-tags),
// then the year, region and sort pickers (only once the options are known) and the two
// toggles. It shows the state it is given and reports what the user changes; the browser owns
// the state and decides what to load.
class FilterBar : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kYearWidth = 130;
    static constexpr int kCountryWidth = 140;
    static constexpr int kSortWidth = 140;

    explicit FilterBar(QWidget *parent = nullptr);

    void setSubTags(const QList<Tag> &tags);
    void setOptions(const std::optional<FilterOptions> &options);
    // Shows the filters without reporting anything back.
    void setFilters(const catalogue::BrowseFilters &filters);

    // For tests and for keyboard focus.
    QList<FilterChip *> chips() const { return m_chips; }
    QWidget *chipRow() const;
    QComboBox *yearPicker() const { return m_year; }
    QComboBox *countryPicker() const { return m_country; }
    QComboBox *sortPicker() const { return m_sort; }
    bool pickersShown() const;
    QCheckBox *torrentToggle() const { return m_onlyTorrent; }
    QCheckBox *playableToggle() const { return m_onlyPlayable; }

signals:
    // A chip was clicked (also the one already active); none is "全部类型".
    void chipPicked(const std::optional<QString> &tag);
    // A picker or toggle was changed by the user; the filters as they now read.
    void filtersEdited(const tovra::catalogue::BrowseFilters &filters);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void rebuildChips();
    void showChipState();
    void fillPickers();
    void showPickerState();
    void edited();

    QList<Tag> m_tags;
    std::optional<FilterOptions> m_options;
    catalogue::BrowseFilters m_filters;
    bool m_showing = false; // set while the bar shows state, so the widgets' signals are not edits

    QScrollArea *m_chipScroll = nullptr;
    QWidget *m_chipStrip = nullptr;
    QHBoxLayout *m_chipLayout = nullptr;
    QList<FilterChip *> m_chips;
    QWidget *m_pickers = nullptr;
    QComboBox *m_year = nullptr;
    QComboBox *m_country = nullptr;
    QComboBox *m_sort = nullptr;
    QCheckBox *m_onlyTorrent = nullptr;
    QCheckBox *m_onlyPlayable = nullptr;
};

}
