#include "views/usercenter/watchingview.h"

#include "models/usercenterlogic.h"
#include "network/apiclient.h"
#include "store/authstore.h"
#include "views/components/access.h"
#include "views/components/appearance.h"
#include "views/components/pointinghand.h"
#include "views/components/poster.h"
#include "views/components/stateoverlay.h"
#include "views/components/typography.h"
#include "views/detail/tint.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QStackedLayout>
#include <QVBoxLayout>
#include <limits>

namespace tovra {

namespace {
constexpr qreal kCaption = 11;
constexpr int kPosterWidth = 50;
constexpr int kBarWidth = 220;
constexpr int kBarSteps = 1000;
constexpr int kSideInset = 16;
}

WatchingView::WatchingView(QWidget *parent) : QWidget(parent)
{
    m_stack = new QStackedLayout(this);
    m_overlay = new StateOverlay(StateOverlay::Kind::loading(), this);
    m_stack->addWidget(m_overlay);

    m_rows = usercenter::RowList(this, kSideInset, 8);
    m_stack->addWidget(m_rows.scroll);

    connect(AuthStore::shared(), &AuthStore::accountChanged, this, &WatchingView::dropAccount);
    render();
}

QList<QWidget *> WatchingView::rows() const
{
    return m_rows.list->findChildren<QWidget *>(QStringLiteral("watchingRow"), Qt::FindDirectChildrenOnly);
}

void WatchingView::reload()
{
    load();
}

void WatchingView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        load();
}

void WatchingView::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    // The load belongs to this appearance; coming back (say, from the player) asks again, and
    // the history then includes what was just watched.
    if (!event->spontaneous())
        m_loads.invalidate();
}

QCoro::Task<> WatchingView::load()
{
    QPointer self = this;
    const auto ticket = m_loads.begin();
    m_loading = true;
    m_error.reset();
    render();
    auto reply = co_await APIClient::shared()->watching();
    if (!self || !m_loads.isCurrent(ticket))
        co_return;
    if (reply) {
        m_items = std::move(*reply);
        rebuildRows();
    } else {
        m_error = reply.error().description();
    }
    m_loading = false;
    render();
}

// The history is the signed-in account's: another account's (or none) is asked for at once
// while the page shows, and when it next shows otherwise.
void WatchingView::dropAccount()
{
    m_loads.invalidate();
    m_items.clear();
    m_loading = true;
    m_error.reset();
    rebuildRows();
    render();
    if (isVisible())
        load();
}

void WatchingView::render()
{
    const bool state = usercenter::showLoadState(m_overlay, m_loading, m_error, m_items.isEmpty(),
                                                 usercenter::kWatchingEmpty, [this] { load(); });
    m_stack->setCurrentWidget(state ? static_cast<QWidget *>(m_overlay) : m_rows.scroll);
}

void WatchingView::rebuildRows()
{
    m_rows.clear();
    for (const WatchingItem &item : std::as_const(m_items))
        m_rows.append(makeRow(item));
    m_rows.scrollToTop();
}

QWidget *WatchingView::makeRow(const WatchingItem &item)
{
    auto *row = new QWidget(m_rows.list);
    row->setObjectName(QStringLiteral("watchingRow"));
    auto *line = new QHBoxLayout(row);
    line->setContentsMargins(0, 4, 0, 4);
    line->setSpacing(12);

    auto *poster = new Poster(item.image, row);
    poster->setFixedSize(kPosterWidth, kPosterWidth * 3 / 2);
    poster->setCornerRadius(4);
    line->addWidget(poster, 0, Qt::AlignVCenter);

    auto *text = new QVBoxLayout;
    text->setSpacing(4);
    auto *title = tintedLabel(item.title, TextStyle::kBody, Palette::Name::Text, row, QFont::DemiBold);
    title->setObjectName(QStringLiteral("title"));
    title->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    text->addWidget(title);
    auto *where = tintedLabel(usercenter::progressLine(item), kCaption, Palette::Name::TextDim, row);
    where->setObjectName(QStringLiteral("progressLine"));
    text->addWidget(where);
    if (const auto fraction = usercenter::progress(item)) {
        auto *bar = new QProgressBar(row);
        bar->setObjectName(QStringLiteral("progressBar"));
        bar->setRange(0, kBarSteps);
        bar->setValue(qRound(*fraction * kBarSteps));
        bar->setTextVisible(false);
        bar->setFixedHeight(6);
        bar->setMaximumWidth(kBarWidth);
        // Shows how far the user got; nothing to set.
        Access::describe(bar, QStringLiteral("看到 %1%").arg(qRound(*fraction * 100)), QAccessible::ProgressBar);
        text->addWidget(bar);
    }
    line->addLayout(text, 1);

    auto *resume = new QPushButton(QStringLiteral("继续观看"), row);
    resume->setObjectName(QStringLiteral("resumeButton"));
    resume->setAutoDefault(false);
    // Every row has these two: the title tells them apart.
    resume->setAccessibleName(QStringLiteral("继续观看 ") + usercenter::playTitle(item));
    setPointingHand(resume);
    connect(resume, &QPushButton::clicked, this, [this, item] { play(item); });
    // Buttons keep their own width; the room left over belongs to the text column.
    resume->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    line->addWidget(resume, 0, Qt::AlignVCenter);

    auto *details = new QPushButton(QStringLiteral("详情"), row);
    details->setObjectName(QStringLiteral("detailButton"));
    details->setFlat(true);
    details->setAutoDefault(false);
    details->setAccessibleName(QStringLiteral("详情 ") + item.title);
    setPointingHand(details);
    connect(details, &QPushButton::clicked, this, [this, did = item.did] { emit selected(did); });
    details->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    line->addWidget(details, 0, Qt::AlignVCenter);
    return row;
}

void WatchingView::play(const WatchingItem &item)
{
    const PlayEntry entry{item.episode, item.did, item.token, item.expired};
    // The position goes to the player unchanged; only a value no int can hold is pinned.
    const int startAt = int(std::clamp<qint64>(item.pos, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
    emit playRequested(entry, usercenter::playTitle(item), startAt);
}

}
