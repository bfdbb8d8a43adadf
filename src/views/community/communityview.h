#pragma once

#include "models/community.h"
#include "models/loadgeneration.h"

#include <QCoroTask>
#include <QList>
#include <QWidget>
#include <optional>

class QStackedLayout;

namespace tovra {

class BoardChip;
class PostFeed;
class StateOverlay;

// The community board: short posts by the site's users, one at a time in a paging feed, under
// a bar of media filters. Pages come from the site as the user nears the end of the feed. The
// board keeps no cache and never refreshes on its own.
class CommunityView : public QWidget
{
    Q_OBJECT
public:
    explicit CommunityView(QWidget *parent = nullptr);

    // reset: the first page again (for a new filter or a retry); otherwise the next page, unless
    // one is already loading or the last page came.
    QCoro::Task<> load(bool reset);

    // Choosing a filter chip; the selected one again does nothing.
    void chooseFilter(const QString &value);
    // The post in view changed (the feed was paged).
    void setCurrent(const std::optional<QString> &did);

    const QList<BbsPost> &posts() const { return m_posts; }
    const QString &filter() const { return m_filter; }
    qint64 page() const { return m_page; }
    bool hasMore() const { return m_hasMore; }
    bool isLoading() const { return m_loading; }
    const std::optional<QString> &error() const { return m_error; }
    const std::optional<QString> &current() const { return m_current; }

    StateOverlay *overlay() const { return m_overlay; }
    PostFeed *feed() const { return m_feed; }
    const QList<BoardChip *> &chips() const { return m_chips; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    QWidget *buildFilterBar();
    void dropAccount();
    void render();
    void applyLike(const QString &did, const BbsLikeResult &result);

    QList<BbsPost> m_posts;
    QString m_filter;
    qint64 m_page = 1;
    bool m_hasMore = true;
    bool m_loading = true;
    std::optional<QString> m_error;
    std::optional<QString> m_current;
    bool m_started = false;
    // A reset makes every earlier load stale: a list for the old filter, or a page to append to
    // the old list, would otherwise land on the new one.
    LoadGeneration m_generation;

    QList<BoardChip *> m_chips;
    QStackedLayout *m_stack = nullptr;
    StateOverlay *m_overlay = nullptr;
    PostFeed *m_feed = nullptr;
};

}
