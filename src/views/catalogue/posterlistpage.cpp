#include "views/catalogue/posterlistpage.h"

#include "views/components/access.h"
#include "views/components/pager.h"
#include "views/components/postergrid.h"
#include "views/components/skeleton.h"

#include <QScrollBar>
#include <QVBoxLayout>

namespace tovra {

namespace {
constexpr int kPadding = 22;

void makeQuiet(QScrollArea *area)
{
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->viewport()->setAutoFillBackground(false);
    Access::passThrough(area);
}
}

PosterListPage::PosterListPage(Style style, QWidget *header, QWidget *parent) : QScrollArea(parent), m_header(header)
{
    makeQuiet(this);
    auto *content = new QWidget(this);
    content->setAutoFillBackground(false);
    auto *column = new QVBoxLayout(content);
    column->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    column->setSpacing(style == Style::Headed ? 12 : 16);
    if (m_header) {
        m_header->setParent(content);
        column->addWidget(m_header);
    }
    m_grid = new PosterGrid(content);
    column->addWidget(m_grid);
    m_pager = new Pager(content);
    column->addWidget(m_pager);
    column->addStretch(1);
    setWidget(content);

    connect(m_grid, &PosterGrid::selected, this, &PosterListPage::selected);
    connect(m_pager, &Pager::pageRequested, this, &PosterListPage::pageRequested);
}

QScrollArea *PosterListPage::skeleton(int count, QWidget *parent)
{
    auto *area = new QScrollArea(parent);
    makeQuiet(area);
    auto *content = new QWidget(area);
    content->setAutoFillBackground(false);
    auto *column = new QVBoxLayout(content);
    column->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    column->addWidget(new PosterGridSkeleton(count, content));
    column->addStretch(1);
    area->setWidget(content);
    return area;
}

void PosterListPage::setItems(const QList<Item> &items)
{
    m_grid->setItems(items);
}

void PosterListPage::setPaging(const std::optional<Meta> &meta, qint64 page)
{
    m_pager->setState(meta, page);
    // Another page starts at its top; a refresh of the same page stays where the user is.
    if (page != m_shownPage) {
        m_shownPage = page;
        verticalScrollBar()->setValue(0);
    }
}

}
