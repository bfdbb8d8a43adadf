#pragma once

#include <QWidget>

class QAction;
class QToolButton;

namespace tovra {

// The bar above the pages: the back control (shown while something is pushed), a centre place
// for the search field and a trailing place for the account items, the field kept in the middle
// of the bar while there is room for it.
class TopBar : public QWidget
{
    Q_OBJECT
public:
    TopBar(QAction *back, QWidget *parent);

    QToolButton *backButton() const { return m_backButton; }
    QWidget *searchSlot() const { return m_searchSlot; }
    QWidget *actionsSlot() const { return m_actionsSlot; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void balance();

    QToolButton *m_backButton = nullptr;
    QWidget *m_searchSlot = nullptr;
    QWidget *m_actionsSlot = nullptr;
};

}
