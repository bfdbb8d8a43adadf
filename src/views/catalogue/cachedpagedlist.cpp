#include "views/catalogue/cachedpagedlist.h"

#include <QShowEvent>

namespace tovra {

CachedPagedList::CachedPagedList(QWidget *header, QWidget *parent) : PagedPosterView(OnFailure::KeepTitles, parent)
{
    buildStates(this, kSkeletonCards, PosterListPage::Style::Headed, header);
    render();
}

void CachedPagedList::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Each time the screen comes into view (not when the window is merely restored).
    if (!event->spontaneous())
        load();
}

}
