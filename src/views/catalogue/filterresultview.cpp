#include "views/catalogue/filterresultview.h"

#include "models/cataloguelogic.h"
#include "views/catalogue/posterlistpage.h"
#include "views/components/postergrid.h"
#include "views/components/appearance.h"
#include "views/components/sectionheader.h"
#include "views/components/typography.h"
#include "views/palette.h"

#include <QHBoxLayout>
#include <QLabel>

namespace tovra {

QWidget *FilterResultView::makeHeading(const QString &title)
{
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(new SectionHeader(title, QStringLiteral("line.3.horizontal.decrease.circle"), row), 0,
                      Qt::AlignVCenter);
    auto *label = new QLabel(row);
    label->setObjectName(QStringLiteral("total"));
    label->setTextFormat(Qt::PlainText);
    label->setFont(uiFont(TextStyle::kCallout));
    // The heading's title sits 4 below its top; so does this, to share its line.
    label->setContentsMargins(0, 4, 0, 0);
    label->hide();
    const auto colour = [label](bool dark) {
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText, Palette::textDim(dark));
        label->setPalette(p);
    };
    colour(Palette::isDark());
    followAppearance(label, colour);
    layout->addWidget(label, 0, Qt::AlignVCenter);
    layout->addStretch(1);
    return row;
}

FilterResultView::FilterResultView(const QString &title, const Params &params, QWidget *parent)
    : CachedPagedList(makeHeading(title), parent), m_title(title), m_params(params)
{
    m_total = list()->header()->findChild<QLabel *>(QStringLiteral("total"));
    list()->grid()->setAccessibleName(title);
}

std::optional<Page<QList<Item>>> FilterResultView::cachedPage(qint64 page) const
{
    return APIClient::shared()->cachedFilter(m_params, page);
}

QCoro::Task<Result<Page<QList<Item>>>> FilterResultView::fetchPage(qint64 page)
{
    return APIClient::shared()->filter(m_params, page);
}

QString FilterResultView::emptyText() const
{
    return QStringLiteral("没有找到相关影片");
}

void FilterResultView::contentChanged()
{
    const auto text = catalogue::totalText(meta());
    m_total->setText(text.value_or(QString()));
    m_total->setVisible(text.has_value());
}

}
