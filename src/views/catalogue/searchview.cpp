#include "views/catalogue/searchview.h"

#include "models/cataloguelogic.h"
#include "network/apiclient.h"
#include "views/components/postergrid.h"

#include <QShowEvent>

namespace tovra {

// A failed page shows the error over the previous titles (kept in memory, unseen); retry asks
// for the failed page.
SearchView::SearchView(const QString &query, QWidget *parent)
    : PagedPosterView(OnFailure::ShowError, parent), m_query(query)
{
    buildStates(this, kSkeletonCards, PosterListPage::Style::Bare);
    render();
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
    list()->grid()->setAccessibleName(QStringLiteral("搜索结果：") + m_query);
    changePage(1);
}

QCoro::Task<Result<Page<QList<Item>>>> SearchView::fetchPage(qint64 page)
{
    return APIClient::shared()->search(m_query, page);
}

QString SearchView::emptyText() const
{
    return catalogue::searchEmptyText(m_query);
}

}
