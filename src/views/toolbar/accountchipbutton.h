#pragma once

#include "models/accountchip.h"

#include <QAbstractButton>

namespace tovra {

// The signed-in face of the account box: the membership badge, the name and the coin balance in
// one clickable chip. The name gives up width first when the toolbar is short of room. Reports
// the pointer entering and leaving, which opens and closes the member menu.
class AccountChipButton : public QAbstractButton
{
    Q_OBJECT
public:
    explicit AccountChipButton(QWidget *parent = nullptr);

    const AccountChip &content() const { return m_content; }
    void setContent(const AccountChip &content);
    bool isHovering() const { return m_hovering; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void hoverChanged(bool inside);

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    struct Metrics
    {
        qreal badge = 0;  // width of the badge capsule, 0 without one
        qreal name = 0;   // natural width of the name
        qreal gold = 0;   // width of "BT币 " and the number, 0 without a profile
    };
    Metrics metrics() const;
    qreal fixedWidth(const Metrics &m) const;

    AccountChip m_content;
    bool m_hovering = false;
};

}
