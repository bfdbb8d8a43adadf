#pragma once

#include "models/detaillogic.h"
#include "models/title.h"

#include <QHash>
#include <QWidget>

class QLabel;
class QVBoxLayout;

namespace tovra {

class SortButton;
class TorrentCard;

// The torrent list of the title page: the heading with the paid hint and the two sort buttons,
// then one card per torrent in the chosen order, or an apology when there are none. Opening
// and copying are reported; the page decides what they do.
class TorrentSection : public QWidget
{
    Q_OBJECT
public:
    // sort: the order the page chose earlier, so a fresh record or a retry keeps it.
    TorrentSection(const QList<Torrent> &torrents, bool member, titlepage::SortState sort = {},
                   QWidget *parent = nullptr);

    const titlepage::SortState &sortState() const { return m_sort; }
    void toggleSort(titlepage::TorrentSort pressed);
    void setMember(bool member);
    // A torrent's copy status by its index; none is idle.
    void setCopyLabel(qint64 index, const std::optional<QString> &label);

    // The cards in the order shown.
    QList<TorrentCard *> cards() const { return m_cards; }
    SortButton *episodeButton() const { return m_episode; }
    SortButton *sizeButton() const { return m_size; }
    QWidget *paidHint() const { return m_hint; }
    QLabel *emptyLabel() const { return m_empty; }

signals:
    void openRequested(const tovra::Torrent &torrent);
    void copyRequested(const tovra::Torrent &torrent);
    void sortChanged(const tovra::titlepage::SortState &sort);

private:
    void rebuild();
    void applySortButtons();

    QList<Torrent> m_torrents;
    bool m_member = false;
    titlepage::SortState m_sort;
    QHash<qint64, QString> m_copyLabels;
    SortButton *m_episode = nullptr;
    SortButton *m_size = nullptr;
    QWidget *m_hint = nullptr;
    QLabel *m_empty = nullptr;
    QVBoxLayout *m_list = nullptr;
    QList<TorrentCard *> m_cards;
};

}
