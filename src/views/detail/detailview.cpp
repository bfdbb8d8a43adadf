#include "views/detail/detailview.h"

#include "models/detaillogic.h"
#include "store/authstore.h"
#include "views/components/access.h"
#include "views/components/postergrid.h"
#include "views/components/sectionheader.h"
#include "views/components/stackstates.h"
#include "views/components/stateoverlay.h"
#include "views/components/symbolview.h"
#include "views/components/typography.h"
#include "views/detail/detailhero.h"
#include "views/detail/playgrid.h"
#include "views/detail/tint.h"
#include "views/detail/torrentsection.h"
#include "views/engine/engineloader.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QShowEvent>
#include <QStackedLayout>
#include <QTimer>
#include <QVBoxLayout>

namespace tovra {

namespace {
constexpr int kPadding = 24;
constexpr int kPartSpacing = 26;
constexpr int kHeadingSpacing = 12;
constexpr qreal kCaptionPixels = 11;

bool member()
{
    return titlepage::isMember(AuthStore::shared()->user());
}

QWidget *sectionBox(QWidget *parent, QVBoxLayout *&column)
{
    auto *box = new QWidget(parent);
    column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(kHeadingSpacing);
    return box;
}
}

DetailView::DetailView(const QString &did, QWidget *parent) : QWidget(parent), m_did(did)
{
    m_stack = new QStackedLayout(this);
    m_content = new QScrollArea(this);
    Access::passThrough(m_content);
    m_content->setFrameShape(QFrame::NoFrame);
    m_content->setWidgetResizable(true);
    m_content->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_content->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_content->viewport()->setAutoFillBackground(false);
    m_stack->addWidget(m_content);
    m_stack->setCurrentWidget(overlay());
    setWindowTitle(navigationTitle());

    // Membership decides the trial label, the paid hint and each card's badge; a sign-in or
    // sign-out while the page is open changes them in place.
    connect(AuthStore::shared(), &AuthStore::userChanged, this, &DetailView::applyMembership);
}

DetailView::~DetailView() = default;

DetailView::Shown DetailView::shown() const
{
    if (m_loading)
        return Shown::Loading;
    if (m_error)
        return Shown::Error;
    return m_detail ? Shown::Content : Shown::Nothing;
}

QString DetailView::navigationTitle() const
{
    return m_detail ? m_detail->title : QStringLiteral("详情");
}

std::optional<QString> DetailView::copyState(qint64 index) const
{
    const auto found = m_copyState.constFind(index);
    return found == m_copyState.cend() ? std::nullopt : std::optional(*found);
}

void DetailView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Once per page: coming back to it from a pushed screen keeps what it shows.
    if (!m_started) {
        m_started = true;
        reload();
    }
}

void DetailView::reload()
{
    m_started = true;
    load();
}

QCoro::Task<> DetailView::load()
{
    QPointer self = this;
    const auto ticket = m_generation.begin();
    APIClient *api = APIClient::shared();
    if (auto stored = api->cachedItem(m_did)) {
        setDetail(std::move(*stored));
        m_loading = false;
    } else {
        m_loading = true;
    }
    m_error.reset();
    render();

    auto reply = co_await api->item(m_did);
    if (!self || !m_generation.isCurrent(ticket))
        co_return;
    if (reply)
        setDetail(std::move(*reply));
    else if (!m_detail)
        m_error = reply.error().description();
    m_loading = false;
    render();
}

void DetailView::setDetail(ItemDetail detail)
{
    m_detail = std::move(detail);
    const QString title = navigationTitle();
    if (title != windowTitle()) {
        setWindowTitle(title);
        emit navigationTitleChanged(title);
    }
    buildContent();
}

