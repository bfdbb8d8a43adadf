#include "views/usercenter/watchingview.h"

#include "models/usercenterlogic.h"
#include "network/apiclient.h"
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
#include <QScrollArea>
#include <QScrollBar>
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

    m_scroll = new QScrollArea(this);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->viewport()->setAutoFillBackground(false);
    m_list = new QWidget(m_scroll);
    m_list->setAutoFillBackground(false);
    m_listLayout = new QVBoxLayout(m_list);
    m_listLayout->setContentsMargins(kSideInset, 8, kSideInset, 8);
    m_listLayout->setSpacing(8);
    m_listLayout->addStretch(1);
    m_scroll->setWidget(m_list);
    m_stack->addWidget(m_scroll);

    render();
}

QList<QWidget *> WatchingView::rows() const
{
    return m_list->findChildren<QWidget *>(QStringLiteral("watchingRow"), Qt::FindDirectChildrenOnly);
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

void WatchingView::render()
{
    if (m_loading) {
        m_overlay->setKind(StateOverlay::Kind::loading());
    } else if (m_error) {
        m_overlay->setKind(StateOverlay::Kind::error(*m_error, [this] { load(); }));
    } else if (m_items.isEmpty()) {
        m_overlay->setKind(StateOverlay::Kind::empty(usercenter::kWatchingEmpty));
    } else {
        m_stack->setCurrentWidget(m_scroll);
        return;
    }
    m_stack->setCurrentWidget(m_overlay);
}

void WatchingView::rebuildRows()
{
    while (m_listLayout->count() > 1) {
        QLayoutItem *item = m_listLayout->takeAt(0);
        delete item->widget();
        delete item;
    }
    for (const WatchingItem &item : std::as_const(m_items))
        m_listLayout->insertWidget(m_listLayout->count() - 1, makeRow(item));
    m_scroll->verticalScrollBar()->setValue(0);
}

QWidget *WatchingView::makeRow(const WatchingItem &item)
{
    auto *row = new QWidget(m_list);
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
        text->addWidget(bar);
    }
    line->addLayout(text, 1);

    auto *resume = new QPushButton(QStringLiteral("继续观看"), row);
    resume->setObjectName(QStringLiteral("resumeButton"));
    resume->setAutoDefault(false);
    setPointingHand(resume);
    connect(resume, &QPushButton::clicked, this, [this, item] { play(item); });
    line->addWidget(resume, 0, Qt::AlignVCenter);

    auto *details = new QPushButton(QStringLiteral("详情"), row);
    details->setObjectName(QStringLiteral("detailButton"));
    details->setFlat(true);
    details->setAutoDefault(false);
    setPointingHand(details);
    connect(details, &QPushButton::clicked, this, [this, did = item.did] { emit selected(did); });
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
