#pragma once

#include "views/engine/webpane.h"

namespace tovra {

// The site page's view in the web engine, on the shared profile. Making it starts the engine.
class SitePane : public WebPane
{
    Q_OBJECT
public:
    explicit SitePane(QWidget *parent = nullptr);
    ~SitePane() override;

    void load(const QUrl &address) override;
    void stop() override;
    void back() override;
    void reload() override;
    bool canGoBack() const override;
    QCoro::Task<void> storeCookie(QNetworkCookie cookie, std::chrono::milliseconds wait) override;
    QWebEngineView *view() const override { return m_web; }

private:
    QWebEngineView *m_web = nullptr;
    bool m_pageMade = false;
};

}