void DetailView::buildContent()
{
    // A fresh reply replaces the stored one it follows; keep the reader where they were.
    const int scrolled = m_content->verticalScrollBar()->value();
    QWidget *old = m_content->takeWidget();
    if (old)
        old->deleteLater();
    m_intro = m_play = m_trial = m_interested = nullptr;
    m_introText = nullptr;
    m_playGrid = nullptr;
    m_interestedGrid = nullptr;

    const ItemDetail &detail = *m_detail;
    const bool isMember = member();
    m_column = new QWidget;
    m_column->setAutoFillBackground(false);
    auto *column = new QVBoxLayout(m_column);
    column->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    column->setSpacing(kPartSpacing);

    m_hero = new DetailHero(detail, m_column);
    connect(m_hero, &DetailHero::filterRequested, this, &DetailView::filterRequested);
    column->addWidget(m_hero);

    // The raw text decides: a fragment that cleans up to nothing still gets its heading.
    if (!detail.text.isEmpty()) {
        QVBoxLayout *intro = nullptr;
        m_intro = sectionBox(m_column, intro);
        intro->addWidget(new SectionHeader(QStringLiteral("剧情简介"), QStringLiteral("text.alignleft"), m_intro));
        m_introText = tintedLabel(titlepage::plainText(detail.text), TextStyle::kCallout, Palette::Name::TextDim, m_intro);
        m_introText->setWordWrap(true);
        m_introText->setTextInteractionFlags(Qt::TextSelectableByMouse);
        intro->addWidget(m_introText);
        column->addWidget(m_intro);
    }

    if (!detail.playList.isEmpty()) {
        QVBoxLayout *play = nullptr;
        m_play = sectionBox(m_column, play);
        auto *heading = new QHBoxLayout;
        heading->setContentsMargins(0, 0, 0, 0);
        heading->addWidget(new SectionHeader(QStringLiteral("播放列表"), QStringLiteral("play.rectangle"), m_play));
        heading->addStretch(1);
        m_trial = new QWidget(m_play);
        auto *trial = new QHBoxLayout(m_trial);
        trial->setContentsMargins(0, 0, 0, 0);
        trial->setSpacing(4);
        trial->addWidget(new SymbolView(QStringLiteral("info.circle"), 11, Palette::Name::Warn, m_trial));
        trial->addWidget(tintedLabel(QStringLiteral("非会员限 5 分钟试看"), kCaptionPixels, Palette::Name::Warn, m_trial));
        m_trial->setVisible(!isMember);
        heading->addWidget(m_trial, 0, Qt::AlignVCenter);
        play->addLayout(heading);
        m_playGrid = new PlayGrid(detail.playList, detail.title, m_play);
        connect(m_playGrid, &PlayGrid::playRequested, this, &DetailView::playRequested);
        play->addWidget(m_playGrid);
        column->addWidget(m_play);
    }

    m_torrents = new TorrentSection(detail.torrents, isMember, m_sort, m_column);
    connect(m_torrents, &TorrentSection::sortChanged, this, [this](const titlepage::SortState &sort) { m_sort = sort; });
    for (auto it = m_copyState.cbegin(); it != m_copyState.cend(); ++it)
        m_torrents->setCopyLabel(it.key(), *it);
    connect(m_torrents, &TorrentSection::openRequested, this, &DetailView::openTorrent);
    connect(m_torrents, &TorrentSection::copyRequested, this,
            [this](const Torrent &torrent) { copyMagnet(m_detail ? m_detail->did : m_did, torrent); });
    column->addWidget(m_torrents);

    if (!detail.interested.isEmpty()) {
        QVBoxLayout *related = nullptr;
        m_interested = sectionBox(m_column, related);
        related->addWidget(new SectionHeader(QStringLiteral("猜你感兴趣"), QStringLiteral("sparkles"), m_interested));
        m_interestedGrid = new PosterGrid(m_interested);
        m_interestedGrid->setAccessibleName(QStringLiteral("猜你感兴趣"));
        m_interestedGrid->setItems(detail.interested);
        connect(m_interestedGrid, &PosterGrid::selected, this, &DetailView::selected);
        related->addWidget(m_interestedGrid);
        column->addWidget(m_interested);
    }
    column->addStretch(1);

    m_content->setWidget(m_column);
    QPointer area = m_content;
    QTimer::singleShot(0, m_content, [area, scrolled] {
        if (area)
            area->verticalScrollBar()->setValue(scrolled);
    });
}

