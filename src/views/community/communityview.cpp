#include "views/community/communityview.h"

#include "models/communitylogic.h"
#include "network/apiclient.h"
#include "store/authstore.h"
#include "views/community/boardchip.h"
#include "views/community/postfeed.h"
#include "views/components/appearance.h"
#include "views/components/stateoverlay.h"
#include "views/palette.h"
#include "views/components/stackstates.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPointer>
#include <QStackedLayout>
#include <QVBoxLayout>

namespace tovra {

namespace {
// The one-pixel rule under the filter bar, in the border colour of the appearance in effect.
class Divider : public QWidget
{
public:
    explicit Divider(QWidget *parent) : QWidget(parent)
    {
        setFixedHeight(1);
        followAppearance(this);
    }

protected:
    void paintEvent(QPaintEvent *) override { QPainter(this).fillRect(rect(), Palette::border()); }
};
}

CommunityView::CommunityView(QWidget *parent) : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(buildFilterBar());
    layout->addWidget(new Divider(this));

    auto *content = new QWidget(this);
    m_stack = new QStackedLayout(content);
    m_overlay = new StateOverlay(StateOverlay::Kind::loading(), content);
    QPointer self = this;
    m_feed = new PostFeed(
        [self](const QString &did, const BbsLikeResult &result) {
            if (self)
                self->applyLike(did, result);
        },
        content);
    m_stack->addWidget(m_overlay);
    m_stack->addWidget(m_feed);
    layout->addWidget(content, 1);
    connect(m_feed, &PostFeed::currentChanged, this, [this](const QString &did) { setCurrent(did); });
    connect(AuthStore::shared(), &AuthStore::accountChanged, this, &CommunityView::dropAccount);
    render();
}

QWidget *CommunityView::buildFilterBar()
{
    auto *bar = new QWidget(this);
    auto *row = new QHBoxLayout(bar);
    row->setContentsMargins(16, 10, 16, 10);
    row->setSpacing(6);
    for (const community::FilterEntry &entry : community::filters()) {
        auto *chip = new BoardChip(entry.value, entry.label, bar);
        chip->setSelected(entry.value == m_filter);
        connect(chip, &QAbstractButton::clicked, this, [this, value = entry.value] { chooseFilter(value); });
        row->addWidget(chip);
        m_chips.append(chip);
    }
    row->addStretch();
    return bar;
}

void CommunityView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_started)
        return;
    m_started = true;
    load(true);
}

void CommunityView::chooseFilter(const QString &value)
{
    if (value == m_filter)
        return;
    m_filter = value;
    for (BoardChip *chip : std::as_const(m_chips))
        chip->setSelected(chip->value() == value);
    load(true);
}

void CommunityView::setCurrent(const std::optional<QString> &did)
{
    if (did == m_current)
        return;
    m_current = did;
    if (m_feed->current() != did)
        m_feed->setCurrent(did);
    if (did && community::isNearEnd(m_posts, *did))
        load(false);
}

QCoro::Task<> CommunityView::load(bool reset)
{
    LoadGeneration::Ticket ticket = 0;
    if (reset) {
        m_page = 1;
        m_hasMore = true;
        m_loading = true;
        m_error.reset();
        ticket = m_generation.begin();
    } else {
        if (!m_hasMore || m_loading)
            co_return;
        m_loading = true;
        ticket = m_generation.current();
    }
    render();

    QPointer self = this;
    auto reply = co_await APIClient::shared()->bbsList(m_filter, m_page);
    if (!self || !m_generation.isCurrent(ticket))
        co_return;

    std::optional<QString> scrollTo = m_current;
    if (reply) {
        if (reset) {
            m_posts = community::distinctPosts(std::move(reply->data));
            scrollTo = m_posts.isEmpty() ? std::nullopt : std::optional(m_posts.constFirst().did);
        } else {
            m_posts.append(community::newPosts(m_posts, reply->data));
        }
        m_hasMore = community::hasMorePages(reply->meta);
        if (m_hasMore)
            ++m_page;
    } else {
        if (m_posts.isEmpty())
            m_error = reply.error().description();
        m_hasMore = false;
    }
    m_loading = false;
    m_feed->setPosts(m_posts);
    render();
    // After the state is written, so a near-end check from the new post in view may append.
    if (reset && reply) {
        m_current.reset();
        setCurrent(scrollTo);
    }
}

// Which posts are liked is the previous account's; the board starts over for the new one, at
// once if it is on screen.
void CommunityView::dropAccount()
{
    if (!m_started)
        return;
    m_posts.clear();
    m_current.reset();
    m_feed->setPosts(m_posts);
    if (isVisible()) {
        load(true);
        return;
    }
    m_started = false;
    m_generation.invalidate();
    m_loading = true;
    m_error.reset();
    render();
}

void CommunityView::applyLike(const QString &did, const BbsLikeResult &result)
{
    for (BbsPost &post : m_posts) {
        if (post.did == did) {
            post.applyLike(result);
            m_feed->updatePost(post);
            return;
        }
    }
}

void CommunityView::render()
{
    if (m_loading && m_posts.isEmpty()) {
        m_overlay->setKind(StateOverlay::Kind::loading());
        m_stack->setCurrentWidget(m_overlay);
    } else if (m_error && m_posts.isEmpty()) {
        showFailure(m_overlay, *m_error, this, [](CommunityView *view) { view->load(true); });
        m_stack->setCurrentWidget(m_overlay);
    } else if (!m_posts.isEmpty()) {
        m_stack->setCurrentWidget(m_feed);
    } else {
        m_overlay->setKind(StateOverlay::Kind::empty(community::emptyText()));
        m_stack->setCurrentWidget(m_overlay);
    }
}

}
