#include "views/usercenter/goldlogview.h"

#include "models/usercenterlogic.h"
#include "network/apiclient.h"
#include "store/authstore.h"
#include "views/components/appearance.h"
#include "views/components/pager.h"
#include "views/components/stateoverlay.h"
#include "views/components/typography.h"
#include "views/detail/tint.h"
#include "views/usercenter/hairline.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QShowEvent>
#include <QStackedLayout>
#include <QVBoxLayout>

namespace tovra {

namespace {
constexpr qreal kCaption = 11;
constexpr int kBalanceWidth = 70;
constexpr int kSideInset = 16;
// The row's own 3 plus what a list row adds around its content.
constexpr int kRowInset = 3 + 4;
}

GoldLogView::GoldLogView(QWidget *parent) : QWidget(parent)
{
    m_stack = new QStackedLayout(this);
    m_overlay = new StateOverlay(StateOverlay::Kind::loading(), this);
    m_stack->addWidget(m_overlay);

    m_content = new QWidget(this);
    auto *column = new QVBoxLayout(m_content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_rows = usercenter::RowList(m_content, kSideInset, 0);
    column->addWidget(m_rows.scroll, 1);
    m_pager = new Pager(std::nullopt, 1, [this](qint64 page) { setPage(page); }, m_content);
    column->addWidget(m_pager);
    m_stack->addWidget(m_content);

    connect(AuthStore::shared(), &AuthStore::accountChanged, this, &GoldLogView::dropAccount);
    render();
}

QString GoldLogView::time(qint64 unixSeconds)
{
    return usercenter::time(unixSeconds);
}

QList<QWidget *> GoldLogView::rows() const
{
    return m_rows.list->findChildren<QWidget *>(QStringLiteral("goldLogRow"), Qt::FindDirectChildrenOnly);
}

void GoldLogView::setPage(qint64 page)
{
    m_page = page;
    load();
}

void GoldLogView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        load();
}

void GoldLogView::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    // Leaving the screen drops the load under way; coming back loads again.
    if (!event->spontaneous())
        m_loads.invalidate();
}

QCoro::Task<> GoldLogView::load()
{
    QPointer self = this;
    const auto ticket = m_loads.begin();
    m_loading = true;
    m_error.reset();
    render();
    auto reply = co_await APIClient::shared()->goldLog(m_page);
    if (!self || !m_loads.isCurrent(ticket))
        co_return;
    if (reply) {
        m_items = std::move(reply->data);
        m_meta = std::move(reply->meta);
        rebuildRows();
    } else {
        m_error = reply.error().description();
    }
    m_loading = false;
    render();
}

// The ledger and its page number belong to the account that was signed in. A page on screen
// asks again at once (signed out, that is the site's refusal); a hidden one when it next shows.
void GoldLogView::dropAccount()
{
    m_loads.invalidate();
    m_items.clear();
    m_meta.reset();
    m_page = 1;
    m_loading = true;
    m_error.reset();
    rebuildRows();
    render();
    if (isVisible())
        load();
}

void GoldLogView::render()
{
    if (usercenter::showLoadState(m_overlay, m_loading, m_error, m_items.isEmpty(), usercenter::kGoldLogEmpty,
                                  [this] { load(); })) {
        m_stack->setCurrentWidget(m_overlay);
        return;
    }
    m_pager->setState(m_meta, m_page);
    m_stack->setCurrentWidget(m_content);
}

void GoldLogView::rebuildRows()
{
    m_rows.clear();
    for (qsizetype i = 0; i < m_items.size(); ++i) {
        if (i > 0)
            m_rows.append(usercenter::hairline(m_rows.list, Palette::Name::BorderSoft));
        m_rows.append(makeRow(m_items.at(i)));
    }
    m_rows.scrollToTop();
}

QWidget *GoldLogView::makeRow(const GoldLog &log)
{
    auto *row = new QWidget(m_rows.list);
    row->setObjectName(QStringLiteral("goldLogRow"));
    auto *line = new QHBoxLayout(row);
    line->setContentsMargins(0, kRowInset, 0, kRowInset);

    auto *text = new QVBoxLayout;
    text->setSpacing(2);
    auto *head = new QHBoxLayout;
    head->setSpacing(6);
    auto *kind = tintedLabel(log.typeName, TextStyle::kBody, Palette::Name::Text, row);
    kind->setObjectName(QStringLiteral("kind"));
    head->addWidget(kind, 0, Qt::AlignVCenter);
    if (!log.explain.isEmpty()) {
        auto *explain = tintedLabel(log.explain, kCaption, Palette::Name::TextDim, row);
        explain->setObjectName(QStringLiteral("explain"));
        head->addWidget(explain, 0, Qt::AlignVCenter);
    }
    head->addStretch(1);
    text->addLayout(head);
    auto *when = tintedLabel(time(log.created), kCaption, Palette::Name::TextFaint, row);
    when->setObjectName(QStringLiteral("time"));
    text->addWidget(when);
    line->addLayout(text, 1);

    auto *amount = new QLabel(row);
    amount->setObjectName(QStringLiteral("amount"));
    amount->setTextFormat(Qt::PlainText);
    amount->setText(usercenter::goldAmount(log));
    amount->setFont(monoFont(TextStyle::kCallout, QFont::Bold));
    tint(amount, usercenter::isDebit(log) ? Palette::Name::Error : Palette::Name::Accent);
    line->addWidget(amount, 0, Qt::AlignVCenter);

    auto *balance = new QLabel(row);
    balance->setObjectName(QStringLiteral("balance"));
    balance->setTextFormat(Qt::PlainText);
    balance->setText(usercenter::balanceText(log));
    balance->setFont(monoFont(kCaption));
    balance->setFixedWidth(kBalanceWidth);
    balance->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    tint(balance, Palette::Name::TextDim);
    line->addWidget(balance, 0, Qt::AlignVCenter);
    return row;
}

}
