#include "views/catalogue/homeview.h"

#include "models/cataloguelogic.h"
#include "network/apiclient.h"
#include "views/catalogue/hotlist.h"
#include "views/components/access.h"
#include "views/components/appearance.h"
#include "views/components/autorefresh.h"
#include "views/components/postergrid.h"
#include "views/components/sectionheader.h"
#include "views/components/skeleton.h"
#include "views/components/stackstates.h"
#include "views/components/stateoverlay.h"
#include "views/components/typography.h"
#include "views/palette.h"
#include "views/startup.h"

#include <QHBoxLayout>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QShowEvent>
#include <QStackedLayout>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

namespace tovra {

namespace {
constexpr int kPadding = 22;
constexpr int kSectionSpacing = 28;
constexpr int kHeadingSpacing = 12;
constexpr std::chrono::milliseconds kStoredPageFrameWait{300};

QScrollArea *scrollArea(QWidget *content, QWidget *parent)
{
    auto *area = new QScrollArea(parent);
    Access::passThrough(area);
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->viewport()->setAutoFillBackground(false);
    content->setAutoFillBackground(false);
    area->setWidget(content);
    return area;
}

QVBoxLayout *sectionColumn(QWidget *box)
{
    auto *column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(kHeadingSpacing);
    return column;
}
}

HomeView::HomeView(QWidget *parent) : QWidget(parent)
{
    m_stack = new QStackedLayout(this);

    auto *content = new QWidget;
    m_sections = new QVBoxLayout(content);
    m_sections->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    m_sections->setSpacing(kSectionSpacing);
    m_hotBox = new QWidget(content);
    auto *hotColumn = sectionColumn(m_hotBox);
    hotColumn->addWidget(new SectionHeader(QStringLiteral("今日热榜"), QStringLiteral("chart.line.uptrend.xyaxis"), m_hotBox));
    m_hot = new HotList(m_hotBox);
    m_hot->setAccessibleName(QStringLiteral("今日热榜"));
    hotColumn->addWidget(m_hot);
    m_hotBox->hide();
    m_sections->addWidget(m_hotBox);
    m_sections->addStretch(1);
    m_content = scrollArea(content, this);
    m_content->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);

    m_stack->addWidget(m_content);

    connect(m_hot, &HotList::selected, this, &HomeView::selected);
    m_autoRefresh = new AutoRefresh(this, std::chrono::seconds(kRefreshSeconds), [self = QPointer(this)] {
        if (self)
            self->refresh();
    });
    // The placeholder and the state overlay are made when first needed: a start from the disk
    // cache goes straight to the content and never pays for them.
}

HomeView::~HomeView() = default;

HomeView::Shown HomeView::shown() const
{
    if (m_loading)
        return Shown::Placeholder;
    if (m_error)
        return Shown::Error;
    return m_data ? Shown::Content : Shown::Nothing;
}

void HomeView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        reload();
}

void HomeView::reload()
{
    load(false);
}

void HomeView::refresh()
{
    // The application turning active right as the screen first loads would otherwise ask
    // twice for the same thing.
    if (!m_busy)
        load(true);
}

QCoro::Task<> HomeView::load(bool silent)
{
    QPointer self = this;
    const auto ticket = m_generation.begin();
    m_busy = true;
    APIClient *api = APIClient::shared();
    if (!silent) {
        if (auto stored = api->cachedHome()) {
            setData(std::move(*stored));
            m_loading = false;
        } else {
            m_loading = true;
        }
        m_error.reset();
        render();
        // On the first load, a stored page goes on screen before the network stack starts for
        // its refresh, with the posters the HTTP cache holds already in that first frame.
        if (std::exchange(m_firstLoad, false) && m_data) {
            for (const SectionView &view : std::as_const(m_posterSections))
                view.grid->setDecodesCachedBeforePaint(true);
            co_await afterNextPaint(this, kStoredPageFrameWait);
            if (!self)
                co_return;
            for (const SectionView &view : std::as_const(m_posterSections))
                view.grid->setDecodesCachedBeforePaint(false);
            if (!m_generation.isCurrent(ticket))
                co_return;
        }
    }

    auto reply = co_await api->home();
    if (!self || !m_generation.isCurrent(ticket))
        co_return;
    m_busy = false;
    if (reply) {
        setData(std::move(*reply));
        m_error.reset();
    } else if (!m_data) {
        m_error = reply.error().description();
    }
    m_loading = false;
    render();
    if (reply)
        emit loaded();
}

