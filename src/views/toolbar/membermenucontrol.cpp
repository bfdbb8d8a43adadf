#include "views/toolbar/membermenucontrol.h"

#include "store/authstore.h"
#include "views/toolbar/accountbox.h"
#include "views/toolbar/accountchipbutton.h"
#include "views/toolbar/membermenu.h"
#include "views/toolbar/membermenubutton.h"

#include <QApplication>
#include <QCoro/QCoroTask>
#include <QFocusEvent>
#include <QKeyEvent>

namespace tovra {

MemberMenuControl::MemberMenuControl(AccountBox *accountBox, QWidget *window)
    : QObject(window), m_accountBox(accountBox), m_menu(new MemberMenu(window))
{
    m_menu->hide();
    connect(m_accountBox, &AccountBox::chipHoverChanged, this, &MemberMenuControl::hover);
    connect(m_menu, &MemberMenu::hoverChanged, this, &MemberMenuControl::hover);
    connect(m_menu, &MemberMenu::refreshClicked, this, [this] {
        setShows(false);
        QCoro::connect(AuthStore::shared()->refresh(), this, [] {});
    });
    connect(m_menu, &MemberMenu::logoutClicked, this, [this] {
        setShows(false);
        AuthStore::shared()->logout();
    });
    m_close.setSingleShot(true);
    m_close.setInterval(kCloseDelay);
    connect(&m_close, &QTimer::timeout, this, [this] { setShows(false); });
    m_accountBox->chip()->installEventFilter(this);
}

MemberMenuControl::~MemberMenuControl()
{
    // The window deletes this before its widgets: the chip is still there to let go of.
    qApp->removeEventFilter(this);
    m_accountBox->chip()->removeEventFilter(this);
    m_close.stop();
}

void MemberMenuControl::hover(bool inside)
{
    m_close.stop();
    if (inside) {
        setShows(true);
        return;
    }
    m_close.start();
}

bool MemberMenuControl::chipKey(QKeyEvent *key)
{
    if (key->modifiers() & ~Qt::KeypadModifier)
        return false;
    switch (key->key()) {
    case Qt::Key_Down:
    case Qt::Key_Up:
        setShows(true);
        if (!m_shows)
            return false;
        m_close.stop();
        m_menu->moveCurrent(key->key() == Qt::Key_Down ? 1 : -1);
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        if (!m_shows || !m_menu->current())
            return false;
        m_menu->current()->click();
        return true;
    default:
        return false;
    }
}

void MemberMenuControl::setShows(bool shows)
{
    if (shows && !m_accountBox->isSignedIn())
        shows = false;
    if (shows == m_shows)
        return;
    m_shows = shows;
    if (shows) {
        place();
        m_menu->show();
        m_menu->raise();
        // The menu grabs nothing, so a click elsewhere has to be noticed here to close it.
        qApp->installEventFilter(this);
    } else {
        m_close.stop();
        qApp->removeEventFilter(this);
        m_menu->hide();
    }
    emit showsChanged();
}

void MemberMenuControl::place()
{
    if (m_shows || m_menu->isVisible())
        m_menu->placeUnder(m_accountBox->chip());
}

bool MemberMenuControl::eventFilter(QObject *watched, QEvent *event)
{
    if (m_shows && event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
        setShows(false);
        return true;
    }
    // While the menu is open this filter sees the chip's keys twice (for the application, then
    // for the chip): every key it takes is consumed the first time.
    if (watched == m_accountBox->chip()) {
        if (event->type() == QEvent::KeyPress && chipKey(static_cast<QKeyEvent *>(event)))
            return true;
        // Focus going to another window is the window's to judge.
        if (event->type() == QEvent::FocusOut && m_shows && !m_menu->isHovering()
            && static_cast<QFocusEvent *>(event)->reason() != Qt::ActiveWindowFocusReason)
            hover(false);
    }
    if (m_shows && event->type() == QEvent::MouseButtonPress) {
        auto *widget = qobject_cast<QWidget *>(watched);
        QWidget *chip = m_accountBox->chip();
        const bool onMenu = widget && (widget == m_menu || m_menu->isAncestorOf(widget));
        const bool onChip = widget && (widget == chip || chip->isAncestorOf(widget));
        if (widget && !onMenu && !onChip)
            setShows(false);
    }
    return QObject::eventFilter(watched, event);
}

}
