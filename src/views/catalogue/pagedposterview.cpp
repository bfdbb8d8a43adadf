#include "views/catalogue/pagedposterview.h"

#include "views/components/pager.h"
#include "views/components/postergrid.h"
#include "views/components/stackstates.h"
#include "views/components/stateoverlay.h"

#include <QApplication>
#include <QPointer>
#include <QStackedLayout>

namespace tovra {

PagedPosterView::PagedPosterView(OnFailure onFailure, QWidget *parent) : QWidget(parent), m_onFailure(onFailure)
{
}

void PagedPosterView::buildStates(QWidget *host, int skeletonCards, PosterListPage::Style style, QWidget *header)
{
    m_stack = new QStackedLayout(host);
    m_placeholder = PosterListPage::skeleton(skeletonCards, host);
    m_overlay = new StateOverlay(StateOverlay::Kind::loading(), host);
    m_list = new PosterListPage(style, header, host);
    m_stack->addWidget(m_placeholder);
    m_stack->addWidget(m_overlay);
    m_stack->addWidget(m_list);
    connect(m_list, &PosterListPage::selected, this, &PagedPosterView::selected);
    connect(m_list, &PosterListPage::pageRequested, this, &PagedPosterView::changePage);
}

PagedPosterView::Shown PagedPosterView::shown() const
{
    if (m_loading)
        return Shown::Placeholder;
    if (m_error)
        return Shown::Error;
    return m_items.isEmpty() ? Shown::Empty : Shown::List;
}

std::optional<Page<QList<Item>>> PagedPosterView::cachedPage(qint64) const
{
    return std::nullopt;
}

void PagedPosterView::changePage(qint64 page)
{
    const QWidget *focus = QApplication::focusWidget();
    m_focusToFirstCard = focus && m_list && m_list->pager()->isAncestorOf(focus);
    m_page = page;
    load();
}

void PagedPosterView::retry()
{
    load();
}

void PagedPosterView::take(Page<QList<Item>> page, qint64 number)
{
    m_items = std::move(page.data);
    m_meta = std::move(page.meta);
    m_shownPage = number;
    m_loading = false;
    contentChanged();
}

QCoro::Task<> PagedPosterView::load()
{
    QPointer self = this;
    const auto ticket = m_generation.begin();
    const qint64 page = m_page;

    if (auto stored = cachedPage(page))
        take(std::move(*stored), page);
    else
        m_loading = true;
    m_error.reset();
    render();

    auto reply = co_await fetchPage(page);
    if (!self || !m_generation.isCurrent(ticket))
        co_return;
    if (reply) {
        take(std::move(*reply), page);
    } else if (m_onFailure == OnFailure::KeepTitles && !m_items.isEmpty()) {
        m_page = m_shownPage;
    } else {
        m_error = reply.error().description();
    }
    m_loading = false;
    render();
}

void PagedPosterView::focusFirstCardIfAsked()
{
    if (!std::exchange(m_focusToFirstCard, false))
        return;
    // Unless the user has gone elsewhere meanwhile.
    const QWidget *focus = QApplication::focusWidget();
    if (focus && !isAncestorOf(focus))
        return;
    PosterGrid *grid = m_list->grid();
    grid->setCurrentEntry(0);
    grid->setFocus(Qt::OtherFocusReason);
}

void PagedPosterView::render()
{
    switch (shown()) {
    case Shown::Placeholder:
        m_stack->setCurrentWidget(m_placeholder);
        break;
    case Shown::Error: {
        m_focusToFirstCard = false;
        showFailure(m_overlay, *m_error, this, [](PagedPosterView *view) { view->retry(); });
        m_stack->setCurrentWidget(m_overlay);
        break;
    }
    case Shown::Empty:
        m_focusToFirstCard = false;
        m_overlay->setKind(StateOverlay::Kind::empty(emptyText()));
        m_stack->setCurrentWidget(m_overlay);
        break;
    case Shown::List:
        m_list->setItems(m_items);
        m_list->setPaging(m_meta, m_page);
        m_stack->setCurrentWidget(m_list);
        focusFirstCardIfAsked();
        break;
    }
}

}
