#include "views/navigationstack.h"

#include <QAction>
#include <QApplication>
#include <QMouseEvent>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <utility>

namespace tovra {

NavigationStack::NavigationStack(QWidget *parent) : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_stack = new QStackedWidget(this);
    layout->addWidget(m_stack);

    m_back = new QAction(QStringLiteral("返回"), this);
    m_back->setObjectName(QStringLiteral("backAction"));
    m_back->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Left));
    m_back->setShortcutContext(Qt::WindowShortcut);
    m_back->setToolTip(QStringLiteral("返回 (Alt+←)"));
    m_back->setEnabled(false);
    connect(m_back, &QAction::triggered, this, [this] { pop(); });
    // The shortcut needs a widget in the window to live on; the toolbar button may come later.
    addAction(m_back);

    // The mouse's back button is pressed over whatever child happens to be under the pointer (a
    // card, a scroll area, a web view), most of which never pass it on, so it is caught before
    // delivery for every widget of this window.
    qApp->installEventFilter(this);
}

NavigationStack::~NavigationStack()
{
    if (qApp)
        qApp->removeEventFilter(this);
}

void NavigationStack::setRoot(QWidget *root)
{
    if (root == m_root)
        return;
    QWidget *old = m_root;
    m_root = root;
    // Hiding the page that holds the focus hands it on as Tab does, to the first stop of the new
    // page before that page is laid out: a list there scrolls its first entry into a view a few
    // pixels high (the page then opens scrolled down) and the keyboard ring lights up after a
    // click. The new page takes it itself instead, at its top.
    QWidget *focus = QApplication::focusWidget();
    const bool focusInOld = old && focus && (focus == old || old->isAncestorOf(focus));
    if (focusInOld)
        focus->clearFocus();
    if (root)
        m_stack->insertWidget(0, root);
    if (old)
        removePage(old);
    settle();
    if (focusInOld && root && root == currentPage())
        root->setFocus(Qt::OtherFocusReason);
}

void NavigationStack::push(const Route &route, QWidget *page)
{
    Q_ASSERT(page);
    QWidget *focus = QApplication::focusWidget();
    QWidget *below = currentPage();
    m_returnFocus.append(focus && below && (focus == below || below->isAncestorOf(focus)) ? focus : nullptr);
    m_path.append(route);
    m_pages.append(page);
    m_stack->addWidget(page);
    settle();
    emit pathChanged();
}

bool NavigationStack::pop()
{
    if (m_path.isEmpty())
        return false;
    m_path.removeLast();
    QPointer<QWidget> page = m_pages.takeLast();
    settleBack(page, m_returnFocus.takeLast());
    if (page)
        removePage(page);
    emit pathChanged();
    return true;
}

void NavigationStack::popToRoot()
{
    if (m_path.isEmpty())
        return;
    const auto pages = std::exchange(m_pages, {});
    const QPointer<QWidget> returnTo = m_returnFocus.value(0);
    m_returnFocus.clear();
    m_path.clear();
    settleBack(pages.constLast(), returnTo);
    for (const auto &page : pages) {
        if (page)
            removePage(page);
    }
    emit pathChanged();
}

void NavigationStack::popTo(int index)
{
    while (index >= 0 && m_path.size() > index + 1)
        pop();
}

void NavigationStack::remove(QWidget *page)
{
    const qsizetype index = m_pages.indexOf(page);
    if (index < 0)
        return;
    m_path.removeAt(index);
    m_pages.removeAt(index);
    const QPointer<QWidget> returnTo = m_returnFocus.takeAt(index);
    // Only the top page hands the focus back to the page beneath it.
    if (index == m_pages.size())
        settleBack(page, returnTo);
    else
        settle();
    removePage(page);
    emit pathChanged();
}

QWidget *NavigationStack::pageAt(int index) const
{
    return index >= 0 && index < m_pages.size() ? m_pages.at(index).data() : nullptr;
}

QWidget *NavigationStack::currentPage() const
{
    if (!m_pages.isEmpty())
        return m_pages.constLast();
    return m_root;
}

void NavigationStack::removePage(QWidget *page)
{
    m_stack->removeWidget(page);
    page->hide();
    // A page may be the sender of the very signal that made us pop (a "close" button on it), so it
    // goes once control is back in the event loop.
    page->deleteLater();
}

void NavigationStack::settle()
{
    if (QWidget *top = currentPage())
        m_stack->setCurrentWidget(top);
    m_back->setEnabled(!m_path.isEmpty());
}

void NavigationStack::settleBack(QWidget *leaving, QWidget *returnTo)
{
    QWidget *focus = QApplication::focusWidget();
    // On a desktop the page itself often holds the focus, having no stop of its own at hand.
    if (!returnTo || !leaving || !focus || (focus != leaving && !leaving->isAncestorOf(focus))) {
        settle();
        return;
    }
    // Left to itself, the stack hands the focus to the first stop of the page shown again, and
    // a list taking it scrolls to its first entry: the page would jump from where it was left.
    focus->clearFocus();
    settle();
    if (returnTo->isVisible() && returnTo->isEnabled())
        returnTo->setFocus(Qt::OtherFocusReason);
    else if (QWidget *top = currentPage())
        top->setFocus(Qt::OtherFocusReason);
}

bool NavigationStack::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease) {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::BackButton && watched->isWidgetType()) {
            auto *widget = static_cast<QWidget *>(watched);
            if (widget->window() == window() && isVisible()) {
                // Act on the press only, and swallow both halves so no parent sees the click a
                // second time on its way up.
                if (event->type() == QEvent::MouseButtonPress)
                    pop();
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

}
