#pragma once

#include "models/apiresponse.h"
#include "models/catalogue.h"
#include "models/cataloguelogic.h"
#include "models/loadgeneration.h"

#include <QCoroTask>
#include <QWidget>
#include <optional>

class QStackedLayout;
class QScrollArea;

namespace tovra {

class FilterBar;
class PosterListPage;
class StateOverlay;

// The category browser: one category's titles page by page, narrowed by the filter bar. The
// main window keeps one browser while the user moves between categories; a new category (by
// id and name) puts the filters back to their start values and loads again. Lists always come
// from the network; the picker vocabularies are also kept for a week on disk.
class BrowseView : public QWidget
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

    enum class Shown { Placeholder, Error, Empty, List };
    Shown shown() const;
    const catalogue::BrowseFilters &filters() const { return m_filters; }
    qint64 page() const { return m_page; }
    const QList<Item> &items() const { return m_items; }
    const std::optional<Meta> &meta() const { return m_meta; }
    const std::optional<QString> &error() const { return m_error; }
    bool isLoading() const { return m_loading; }
    const std::optional<FilterOptions> &options() const { return m_options; }
    const QList<Tag> &subTags() const { return m_subTags; }

    FilterBar *filterBar() const { return m_bar; }
    StateOverlay *overlay() const { return m_overlay; }
    PosterListPage *list() const { return m_list; }

public slots:
    // What the filter bar reports; also callable directly.
    void pickChip(const std::optional<QString> &tag);
    void editFilters(const tovra::catalogue::BrowseFilters &filters);
    void changePage(qint64 page);
    void retry();

signals:
    void selected(const QString &did);

protected:
    void showEvent(QShowEvent *event) override;

private:
    QCoro::Task<> start();
    QCoro::Task<> loadOptions();
    QCoro::Task<> loadSubTags(LoadGeneration::Ticket run);
    QCoro::Task<> load();
    void resetFilters();
    void setFilters(const catalogue::BrowseFilters &filters);
    void reload();
    void render();

    NavItem m_category;
    std::optional<catalogue::CategoryKey> m_startedFor; // the key of the last start
    LoadGeneration m_runs;  // starts: a new category ends the sub-tag work of the previous one
    LoadGeneration m_loads; // list loads: only the newest writes

    std::optional<FilterOptions> m_options;
    QList<Tag> m_subTags;
    catalogue::BrowseFilters m_filters;
    QList<Item> m_items;
    std::optional<Meta> m_meta;
    qint64 m_page = 1;
    std::optional<QString> m_error;
    bool m_loading = true;

    FilterBar *m_bar = nullptr;
    QStackedLayout *m_stack = nullptr;
    QScrollArea *m_placeholder = nullptr;
    StateOverlay *m_overlay = nullptr;
    PosterListPage *m_list = nullptr;
};

}
