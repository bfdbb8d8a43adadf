#pragma once

#include "models/apiresponse.h"
#include "models/catalogue.h"

#include <QScrollArea>
#include <optional>

namespace tovra {

class Pager;
class PosterGrid;

// The content of the paged poster lists (Top 250, filtered results, category browser, search
// results): a vertical scroll area holding an optional heading, the poster grid and the page
// bar, padded 22 on every side. The grid is kept across updates, so titles that stay keep
// their posters and the scroll position holds; a new page number scrolls back to the top.
class PosterListPage : public QScrollArea
{
    Q_OBJECT
public:
    // Headed lists stack their parts from the leading edge 12 apart; the bare ones (browser,
    // search) centre them 16 apart.
    enum class Style { Headed, Bare };

    PosterListPage(Style style, QWidget *header = nullptr, QWidget *parent = nullptr);

    // The placeholder of these lists: count skeleton cards in a scroll area, padded 22.
    static QScrollArea *skeleton(int count, QWidget *parent = nullptr);

    void setItems(const QList<Item> &items);
    void setPaging(const std::optional<Meta> &meta, qint64 page);

    PosterGrid *grid() const { return m_grid; }
    Pager *pager() const { return m_pager; }
    QWidget *header() const { return m_header; }

signals:
    void selected(const QString &did);
    void pageRequested(qint64 page);

private:
    QWidget *m_header = nullptr;
    PosterGrid *m_grid = nullptr;
    Pager *m_pager = nullptr;
    qint64 m_shownPage = 0;
};

}
