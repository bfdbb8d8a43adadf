#pragma once

#include "models/account.h"
#include "models/loadgeneration.h"

#include <QAccessible>
#include <QWidget>
#include <optional>
#include <qcorotask.h>

class QAbstractButton;
class QButtonGroup;
class QScrollArea;
class QVBoxLayout;

namespace tovra {

class StateOverlay;

// The "我的消息" tab: comment notices (all, replies or likes) and the user's messages to the
// site with the staff replies, first page only. Loads when first shown and on every change of
// either control; only the newest load may write what the page shows.
class MessageView : public QWidget
{
    Q_OBJECT
public:
    explicit MessageView(QWidget *parent = nullptr);
    ~MessageView() override;

    QString tab() const { return m_tab; }
    QString type() const { return m_type; }
    qint64 page() const { return m_page; }
    bool isLoading() const { return m_loading; }
    std::optional<QString> error() const { return m_error; }
    const std::optional<MessageData> &data() const { return m_data; }

    // What the two segmented controls do: choose, go back to page 1 and reload. Choosing the
    // value already chosen does nothing.
    void setTab(const QString &tab);
    void setType(const QString &type);

    // Loads the current selection; what it finds is shown unless a newer load started meanwhile.
    QCoro::Task<> load();

    StateOverlay *overlay() const { return m_overlay; }
    // The rows of the list on show (hidden while an overlay shows).
    QWidget *listContent() const { return m_rows; }
    QWidget *filterControl() const { return m_typeBox; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    QWidget *buildSegments(const QList<std::pair<QString, QString>> &options, int width, QButtonGroup *&group,
                           void (MessageView::*choose)(const QString &), QAccessible::Role role);
    void startLoad();
    void dropAccount();
    void rebuildRows();
    void render();

    QString m_tab = QStringLiteral("notice");
    QString m_type = QStringLiteral("all");
    qint64 m_page = 1;
    std::optional<MessageData> m_data;
    bool m_loading = true;
    std::optional<QString> m_error;
    bool m_started = false;
    LoadGeneration m_generation;

    QButtonGroup *m_tabGroup = nullptr;
    QButtonGroup *m_typeGroup = nullptr;
    QWidget *m_typeBox = nullptr;
    StateOverlay *m_overlay = nullptr;
    QScrollArea *m_scroll = nullptr;
    QWidget *m_rows = nullptr;
};

}
