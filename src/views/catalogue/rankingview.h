#pragma once

#include "models/catalogue.h"
#include "models/loadgeneration.h"

#include <QCoroTask>
#include <QList>
#include <QWidget>
#include <optional>

class QScrollArea;
class QStackedLayout;
class QVBoxLayout;

namespace tovra {

class AutoRefresh;
class RankingRow;
class StateOverlay;

// The daily download ranking: one row per title with place, poster, name and count. A stored
// ranking of at least one row (up to 600 s old) shows at once; silent refreshes every 600 s
// and on activation update the rows in place.
class RankingView : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kRefreshSeconds = 600;

    explicit RankingView(QWidget *parent = nullptr);

    enum class Shown { Loading, Error, List, Empty };
    Shown shown() const;
    const QList<RankItem> &items() const { return m_items; }
    const std::optional<QString> &error() const { return m_error; }
    bool isLoading() const { return m_loading; }

    StateOverlay *overlay() const { return m_overlay; }
    QScrollArea *listArea() const { return m_list; }
    QList<RankingRow *> rows() const { return m_rows; }
    AutoRefresh *autoRefresh() const { return m_autoRefresh; }

public slots:
    void reload();
    // Silent, network only; skipped while a load is still on its way.
    void refresh();

signals:
    void selected(const QString &did);

protected:
    void showEvent(QShowEvent *event) override;

private:
    QCoro::Task<> load(bool silent);
    void setItems(QList<RankItem> items);
    void render();

    QList<RankItem> m_items;
    std::optional<QString> m_error;
    bool m_loading = true;
    bool m_busy = false; // the newest load has not answered yet
    LoadGeneration m_generation;

    QStackedLayout *m_stack = nullptr;
    StateOverlay *m_overlay = nullptr;
    QScrollArea *m_list = nullptr;
    QVBoxLayout *m_rowLayout = nullptr;
    QList<RankingRow *> m_rows;
    AutoRefresh *m_autoRefresh = nullptr;
};

}
