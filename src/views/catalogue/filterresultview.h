#pragma once

#include "views/catalogue/cachedpagedlist.h"

class QLabel;

namespace tovra {

// The titles matching one fixed filter query (a title page's director, region or year link),
// page by page under the link's heading with the number of matches.
class FilterResultView : public CachedPagedList
{
    Q_OBJECT
public:
    FilterResultView(const QString &title, const Params &params, QWidget *parent = nullptr);

    const QString &title() const { return m_title; }
    const Params &params() const { return m_params; }
    // "共 37 部" while the paging block gives a total of 1 or more; hidden otherwise.
    QLabel *totalLabel() const { return m_total; }

protected:
    std::optional<Page<QList<Item>>> cachedPage(qint64 page) const override;
    QCoro::Task<Result<Page<QList<Item>>>> fetchPage(qint64 page) override;
    QString emptyText() const override;
    void contentChanged() override;

private:
    static QWidget *makeHeading(const QString &title);

    QString m_title;
    Params m_params;
    QLabel *m_total = nullptr;
};

}
