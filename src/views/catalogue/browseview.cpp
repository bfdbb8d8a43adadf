#include "views/catalogue/browseview.h"

#include "network/apiclient.h"
#include "network/diskcache.h"
#include "views/catalogue/filterbar.h"
#include "views/components/postergrid.h"
#include "views/components/appearance.h"
#include "views/palette.h"

#include <QPointer>
#include <QShowEvent>
#include <QVBoxLayout>

namespace tovra {

BrowseView::BrowseView(const NavItem &category, QWidget *parent)
    : PagedPosterView(OnFailure::ShowError, parent), m_category(category)
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    m_bar = new FilterBar(this);
    column->addWidget(m_bar);
    auto *divider = new QWidget(this);
    divider->setFixedHeight(1);
    divider->setAutoFillBackground(true);
    const auto colour = [divider](bool dark) {
        QPalette p = divider->palette();
        p.setColor(QPalette::Window, Palette::border(dark));
        divider->setPalette(p);
    };
    colour(Palette::isDark());
    followAppearance(divider, colour);
    column->addWidget(divider);

    auto *content = new QWidget(this);
    buildStates(content, kSkeletonCards, PosterListPage::Style::Bare);
    list()->grid()->setAccessibleName(category.name);
    column->addWidget(content, 1);

    connect(m_bar, &FilterBar::chipPicked, this, &BrowseView::pickChip);
    connect(m_bar, &FilterBar::filtersEdited, this, &BrowseView::editFilters);
    render();
}

void BrowseView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // The first appearance starts; coming back from a title page keeps filters and page.
    if (!m_startedFor)
        start();
}

void BrowseView::setCategory(const NavItem &category)
{
    const bool sameKey = catalogue::CategoryKey::of(category) == catalogue::CategoryKey::of(m_category);
    m_category = category;
    if (sameKey || !m_startedFor)
        return;
    // Whatever the previous category still has in flight must not land on this one.
    invalidateLoads();
    start();
}

QCoro::Task<> BrowseView::start()
{
    QPointer self = this;
    const auto run = m_runs.begin();
    m_startedFor = catalogue::CategoryKey::of(m_category);
    resetFilters();
    co_await loadOptions();
    if (!self || !m_runs.isCurrent(run))
        co_return;
    co_await loadSubTags(run);
    if (!self || !m_runs.isCurrent(run))
        co_return;
    co_await load();
}

void BrowseView::resetFilters()
{
    setPage(1);
    setFilters({});
}

// Every picker or toggle that takes a new value reloads page 1, once per value, whoever set
// it: the user, or the reset of a new category.
void BrowseView::setFilters(const catalogue::BrowseFilters &filters)
{
    const int reloads = catalogue::reloadsFor(m_filters, filters);
    m_filters = filters;
    m_bar->setFilters(m_filters);
    for (int i = 0; i < reloads; ++i)
        reload();
}

void BrowseView::editFilters(const catalogue::BrowseFilters &filters)
{
    // The chip is not the bar's to change.
    catalogue::BrowseFilters next = filters;
    next.tag = m_filters.tag;
    setFilters(next);
}

void BrowseView::pickChip(const std::optional<QString> &tag)
{
    m_filters.tag = tag;
    m_bar->setFilters(m_filters);
    changePage(1);
}

void BrowseView::reload()
{
    changePage(1);
}

QCoro::Task<> BrowseView::loadOptions()
{
    QPointer self = this;
    DiskCache *cache = DiskCache::shared();
    if (!m_options) {
        if (auto stored = cache->load<FilterOptions>(kOptionsKey, kOptionsMaxAge)) {
            m_options = std::move(*stored);
            m_bar->setOptions(m_options);
        }
    }
    auto reply = co_await APIClient::shared()->filterOptions();
    if (!self)
        co_return;
    // The vocabularies belong to no category, so even a reply that outlived its start is good.
    if (reply) {
        m_options = std::move(*reply);
        m_bar->setOptions(m_options);
        cache->save(*m_options, kOptionsKey);
    }
}

QCoro::Task<> BrowseView::loadSubTags(LoadGeneration::Ticket run)
{
    QPointer self = this;
    const auto pid = catalogue::categoryTagParent(m_category.id);
    if (!pid) {
        m_subTags.clear();
        m_bar->setSubTags(m_subTags);
        co_return;
    }
    auto reply = co_await APIClient::shared()->tags(*pid);
    if (!self || !m_runs.isCurrent(run))
        co_return;
    m_subTags = reply ? std::move(*reply) : QList<Tag>();
    m_bar->setSubTags(m_subTags);
}

QCoro::Task<Result<Page<QList<Item>>>> BrowseView::fetchPage(qint64 page)
{
    return APIClient::shared()->filter(catalogue::browseQuery(m_category.name, m_filters), page);
}

QString BrowseView::emptyText() const
{
    return QStringLiteral("当前筛选条件下没有资源");
}

}
