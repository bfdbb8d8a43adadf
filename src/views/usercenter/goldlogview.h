#pragma once

#include "models/account.h"
#include "models/apiresponse.h"
#include "models/loadgeneration.h"
#include "views/usercenter/rowlist.h"

#include <QCoroTask>
#include <QList>
#include <QWidget>
#include <optional>

class QStackedLayout;

namespace tovra {

class Pager;
class StateOverlay;

// The coin ledger of the signed-in user, one site page at a time: each entry's kind, note,
// time, amount and the balance after it. A page change replaces the rows, never appends.
class GoldLogView : public QWidget
{
    Q_OBJECT
public:
    explicit GoldLogView(QWidget *parent = nullptr);

    // Local "yyyy-MM-dd HH:mm"; the messages page writes its times the same way.
    static QString time(qint64 unixSeconds);

    const QList<GoldLog> &items() const { return m_items; }
    const std::optional<Meta> &meta() const { return m_meta; }
    qint64 page() const { return m_page; }
    bool isLoading() const { return m_loading; }
    std::optional<QString> error() const { return m_error; }

    StateOverlay *overlay() const { return m_overlay; }
    Pager *pager() const { return m_pager; }
    // One widget per entry on show, in reply order.
    QList<QWidget *> rows() const;

public slots:
    void setPage(qint64 page);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    QCoro::Task<> load();
    void dropAccount();
    void render();
    void rebuildRows();
    QWidget *makeRow(const GoldLog &log);

    QList<GoldLog> m_items;
    std::optional<Meta> m_meta;
    qint64 m_page = 1;
    bool m_loading = true;
    std::optional<QString> m_error;
    LoadGeneration m_loads;

    QStackedLayout *m_stack = nullptr;
    StateOverlay *m_overlay = nullptr;
    QWidget *m_content = nullptr;
    usercenter::RowList m_rows;
    Pager *m_pager = nullptr;
};

}
