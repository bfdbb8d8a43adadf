#pragma once

#include "models/apiresponse.h"
#include "models/catalogue.h"
#include "models/loadgeneration.h"

#include <QCoroTask>
#include <QWidget>
#include <optional>

class QStackedLayout;
class QScrollArea;

namespace tovra {

class PosterListPage;
class StateOverlay;

// The results of a submitted search, page by page, always from the network. The screen stays
// in place for a new search text and starts again from page 1; returning to it keeps the page
// the user was on.
class SearchView : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kSkeletonCards = 21;

    explicit SearchView(const QString &query, QWidget *parent = nullptr);

    const QString &query() const { return m_query; }
    // A text other than the one last searched for runs a new search from page 1.
    void setQuery(const QString &query);

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
    void changePage(qint64 page);
    void retry();

signals:
    void selected(const QString &did);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void search();
    QCoro::Task<> load();
    void render();

    QString m_query;
    std::optional<QString> m_searched; // the text the last search ran for
    QList<Item> m_items;
    std::optional<Meta> m_meta;
    qint64 m_page = 1;
    std::optional<QString> m_error;
    bool m_loading = true;
    LoadGeneration m_generation;

    QStackedLayout *m_stack = nullptr;
    QScrollArea *m_placeholder = nullptr;
    StateOverlay *m_overlay = nullptr;
    PosterListPage *m_list = nullptr;
};

}
