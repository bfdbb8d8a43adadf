#include "views/catalogue/rankingview.h"

#include "network/apiclient.h"
#include "views/catalogue/rankingrow.h"
#include "views/components/access.h"
#include "views/components/autorefresh.h"
#include "views/components/stateoverlay.h"
#include "views/components/stackstates.h"

#include <QPointer>
#include <QScrollArea>
#include <QShowEvent>
#include <QStackedLayout>
#include <QVBoxLayout>

namespace tovra {

RankingView::RankingView(QWidget *parent) : QWidget(parent)
{
    m_stack = new QStackedLayout(this);
    m_overlay = new StateOverlay(StateOverlay::Kind::loading(), this);

    m_list = new QScrollArea(this);
    Access::passThrough(m_list);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setWidgetResizable(true);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->viewport()->setAutoFillBackground(false);
    auto *content = new QWidget(m_list);
    content->setAutoFillBackground(false);
    m_rowLayout = new QVBoxLayout(content);
    m_rowLayout->setContentsMargins(10, 10, 10, 10);
    m_rowLayout->setSpacing(0);
    m_rowLayout->addStretch(1);
    m_list->setWidget(content);

    m_stack->addWidget(m_overlay);
    m_stack->addWidget(m_list);

    m_autoRefresh = new AutoRefresh(this, std::chrono::seconds(kRefreshSeconds), [self = QPointer(this)] {
        if (self)
            self->refresh();
    });
    render();
}

RankingView::Shown RankingView::shown() const
{
    if (m_loading)
        return Shown::Loading;
    if (m_error)
        return Shown::Error;
    return m_items.isEmpty() ? Shown::Empty : Shown::List;
}

void RankingView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        reload();
}

void RankingView::reload()
{
    load(false);
}

void RankingView::refresh()
{
    // The application turning active right as the screen first loads would otherwise ask
    // twice for the same thing.
    if (!m_busy)
        load(true);
}

QCoro::Task<> RankingView::load(bool silent)
{
    QPointer self = this;
    const auto ticket = m_generation.begin();
    m_busy = true;
    APIClient *api = APIClient::shared();
    if (!silent) {
        // An empty stored ranking counts as none: better the spinner than a false "no downloads".
        auto stored = api->cachedRanking();
        if (stored && !stored->isEmpty()) {
            setItems(std::move(*stored));
            m_loading = false;
        } else {
            m_loading = true;
        }
        m_error.reset();
        render();
    }

    auto reply = co_await api->ranking();
    if (!self || !m_generation.isCurrent(ticket))
        co_return;
    m_busy = false;
    if (reply) {
        setItems(std::move(*reply));
        m_error.reset();
    } else if (m_items.isEmpty()) {
        m_error = reply.error().description();
    }
    m_loading = false;
    render();
}

void RankingView::setItems(QList<RankItem> items)
{
    m_items = std::move(items);
    // Rows are reused by position; a row whose entry did not change is left untouched.
    for (qsizetype i = 0; i < m_items.size(); ++i) {
        if (i < m_rows.size()) {
            m_rows[i]->setEntry(i + 1, m_items.at(i));
            continue;
        }
        auto *row = new RankingRow(i + 1, m_items.at(i), m_list->widget());
        connect(row, &RankingRow::clicked, this, &RankingView::selected);
        m_rowLayout->insertWidget(int(i), row);
        m_rows.append(row);
    }
    while (m_rows.size() > m_items.size())
        delete m_rows.takeLast();
}

void RankingView::render()
{
    switch (shown()) {
    case Shown::Loading:
        m_overlay->setKind(StateOverlay::Kind::loading());
        m_stack->setCurrentWidget(m_overlay);
        break;
    case Shown::Error: {
        showFailure(m_overlay, *m_error, this);
        m_stack->setCurrentWidget(m_overlay);
        break;
    }
    case Shown::List:
        m_stack->setCurrentWidget(m_list);
        break;
    case Shown::Empty:
        m_overlay->setKind(StateOverlay::Kind::empty(QStringLiteral("今日还没有下载记录")));
        m_stack->setCurrentWidget(m_overlay);
        break;
    }
}

}
