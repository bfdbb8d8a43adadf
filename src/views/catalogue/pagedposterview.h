#pragma once

#include "models/apiresponse.h"
#include "models/catalogue.h"
#include "models/loadgeneration.h"
#include "network/apiclient.h"
#include "views/catalogue/posterlistpage.h"

#include <QCoroTask>
#include <QWidget>
#include <optional>

class QStackedLayout;

namespace tovra {

class StateOverlay;

// What the paged poster screens (category browser, search results, Top 250, filtered results)
// have in common: a placeholder, an error or empty message and the poster list, swapped in one
// stack; the titles of one page at a time; and a load that only writes while it is the newest.
// Subclasses say where the stack sits, what to ask the network for and what an empty page says.
class PagedPosterView : public QWidget
{
    Q_OBJECT
public:
    // What is on show.
    enum class Shown { Placeholder, Error, Empty, List };
    Shown shown() const;

    qint64 page() const { return m_page; }
    const QList<Item> &items() const { return m_items; }
    const std::optional<Meta> &meta() const { return m_meta; }
    const std::optional<QString> &error() const { return m_error; }
    bool isLoading() const { return m_loading; }

    StateOverlay *overlay() const { return m_overlay; }
    PosterListPage *list() const { return m_list; }

public slots:
    // As the page bar asks.
    void changePage(qint64 page);
    // The error state's action: the requested page again.
    void retry();

signals:
    void selected(const QString &did);

protected:
    // What a failed load does when titles of an earlier page are still at hand.
    enum class OnFailure {
        ShowError,  // the error covers them (they stay in memory, unseen)
        KeepTitles, // they stay on screen, silently, and the page number returns to theirs
    };

    explicit PagedPosterView(OnFailure onFailure, QWidget *parent = nullptr);

    // Builds the stack in host (this view or a part of it); called once, from the constructor.
    void buildStates(QWidget *host, int skeletonCards, PosterListPage::Style style, QWidget *header = nullptr);

    // A stored reply for the page to show while the network answers; none by default.
    virtual std::optional<Page<QList<Item>>> cachedPage(qint64 page) const;
    virtual QCoro::Task<Result<Page<QList<Item>>>> fetchPage(qint64 page) = 0;
    virtual QString emptyText() const = 0;
    // The list or its paging block changed (the heading may show a total).
    virtual void contentChanged() {}

    QCoro::Task<> load();
    // Whatever is in flight writes nothing.
    void invalidateLoads() { m_generation.invalidate(); }
    void setPage(qint64 page) { m_page = page; }
    void render();

private:
    // The page bar had the focus when it asked for another page: the new page's first card takes
    // it, as the page starts again at its top, far from the bar.
    bool m_focusToFirstCard = false;

    void take(Page<QList<Item>> page, qint64 number);
    void focusFirstCardIfAsked();

    OnFailure m_onFailure;
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
