#pragma once

#include "models/loadgeneration.h"
#include "models/title.h"
#include "models/usercenterlogic.h"

#include <QCoroTask>
#include <QList>
#include <QPointer>
#include <QWidget>

class QVBoxLayout;

namespace tovra {

class AccountCard;
class UserCenterMenuRow;

// The account screen: a menu column with the account card and one row per tab, and the page
// of the selected tab beside it. A page lives only while its tab is selected: choosing another
// tab discards it, and coming back builds it afresh. Only the account in the sign-in store
// outlives a tab change.
class UserCenterView : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kMenuWidth = 220;

    explicit UserCenterView(UserCenterTab initialTab, QWidget *parent = nullptr);

    UserCenterTab tab() const { return m_tab; }
    qint64 unread() const { return m_unread; }
    QWidget *page() const { return m_page; }
    AccountCard *accountCard() const { return m_card; }
    UserCenterMenuRow *menuRow(UserCenterTab tab) const;

public slots:
    void selectTab(tovra::UserCenterTab tab);

signals:
    // From the watch-history page: resume an episode, or open a title.
    void playRequested(const tovra::PlayEntry &entry, const QString &title, int startAt);
    void selected(const QString &did);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    QWidget *buildMenu();
    QWidget *makePage(UserCenterTab tab);
    void showPage();
    QCoro::Task<> loadUnread();
    void dropAccount();
    void setUnread(qint64 unread);

    UserCenterTab m_tab;
    qint64 m_unread = 0;
    LoadGeneration m_unreadLoads;

    AccountCard *m_card = nullptr;
    QList<UserCenterMenuRow *> m_rows;
    QVBoxLayout *m_contentLayout = nullptr;
    QPointer<QWidget> m_page;
};

}
