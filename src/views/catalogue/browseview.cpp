#include "views/catalogue/browseview.h"

#include "network/apiclient.h"
#include "store/diskcache.h"
#include "views/catalogue/filterbar.h"
#include "views/catalogue/posterlistpage.h"
#include "views/components/appearance.h"
#include "views/components/stateoverlay.h"
#include "views/palette.h"

#include <QPointer>
#include <QShowEvent>
#include <QStackedLayout>
#include <QVBoxLayout>

namespace tovra {

BrowseView::BrowseView(const NavItem &category, QWidget *parent) : QWidget(parent), m_category(category)
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
    m_stack = new QStackedLayout(content);
    m_placeholder = PosterListPage::skeleton(kSkeletonCards, content);
    m_overlay = new StateOverlay(StateOverlay::Kind::loading(), content);
    m_list = new PosterListPage(PosterListPage::Style::Bare, nullptr, content);
    m_stack->addWidget(m_placeholder);
    m_stack->addWidget(m_overlay);
    m_stack->addWidget(m_list);
    column->addWidget(content, 1);

    connect(m_bar, &FilterBar::chipPicked, this, &BrowseView::pickChip);
    connect(m_bar, &FilterBar::filtersEdited, this, &BrowseView::editFilters);
    connect(m_list, &PosterListPage::selected, this, &BrowseView::selected);
    connect(m_list, &PosterListPage::pageRequested, this, &BrowseView::changePage);
    render();
}

BrowseView::Shown BrowseView::shown() const
{
    if (m_loading)
        return Shown::Placeholder;
    if (m_error)
        return Shown::Error;
    return m_items.isEmpty() ? Shown::Empty : Shown::List;
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
    m_loads.invalidate();
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
    m_page = 1;
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
    m_page = 1;
    load();
}

void BrowseView::changePage(qint64 page)
{
    m_page = page;
    load();
}

void BrowseView::retry()
{
    load();
}

void BrowseView::reload()
{
    m_page = 1;
    load();
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

QCoro::Task<> BrowseView::load()
{
    QPointer self = this;
    const auto ticket = m_loads.begin();
    const Params params = catalogue::browseQuery(m_category.name, m_filters);
    const qint64 page = m_page;
    m_loading = true;
    m_error.reset();
    render();

    auto reply = co_await APIClient::shared()->filter(params, page);
    if (!self || !m_loads.isCurrent(ticket))
        co_return;
    if (reply) {
        m_items = std::move(reply->data);
        m_meta = std::move(reply->meta);
    } else {
        m_error = reply.error().description();
    }
    m_loading = false;
    render();
}

void BrowseView::render()
{
    switch (shown()) {
    case Shown::Placeholder:
        m_stack->setCurrentWidget(m_placeholder);
        break;
    case Shown::Error: {
        QPointer self = this;
        m_overlay->setKind(StateOverlay::Kind::error(*m_error, [self] {
            if (self)
                self->retry();
        }));
        m_stack->setCurrentWidget(m_overlay);
        break;
    }
    case Shown::Empty:
        m_overlay->setKind(StateOverlay::Kind::empty(QStringLiteral("当前筛选条件下没有资源")));
        m_stack->setCurrentWidget(m_overlay);
        break;
    case Shown::List:
        m_list->setItems(m_items);
        m_list->setPaging(m_meta, m_page);
        m_stack->setCurrentWidget(m_list);
        break;
    }
}

}
