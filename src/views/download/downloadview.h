#pragma once

#include "models/downloadlogic.h"
#include "models/loadgeneration.h"
#include "models/title.h"

#include <QCoroTask>
#include <QHash>
#include <QPointer>
#include <QSet>
#include <QWidget>
#include <functional>
#include <optional>

class QLabel;
class QNetworkAccessManager;
class QPushButton;
class QScrollArea;
class QStackedLayout;

namespace tovra {

class StateOverlay;
class TorrentTree;

// The page of one torrent of a title: its name and size, its file tree, and four ways to get
// it (copy the magnet link, open the magnet or Thunder link, save the .torrent file). Each
// button reports its own progress in its text; a failure also leaves a message under the row.
class DownloadView : public QWidget
{
    Q_OBJECT
public:
    using DownAction = downloads::DownAction;

    // What the page asks of the desktop. Tests put their own in, so no dialog ever opens.
    struct Desktop
    {
        // A save dialog starting at suggestedPath; nothing when the user cancels.
        std::function<std::optional<QString>(QWidget *parent, const QString &suggestedPath)> askSavePath;
        // Hands an already vetted magnet: or thunder: link to the system; false when no
        // application takes it.
        std::function<bool(const QString &link)> openLink;
        // Shows the saved file selected in the file manager (or at least its folder).
        std::function<void(const QString &path)> reveal;

        static Desktop system();
    };

    DownloadView(const QString &did, const Torrent &torrent, QWidget *parent = nullptr);
    ~DownloadView() override;

    void setDesktop(Desktop desktop) { m_desktop = std::move(desktop); }

    enum class Shown { Loading, Error, Content, Nothing };
    Shown shown() const;
    const std::optional<TorrentDetail> &detail() const { return m_detail; }
    const std::optional<QString> &error() const { return m_error; }
    QString navigationTitle() const;
    const QSet<QString> &expanded() const { return m_expanded; }
    std::optional<QString> actionState(DownAction action) const;
    const std::optional<QString> &message() const { return m_message; }

    // The parts on show, for tests and a reviewer's grabs; null while absent.
    StateOverlay *overlay() const { return m_overlay; }
    QLabel *nameLabel() const { return m_name; }
    QLabel *sizeLabel() const { return m_size; }
    QLabel *emptyTreeLabel() const { return m_emptyTree; }
    TorrentTree *tree() const { return m_tree; }
    QPushButton *button(DownAction action) const { return m_buttons.value(int(action)); }
    QLabel *messageLabel() const { return m_messageLabel; }

public slots:
    void reload();
    // Returns at once; the work goes on even if the page closes meanwhile.
    void run(tovra::downloads::DownAction action);

signals:
    void navigationTitleChanged(const QString &title);

protected:
    void showEvent(QShowEvent *event) override;

private:
    QCoro::Task<> load();
    QCoro::Task<> perform(DownAction action, quint64 ticket);
    // Signed out, or another account signed in: nothing of the last account's stays on show.
    void dropAccount();
    // No newer run of the action, and no change of account, since ticket was taken.
    bool isLatest(DownAction action, quint64 ticket) const;
    void toggle(const QString &name);
    void setActionState(DownAction action, const std::optional<QString> &text);
    void setMessage(const std::optional<QString> &text);
    void fail(DownAction action, quint64 ticket, const APIError &error);
    void buildContent();
    QWidget *actionSection(QWidget *parent);
    void render();

    QString m_did;
    Torrent m_torrent;
    std::optional<TorrentDetail> m_detail;
    std::optional<QString> m_error;
    bool m_loading = true;
    LoadGeneration m_generation;
    QHash<int, QString> m_actionState;
    // Bumped per run of an action and on a change of account, so an older run, or its failure's
    // timer, leaves the text of what came after alone.
    QHash<int, quint64> m_actionTicket;
    std::optional<TorrentRes> m_res;
    QSet<QString> m_expanded;
    std::optional<QString> m_message;
    Desktop m_desktop;

    QStackedLayout *m_stack = nullptr;
    StateOverlay *m_overlay = nullptr;
    QScrollArea *m_content = nullptr;
    QWidget *m_nothing = nullptr;
    QLabel *m_name = nullptr;
    QLabel *m_size = nullptr;
    QLabel *m_emptyTree = nullptr;
    TorrentTree *m_tree = nullptr;
    QHash<int, QPushButton *> m_buttons;
    QLabel *m_messageLabel = nullptr;
};

}
