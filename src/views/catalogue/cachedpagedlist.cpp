#include "views/catalogue/cachedpagedlist.h"

#include "views/catalogue/posterlistpage.h"
#include "views/components/stateoverlay.h"

#include <QPointer>
#include <QShowEvent>
#include <QStackedLayout>

namespace tovra {

CachedPagedList::CachedPagedList(QWidget *header, QWidget *parent) : QWidget(parent)
{
    m_stack = new QStackedLayout(this);
    m_placeholder = PosterListPage::skeleton(kSkeletonCards, this);
    m_overlay = new StateOverlay(StateOverlay::Kind::loading(), this);
    m_list = new PosterListPage(PosterListPage::Style::Headed, header, this);
    m_stack->addWidget(m_placeholder);
    m_stack->addWidget(m_overlay);
    m_stack->addWidget(m_list);
    connect(m_list, &PosterListPage::selected, this, &CachedPagedList::selected);
    connect(m_list, &PosterListPage::pageRequested, this, &CachedPagedList::changePage);
    render();
}

CachedPagedList::Shown CachedPagedList::shown() const
{
    if (m_loading)
        return Shown::Placeholder;
    if (m_error)
        return Shown::Error;
    return m_items.isEmpty() ? Shown::Empty : Shown::List;
}

void CachedPagedList::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Each time the screen comes into view (not when the window is merely restored).
    if (!event->spontaneous())
        load();
}

void CachedPagedList::changePage(qint64 page)
{
    m_page = page;
    load();
}

void CachedPagedList::retry()
{
    load();
}

void CachedPagedList::take(Page<QList<Item>> page, qint64 number)
{
    m_items = std::move(page.data);
    m_meta = std::move(page.meta);
    m_shownPage = number;
    m_loading = false;
    contentChanged();
}

QCoro::Task<> CachedPagedList::load()
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
    } else if (m_items.isEmpty()) {
        m_error = reply.error().description();
    } else {
        // The titles on screen stay; so does the number of their page.
        m_page = m_shownPage;
    }
    m_loading = false;
    render();
}

void CachedPagedList::render()
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
    case Shown::List:
        m_list->setItems(m_items);
        m_list->setPaging(m_meta, m_page);
        m_stack->setCurrentWidget(m_list);
        break;
    case Shown::Empty:
        m_overlay->setKind(StateOverlay::Kind::empty(emptyText()));
        m_stack->setCurrentWidget(m_overlay);
        break;
    }
}

}
