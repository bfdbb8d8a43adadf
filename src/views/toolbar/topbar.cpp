#include "views/toolbar/topbar.h"

#include "models/topbarlayout.h"
#include "views/components/pointinghand.h"

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QToolButton>

namespace tovra {

TopBar::TopBar(QAction *back, QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("topBar"));
    setFixedHeight(52);
    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(12, 8, 16, 8);
    grid->setHorizontalSpacing(12);

    m_backButton = new QToolButton(this);
    m_backButton->setObjectName(QStringLiteral("backButton"));
    m_backButton->setDefaultAction(back);
    m_backButton->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_backButton->setAutoRaise(true);
    m_backButton->setIconSize(QSize(18, 18));
    m_backButton->setFixedSize(32, 32);
    // Hidden on the home page, its place kept: an empty column would drop its spacing and move the
    // search field whenever a page is opened.
    QSizePolicy keep = m_backButton->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    m_backButton->setSizePolicy(keep);
    m_backButton->setVisible(false);
    setPointingHand(m_backButton);

    // Equal stretch on both sides keeps the centre place in the middle of the bar.
    m_searchSlot = new QWidget(this);
    m_searchSlot->setObjectName(QStringLiteral("toolbarSearchSlot"));
    auto *searchLayout = new QHBoxLayout(m_searchSlot);
    searchLayout->setContentsMargins(0, 0, 0, 0);
    searchLayout->setSpacing(8);
    m_actionsSlot = new QWidget(this);
    m_actionsSlot->setObjectName(QStringLiteral("toolbarActionsSlot"));
    auto *actionsLayout = new QHBoxLayout(m_actionsSlot);
    actionsLayout->setContentsMargins(0, 0, 0, 0);
    actionsLayout->setSpacing(8);

    grid->addWidget(m_backButton, 0, 0, Qt::AlignLeft | Qt::AlignVCenter);
    grid->addWidget(m_searchSlot, 0, 1, Qt::AlignCenter);
    grid->addWidget(m_actionsSlot, 0, 2, Qt::AlignRight | Qt::AlignVCenter);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(2, 1);

    installEventFilter(this);
    m_actionsSlot->installEventFilter(this);
}

bool TopBar::eventFilter(QObject *watched, QEvent *event)
{
    if ((watched == this && event->type() == QEvent::Resize)
        || (watched == m_actionsSlot && event->type() == QEvent::LayoutRequest))
        balance();
    return QWidget::eventFilter(watched, event);
}

void TopBar::balance()
{
    auto *grid = static_cast<QGridLayout *>(layout());
    const QMargins margins = grid->contentsMargins();
    const int room = width() - margins.left() - margins.right() - 2 * grid->horizontalSpacing();
    const TopBarSides sides = TopBarSides::balanced(m_actionsSlot->sizeHint().width(),
                                                    m_backButton->sizeHint().width(),
                                                    m_searchSlot->sizeHint().width(),
                                                    m_searchSlot->minimumSizeHint().width(), room);
    grid->setColumnMinimumWidth(0, sides.leading);
    grid->setColumnMinimumWidth(2, sides.trailing);
}

}
