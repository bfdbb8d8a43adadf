#include "views/usercenter/usercenterview.h"

#include "network/apiclient.h"
#include "store/authstore.h"
#include "views/components/access.h"
#include "views/components/appearance.h"
#include "views/palette.h"
#include "views/usercenter/accountcard.h"
#include "views/usercenter/goldlogview.h"
#include "views/usercenter/groupview.h"
#include "views/usercenter/hairline.h"
#include "views/usercenter/messageview.h"
#include "views/usercenter/nicknameview.h"
#include "views/usercenter/payview.h"
#include "views/usercenter/photoview.h"
#include "views/usercenter/usercentermenurow.h"
#include "views/usercenter/vipexchangeview.h"
#include "views/usercenter/watchingview.h"

#include <QHBoxLayout>
#include <QPointer>
#include <QShowEvent>
#include <QVBoxLayout>

namespace tovra {

UserCenterView::UserCenterView(UserCenterTab initialTab, QWidget *parent) : QWidget(parent), m_tab(initialTab)
{
    setWindowTitle(QStringLiteral("会员中心"));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(buildMenu());
    row->addWidget(usercenter::hairline(this, Palette::Name::Border, true));
    auto *content = new QWidget(this);
    m_contentLayout = new QVBoxLayout(content);
    m_contentLayout->setContentsMargins(0, 0, 0, 0);
    m_contentLayout->setSpacing(0);
    row->addWidget(content, 1);
    showPage();
    connect(AuthStore::shared(), &AuthStore::accountChanged, this, &UserCenterView::dropAccount);
}

QWidget *UserCenterView::buildMenu()
{
    auto *menu = new QWidget(this);
    menu->setFixedWidth(kMenuWidth);
    auto *column = new QVBoxLayout(menu);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_card = new AccountCard(menu);
    column->addWidget(m_card);
    column->addWidget(usercenter::hairline(menu, Palette::Name::Border));
    column->addSpacing(4);
    // The rows are page tabs: a screen reader looks for them in a tab list, without the card.
    auto *tabs = new QWidget(menu);
    Access::describe(tabs, windowTitle(), QAccessible::PageTabList);
    auto *tabColumn = new QVBoxLayout(tabs);
    tabColumn->setContentsMargins(0, 0, 0, 0);
    tabColumn->setSpacing(0);
    for (UserCenterTab tab : usercenter::allTabs()) {
        auto *menuRow = new UserCenterMenuRow(tab, tabs);
        menuRow->setSelected(tab == m_tab);
        connect(menuRow, &QAbstractButton::clicked, this, [this, tab] { selectTab(tab); });
        tabColumn->addWidget(menuRow);
        m_rows.append(menuRow);
    }
    column->addWidget(tabs);
    column->addStretch(1);
    return menu;
}

UserCenterMenuRow *UserCenterView::menuRow(UserCenterTab tab) const
{
    for (UserCenterMenuRow *row : m_rows) {
        if (row->tab() == tab)
            return row;
    }
    return nullptr;
}

void UserCenterView::selectTab(UserCenterTab tab)
{
    if (tab == m_tab && m_page)
        return;
    m_tab = tab;
    for (UserCenterMenuRow *row : std::as_const(m_rows))
        row->setSelected(row->tab() == tab);
    showPage();
}

void UserCenterView::showPage()
{
    // The old page goes with its state; its requests in flight find it gone and write nothing.
    delete m_page;
    m_page = makePage(m_tab);
    m_contentLayout->addWidget(m_page);
}

QWidget *UserCenterView::makePage(UserCenterTab tab)
{
    switch (tab) {
    case UserCenterTab::gold:
        return new GoldLogView(this);
    case UserCenterTab::watching: {
        auto *page = new WatchingView(this);
        connect(page, &WatchingView::playRequested, this, &UserCenterView::playRequested);
        connect(page, &WatchingView::selected, this, &UserCenterView::selected);
        return page;
    }
    case UserCenterTab::pay:
        return new PayView(this);
    case UserCenterTab::vip:
        return new VIPExchangeView(this);
    case UserCenterTab::message:
        return new MessageView(this);
    case UserCenterTab::profile:
        return new NicknameView(this);
    case UserCenterTab::photo:
        return new PhotoView(this);
    case UserCenterTab::group:
        return new GroupView(this);
    }
    Q_UNREACHABLE();
    return nullptr;
}

void UserCenterView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        loadUnread();
}

void UserCenterView::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    if (!event->spontaneous())
        m_unreadLoads.invalidate();
}

QCoro::Task<> UserCenterView::loadUnread()
{
    QPointer self = this;
    const auto ticket = m_unreadLoads.begin();
    auto reply = co_await APIClient::shared()->unread();
    if (!self || !m_unreadLoads.isCurrent(ticket))
        co_return;
    // The badge is an extra: any failure just hides it.
    setUnread(reply ? reply->total : 0);
}

// The badge counted the previous account's messages.
void UserCenterView::dropAccount()
{
    m_unreadLoads.invalidate();
    setUnread(0);
    if (isVisible())
        loadUnread();
}

void UserCenterView::setUnread(qint64 unread)
{
    m_unread = unread;
    for (UserCenterMenuRow *row : std::as_const(m_rows))
        row->setUnread(unread);
}

}
