#pragma once

#include <QPointer>
#include <QWidget>

class QHBoxLayout;
class QLabel;
class QProgressBar;
class QPushButton;
class QVBoxLayout;

namespace tovra {

class UpdateService;

// The update sheet: shows the service's phase and hands every decision back to it. It keeps no
// state of its own beyond the widgets of the phase it is showing.
class UpdateView : public QWidget
{
    Q_OBJECT
public:
    explicit UpdateView(UpdateService *service, QWidget *parent = nullptr);

    // "%lld%" of the fraction, truncated: 0.999 is still 99%.
    static QString percentText(double progress);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

signals:
    // The user closed the sheet with "以后再说" or "完成".
    void dismissRequested();
    // "在文件管理器中显示" asked the file manager to show the new client folder.
    void revealRequested(const QString &unit);

private:
    void rebuild();
    void rebuildBody();
    void rebuildActions();
    void reveal();
    QWidget *bodyForPhase();
    QLabel *dimLabel(const QString &text, bool small);

    QPointer<UpdateService> m_service;
    QVBoxLayout *m_layout = nullptr;
    QLabel *m_versionLabel = nullptr;
    QWidget *m_body = nullptr;
    QWidget *m_actions = nullptr;
    QProgressBar *m_progress = nullptr;
    QLabel *m_percent = nullptr;
    int m_shownKind = -1;
};

}
