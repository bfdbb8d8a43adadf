#pragma once

#include "models/account.h"
#include "models/loadgeneration.h"
#include "models/title.h"
#include "views/usercenter/rowlist.h"

#include <QCoroTask>
#include <QList>
#include <QWidget>
#include <optional>

class QStackedLayout;

namespace tovra {

class StateOverlay;

// The titles the user has started to watch, as the site records them, each with the episode
// and position reached. It plays and opens nothing itself: it reports the choice and the user
// centre hands it on to the window.
class WatchingView : public QWidget
{
    Q_OBJECT
public:
    explicit WatchingView(QWidget *parent = nullptr);

    const QList<WatchingItem> &items() const { return m_items; }
    bool isLoading() const { return m_loading; }
    std::optional<QString> error() const { return m_error; }

    StateOverlay *overlay() const { return m_overlay; }
    // One widget per entry on show, in server order.
    QList<QWidget *> rows() const;

public slots:
    void reload();

signals:
    // Resume: the entry as the site gave it, the title for the player and the second to start at.
    void playRequested(const tovra::PlayEntry &entry, const QString &title, int startAt);
    void selected(const QString &did);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    QCoro::Task<> load();
    void dropAccount();
    void render();
    void rebuildRows();
    QWidget *makeRow(const WatchingItem &item);
    void play(const WatchingItem &item);

    QList<WatchingItem> m_items;
    bool m_loading = true;
    std::optional<QString> m_error;
    LoadGeneration m_loads;

    QStackedLayout *m_stack = nullptr;
    StateOverlay *m_overlay = nullptr;
    usercenter::RowList m_rows;
};

}
