#include "views/catalogue/searchview.h"

#include "models/cataloguelogic.h"
#include "network/apiclient.h"
#include "views/catalogue/posterlistpage.h"
#include "views/components/stateoverlay.h"

#include <QPointer>
#include <QShowEvent>
#include <QStackedLayout>

namespace tovra {

SearchView::SearchView(const QString &query, QWidget *parent) : QWidget(parent), m_query(query)
{
    m_stack = new QStackedLayout(this);
    m_placeholder = PosterListPage::skeleton(kSkeletonCards, this);
    m_overlay = new StateOverlay(StateOverlay::Kind::loading(), this);
    m_list = new PosterListPage(PosterListPage::Style::Bare, nullptr, this);
    m_stack->addWidget(m_placeholder);
    m_stack->addWidget(m_overlay);
    m_stack->addWidget(m_list);
    connect(m_list, &PosterListPage::selected, this, &SearchView::selected);
    connect(m_list, &PosterListPage::pageRequested, this, &SearchView::changePage);
    render();
}

SearchView::Shown SearchView::shown() const
{
    if (m_loading)
        return Shown::Placeholder;
    if (m_error)
        return Shown::Error;
    return m_items.isEmpty() ? Shown::Empty : Shown::List;
}

void SearchView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // The first appearance searches; coming back (from a title page) keeps the results.
    if (!m_searched)
        search();
}

void SearchView::setQuery(const QString &query)
{
    m_query = query;
    if (m_searched && *m_searched != query)
        search();
}

void SearchView::search()
{
    m_searched = m_query;
    m_page = 1;
    load();
}

void SearchView::changePage(qint64 page)
{
    m_page = page;
    load();
}

void SearchView::retry()
{
    load();
}

QCoro::Task<> SearchView::load()
{
    QPointer self = this;
    const auto ticket = m_generation.begin();
    const QString query = m_query;
    const qint64 page = m_page;
    m_loading = true;
    m_error.reset();
    render();

    auto reply = co_await APIClient::shared()->search(query, page);
    if (!self || !m_generation.isCurrent(ticket))
        co_return;
    if (reply) {
        m_items = std::move(reply->data);
        m_meta = std::move(reply->meta);
    } else {
        // The previous titles stay in memory, unseen behind the error; retry asks for this page.
        m_error = reply.error().description();
    }
    m_loading = false;
    render();
}

void SearchView::render()
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
        m_overlay->setKind(StateOverlay::Kind::empty(catalogue::searchEmptyText(m_query)));
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
