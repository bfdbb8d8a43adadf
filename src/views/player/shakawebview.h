#pragma once

#include "models/title.h"

#include <QUrl>
#include <QWidget>

class QWebEngineView;

namespace tovra {

// The HTML5 player for streams that are not HLS playlists: a page of our own around the
// authorisation that plays it with the Shaka Player UI fetched from the media host. The web
// engine is made with this widget, never before, and the page is loaded once.
class ShakaWebView : public QWidget
{
    Q_OBJECT
public:
    ShakaWebView(const PlayAuth &auth, const QString &title, QWidget *parent = nullptr);
    ~ShakaWebView() override;

    QWebEngineView *webView() const { return m_web; }
    const QString &html() const { return m_html; }
    const QUrl &baseUrl() const { return m_base; }
    // While the page is in full screen, the view is a window of its own over the whole screen.
    bool isPageFullScreen() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    static bool isOurKey(const QKeyEvent *key);
    void goBack();
    void setViewFullScreen(bool fullScreen);
    void leaveFullScreen();

    QWebEngineView *m_web = nullptr;
    QString m_html;
    QUrl m_base;
};

}