void DetailView::applyMembership()
{
    const bool isMember = member();
    if (m_trial)
        m_trial->setVisible(!isMember);
    if (m_torrents)
        m_torrents->setMember(isMember);
}

void DetailView::openTorrent(const Torrent &torrent)
{
    if (titlepage::needsMembership(torrent, member())) {
        showMembershipAlert(torrent);
        return;
    }
    emit downloadRequested(m_detail ? m_detail->did : m_did, torrent);
}

void DetailView::showMembershipAlert(const Torrent &torrent)
{
    if (m_vipAlert)
        return;
    m_vipGate = torrent;
    auto *alert = new QMessageBox(this);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setIcon(QMessageBox::Information);
    alert->setWindowTitle(QStringLiteral("需要开通尊享会员"));
    alert->setTextFormat(Qt::PlainText);
    alert->setText(QStringLiteral("需要开通尊享会员"));
    alert->setInformativeText(titlepage::membershipMessage(torrent.price));
    QPushButton *join = alert->addButton(QStringLiteral("开通尊享会员"), QMessageBox::AcceptRole);
    QPushButton *later = alert->addButton(QStringLiteral("以后再说"), QMessageBox::RejectRole);
    alert->setDefaultButton(join);
    alert->setEscapeButton(later);
    QPointer<QPushButton> joinButton = join;
    // Every way out clears the gate; only the join button goes on to the membership page.
    connect(alert, &QMessageBox::finished, this, [this, alert, joinButton] {
        m_vipGate.reset();
        const bool joined = joinButton && alert->clickedButton() == joinButton;
        if (joined)
            emit vipRequested();
    });
    m_vipAlert = alert;
    alert->open();
}

void DetailView::setCopyState(qint64 index, const std::optional<QString> &label)
{
    if (label)
        m_copyState.insert(index, *label);
    else
        m_copyState.remove(index);
    if (m_torrents)
        m_torrents->setCopyLabel(index, label);
}

QCoro::Task<> DetailView::copyMagnet(QString did, Torrent torrent)
{
    QPointer self = this;
    const qint64 index = torrent.index;
    const quint64 ticket = ++m_copyTicket[index];
    setCopyState(index, titlepage::kCopying);

    auto reply = co_await APIClient::shared()->res(did, index, 0);
    if (!self)
        co_return;
    if (reply && !reply->magnet.isEmpty()) {
        QClipboard *clipboard = QGuiApplication::clipboard();
        clipboard->clear();
        clipboard->setText(reply->magnet);
        setCopyState(index, titlepage::kCopied);
        co_return;
    }
    setCopyState(index, titlepage::kCopyFailed);
    // Only this copy's failure goes away: a copy started again meanwhile keeps its own status.
    QTimer::singleShot(titlepage::kCopyFailedMs, this, [this, index, ticket] {
        if (m_copyTicket.value(index) == ticket)
            setCopyState(index, std::nullopt);
    });
}

StateOverlay *DetailView::overlay()
{
    return overlayOnDemand(m_overlay, m_stack, this);
}

void DetailView::render()
{
    switch (shown()) {
    case Shown::Loading:
        overlay()->setKind(StateOverlay::Kind::loading());
        m_stack->setCurrentWidget(overlay());
        break;
    case Shown::Error:
        showFailure(overlay(), *m_error, this);
        m_stack->setCurrentWidget(overlay());
        break;
    case Shown::Content:
        m_stack->setCurrentWidget(m_content);
        EngineLoader::preloadAfterPaint(m_content);
        break;
    case Shown::Nothing:
        m_stack->setCurrentWidget(blankOnDemand(m_nothing, m_stack, this));
        break;
    }
}

}
