#include "views/player/shakawebview.h"

#include "models/playerlogic.h"
#include "views/webprofile.h"

#include <QVBoxLayout>
#include <QWebEngineFullScreenRequest>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace tovra {

ShakaWebView::ShakaWebView(const PlayAuth &auth, QWidget *parent)
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
    auto *page = new QWebEnginePage(WebProfile::shared(), m_web);
    page->setBackgroundColor(Qt::black);
    // The video starts by itself, with sound, like the native player.
    page->settings()->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
    page->settings()->setAttribute(QWebEngineSettings::FullScreenSupportEnabled, true);
    connect(page, &QWebEnginePage::fullScreenRequested, page, [](QWebEngineFullScreenRequest request) { request.accept(); });
    m_web->setPage(page);
    layout->addWidget(m_web);

    m_html = player::shakaPage(auth, m_base);
    m_web->setHtml(m_html, m_base);
}

ShakaWebView::~ShakaWebView()
{
    // The page must go before the view that hosts it, and both before the shared profile.
    if (m_web)
        delete m_web->page();
}

}
