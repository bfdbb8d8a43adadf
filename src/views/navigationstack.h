#pragma once

#include "models/route.h"

#include <QList>
#include <QPointer>
#include <QWidget>

class QAction;
class QStackedWidget;

namespace tovra {

// The main window's stack of screens: a root screen with zero or more pushed routes on top.
// Pushed pages stay alive underneath the one on top, so going back shows a page exactly as it was
// left (scroll position, typed text, loaded data). The root may be swapped while routes are pushed;
// the pushed pages stay where they are.
class NavigationStack : public QWidget
{
    Q_OBJECT
public:
    explicit NavigationStack(QWidget *parent = nullptr);
    ~NavigationStack() override;

    // Takes ownership of root; the previous root is deleted unless it is the same widget.
    void setRoot(QWidget *root);
    QWidget *root() const { return m_root; }

    // Takes ownership of page and shows it on top.
    void push(const Route &route, QWidget *page);
    // Drops the page on top; answers false when only the root is left.
    bool pop();
    void popToRoot();
    // Pops until the index-th pushed page is on top.
    void popTo(int index);
    // Takes page out of the path wherever it stands; the pages above it stay, in order.
    void remove(QWidget *page);

    int depth() const { return int(m_path.size()); }
    const QList<Route> &path() const { return m_path; }
    // The page of the index-th pushed route, counting from 0 at the bottom.
    QWidget *pageAt(int index) const;
    // What is on screen: the top page, or the root when nothing is pushed.
    QWidget *currentPage() const;

    // "返回": enabled while a route is pushed; Alt+Left while the window is active. The window puts
    // it in its toolbar.
    QAction *backAction() const { return m_back; }

signals:
    void pathChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void removePage(QWidget *page);
    void settle();
    // Shows the top page again; leaving, from inside it, the page that goes, the focus returns to
    // returnTo.
    void settleBack(QWidget *leaving, QWidget *returnTo);

    QStackedWidget *m_stack = nullptr;
    QPointer<QWidget> m_root;
    QList<Route> m_path;
    QList<QPointer<QWidget>> m_pages;
    // For each pushed page, the widget of the page beneath that had the focus when it was pushed
    // (the card that opened a title): going back gives it the focus again.
    QList<QPointer<QWidget>> m_returnFocus;
    QAction *m_back = nullptr;
};

}
