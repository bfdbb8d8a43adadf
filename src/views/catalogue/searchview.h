#pragma once

#include "views/catalogue/pagedposterview.h"

namespace tovra {

// The results of a submitted search, page by page, always from the network. The screen stays
// in place for a new search text and starts again from page 1; returning to it keeps the page
// the user was on.
class SearchView : public PagedPosterView
{
    Q_OBJECT
public:
    static constexpr int kSkeletonCards = 21;

    explicit SearchView(const QString &query, QWidget *parent = nullptr);

    const QString &query() const { return m_query; }
    // A text other than the one last searched for runs a new search from page 1.
    void setQuery(const QString &query);

protected:
    QCoro::Task<Result<Page<QList<Item>>>> fetchPage(qint64 page) override;
    QString emptyText() const override;
    void showEvent(QShowEvent *event) override;

private:
    void search();

    QString m_query;
    std::optional<QString> m_searched; // the text the last search ran for
};

}
