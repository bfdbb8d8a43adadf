#pragma once

#include "models/apiresponse.h"
#include "models/catalogue.h"
#include "models/loadgeneration.h"
#include "network/apiclient.h"

#include <QCoroTask>
#include <QWidget>
#include <optional>

class QStackedLayout;

namespace tovra {

class PosterListPage;
class StateOverlay;

// A paged poster list that shows the last stored reply of a page at once and then the
// network's: the Top 250 list and the filtered results. Subclasses name the two requests, the
// heading and the empty text.
//
// Only the newest load writes: a page change or retry that starts while an older load is in
// flight leaves the older outcome unseen. A page change that fails while titles are on screen
// keeps them, silently, and the page number returns to theirs.
class CachedPagedList : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kSkeletonCards = 7;

    // What is on show.
    enum class Shown { Placeholder, Error, List, Empty };
    Shown shown() const;

    qint64 page() const { return m_page; }
    const QList<Item> &items() const { return m_items; }
    const std::optional<Meta> &meta() const { return m_meta; }
    const std::optional<QString> &error() const { return m_error; }
    bool isLoading() const { return m_loading; }

    StateOverlay *overlay() const { return m_overlay; }
    PosterListPage *list() const { return m_list; }

public slots:
    // As the page bar asks: that page, cached first.
    void changePage(qint64 page);
    // The error state's action: the requested page again.
    void retry();

signals:
    void selected(const QString &did);

protected:
    CachedPagedList(QWidget *header, QWidget *parent);

    virtual std::optional<Page<QList<Item>>> cachedPage(qint64 page) const = 0;
    virtual QCoro::Task<Result<Page<QList<Item>>>> fetchPage(qint64 page) = 0;
    virtual QString emptyText() const = 0;
    // The list or its paging block changed (the heading may show a total).
    virtual void contentChanged() {}

    void showEvent(QShowEvent *event) override;

private:
    QCoro::Task<> load();
    void take(Page<QList<Item>> page, qint64 number);
    void render();

    QList<Item> m_items;
    std::optional<Meta> m_meta;
    qint64 m_page = 1;
    qint64 m_shownPage = 1; // the page the titles in m_items belong to
    std::optional<QString> m_error;
    bool m_loading = true;
    LoadGeneration m_generation;

    QStackedLayout *m_stack = nullptr;
    QWidget *m_placeholder = nullptr;
    StateOverlay *m_overlay = nullptr;
    PosterListPage *m_list = nullptr;
};

}