HomeView::SectionView &HomeView::section(int slot, const QString &symbol)
{
    for (SectionView &view : m_posterSections) {
        if (view.slot == slot)
            return view;
    }
    QWidget *content = m_content->widget();
    SectionView view;
    view.slot = slot;
    view.box = new QWidget(content);
    auto *column = sectionColumn(view.box);
    auto *heading = new QHBoxLayout;
    heading->setContentsMargins(0, 0, 0, 0);
    view.header = new SectionHeader(QString(), symbol, view.box);
    heading->addWidget(view.header, 0, Qt::AlignVCenter);
    heading->addStretch(1);
    view.more = new QPushButton(QStringLiteral("更多 ››"), view.box);
    view.more->setFlat(true);
    view.more->setFont(uiFont(TextStyle::kCallout));
    view.more->setCursor(Qt::PointingHandCursor);
    view.more->setFocusPolicy(Qt::TabFocus);
    QPushButton *more = view.more;
    const auto colour = [more](bool dark) {
        QPalette p = more->palette();
        p.setColor(QPalette::ButtonText, Palette::textDim(dark));
        more->setPalette(p);
    };
    colour(Palette::isDark());
    followAppearance(more, colour);
    view.more->hide();
    heading->addWidget(view.more, 0, Qt::AlignVCenter);
    column->addLayout(heading);
    view.grid = new PosterGrid(view.box);
    column->addWidget(view.grid);
    connect(view.grid, &PosterGrid::selected, this, &HomeView::selected);
    connect(view.more, &QPushButton::clicked, this, [this, slot] {
        for (const SectionView &s : std::as_const(m_posterSections)) {
            if (s.slot == slot && s.moreName)
                emit moreRequested(*s.moreName);
        }
    });

    // Sections sit in slot order after the hot list, before the closing stretch.
    int at = 1;
    for (const SectionView &other : std::as_const(m_posterSections))
        at += other.slot < slot ? 1 : 0;
    m_sections->insertWidget(at, view.box);
    m_posterSections.append(view);
    std::sort(m_posterSections.begin(), m_posterSections.end(),
              [](const SectionView &a, const SectionView &b) { return a.slot < b.slot; });
    for (SectionView &made : m_posterSections) {
        if (made.slot == slot)
            return made;
    }
    Q_UNREACHABLE();
}

void HomeView::setData(HomeData data)
{
    m_data = std::move(data);
    const HomeData &home = *m_data;

    // Only what differs is handed on: an equal list leaves its cards (and their posters) alone.
    m_hot->setItems(home.hot);
    m_hotBox->setVisible(!home.hot.isEmpty());

    const QList<catalogue::HomeSection> present = catalogue::posterSections(home);
    // Only sections that went away are hidden: hiding one that stays would take the focus from
    // its grid, and the page would jump.
    for (SectionView &view : m_posterSections) {
        if (std::none_of(present.cbegin(), present.cend(), [&](const auto &wanted) { return wanted.slot == view.slot; }))
            view.box->hide();
    }
    for (const catalogue::HomeSection &wanted : present) {
        // Each slot has its own symbol; only the year in slot 5 changes a title.
        SectionView &view = section(wanted.slot, wanted.symbol);
        view.header->setTitle(wanted.title);
        view.grid->setAccessibleName(wanted.title);
        // Each section has one: the section tells them apart.
        view.more->setAccessibleName(wanted.title + QStringLiteral(" 更多"));
        view.moreName = wanted.more;
        view.more->setVisible(wanted.more.has_value());
        view.grid->setToday(home.date);
        view.grid->setItems(wanted.items);
        view.box->show();
    }
}

QList<const HomeView::SectionView *> HomeView::visibleSections() const
{
    QList<const SectionView *> out;
    for (const SectionView &view : m_posterSections) {
        if (!view.box->isHidden())
            out.append(&view);
    }
    return out;
}

QWidget *HomeView::placeholder()
{
    if (!m_placeholder) {
        // The skeleton brings the page's own padding.
        auto *skeletonContent = new QWidget;
        auto *skeletonColumn = new QVBoxLayout(skeletonContent);
        skeletonColumn->setContentsMargins(0, 0, 0, 0);
        skeletonColumn->addWidget(new HomeSkeleton(skeletonContent));
        skeletonColumn->addStretch(1);
        m_placeholder = scrollArea(skeletonContent, this);
        m_stack->addWidget(m_placeholder);
    }
    return m_placeholder;
}

StateOverlay *HomeView::overlay()
{
    return overlayOnDemand(m_overlay, m_stack, this);
}

QWidget *HomeView::nothing()
{
    return blankOnDemand(m_nothing, m_stack, this);
}

void HomeView::render()
{
    switch (shown()) {
    case Shown::Placeholder:
        m_stack->setCurrentWidget(placeholder());
        break;
    case Shown::Error:
        showFailure(overlay(), *m_error, this);
        m_stack->setCurrentWidget(overlay());
        break;
    case Shown::Content:
        m_stack->setCurrentWidget(m_content);
        break;
    case Shown::Nothing:
        m_stack->setCurrentWidget(nothing());
        break;
    }
}

}
