#pragma once

#include "network/apiclient.h"
#include "views/catalogue/pagedposterview.h"

namespace tovra {

// A paged poster list that shows the last stored reply of a page at once and then the
// network's: the Top 250 list and the filtered results. Subclasses name the two requests, the
// heading and the empty text.
//
// Only the newest load writes: a page change or retry that starts while an older load is in
// flight leaves the older outcome unseen. A page change that fails while titles are on screen
// keeps them, silently, and the page number returns to theirs.
class CachedPagedList : public PagedPosterView
{
    Q_OBJECT
public:
    static constexpr int kSkeletonCards = 7;

protected:
    CachedPagedList(QWidget *header, QWidget *parent);

    std::optional<Page<QList<Item>>> cachedPage(qint64 page) const override = 0;

    void showEvent(QShowEvent *event) override;
};

}
