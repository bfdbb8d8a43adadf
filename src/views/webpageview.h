#pragma once

#include "models/loadgeneration.h"
#include "views/engine/webpane.h"

#include <QCoroTask>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <chrono>
#include <optional>

class QAbstractButton;
class QGridLayout;
class QLabel;
class QWebEngineView;

namespace tovra {

class BusyIndicator;
class StateOverlay;

// A site page inside the main window, opened for a sidebar entry that links outside the
// catalogue. Before its first request it asks the API for the site's web cookies and puts them
// into the engine's cookie store, so that first request already carries them. A bar above the
// page holds the title, back and reload; a small spinner shows while a page loads, and a failed
// load is replaced by an error view with a retry.
//
// Only http and https addresses are opened, from the route as from links inside the page.
class WebPageView : public QWidget
{
    Q_OBJECT
public:
    // A navigation that has not finished after this long is stopped and reported as timed out.
    static constexpr std::chrono::milliseconds kLoadTimeout{60000};
    // How long the cookie step waits for the store to confirm one cookie before moving on.
    static constexpr std::chrono::milliseconds kCookieWait{3000};

    WebPageView(const QString &url, const QString &title, QWidget *parent = nullptr);
    ~WebPageView() override;

    const QString &url() const { return m_url; }
    const QString &title() const { return m_title; }

    bool isLoading() const { return m_loading; }
    bool canGoBack() const { return m_canGoBack; }
    const std::optional<QString> &error() const { return m_error; }

    // The engine's view once the page has one: never for a refused address or a missing engine.
    QWebEngineView *webView() const;
    QAbstractButton *backButton() const { return m_back; }
    QAbstractButton *reloadButton() const { return m_reload; }
    StateOverlay *errorView() const { return m_errorView; }
    BusyIndicator *spinner() const { return m_spinner; }

    // Also applies to a navigation under way, counted from now.
    void setLoadTimeout(std::chrono::milliseconds timeout);

signals:
    // Any of loading, canGoBack or error changed.
    void stateChanged();

protected:
    void showEvent(QShowEvent *event) override;

private:
    // The cookie step, then the page.
    QCoro::Task<void> start(QUrl address);
    // Another account signed in, or none: the page is loaded again, cookie step included, at
    // once if it is on screen, else when it next shows.
    void dropAccount();
    void reopen();
    void go(const QUrl &address);
    // The error view's retry: the address again, without a second cookie step.
    void load();
    void request(const QUrl &address);
    bool makePane();
    void onLoadingChanged(const WebPane::Loading &info);
    void onLoadTimeout();
    void setState(bool loading, std::optional<QString> error);
    void applyState();
    void applyColors();

    QString m_url;
    QString m_title;
    bool m_loading = true;
    bool m_canGoBack = false;
    std::optional<QString> m_error;

    QWidget *m_bar = nullptr;
    QLabel *m_titleLabel = nullptr;
    QAbstractButton *m_back = nullptr;
    QAbstractButton *m_reload = nullptr;
    QWidget *m_body = nullptr;
    QGridLayout *m_grid = nullptr;
    WebPane *m_web = nullptr;
    StateOverlay *m_errorView = nullptr;
    BusyIndicator *m_spinner = nullptr;
    QTimer m_watchdog;
    bool m_stopping = false;
    std::optional<QUrl> m_pendingRetry;
    // Only the newest cookie step may go on to store cookies and load the page.
    LoadGeneration m_cookieSteps;
    bool m_reopenOnShow = false;
    // The engine's view stays hidden until the page itself is asked for (see applyState()).
    bool m_pageRequested = false;
    std::chrono::milliseconds m_loadTimeout = kLoadTimeout;
};

}
