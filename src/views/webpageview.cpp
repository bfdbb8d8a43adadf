#include "views/webpageview.h"

#include "models/webpagelogic.h"
#include "network/apiclient.h"
#include "store/authstore.h"
#include "views/components/appearance.h"
#include "views/components/busyindicator.h"
#include "views/components/pointinghand.h"
#include "views/components/stateoverlay.h"
#include "views/components/typography.h"
#include "views/engine/engineloader.h"
#include "views/engine/mediaengine.h"
#include "views/engine/webpane.h"
#include "views/palette.h"
#include "views/toolbar/plaintooltip.h"
#include "views/toolbar/toolbarbutton.h"

#include <QAccessibleWidget>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QNetworkCookie>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace tovra {

namespace {

// The engine's view of a page hangs in the accessible tree under its pane, and the engine marks
// every node of its page as on show whether the view is or not: a screen reader would read the
// engine's English error page under our error view. A hidden pane has no children.
class WebPaneAccessible : public QAccessibleWidget
{
public:
    explicit WebPaneAccessible(QWidget *pane) : QAccessibleWidget(pane) {}
    int childCount() const override { return widget()->isVisible() ? QAccessibleWidget::childCount() : 0; }
    QAccessibleInterface *child(int index) const override
    {
        return widget()->isVisible() ? QAccessibleWidget::child(index) : nullptr;
    }
};

QAccessibleInterface *webPaneAccessible(const QString &, QObject *object)
{
    auto *pane = qobject_cast<WebPane *>(object);
    return pane ? new WebPaneAccessible(pane) : nullptr;
}

}

WebPageView::WebPageView(const QString &url, const QString &title, QWidget *parent)
    : QWidget(parent), m_url(url), m_title(title)
{
    static const bool paneAccessible = (QAccessible::installFactory(webPaneAccessible), true);
    Q_UNUSED(paneAccessible);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    m_bar = new QWidget(this);
    m_bar->setAutoFillBackground(true);
    auto *bar = new QHBoxLayout(m_bar);
    bar->setContentsMargins(16, 8, 16, 8);
    bar->setSpacing(6);
    auto makeButton = [this, bar](const QString &symbol, const QString &tip) {
        auto *button = new ToolbarButton(ToolbarButton::Style::Bordered, m_bar);
        button->setSymbol(symbol);
        setPlainToolTip(button, tip);
        // The hand shows over a disabled back button too: it says "this is a control".
        setPointingHand(button, true);
        bar->addWidget(button);
        return button;
    };
    m_back = makeButton(u"chevron.left"_s, u"返回上一页"_s);
    m_back->setAccessibleName(u"后退"_s);
    m_reload = makeButton(u"arrow.clockwise"_s, u"刷新"_s);
    m_reload->setAccessibleName(u"刷新"_s);
    bar->addSpacing(8);
    m_titleLabel = new QLabel(m_title, m_bar);
    m_titleLabel->setTextFormat(Qt::PlainText);
    m_titleLabel->setFont(uiFont(TextStyle::kTitle3, QFont::DemiBold));
    bar->addWidget(m_titleLabel, 1);
    outer->addWidget(m_bar);

    // The page, with the spinner and the error view stacked over it in one grid cell.
    m_body = new QWidget(this);
    m_grid = new QGridLayout(m_body);
    m_grid->setContentsMargins(0, 0, 0, 0);
    m_errorView = new StateOverlay(StateOverlay::Kind::loading(), m_body);
    m_errorView->setAutoFillBackground(true);
    m_grid->addWidget(m_errorView, 0, 0);
    m_spinner = new BusyIndicator(16, m_body);
    m_grid->addWidget(m_spinner, 0, 0, Qt::AlignCenter);
    m_errorView->raise();
    m_spinner->raise();
    outer->addWidget(m_body, 1);

    connect(m_back, &QAbstractButton::clicked, this, [this] {
        if (m_web)
            m_web->back();
    });
    connect(m_reload, &QAbstractButton::clicked, this, [this] {
        if (m_web)
            m_web->reload();
    });
    connect(AuthStore::shared(), &AuthStore::accountChanged, this, &WebPageView::dropAccount);
    m_watchdog.setSingleShot(true);
    connect(&m_watchdog, &QTimer::timeout, this, &WebPageView::onLoadTimeout);

    applyColors();
    followAppearance(this, [this](bool) { applyColors(); });

    // Opening is the first load: a refused address fetches nothing (no cookie, no request), and
    // the engine is loaded and the cookies stored before the page is asked for.
    load();
}

QWebEngineView *WebPageView::webView() const
{
    return m_web ? m_web->view() : nullptr;
}

bool WebPageView::makePane()
{
    if (m_web)
        return true;
    // The engine is loaded with the first site page, never before: a refused address or a
    // missing plugin leaves it unloaded and says so in the error view.
    const auto engine = EngineLoader::engine();
    if (!engine) {
        setState(false, engine.error());
        return false;
    }
    m_web = (*engine)->createWebPane();
    m_web->setParent(m_body);
    m_grid->addWidget(m_web, 0, 0);
    m_errorView->raise();
    m_spinner->raise();
    connect(m_web, &WebPane::loadingChanged, this, &WebPageView::onLoadingChanged);
    applyState();
    return true;
}

WebPageView::~WebPageView() = default;

