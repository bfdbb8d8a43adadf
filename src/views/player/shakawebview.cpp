#include "views/player/shakawebview.h"

#include "models/playerlogic.h"
#include "views/webprofile.h"

#include <QAction>
#include <QChildEvent>
#include <QKeyEvent>
#include <QScreen>
#include <QVBoxLayout>
#include <QWebEngineFullScreenRequest>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace tovra {

ShakaWebView::ShakaWebView(const PlayAuth &auth, const QString &title, QWidget *parent)
    : QWidget(parent)
    , m_base(player::mediaAddress())
{
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::black);
    setPalette(p);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_web = new QWebEngineView(this);
    setAccessibleName(title);
    m_web->setAccessibleName(title);
    // The browser's own menu (back, reload, save page, view source) has no place in a player.
    m_web->setContextMenuPolicy(Qt::NoContextMenu);
    // Keys reach the widget the engine draws the page into, a child it makes (again after the
    // page's process ends): each child is watched as it comes.
    m_web->installEventFilter(this);
    auto *page = new QWebEnginePage(WebProfile::shared(), m_web);
    page->setBackgroundColor(Qt::black);
    // The video starts by itself, with sound, like the native player.
    page->settings()->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
    page->settings()->setAttribute(QWebEngineSettings::FullScreenSupportEnabled, true);
    connect(page, &QWebEnginePage::fullScreenRequested, this, [this](QWebEngineFullScreenRequest request) {
        // A page that is no longer shown gets no window over the screen.
        if (request.toggleOn() && !isVisible()) {
            request.reject();
            return;
        }
        request.accept();
        setViewFullScreen(request.toggleOn());
    });
    m_web->setPage(page);
    for (QWidget *child : m_web->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        child->installEventFilter(this);
    layout->addWidget(m_web);

    // Whoever gives the player the focus gives it to the page, where the keys are handled.
    setFocusProxy(m_web);

    m_html = player::shakaPage(auth, m_base, title);
    m_web->setHtml(m_html, m_base);
}

ShakaWebView::~ShakaWebView()
{
    // The page must go before the view that hosts it, and both before the shared profile.
    if (m_web)
        delete m_web->page();
}

bool ShakaWebView::isPageFullScreen() const
{
    return m_web->isWindow();
}

bool ShakaWebView::isOurKey(const QKeyEvent *key)
{
    const auto modifiers = key->modifiers() & ~Qt::KeypadModifier;
    return (key->key() == Qt::Key_Left && modifiers == Qt::AltModifier)
           || (key->key() == Qt::Key_Escape && modifiers == Qt::NoModifier);
}

bool ShakaWebView::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::ChildAdded:
        if (watched == m_web) {
            if (QObject *child = static_cast<QChildEvent *>(event)->child(); child->isWidgetType())
                child->installEventFilter(this);
        }
        break;
    case QEvent::ShortcutOverride:
        // Not accepted, so the window's shortcuts (back on Alt+←) come before the page, whatever
        // the page makes of the key or wherever its focus is.
        if (isOurKey(static_cast<QKeyEvent *>(event)))
            return true;
        break;
    case QEvent::KeyPress:
        if (!isOurKey(static_cast<QKeyEvent *>(event)))
            break;
        // Esc first ends the page's full screen (the engine leaves that to its host), then the page.
        if (isPageFullScreen() && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape)
            leaveFullScreen();
        else
            goBack();
        return true;
    case QEvent::Close:
        // The window manager closing the full-screen window ends the full screen; the view
        // itself stays, for the page.
        if (watched == m_web && isPageFullScreen()) {
            event->ignore();
            leaveFullScreen();
            return true;
        }
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void ShakaWebView::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    // The page is leaving the window (going back, a new route): a full-screen window of a page
    // out of sight would stay over the screen.
    if (!event->spontaneous())
        leaveFullScreen();
}

void ShakaWebView::setViewFullScreen(bool fullScreen)
{
    if (fullScreen == isPageFullScreen())
        return;
    if (fullScreen) {
        // The screen of the window the page is in, covered even where no window manager
        // applies the state.
        QScreen *shownOn = window()->screen();
        m_web->setWindowFlag(Qt::Window, true);
        m_web->setWindowTitle(windowTitle().isEmpty() ? QStringLiteral("全屏播放")
                                                      : windowTitle() + QStringLiteral(" - 全屏播放"));
        if (shownOn)
            m_web->setGeometry(shownOn->geometry());
        m_web->showFullScreen();
        m_web->activateWindow();
        m_web->setFocus(Qt::OtherFocusReason);
        return;
    }
    // Only a full-screen window the user was in hands the activation back, to the window the
    // page is in, even when the page itself is on its way out.
    const bool active = m_web->isActiveWindow();
    m_web->setWindowFlag(Qt::Window, false);
    m_web->setWindowState(m_web->windowState() & ~Qt::WindowFullScreen);
    m_web->show();
    if (active && window()->isVisible())
        window()->activateWindow();
    m_web->setFocus(Qt::OtherFocusReason);
}

void ShakaWebView::leaveFullScreen()
{
    if (!isPageFullScreen())
        return;
    // The view goes back into the page at once; the page is told, and its answer finds the
    // view already in place.
    setViewFullScreen(false);
    m_web->page()->triggerAction(QWebEnginePage::ExitFullScreen);
}

void ShakaWebView::goBack()
{
    leaveFullScreen();
    // The page has no history of its own: leaving it is the window's back, the action that
    // Alt+← triggers there.
    const QKeySequence back(Qt::ALT | Qt::Key_Left);
    for (QAction *action : window()->findChildren<QAction *>()) {
        if (action->isEnabled() && action->shortcut() == back) {
            action->trigger();
            return;
        }
    }
}

}
