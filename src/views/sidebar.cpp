#include "views/sidebar.h"

#include "views/components/access.h"
#include "views/components/brandheader.h"
#include "views/components/sidebarrow.h"
#include "views/palette.h"

#include <QScrollArea>
#include <QVBoxLayout>

namespace tovra {

Sidebar::Sidebar(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("sidebar"));
    setFixedWidth(kWidth);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(new BrandHeader(brandGreen(), this));

    m_scroll = new QScrollArea(this);
    Access::passThrough(m_scroll);
    m_scroll->setObjectName(QStringLiteral("sidebarScroll"));
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_scroll->viewport()->setAutoFillBackground(false);

    auto *rows = new QWidget(m_scroll);
    rows->setAutoFillBackground(false);
    m_rowsLayout = new QVBoxLayout(rows);
    m_rowsLayout->setContentsMargins(0, 18, 0, 10);
    m_rowsLayout->setSpacing(2);
    m_rowsLayout->addStretch(1);
    m_scroll->setWidget(rows);
    column->addWidget(m_scroll, 1);

    m_homeRow = new SidebarRow(QStringLiteral("首页"), QStringLiteral("house"), true, 0, rows);
    m_homeRow->setObjectName(QStringLiteral("homeRow"));
    connect(m_homeRow, &SidebarRow::clicked, this, [this] { emit sectionSelected(SidebarSection::home()); });
    m_rowsLayout->insertWidget(0, m_homeRow);
}

QList<SidebarRow *> Sidebar::rows() const
{
    QList<SidebarRow *> rows{m_homeRow};
    rows.append(m_navRows);
    return rows;
}

void Sidebar::setNav(const QList<NavItem> &nav, const SidebarSection &section)
{
    // The server mostly answers a start with the stored list again. Its rows stay: rows made
    // anew in a shown window only show from the event loop, and a frame may go out before.
    if (nav == m_nav) {
        setSection(section);
        return;
    }
    m_nav = nav;
    m_section = section;
    for (SidebarRow *row : std::as_const(m_navRows)) {
        m_rowsLayout->removeWidget(row);
        row->hide();
        row->deleteLater();
    }
    m_navRows.clear();

    QWidget *container = m_scroll->widget();
    int at = 1; // after the fixed "首页" row
    for (const NavItem &item : std::as_const(m_nav)) {
        auto *row = new SidebarRow(item.name, item.icon, false, item.newCount, container);
        // The row keeps its own copy: the list may be replaced while a click is being handled.
        connect(row, &SidebarRow::clicked, this, [this, item] {
            if (item.external)
                emit itemOpened(item);
            else
                emit sectionSelected(SidebarSection::category(item));
        });
        m_rowsLayout->insertWidget(at++, row);
        m_navRows.append(row);
    }
    refreshRowStates();
}

void Sidebar::setSection(const SidebarSection &section)
{
    m_section = section;
    refreshRowStates();
}

void Sidebar::refreshRowStates()
{
    m_homeRow->setActive(m_section == SidebarSection::home());
    for (qsizetype i = 0; i < m_navRows.size() && i < m_nav.size(); ++i) {
        const NavItem &item = m_nav.at(i);
        m_navRows.at(i)->setActive(item.external ? navigation::isActive(item, m_section)
                                                 : m_section == SidebarSection::category(item));
    }
}

}
