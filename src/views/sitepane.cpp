#include "views/sitepane.h"

#include "models/webpagelogic.h"
#include "views/webprofile.h"

#include <QCoroSignal>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QPointer>
#include <QVBoxLayout>
#include <QWebEngineCookieStore>
#include <QWebEngineHistory>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <utility>

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
QCoro::Task<void> storeCookieIn(QPointer<QWebEngineCookieStore> store, QNetworkCookie cookie,
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

WebPane::Loading::Status statusOf(QWebEngineLoadingInfo::LoadStatus status)
{
    switch (status) {
    case QWebEngineLoadingInfo::LoadStartedStatus: return WebPane::Loading::Status::Started;
    case QWebEngineLoadingInfo::LoadSucceededStatus: return WebPane::Loading::Status::Succeeded;
    case QWebEngineLoadingInfo::LoadStoppedStatus: return WebPane::Loading::Status::Stopped;
    case QWebEngineLoadingInfo::LoadFailedStatus: break;
    }
    return WebPane::Loading::Status::Failed;
}

}

SitePane::SitePane(QWidget *parent) : WebPane(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    // Making the view and its page is what starts the engine: nothing of it exists before the
    // first web page opens.
    m_web = new QWebEngineView(this);
    m_web->setPage(new SitePage(WebProfile::shared(), m_web));
    layout->addWidget(m_web);
    connect(m_web->page(), &QWebEnginePage::loadingChanged, this, [this](const QWebEngineLoadingInfo &info) {
        emit loadingChanged({statusOf(info.status()), info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain,
                             info.errorCode(), info.errorString()});
    });
}

SitePane::~SitePane() = default;

void SitePane::load(const QUrl &address)
{
    m_web->load(address);
}

void SitePane::stop()
{
    m_web->stop();
}

void SitePane::back()
{
    m_web->back();
}

void SitePane::reload()
{
    m_web->reload();
}

bool SitePane::canGoBack() const
{
    return m_web->history()->canGoBack();
}

QCoro::Task<void> SitePane::storeCookie(QNetworkCookie cookie, std::chrono::milliseconds wait)
{
    // The engine makes a page only once its view is shown or the page is used, and until some page
    // is made the profile's cookie store confirms nothing: the cookie step would sit out its whole
    // wait. The view stays hidden while the site cookie is awaited, and the page is made only now
    // that the cookies are in hand: with a page made in the window, the spinner's frames kept the
    // main thread busy for as long as the cookie reply took. Reading the empty page's text is the
    // lightest use that makes it; it loads nothing.
    if (!std::exchange(m_pageMade, true))
        m_web->page()->toPlainText([](const QString &) {});
    // Nothing of the pane is touched after the first wait: the store belongs to the profile.
    return storeCookieIn(m_web->page()->profile()->cookieStore(), std::move(cookie), wait);
}

}
