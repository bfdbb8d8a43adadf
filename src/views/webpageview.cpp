#include "views/webpageview.h"

#include "models/webpagelogic.h"
#include "network/apiclient.h"
#include "views/components/appearance.h"
#include "views/components/busyindicator.h"
#include "views/components/pointinghand.h"
#include "views/components/stateoverlay.h"
#include "views/components/typography.h"
#include "views/palette.h"
#include "views/toolbar/plaintooltip.h"
#include "views/toolbar/toolbarbutton.h"
#include "views/webprofile.h"

#include <QCoroSignal>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QNetworkCookie>
#include <QVBoxLayout>
#include <QWebEngineCookieStore>
#include <QWebEngineHistory>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

using namespace Qt::StringLiterals;

namespace tovra {

namespace {

// Links inside a site page follow the same rule as the route's address: the top frame only ever
// shows http and https pages. Anything else (file:, a custom scheme the desktop would hand to
// another program) is dropped rather than opened.
class SitePage : public QWebEnginePage
{
public:
    using QWebEnginePage::QWebEnginePage;

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType, bool isMainFrame) override
    {
        return !isMainFrame || webpage::pageAddress(url.toString(QUrl::FullyEncoded)).has_value();
    }
};

// The store confirms a cookie only through its cookieAdded signal, so wait for that (up to
// wait) before the next cookie or the page's request goes out; otherwise the first request
// could leave before the cookies are in place.
QCoro::Task<void> storeCookie(QPointer<QWebEngineCookieStore> store, QNetworkCookie cookie,
                              std::chrono::milliseconds wait)
{
    // An expired cookie only removes one of the same name; no addition is ever announced for it.
    const bool announced = cookie.expirationDate() > QDateTime::currentDateTimeUtc();
    store->setCookie(cookie);
    if (!announced)
        co_return;
    const QDeadlineTimer deadline(wait);
    while (store && !deadline.hasExpired()) {
        const auto added = co_await qCoro(store.data(), &QWebEngineCookieStore::cookieAdded,
                                          std::chrono::milliseconds(qMax<qint64>(1, deadline.remainingTime())));
        if (!added || (added->name() == cookie.name() && added->value() == cookie.value()))
            co_return;
    }
}

}

WebPageView::WebPageView(const QString &url, const QString &title, QWidget *parent)
    : QWidget(parent), m_url(url), m_title(title)
{
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
        button->setToolTip(plainToolTip(tip));
        // The hand shows over a disabled back button too: it says "this is a control".
        setPointingHand(button, true);
        bar->addWidget(button);
        return button;
    };
    m_back = makeButton(u"chevron.left"_s, u"返回上一页"_s);
    m_reload = makeButton(u"arrow.clockwise"_s, u"刷新"_s);
    bar->addSpacing(8);
    m_titleLabel = new QLabel(m_title, m_bar);
    m_titleLabel->setTextFormat(Qt::PlainText);
    m_titleLabel->setFont(uiFont(TextStyle::kTitle3, QFont::DemiBold));
    bar->addWidget(m_titleLabel, 1);
    outer->addWidget(m_bar);

    // The page, with the spinner and the error view stacked over it in one grid cell.
    auto *body = new QWidget(this);
    auto *grid = new QGridLayout(body);
    grid->setContentsMargins(0, 0, 0, 0);
    // Making the view and its page is what starts the engine: nothing of it exists before the
    // first web page opens.
    m_web = new QWebEngineView(body);
    m_web->setPage(new SitePage(WebProfile::shared(), m_web));
    grid->addWidget(m_web, 0, 0);
    m_errorView = new StateOverlay(StateOverlay::Kind::loading(), body);
    m_errorView->setAutoFillBackground(true);
    grid->addWidget(m_errorView, 0, 0);
    m_spinner = new BusyIndicator(16, body);
    grid->addWidget(m_spinner, 0, 0, Qt::AlignCenter);
    m_errorView->raise();
    m_spinner->raise();
    outer->addWidget(body, 1);

    connect(m_back, &QAbstractButton::clicked, m_web, &QWebEngineView::back);
    connect(m_reload, &QAbstractButton::clicked, m_web, &QWebEngineView::reload);
    connect(m_web->page(), &QWebEnginePage::loadingChanged, this, &WebPageView::onLoadingChanged);
    m_watchdog.setSingleShot(true);
    connect(&m_watchdog, &QTimer::timeout, this, &WebPageView::onLoadTimeout);

    applyColors();
    followAppearance(this, [this](bool) { applyColors(); });

    if (const auto address = webpage::pageAddress(m_url)) {
        applyState();
        // The task checks after every wait that the page is still there.
        QCoro::connect(start(*address), this, [] {});
    } else {
        // Refused before anything is fetched: no cookie, no request.
        setState(false, QString::fromUtf16(webpage::kBadAddressText));
    }
}

WebPageView::~WebPageView() = default;

QCoro::Task<void> WebPageView::start(QUrl address)
{
    QPointer self = this;
    // The cookies are an extra: a failed call (signed out, refused, offline) just means the page
    // loads without them, and says nothing about it.
    const Result<WebCookie> reply = co_await APIClient::shared()->webCookie();
    if (!self)
        co_return;
    if (reply) {
        const QPointer<QWebEngineCookieStore> store = m_web->page()->profile()->cookieStore();
        for (const QNetworkCookie &cookie : webpage::cookiesToSet(*reply)) {
            co_await storeCookie(store, cookie, kCookieWait);
            if (!self)
                co_return;
        }
    }
    request(address);
}

void WebPageView::load()
{
    setState(true, std::nullopt);
    const auto address = webpage::pageAddress(m_url);
    if (!address)
        setState(false, QString::fromUtf16(webpage::kBadAddressText));
    else if (m_stopping)
        m_pendingRetry = *address;
    else
        request(*address);
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
    m_web->load(address);
}

void WebPageView::onLoadingChanged(const QWebEngineLoadingInfo &info)
{
    const auto status = info.status();
    if (m_stopping && (status == QWebEngineLoadingInfo::LoadStoppedStatus || status == QWebEngineLoadingInfo::LoadFailedStatus)) {
        // The end of the navigation we stopped ourselves; the page already says it timed out.
        m_stopping = false;
        if (auto retry = std::exchange(m_pendingRetry, std::nullopt))
            request(*retry);
        return;
    }
    switch (status) {
    case QWebEngineLoadingInfo::LoadStartedStatus:
        m_watchdog.start(m_loadTimeout);
        setState(true, std::nullopt);
        break;
    case QWebEngineLoadingInfo::LoadSucceededStatus:
        m_watchdog.stop();
        m_canGoBack = m_web->history()->canGoBack();
        setState(false, m_error);
        break;
    case QWebEngineLoadingInfo::LoadStoppedStatus:
        m_watchdog.stop();
        setState(false, m_error);
        break;
    case QWebEngineLoadingInfo::LoadFailedStatus: {
        m_watchdog.stop();
        const int code = info.errorCode();
        // A navigation replaced by a newer one ends quietly; the newer one's events decide.
        if (info.errorDomain() != QWebEngineLoadingInfo::HttpStatusCodeDomain && webpage::isCancellation(code)) {
            setState(false, m_error);
            break;
        }
        const QString text = info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain
                                 ? u"页面加载失败（HTTP %1）"_s.arg(code)
                                 : webpage::loadFailureText(code, info.errorString());
        setState(false, text);
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
