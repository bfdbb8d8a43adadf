#pragma once

#include "models/usercenterlogic.h"

#include <QAbstractButton>
#include <optional>

namespace tovra {

// One tab of the user centre's menu: its symbol and title across the whole row, the selection
// background, and, for the messages tab, the unread badge at the trailing edge.
class UserCenterMenuRow : public QAbstractButton
{
    Q_OBJECT
public:
    explicit UserCenterMenuRow(UserCenterTab tab, QWidget *parent = nullptr);

    UserCenterTab tab() const { return m_tab; }
    bool isSelected() const { return m_selected; }
    void setSelected(bool selected);
    // From the unread total; shown only where the tab takes a badge.
    void setUnread(qint64 unread);
    std::optional<QString> badgeText() const { return m_badge; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    UserCenterTab m_tab;
    bool m_selected = false;
    bool m_hovered = false;
    std::optional<QString> m_badge;
};

}