QCoro::Task<void> WebPageView::start(QUrl address)
{
    QPointer self = this;
    const LoadGeneration::Ticket step = m_cookieSteps.begin();
    const auto current = [&] { return self && m_cookieSteps.isCurrent(step); };
    // The site cookie stands for the account that asked for it: one answered after the account
    // changed would sign the page (and every reload of it) in as the previous account.
    const AccountTicket asked = AuthStore::shared()->ticket();
    // The cookies are an extra: a failed call (signed out, refused, offline) just means the page
    // loads without them, and says nothing about it.
    const Result<WebCookie> reply = co_await APIClient::shared()->webCookie();
    if (!current())
        co_return;
    if (reply) {
        for (const QNetworkCookie &cookie : webpage::cookiesToSet(*reply)) {
            if (!asked.isCurrent())
                break;
            co_await m_web->storeCookie(cookie, kCookieWait);
            if (!current())
                co_return;
        }
    }
    go(address);
}

void WebPageView::go(const QUrl &address)
{
    if (m_stopping)
        m_pendingRetry = address;
    else
        request(address);
}

void WebPageView::dropAccount()
{
    // A cookie step still waiting is the previous account's.
    m_cookieSteps.invalidate();
    if (!m_web)
        return;
    if (isVisible())
        reopen();
    else
        m_reopenOnShow = true;
}

void WebPageView::reopen()
{
    m_reopenOnShow = false;
    const auto address = webpage::pageAddress(m_url);
    if (!address)
        return;
    m_pageRequested = false;
    setState(true, std::nullopt);
    QCoro::connect(start(*address), this, [] {});
}

void WebPageView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_reopenOnShow)
        reopen();
}

void WebPageView::load()
{
    setState(true, std::nullopt);
    const auto address = webpage::pageAddress(m_url);
    if (!address)
        setState(false, QString::fromUtf16(webpage::kBadAddressText));
    else if (!m_web) {
        // On opening, or after the engine failed to load: the task checks after every wait
        // that the page is still there.
        if (makePane())
            QCoro::connect(start(*address), this, [] {});
    } else
        go(*address);
}

void WebPageView::setLoadTimeout(std::chrono::milliseconds timeout)
{
    m_loadTimeout = timeout;
    if (m_watchdog.isActive())
        m_watchdog.start(m_loadTimeout);
}

void WebPageView::request(const QUrl &address)
{
    m_watchdog.start(m_loadTimeout);
    m_pageRequested = true;
    m_web->load(address);
    applyState();
}

void WebPageView::onLoadingChanged(const WebPane::Loading &info)
{
    using Status = WebPane::Loading::Status;
    const auto status = info.status;
    if (m_stopping && (status == Status::Stopped || status == Status::Failed)) {
        // The end of the navigation we stopped ourselves; the page already says it timed out.
        m_stopping = false;
        if (auto retry = std::exchange(m_pendingRetry, std::nullopt))
            request(*retry);
        return;
    }
    switch (status) {
    case Status::Started:
        m_watchdog.start(m_loadTimeout);
        setState(true, std::nullopt);
        break;
    case Status::Succeeded:
        m_watchdog.stop();
        m_canGoBack = m_web->canGoBack();
        setState(false, m_error);
        break;
    case Status::Stopped:
        m_watchdog.stop();
        setState(false, m_error);
        break;
    case Status::Failed: {
        m_watchdog.stop();
        // The site's own error page (a 404, a 500) arrived and is on screen: it is the page, as
        // in a browser. Only a navigation that brought nothing back is ours to explain.
        if (info.httpStatus) {
            m_canGoBack = m_web->canGoBack();
            setState(false, m_error);
            break;
        }
        const int code = info.code;
        // A navigation replaced by a newer one ends quietly; the newer one's events decide.
        if (webpage::isCancellation(code)) {
            setState(false, m_error);
            break;
        }
        setState(false, webpage::loadFailureText(code, info.errorString));
        break;
    }
    }
}

void WebPageView::onLoadTimeout()
{
    // The engine reports the stop a while later. A retry pressed before that would be swallowed
    // by the stop still in progress, so it waits for the report (see load()).
    m_stopping = true;
    setState(false, webpage::loadFailureText(-7, {}));
    m_web->stop();
}

void WebPageView::setState(bool loading, std::optional<QString> error)
{
    m_loading = loading;
    m_error = std::move(error);
    applyState();
    emit stateChanged();
}

void WebPageView::applyState()
{
    if (m_error) {
        m_errorView->setKind(StateOverlay::Kind::error(*m_error, [this] { load(); }));
        m_errorView->show();
        m_errorView->raise();
    } else {
        m_errorView->hide();
    }
    // The engine's own error page lies under ours, in English and naming the error code. Until
    // the page is asked for, the view would show an empty document (after a change of account,
    // the previous account's page): the spinner shows alone, over a window with no engine view in
    // it, so its frames stay as cheap as any widget's however long the cookie reply takes.
    if (m_web)
        m_web->setVisible(!m_error && m_pageRequested);
    m_spinner->setVisible(!m_error && m_loading);
    m_back->setEnabled(m_canGoBack);
}

void WebPageView::applyColors()
{
    const bool dark = Palette::isDark();
    for (QWidget *widget : {static_cast<QWidget *>(m_bar), static_cast<QWidget *>(m_errorView)}) {
        QPalette p = widget->palette();
        p.setColor(QPalette::Window, Palette::windowBackground(dark));
        widget->setPalette(p);
    }
    QPalette p = m_titleLabel->palette();
    p.setColor(QPalette::WindowText, Palette::text(dark));
    m_titleLabel->setPalette(p);
}

}
