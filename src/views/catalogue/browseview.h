#pragma once

#include "models/cataloguelogic.h"
#include "views/catalogue/pagedposterview.h"

namespace tovra {

class FilterBar;

// The category browser: one category's titles page by page, narrowed by the filter bar. The
// main window keeps one browser while the user moves between categories; a new category (by
// id and name) puts the filters back to their start values and loads again. Lists always come
// from the network; the picker vocabularies are also kept for a week on disk.
class BrowseView : public PagedPosterView
{
    Q_OBJECT
public:
    static constexpr int kSkeletonCards = 14;
    static constexpr double kOptionsMaxAge = 604800; // a week
    static inline const QString kOptionsKey = QStringLiteral("filter_options");

    explicit BrowseView(const NavItem &category, QWidget *parent = nullptr);

    const NavItem &category() const { return m_category; }
    // A category with another id or name starts over; any other change is only remembered.
    void setCategory(const NavItem &category);

    const catalogue::BrowseFilters &filters() const { return m_filters; }
    const std::optional<FilterOptions> &options() const { return m_options; }
    const QList<Tag> &subTags() const { return m_subTags; }

    FilterBar *filterBar() const { return m_bar; }

public slots:
    // What the filter bar reports; also callable directly.
    void pickChip(const std::optional<QString> &tag);
    void editFilters(const tovra::catalogue::BrowseFilters &filters);

protected:
    QCoro::Task<Result<Page<QList<Item>>>> fetchPage(qint64 page) override;
    QString emptyText() const override;
    void showEvent(QShowEvent *event) override;

private:
    QCoro::Task<> start();
    QCoro::Task<> loadOptions();
    QCoro::Task<> loadSubTags(LoadGeneration::Ticket run);
    void resetFilters();
    void setFilters(const catalogue::BrowseFilters &filters);
    void reload();

    NavItem m_category;
    std::optional<catalogue::CategoryKey> m_startedFor; // the key of the last start
    LoadGeneration m_runs; // starts: a new category ends the sub-tag work of the previous one

    std::optional<FilterOptions> m_options;
    QList<Tag> m_subTags;
    catalogue::BrowseFilters m_filters;

    FilterBar *m_bar = nullptr;
};

}
