#pragma once

#include "models/detaillogic.h"
#include "models/loadgeneration.h"
#include "models/title.h"
#include "network/apiclient.h"

#include <QCoroTask>
#include <QHash>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>
#include <optional>

class QLabel;

class QScrollArea;
class QStackedLayout;
class QVBoxLayout;

namespace tovra {

class DetailHero;
class PlayGrid;
class PosterGrid;
class StateOverlay;
class TorrentSection;

// The page of one title: poster, names and metadata links, the introduction, the play list,
// the torrents and related titles. A stored reply up to 600 s old shows at once while the
// network is asked; an error shows only when there is nothing to show. The page navigates
// nowhere itself: every choice is a signal for the main window.
class DetailView : public QWidget
{
    Q_OBJECT
public:
    explicit DetailView(const QString &did, QWidget *parent = nullptr);
    ~DetailView() override;

    enum class Shown { Loading, Error, Content, Nothing };
    Shown shown() const;
    const QString &did() const { return m_did; }
    const std::optional<ItemDetail> &detail() const { return m_detail; }
    const std::optional<QString> &error() const { return m_error; }
    bool isLoading() const { return m_loading; }
    // The title the window shows for this page: the record's, or "详情" before there is one.
    QString navigationTitle() const;

    // The parts on show, for tests and for a reviewer's grabs; null while absent.
    StateOverlay *overlay();
    QScrollArea *contentArea() const { return m_content; }
    DetailHero *hero() const { return m_hero; }
    QWidget *introSection() const { return m_intro; }
    QLabel *introLabel() const { return m_introText; }
    QWidget *playSection() const { return m_play; }
    PlayGrid *playGrid() const { return m_playGrid; }
    QWidget *trialLabel() const { return m_trial; }
    TorrentSection *torrentSection() const { return m_torrents; }
    QWidget *interestedSection() const { return m_interested; }
    PosterGrid *interestedGrid() const { return m_interestedGrid; }
    // The membership alert while it is up.
    QMessageBox *membershipAlert() const { return m_vipAlert; }
    const std::optional<Torrent> &vipGateTorrent() const { return m_vipGate; }
    std::optional<QString> copyState(qint64 index) const;

public slots:
    // The stored record first, then the network.
    void reload();

signals:
    void playRequested(const tovra::PlayEntry &entry, const QString &title);
    void downloadRequested(const QString &did, const tovra::Torrent &torrent);
    void selected(const QString &did);
    void filterRequested(const QString &title, const tovra::Params &params);
    void vipRequested();
    void navigationTitleChanged(const QString &title);

protected:
    void showEvent(QShowEvent *event) override;

private:
    QCoro::Task<> load();
    QCoro::Task<> copyMagnet(QString did, Torrent torrent);
    void openTorrent(const Torrent &torrent);
    void showMembershipAlert(const Torrent &torrent);
    void setCopyState(qint64 index, const std::optional<QString> &label);
    void setDetail(ItemDetail detail);
    void buildContent();
    void applyMembership();
    void render();

    QString m_did;
    std::optional<ItemDetail> m_detail;
    std::optional<QString> m_error;
    bool m_loading = true;
    bool m_started = false;
    LoadGeneration m_generation;
    std::optional<Torrent> m_vipGate;
    QHash<qint64, QString> m_copyState;
    // The torrent order lives as long as the page, across fresh records and retries.
    titlepage::SortState m_sort;
    // Bumped per copy of a torrent, so an old failure's timer leaves a newer status alone.
    QHash<qint64, quint64> m_copyTicket;

    QStackedLayout *m_stack = nullptr;
    StateOverlay *m_overlay = nullptr;
    QScrollArea *m_content = nullptr;
    QWidget *m_nothing = nullptr;
    QWidget *m_column = nullptr;
    DetailHero *m_hero = nullptr;
    QWidget *m_intro = nullptr;
    QLabel *m_introText = nullptr;
    QWidget *m_play = nullptr;
    PlayGrid *m_playGrid = nullptr;
    QWidget *m_trial = nullptr;
    TorrentSection *m_torrents = nullptr;
    QWidget *m_interested = nullptr;
    PosterGrid *m_interestedGrid = nullptr;
    QPointer<QMessageBox> m_vipAlert;
};

}
