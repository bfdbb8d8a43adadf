#pragma once

#include "views/catalogue/cachedpagedlist.h"

namespace tovra {

// The Top 250 section: the list page by page under "豆瓣 Top250", a stored page up to an hour
// old shown at once.
class Top250View : public CachedPagedList
{
    Q_OBJECT
public:
    explicit Top250View(QWidget *parent = nullptr);

protected:
    std::optional<Page<QList<Item>>> cachedPage(qint64 page) const override;
    QCoro::Task<Result<Page<QList<Item>>>> fetchPage(qint64 page) override;
    QString emptyText() const override;
};

}
