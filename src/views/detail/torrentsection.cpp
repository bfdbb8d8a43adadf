#include "views/detail/torrentsection.h"

#include "views/components/sectionheader.h"
#include "views/components/symbolview.h"
#include "views/components/typography.h"
#include "views/detail/sortbutton.h"
#include "views/detail/tint.h"
#include "views/detail/torrentcard.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>

namespace tovra {

namespace {
constexpr qreal kCaptionPixels = 11;
}

TorrentSection::TorrentSection(const QList<Torrent> &torrents, bool member, titlepage::SortState sort, QWidget *parent)
    : QWidget(parent), m_torrents(torrents), m_member(member), m_sort(sort)
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(12);

    auto *header = new QHBoxLayout;
    header->setSpacing(16);
    header->addWidget(new SectionHeader(QStringLiteral("种子信息"), QStringLiteral("arrow.down.circle"), this),
                      0, Qt::AlignVCenter);
    header->addStretch(1);
    m_hint = new QWidget(this);
    auto *hintRow = new QHBoxLayout(m_hint);
    hintRow->setContentsMargins(0, 0, 0, 0);
    hintRow->setSpacing(4);
    hintRow->addWidget(new SymbolView(QStringLiteral("lock"), 11, Palette::Name::Warn, m_hint));
    hintRow->addWidget(tintedLabel(QStringLiteral("付费种子需开通尊享会员"), kCaptionPixels, Palette::Name::Warn, m_hint));
    header->addWidget(m_hint, 0, Qt::AlignVCenter);
    m_episode = new SortButton(QStringLiteral("集数倒序"), this);
    m_size = new SortButton(QStringLiteral("按大小排序"), this);
    header->addWidget(m_episode, 0, Qt::AlignVCenter);
    header->addWidget(m_size, 0, Qt::AlignVCenter);
    column->addLayout(header);
    connect(m_episode, &SortButton::clicked, this, [this] { toggleSort(titlepage::TorrentSort::episode); });
    connect(m_size, &SortButton::clicked, this, [this] { toggleSort(titlepage::TorrentSort::size); });

    if (m_torrents.isEmpty()) {
        m_empty = tintedLabel(QStringLiteral("很抱歉，暂时没有种子可供下载。这可能是新上映或者很老的影片，我们会尽快更新种子。"),
                              TextStyle::kCallout, Palette::Name::TextFaint, this);
        m_empty->setWordWrap(true);
        column->addWidget(m_empty);
    } else {
        m_list = new QVBoxLayout;
        m_list->setSpacing(10);
        column->addLayout(m_list);
    }
    setMember(member);
    applySortButtons();
    rebuild();
}

void TorrentSection::setMember(bool member)
{
    m_member = member;
    m_hint->setVisible(titlepage::showsPaidHint(m_torrents, member));
    for (TorrentCard *card : std::as_const(m_cards))
        card->setMember(member);
}

void TorrentSection::toggleSort(titlepage::TorrentSort pressed)
{
    m_sort.toggle(pressed);
    applySortButtons();
    rebuild();
    emit sortChanged(m_sort);
}

void TorrentSection::applySortButtons()
{
    const bool episode = m_sort.mode == titlepage::TorrentSort::episode;
    const bool size = m_sort.mode == titlepage::TorrentSort::size;
    m_episode->setState(episode, episode ? 0 : -90);
    m_size->setState(size, size ? (m_sort.sizeAscending ? 180 : 0) : -90);
}

void TorrentSection::setCopyLabel(qint64 index, const std::optional<QString> &label)
{
    if (label)
        m_copyLabels.insert(index, *label);
    else
        m_copyLabels.remove(index);
    for (TorrentCard *card : std::as_const(m_cards)) {
        if (card->torrent().index == index)
            card->setCopyLabel(label);
    }
}

void TorrentSection::rebuild()
{
    if (!m_list)
        return;
    // Cards are kept and only moved: a hovered card or a running copy keeps its widget.
    QList<TorrentCard *> spare = m_cards;
    QList<TorrentCard *> ordered;
    for (const Torrent &torrent : titlepage::sorted(m_torrents, m_sort)) {
        const auto found = std::find_if(spare.begin(), spare.end(),
                                        [&](const TorrentCard *card) { return card->torrent() == torrent; });
        TorrentCard *card = nullptr;
        if (found != spare.end()) {
            card = *found;
            spare.erase(found);
        } else {
            card = new TorrentCard(torrent, m_member, this);
            const auto label = m_copyLabels.constFind(torrent.index);
            card->setCopyLabel(label == m_copyLabels.cend() ? std::nullopt : std::optional(*label));
            connect(card, &TorrentCard::openRequested, this, [this, torrent] { emit openRequested(torrent); });
            connect(card, &TorrentCard::copyRequested, this, [this, torrent] { emit copyRequested(torrent); });
        }
        ordered.append(card);
    }
    for (TorrentCard *left : std::as_const(spare))
        left->deleteLater();
    for (TorrentCard *card : std::as_const(ordered))
        m_list->removeWidget(card);
    for (TorrentCard *card : std::as_const(ordered))
        m_list->addWidget(card);
    m_cards = ordered;
}

}
