#pragma once

#include <QCoroTask>
#include <QList>
#include <QNetworkCookie>
#include <QString>
#include <QWidget>
#include <chrono>

class QUrl;
class QWebEngineView;

namespace tovra {

// The engine's part of a site page: the page itself, its history and the profile's cookie store.
// The bar, the error view and the load timing stay with the screen.
class WebPane : public QWidget
{
    Q_OBJECT
public:
    // One step of a navigation, as the engine reports it.
    struct Loading
    {
        enum class Status { Started, Succeeded, Stopped, Failed };
        Status status = Status::Started;
        // Set when code is the page's HTTP status rather than a network or engine error.
        bool httpStatus = false;
        int code = 0;
        QString errorString;
    };

    using QWidget::QWidget;

    virtual void load(const QUrl &address) = 0;
    virtual void stop() = 0;
    virtual void back() = 0;
    virtual void reload() = 0;
    virtual bool canGoBack() const = 0;
    // Puts one cookie into the profile's store and waits, at most `wait`, until the store confirms
    // it. Safe to await past the pane's end.
    virtual QCoro::Task<void> storeCookie(QNetworkCookie cookie, std::chrono::milliseconds wait) = 0;
    virtual QWebEngineView *view() const = 0;

signals:
    void loadingChanged(const tovra::WebPane::Loading &loading);
};

}
