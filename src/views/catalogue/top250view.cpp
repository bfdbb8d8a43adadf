#include "views/catalogue/top250view.h"

#include "views/components/postergrid.h"
#include "views/components/sectionheader.h"

namespace tovra {

Top250View::Top250View(QWidget *parent)
    : CachedPagedList(new SectionHeader(QStringLiteral("豆瓣 Top250"), QStringLiteral("trophy")), parent)
{
    list()->grid()->setAccessibleName(QStringLiteral("豆瓣 Top250"));
}

std::optional<Page<QList<Item>>> Top250View::cachedPage(qint64 page) const
{
    return APIClient::shared()->cachedTop250(page);
}

QCoro::Task<Result<Page<QList<Item>>>> Top250View::fetchPage(qint64 page)
{
    return APIClient::shared()->top250(page);
}

QString Top250View::emptyText() const
{
    return QStringLiteral("榜单还没有数据");
}

}
