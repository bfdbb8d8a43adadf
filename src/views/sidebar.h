#pragma once

#include "models/catalogue.h"
#include "models/route.h"

#include <QList>
#include <QWidget>

class QScrollArea;
class QVBoxLayout;

namespace tovra {

class SidebarRow;

// The window's leading column: the brand header, the fixed "首页" row and one row per server
// entry, the row of the selected section lit. What a click means is the window's to decide.
class Sidebar : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kWidth = 220;

    explicit Sidebar(QWidget *parent = nullptr);

    // Makes the rows again; the section lights its row.
    void setNav(const QList<NavItem> &nav, const SidebarSection &section);
    void setSection(const SidebarSection &section);
    // The fixed "首页" row first, then one row per entry.
    QList<SidebarRow *> rows() const;

signals:
    // A row that stands for a section, "首页" included.
    void sectionSelected(const SidebarSection &section);
    // A row for an entry that opens elsewhere (an external link).
    void itemOpened(const NavItem &item);

private:
    void refreshRowStates();

    QList<NavItem> m_nav;
    SidebarSection m_section;
    QScrollArea *m_scroll = nullptr;
    QVBoxLayout *m_rowsLayout = nullptr;
    SidebarRow *m_homeRow = nullptr;
    QList<SidebarRow *> m_navRows;
};

}
